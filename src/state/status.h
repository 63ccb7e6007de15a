#pragma once

#include <windows.h>

// The one record every report sends whole; the handler and the service thread both report.
extern SERVICE_STATUS ServiceStatusRecord;
// Checkpoint of the next pending report; never reset, so pending checkpoints run 1, 2, 3 over the process.
extern DWORD CheckPointCounter;
extern SERVICE_STATUS_HANDLE StatusHandle;

void BeginStatus();
void SetStatusHandle(SERVICE_STATUS_HANDLE handle);
// Both dropped once stop pending has been reported: from there only stopped follows.
void ReportStartPending();
void ReportRunning();
void ReportStopPending();
void ReportStopped(DWORD exitCode);
