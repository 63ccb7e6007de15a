#include "supervision/launch.h"

#include <string.h>

#include "eventlog/events.h"
#include "state/config.h"
#include "supervision/stop.h"

// The console the service obtains once and shares with every tool it starts.
static bool ServiceConsoleObtained = false;

static void ReportLaunchFailure(const char* operation, const char* commandLine)
{
    ReportStartFailureEvent(operation, ToolPath, commandLine, WorkingDirectory);
}

Launch LaunchTool(OutputPipe* pipe, PROCESS_INFORMATION* tool)
{
    // Made afresh for every launch: the platform may write into the command line it is given.
    char commandLine[sizeof ToolCommandLineText];
    memcpy(commandLine, ToolCommandLineText, sizeof commandLine);

    HANDLE toolEnd = NULL;
    if (!CreateOutputPipe(pipe, &toolEnd)) {
        ReportLaunchFailure("CreateProcess(zonbek), CreatePipe", commandLine);
        return Launch::Failed;
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = toolEnd;
    startup.hStdError = toolEnd;
    *tool = {};

    if (!ServiceConsoleObtained) {
        if (!AllocConsole()) {
            ReportLaunchFailure("AllocConsole", commandLine);
            CloseHandle(toolEnd);
            CloseOutputPipe(pipe);
            return Launch::Failed;
        }
        ServiceConsoleObtained = true;
        RestoreCtrlC();
    }

    bool stopFirst = false;
    BOOL created = CreateProcessUnlessStopped(ToolPath, commandLine, NULL, NULL, TRUE, IDLE_PRIORITY_CLASS, NULL,
                                              WorkingDirectory, &startup, tool, &stopFirst);
    // The tool holds its own copy now; ours would keep the pipe open after the tool has gone.
    CloseHandle(toolEnd);
    if (created)
        return Launch::Started;
    if (!stopFirst)
        ReportLaunchFailure("CreateProcess(zonbek)", commandLine);
    CloseOutputPipe(pipe);
    return stopFirst ? Launch::StopFirst : Launch::Failed;
}

void ResetLaunch()
{
    ServiceConsoleObtained = false;
}
