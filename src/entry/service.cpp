#include "entry/service.h"

#include "eventlog/events.h"
#include "state/status.h"
#include "supervision/cycles.h"
#include "supervision/stop.h"

void WINAPI ServiceMain(DWORD, LPSTR*)
{
    BeginStatus();
    ClearStopRequest();

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
    RequestStop();
}
