// zonbekstate.dll, the package's custom actions ReadServiceState and PlainExistingToolDir (Binary table,
// type 1, immediate). A repair or a major upgrade stops the service before it replaces files;
// StartServices starts it again only when ServiceWasRunning is set, which ReadServiceState sets when the
// service was running, starting or paused. Neither changes anything on the machine, and both always
// return success: when ReadServiceState cannot tell, the service stays stopped. Linked without a runtime
// and with no entry point; it imports only KERNEL32, ADVAPI32 and msi.
#include <windows.h>

#include <msiquery.h>

namespace {

// One line in the installation's log (/l*v): the installer formats field 0 with fields 1 and 2.
void LogLine(MSIHANDLE install, const char* text, int number)
{
    MSIHANDLE record = MsiCreateRecord(2);
    if (!record)
        return;
    MsiRecordSetStringA(record, 0, "ReadServiceState: zonbek [1] [2]");
    MsiRecordSetStringA(record, 1, text);
    MsiRecordSetInteger(record, 2, number);
    MsiProcessMessage(install, INSTALLMESSAGE_INFO, record);
    MsiCloseHandle(record);
}

// A service that is stopping was stopped on purpose and stays stopped.
bool Running(DWORD state)
{
    return state != SERVICE_STOPPED && state != SERVICE_STOP_PENDING;
}

} // namespace

extern "C" __declspec(dllexport) UINT __stdcall ReadServiceState(MSIHANDLE install)
{
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
    if (!manager) {
        LogLine(install, "OpenSCManager failed with", static_cast<int>(GetLastError()));
        return ERROR_SUCCESS;
    }
    SC_HANDLE service = OpenServiceA(manager, "zonbek", SERVICE_QUERY_STATUS);
    SERVICE_STATUS status;
    if (!service) {
        LogLine(install, "OpenService failed with", static_cast<int>(GetLastError()));
    } else if (!QueryServiceStatus(service, &status)) {
        LogLine(install, "QueryServiceStatus failed with", static_cast<int>(GetLastError()));
    } else {
        LogLine(install, "state", static_cast<int>(status.dwCurrentState));
        if (Running(status.dwCurrentState))
            MsiSetPropertyA(install, "ServiceWasRunning", "1");
    }
    if (service)
        CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return ERROR_SUCCESS;
}

// AppSearch gives a REG_EXPAND_SZ InstallDir as "#%" and its text, which the Registry table would write
// back as REG_EXPAND_SZ, a type the service refuses. Without the mark the text is written as REG_SZ, as it
// is: expanding it here would use the environment of whoever runs the installation, and a user who may
// repair would then choose the folder of the program that LocalSystem runs. Wide calls: the text goes
// back into the registry, and the ANSI code page may not hold every character of a path.
extern "C" __declspec(dllexport) UINT __stdcall PlainExistingToolDir(MSIHANDLE install)
{
    WCHAR none[1];
    DWORD length = 0;
    if (MsiGetPropertyW(install, L"EXISTINGTOOLDIR", none, &length) != ERROR_MORE_DATA)
        return ERROR_SUCCESS;
    length += 1;
    HANDLE heap = GetProcessHeap();
    WCHAR* value = static_cast<WCHAR*>(HeapAlloc(heap, 0, length * sizeof(WCHAR)));
    if (value && MsiGetPropertyW(install, L"EXISTINGTOOLDIR", value, &length) == ERROR_SUCCESS && value[0] == L'#' &&
        value[1] == L'%') {
        // A text that begins with "#" keeps a "#" before it, which marks it as a string in the Registry table.
        bool numberSign = value[2] == L'#';
        value[1] = L'#';
        MsiSetPropertyW(install, L"EXISTINGTOOLDIR", numberSign ? value + 1 : value + 2);
    }
    if (value)
        HeapFree(heap, 0, value);
    return ERROR_SUCCESS;
}
