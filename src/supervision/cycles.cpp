#include "supervision/cycles.h"

#include "eventlog/events.h"
#include "state/status.h"
#include "supervision/capture.h"
#include "supervision/decision.h"
#include "supervision/folder_check.h"
#include "supervision/launch.h"
#include "supervision/output_event.h"
#include "supervision/stop.h"

// Waits for the running tool and releases it; false when its exit code could not be read.
static bool AwaitTool(OutputCapture* capture, DWORD* exitCode)
{
    AwaitToolEnd(capture, ToolProcessInfo.hProcess);
    bool read = GetExitCodeProcess(ToolProcessInfo.hProcess, exitCode) != FALSE;
    if (!read)
        ReportFailureEvent(EVENT_SERVICE_FAILURE, "GetExitCodeProcess on zobnek failed");
    CloseHandle(ToolProcessInfo.hThread);
    CloseHandle(ToolProcessInfo.hProcess);
    ToolProcessInfo.hThread = NULL;
    ToolProcessInfo.hProcess = NULL;
    return read;
}

// One start of the tool; true when it asked for the next, otherwise *result holds the cycles' end.
static bool RunCycle(DWORD* result)
{
    ReportStartPending();
    switch (LaunchTool()) {
    case Launch::Failed:
        *result = ERROR_SERVICE_SPECIFIC_ERROR;
        return false;
    case Launch::StopFirst:
        *result = NO_ERROR;
        return false;
    case Launch::Started:
        break;
    }

    OutputCapture capture;
    StartCapture(&capture, OutputPipeRead);
    ReportRunning();
    DWORD exitCode = 0;
    bool exitCodeRead = AwaitTool(&capture, &exitCode);
    FinishCapture(&capture);

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
    // Reported at start-up; the stop is that of a failed launch.
    if (ToolLaunchRefused) {
        ReportStartPending();
        return ERROR_SERVICE_SPECIFIC_ERROR;
    }
    DWORD result = NO_ERROR;
    while (RunCycle(&result)) {
    }
    EndCaptures();
    return result;
}
