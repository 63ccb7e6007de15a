#pragma once

#include <windows.h>

// The read end of the current cycle's output pipe; closed at the start of the next cycle.
extern HANDLE OutputPipeRead;
// The console the service obtains once and shares with every tool it starts.
extern bool ServiceConsoleObtained;
extern STARTUPINFOA ToolStartupInfo;
extern PROCESS_INFORMATION ToolProcessInfo;

constexpr char ToolCommandLineText[] = "zonbek.exe --service";

enum class Launch {
    Started,
    StopFirst, // a stop came before the launch: no tool was started
    Failed,    // reported; the service stops with ERROR_SERVICE_SPECIFIC_ERROR
};

// Pipe, console and process for one cycle; on success the tool runs and ToolProcessInfo holds it.
Launch LaunchTool();
