// The tool's launch as the service makes it, for the benchmark's own loops: the bare loop and the
// minimal service must start the tool exactly alike for their rates to compare.
#pragma once

#include <windows.h>

inline BOOL LaunchBenchTool(const char* tool, const char* directory, HANDLE output, PROCESS_INFORMATION* info)
{
    char commandLine[] = "zonbek.exe --service";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output;
    startup.hStdError = output;
    *info = {};
    return CreateProcessA(tool, commandLine, NULL, NULL, TRUE, IDLE_PRIORITY_CLASS, NULL, directory, &startup, info);
}
