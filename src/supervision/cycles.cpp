#include "supervision/cycles.h"

#include "eventlog/events.h"
#include "state/status.h"
#include "supervision/capture.h"
#include "supervision/decision.h"
#include "supervision/launch.h"
#include "supervision/stop.h"
#include "trust/check.h"

// Releases the ended tool; false when its exit code could not be read.
static bool ReleaseTool(PROCESS_INFORMATION* tool, DWORD* exitCode)
{
    bool read = GetExitCodeProcess(tool->hProcess, exitCode) != FALSE;
    if (!read)
        ReportFailureEvent(EVENT_SERVICE_FAILURE, "GetExitCodeProcess on zobnek failed");
    CloseHandle(tool->hThread);
    CloseHandle(tool->hProcess);
    return read;
}

// One start of the tool; true when it asked for the next, otherwise *result holds the cycles' end.
static bool RunCycle(DWORD* result, bool first)
{
    ReportStartPending();
    // Here rather than before the dispatcher: naming a domain's account, or reading a share, can take
    // longer than the service manager waits for a connection. A refusal stops as a failed launch does.
    if (first && !CheckToolFolder()) {
        *result = ERROR_SERVICE_SPECIFIC_ERROR;
        return false;
    }
    OutputPipe pipe;
    PROCESS_INFORMATION tool;
    switch (LaunchTool(&pipe, &tool)) {
    case Launch::Failed:
        *result = ERROR_SERVICE_SPECIFIC_ERROR;
        return false;
    case Launch::StopFirst:
        *result = NO_ERROR;
        return false;
    case Launch::Started:
        break;
    }

    ReportRunning();
    OutputCapture capture;
    CaptureOutput(&capture, &pipe, tool.hProcess);
    CloseOutputPipe(&pipe);
    DWORD exitCode = 0;
    bool exitCodeRead = ReleaseTool(&tool, &exitCode);

    *result = NO_ERROR;
    switch (DecideAfterExit(exitCodeRead, exitCode, IsStopRequested())) {
    case AfterExit::Restart:
        return true;
    case AfterExit::ReportOutput:
        ReportToolOutput(&capture);
        return false;
    case AfterExit::End:
        return false;
    }
    return false;
}

DWORD RunCycles()
{
    DWORD result = NO_ERROR;
    for (bool first = true; RunCycle(&result, first); first = false) {
    }
    return result;
}
