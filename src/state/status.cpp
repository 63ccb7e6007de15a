#include "state/status.h"

static SERVICE_STATUS ServiceStatusRecord = {};
static DWORD CheckPointCounter = 1; // never reset by a run
static SERVICE_STATUS_HANDLE StatusHandle = NULL;

// The handler's thread and the service thread both report: each update goes out whole, and in
// checkpoint order, only if the update and the send are one step.
static SRWLOCK StatusLock = SRWLOCK_INIT;

// Once stop pending is out, a cycle's start-pending or running report would step the status back.
static bool StopReported = false;

static void Publish(DWORD state, DWORD controlsAccepted, DWORD exitCode, bool pending, DWORD waitHint)
{
    AcquireSRWLockExclusive(&StatusLock);
    if (StopReported && (state == SERVICE_START_PENDING || state == SERVICE_RUNNING)) {
        ReleaseSRWLockExclusive(&StatusLock);
        return;
    }
    StopReported = StopReported || state == SERVICE_STOP_PENDING;
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
    StopReported = false;
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

void ResetStatus()
{
    AcquireSRWLockExclusive(&StatusLock);
    ServiceStatusRecord = {};
    CheckPointCounter = 1;
    StatusHandle = NULL;
    StopReported = false;
    ReleaseSRWLockExclusive(&StatusLock);
}
