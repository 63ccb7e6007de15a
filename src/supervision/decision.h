#pragma once

#include <windows.h>

enum class AfterExit {
    Restart,       // exit code 0 asks for a new start
    End,           // a stop was requested: the tool's output is not wanted
    ReportOutput,  // an abnormal end: the tool's output goes to the event log, then the cycles end
};

AfterExit DecideAfterExit(bool exitCodeRead, DWORD exitCode, bool stopRequested);
