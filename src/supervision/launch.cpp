#include "supervision/launch.h"

#include <string.h>

#include "eventlog/events.h"
#include "state/config.h"
#include "supervision/stop.h"

HANDLE OutputPipeRead = NULL;
bool ServiceConsoleObtained = false;
STARTUPINFOA ToolStartupInfo;
PROCESS_INFORMATION ToolProcessInfo;

static void CloseOutputPipeRead()
{
    if (OutputPipeRead != NULL) {
        CloseHandle(OutputPipeRead);
        OutputPipeRead = NULL;
    }
}

static void ReportLaunchFailure(const char* operation, const char* commandLine)
{
    ReportStartFailureEvent(operation, ToolPath, commandLine, WorkingDirectory);
}

Launch LaunchTool()
{
    // Made afresh for every launch: the platform may write into the command line it is given.
    char commandLine[sizeof ToolCommandLineText];
    memcpy(commandLine, ToolCommandLineText, sizeof commandLine);

    CloseOutputPipeRead();
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, NULL, TRUE};
    HANDLE read = NULL;
    HANDLE write = NULL;
    if (!CreatePipe(&read, &write, &attributes, 0)) {
        ReportLaunchFailure("CreateProcess(zonbek), CreatePipe", commandLine);
        return Launch::Failed;
    }
    // A descendant that outlives the tool must see the pipe break once the service lets go of its end.
    if (!SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0)) {
        ReportLaunchFailure("CreateProcess(zonbek), CreatePipe", commandLine);
        CloseHandle(read);
        CloseHandle(write);
        return Launch::Failed;
    }
    OutputPipeRead = read;

    memset(&ToolStartupInfo, 0, sizeof ToolStartupInfo);
    ToolStartupInfo.cb = sizeof ToolStartupInfo;
    ToolStartupInfo.dwFlags = STARTF_USESTDHANDLES;
    ToolStartupInfo.hStdInput = NULL;
    ToolStartupInfo.hStdOutput = write;
    ToolStartupInfo.hStdError = write;
    memset(&ToolProcessInfo, 0, sizeof ToolProcessInfo);

    if (!ServiceConsoleObtained) {
        if (!AllocConsole()) {
            ReportLaunchFailure("AllocConsole", commandLine);
            CloseHandle(write);
            CloseOutputPipeRead();
            return Launch::Failed;
        }
        ServiceConsoleObtained = true;
        RestoreCtrlC();
    }

    bool stopFirst = false;
    BOOL created = CreateProcessUnlessStopped(ToolPath, commandLine, NULL, NULL, TRUE, IDLE_PRIORITY_CLASS, NULL,
                                              WorkingDirectory, &ToolStartupInfo, &ToolProcessInfo, &stopFirst);
    // The tool holds its own copy now; ours would keep the pipe open after the tool has gone.
    CloseHandle(write);
    if (created)
        return Launch::Started;
    if (stopFirst) {
        CloseOutputPipeRead();
        return Launch::StopFirst;
    }
    ReportLaunchFailure("CreateProcess(zonbek)", commandLine);
    CloseOutputPipeRead();
    return Launch::Failed;
}
