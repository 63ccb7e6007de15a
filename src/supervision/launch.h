#pragma once

#include <windows.h>

#include "supervision/capture.h"

constexpr char ToolCommandLineText[] = "zonbek.exe --service";

enum class Launch {
    Started,
    StopFirst, // a stop came before the launch: no tool was started
    Failed,    // reported; the service stops with ERROR_SERVICE_SPECIFIC_ERROR
};

// Pipe, console and process for one cycle; on success the tool runs, *tool holds it and *pipe its output.
Launch LaunchTool(OutputPipe* pipe, PROCESS_INFORMATION* tool);

// As at the process's start: the console not yet obtained.
void ResetLaunch();
