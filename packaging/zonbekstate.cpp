// zonbekstate.dll, the package's custom action ReadServiceState (Binary table, type 1, immediate). A
// repair or a major upgrade stops the service before it replaces files; StartServices starts it again
// only when ServiceWasRunning is set, which this sets when the service was running, starting or paused.
// It changes nothing on the machine and always returns success: when it cannot tell, the service stays
// stopped. Linked without a runtime and with no entry point; it imports only KERNEL32, ADVAPI32 and msi.
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
