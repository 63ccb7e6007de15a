#pragma once

#include <windows.h>

// A stop is set by the stop control and read by the cycles. Its flag, its Ctrl+C broadcast and the
// tool's launch are one step each, so a stop is never broadcast before a tool that will then start.

// On ServiceMain's entry: a stop belongs to the run that received it.
void ClearStopRequest();

// Flags the stop and passes it to the tool as Ctrl+C on the shared console; the service ignores it.
void RequestStop();

bool IsStopRequested();

// Once the console is obtained: every tool inherits whether Ctrl+C is ignored, and the service may
// have been started with it ignored. After a stop the service keeps ignoring it. Ctrl+C and Ctrl+Break
// that a tool sends to the console never end the service.
void RestoreCtrlC();

// CreateProcessA with these arguments, unless a stop was requested first: then *stopFirst is set,
// nothing is started and the result is FALSE.
BOOL CreateProcessUnlessStopped(LPCSTR application, LPSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes,
                                LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles, DWORD creationFlags,
                                LPVOID environment, LPCSTR currentDirectory, LPSTARTUPINFOA startupInfo,
                                LPPROCESS_INFORMATION processInformation, bool* stopFirst);
