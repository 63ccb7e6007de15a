#include "entry/startup.h"

#include <stdlib.h>

#include "entry/by_hand.h"
#include "entry/service.h"
#include "eventlog/events.h"
#include "state/config.h"

static bool IsConsoleMode(int argumentCount, char** arguments)
{
    return argumentCount == 2 && arguments[1][0] == 'X';
}

int ServiceProgram(int argumentCount, char** arguments)
{
    OpenEventSource();

    char* installDir = LookupInstallDir();
    bool composed = installDir != NULL && ComposePaths(installDir);
    free(installDir);
    if (!composed) {
        ReportFailureEvent(EVENT_TOOL_START_FAILURE, "zonbek InstallDir lookup");
        ExplainLookupFailure();
        return 1;
    }

    if (IsConsoleMode(argumentCount, arguments))
        ServiceMain(0, NULL);

    char name[] = "zonbek";
    SERVICE_TABLE_ENTRYA table[] = {{name, ServiceMain}, {NULL, NULL}};
    if (!StartServiceCtrlDispatcherA(table)) {
        DWORD lastError = GetLastError();
        ReportFailureEvent(EVENT_SERVICE_FAILURE, "StartServiceCtrlDispatcher");
        ExplainDispatcherFailure(lastError);
        return 1;
    }
    return 0;
}
