#pragma once

#include <windows.h>

// Severity error, facility 2; the message texts live in the message file registered for the source.
constexpr DWORD EVENT_SERVICE_FAILURE = 0xC0020001;
constexpr DWORD EVENT_TOOL_START_FAILURE = 0xC0020002;
constexpr DWORD EVENT_TOOL_OUTPUT = 0xC0020003;
constexpr DWORD EVENT_TOOL_FOLDER_UNPROTECTED = 0xC0020004;
// Severity warning: the same finding, let through by ToolFolderCheck = 0.
constexpr DWORD EVENT_TOOL_FOLDER_ALLOWED = 0x80020005;

constexpr const char* EventSourceName = "KavixZonbek";

// Set once by start-up before any report; null when registration failed, and then every report is lost.
extern HANDLE EventSourceHandle;

constexpr int FailureTextSize = 64;

void OpenEventSource();

// Every event but the warning below: type error, category 0, no user, no data.
BOOL WriteErrorEvent(DWORD eventId, WORD count, const char** strings);
// The one warning: EVENT_TOOL_FOLDER_ALLOWED, otherwise as WriteErrorEvent.
BOOL WriteWarningEvent(DWORD eventId, WORD count, const char** strings);

// "<operation> failed with <lastError as signed 32-bit>", cut to 63 characters.
void FormatFailureText(char (&text)[FailureTextSize], const char* operation, DWORD lastError);

BOOL ReportFailureEvent(DWORD eventId, const char* operation);
BOOL ReportStartFailureEvent(const char* operation, const char* toolPath, const char* commandLine,
                             const char* workingDirectory);
