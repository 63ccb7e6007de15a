#include "supervision/cycles.h"

#include "eventlog/events.h"
#include "state/status.h"
#include "supervision/capture.h"
#include "supervision/decision.h"
#include "supervision/folder_check.h"
#include "supervision/launch.h"
#include "supervision/stop.h"

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
static bool RunCycle(DWORD* result)
{
    ReportStartPending();
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
    // Reported at start-up; the stop is that of a failed launch.
    if (ToolLaunchRefused) {
        ReportStartPending();
        return ERROR_SERVICE_SPECIFIC_ERROR;
    }
    DWORD result = NO_ERROR;
    while (RunCycle(&result)) {
    }
    return result;
}
