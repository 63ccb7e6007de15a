#pragma once

#include <windows.h>

// One record, sent whole by every report; the handler and the service thread both report. The
// checkpoints of pending reports run 1, 2, 3 over the life of the process.

void BeginStatus();
void SetStatusHandle(SERVICE_STATUS_HANDLE handle);
// Both dropped once stop pending has been reported: from there only stopped follows.
void ReportStartPending();
void ReportRunning();
void ReportStopPending();
void ReportStopped(DWORD exitCode);

// As at the process's start: no handle, the record empty, the next checkpoint 1.
void ResetStatus();
