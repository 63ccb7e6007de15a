#include "eventlog/events.h"

#include <stdio.h>

HANDLE EventSourceHandle = NULL;

void OpenEventSource()
{
    EventSourceHandle = RegisterEventSourceA(NULL, EventSourceName);
}

void FormatFailureText(char (&text)[FailureTextSize], const char* operation, DWORD lastError)
{
    // msvcrt's own: a text cut short is left unterminated, and cutting a long text short is wanted.
    _snprintf(text, FailureTextSize - 1, "%s failed with %d", operation, static_cast<int>(lastError));
    text[FailureTextSize - 1] = '\0';
}

BOOL WriteErrorEvent(DWORD eventId, WORD count, const char** strings)
{
    return ReportEventA(EventSourceHandle, EVENTLOG_ERROR_TYPE, 0, eventId, NULL, count, 0, strings, NULL);
}

BOOL WriteWarningEvent(DWORD eventId, WORD count, const char** strings)
{
    return ReportEventA(EventSourceHandle, EVENTLOG_WARNING_TYPE, 0, eventId, NULL, count, 0, strings, NULL);
}

BOOL ReportFailureEvent(DWORD eventId, const char* operation)
{
    // The last error belongs to the failed call; take it before anything else can change it.
    DWORD lastError = GetLastError();
    char text[FailureTextSize];
    FormatFailureText(text, operation, lastError);
    const char* strings[] = {EventSourceName, text};
    return WriteErrorEvent(eventId, 2, strings);
}

BOOL ReportStartFailureEvent(const char* operation, const char* toolPath, const char* commandLine,
                             const char* workingDirectory)
{
    DWORD lastError = GetLastError();
    char text[FailureTextSize];
    FormatFailureText(text, operation, lastError);
    const char* strings[] = {EventSourceName, text, toolPath, commandLine, workingDirectory};
    return WriteErrorEvent(EVENT_TOOL_START_FAILURE, 5, strings);
}
