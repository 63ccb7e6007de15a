#include "host/service.h"

#include "eventlog/events.h"
#include "host/status.h"
#include "supervision/cycles.h"

DWORD StopRequested = 0;
SRWLOCK StopLock = SRWLOCK_INIT;

bool IsStopRequested()
{
    AcquireSRWLockShared(&StopLock);
    bool requested = StopRequested != 0;
    ReleaseSRWLockShared(&StopLock);
    return requested;
}

void WINAPI ServiceMain(DWORD, LPSTR*)
{
    BeginStatus();
    AcquireSRWLockExclusive(&StopLock);
    StopRequested = 0;
    ReleaseSRWLockExclusive(&StopLock);

    SERVICE_STATUS_HANDLE handle = RegisterServiceCtrlHandlerA(ServiceName, ServiceCtrlHandler);
    if (handle == NULL) {
        ReportFailureEvent(EVENT_SERVICE_FAILURE, "RegisterServiceCtrlHandler");
        return;
    }
    SetStatusHandle(handle);
    ReportStopped(RunCycles());
}

void WINAPI ServiceCtrlHandler(DWORD control)
{
    if (control != SERVICE_CONTROL_STOP)
        return;
    ReportStopPending();
    AcquireSRWLockExclusive(&StopLock);
    StopRequested = 1;
    // The service leaves the tool's Ctrl+C to the tool; the setting is inherited, so it is made only now.
    SetConsoleCtrlHandler(NULL, TRUE);
    GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
    ReleaseSRWLockExclusive(&StopLock);
}
