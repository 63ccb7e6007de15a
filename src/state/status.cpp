#include "state/status.h"

SERVICE_STATUS ServiceStatusRecord = {};
DWORD CheckPointCounter = 1;
SERVICE_STATUS_HANDLE StatusHandle = NULL;

// The handler's thread and the service thread both report: each update goes out whole, and in
// checkpoint order, only if the update and the send are one step.
static SRWLOCK StatusLock = SRWLOCK_INIT;

static void Publish(DWORD state, DWORD controlsAccepted, DWORD exitCode, bool pending, DWORD waitHint)
{
    AcquireSRWLockExclusive(&StatusLock);
    ServiceStatusRecord.dwCurrentState = state;
    ServiceStatusRecord.dwControlsAccepted = controlsAccepted;
    ServiceStatusRecord.dwWin32ExitCode = exitCode;
    ServiceStatusRecord.dwCheckPoint = pending ? CheckPointCounter++ : 0;
    ServiceStatusRecord.dwWaitHint = waitHint;
    SetServiceStatus(StatusHandle, &ServiceStatusRecord);
    ReleaseSRWLockExclusive(&StatusLock);
}

void BeginStatus()
{
    AcquireSRWLockExclusive(&StatusLock);
    ServiceStatusRecord.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    ServiceStatusRecord.dwServiceSpecificExitCode = 0;
    ReleaseSRWLockExclusive(&StatusLock);
}

void SetStatusHandle(SERVICE_STATUS_HANDLE handle)
{
    AcquireSRWLockExclusive(&StatusLock);
    StatusHandle = handle;
    ReleaseSRWLockExclusive(&StatusLock);
}

void ReportStartPending()
{
    Publish(SERVICE_START_PENDING, 0, NO_ERROR, true, 3000);
}

void ReportRunning()
{
    Publish(SERVICE_RUNNING, SERVICE_ACCEPT_STOP, NO_ERROR, false, 0);
}

void ReportStopPending()
{
    Publish(SERVICE_STOP_PENDING, SERVICE_ACCEPT_STOP, NO_ERROR, true, 10000);
}

// Stop stays accepted in the final report.
void ReportStopped(DWORD exitCode)
{
    Publish(SERVICE_STOPPED, SERVICE_ACCEPT_STOP, exitCode, false, 0);
}
