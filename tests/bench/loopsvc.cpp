// A reference for the benchmarks: the least a service can do to restart the tool in cycles, run by the
// service manager like zonbeksvc.exe. Per launch: a pipe for the output, a start-pending report with the
// next checkpoint, CreateProcessA as the service makes it, a running report, wait, exit code, close. No
// reading of the output, no stop handling: the benchmark tool writes nothing and ends the run itself.
//   loopsvc.exe NAME                  service NAME; the tool is zonbek.exe in the InstallDir that the
//                                     service reads (HKLM\Software\Kavix\Zonbek)
#include <windows.h>

#include <stdio.h>

#include "launch.h"

namespace {

char Name[256];
SERVICE_STATUS_HANDLE Handle;
SERVICE_STATUS Status = {SERVICE_WIN32_OWN_PROCESS, SERVICE_START_PENDING, 0, NO_ERROR, 0, 0, 0};
DWORD CheckPoint = 0;

void Report(DWORD state, DWORD exitCode = NO_ERROR)
{
    bool pending = state == SERVICE_START_PENDING;
    Status.dwCurrentState = state;
    Status.dwControlsAccepted = pending ? 0 : SERVICE_ACCEPT_STOP;
    Status.dwWin32ExitCode = exitCode;
    Status.dwCheckPoint = pending ? ++CheckPoint : 0;
    Status.dwWaitHint = pending ? 3000 : 0;
    SetServiceStatus(Handle, &Status);
}

void WINAPI Control(DWORD) {}

DWORD Loop()
{
    char directory[MAX_PATH] = {};
    DWORD size = sizeof directory - 1;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, "Software\\Kavix\\Zonbek", "InstallDir", RRF_RT_REG_SZ, NULL, directory,
                     &size) != ERROR_SUCCESS)
        return ERROR_FILE_NOT_FOUND;
    char tool[MAX_PATH + 16];
    snprintf(tool, sizeof tool, "%s\\zonbek.exe", directory);
    AllocConsole();
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, NULL, TRUE};
    for (;;) {
        Report(SERVICE_START_PENDING);
        HANDLE read = NULL;
        HANDLE write = NULL;
        if (!CreatePipe(&read, &write, &attributes, 0))
            return GetLastError();
        PROCESS_INFORMATION info;
        BOOL started = LaunchBenchTool(tool, directory, write, &info);
        DWORD error = GetLastError();
        CloseHandle(write);
        if (!started) {
            CloseHandle(read);
            return error;
        }
        Report(SERVICE_RUNNING);
        WaitForSingleObject(info.hProcess, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(info.hProcess, &code);
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
        CloseHandle(read);
        if (code != 0)
            return NO_ERROR;
    }
}

void WINAPI Main(DWORD, LPSTR*)
{
    Handle = RegisterServiceCtrlHandlerA(Name, Control);
    if (!Handle)
        return;
    Report(SERVICE_STOPPED, Loop());
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: loopsvc NAME (run by the service manager)\n");
        return 3;
    }
    snprintf(Name, sizeof Name, "%s", argv[1]);
    SERVICE_TABLE_ENTRYA table[] = {{Name, Main}, {NULL, NULL}};
    return StartServiceCtrlDispatcherA(table) ? 0 : 1;
}
