#include "entry/by_hand.h"

#include <string.h>

#include "eventlog/events.h"

static const char LookupFailureText[] =
    "zonbeksvc: the folder of the Zonbek tool is not known: there is no value InstallDir of type REG_SZ under "
    "HKEY_LOCAL_MACHINE\\Software\\Kavix\\Zonbek.\r\n"
    "Set it, as administrator, to the folder that holds zonbek.exe: reg add \"HKLM\\Software\\Kavix\\Zonbek\" "
    "/v InstallDir /t REG_SZ /d \"<folder of zonbek.exe>\" /f /reg:64\r\n";

static const char NotStartedByServiceManagerText[] =
    "zonbeksvc: this is the Windows service zonbek, which runs only when the service manager starts it: "
    "sc start zonbek\r\n"
    "The administrator's guide is admin-guide.txt, in the folder of zonbeksvc.exe.\r\n";

static void WriteStandardError(const char* text)
{
    HANDLE standardError = GetStdHandle(STD_ERROR_HANDLE);
    if (standardError == NULL || standardError == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(standardError, text, static_cast<DWORD>(strlen(text)), &written, NULL);
}

void ExplainLookupFailure()
{
    WriteStandardError(LookupFailureText);
}

void ExplainDispatcherFailure(DWORD lastError)
{
    if (lastError == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) {
        WriteStandardError(NotStartedByServiceManagerText);
        return;
    }
    char failure[FailureTextSize];
    FormatFailureText(failure, "StartServiceCtrlDispatcher", lastError);
    WriteStandardError("zonbeksvc: ");
    WriteStandardError(failure);
    WriteStandardError("\r\n");
}
