#include "supervision/decision.h"

AfterExit DecideAfterExit(bool exitCodeRead, DWORD exitCode, bool stopRequested)
{
    if (stopRequested)
        return AfterExit::End;
    if (exitCodeRead && exitCode == 0)
        return AfterExit::Restart;
    return AfterExit::ReportOutput;
}
