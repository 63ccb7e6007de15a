// Service control for the end-to-end tests. Every command prints one line of key=value pairs (or a
// word) and exits 0 on success, 1 when the awaited state did not come, 2 on a failed call, 3 on misuse.
// The net and sc commands return before a state settles; these commands wait on the service process
// handle or on the state itself.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const int ExitOk = 0;
const int ExitTimeout = 1;
const int ExitFailed = 2;
const int ExitUsage = 3;

// Polling the service manager is the only way to see a state that no process handle reflects.
const DWORD PollMs = 20;

int Failed(const char* what)
{
    DWORD error = GetLastError();
    printf("error=%lu call=%s\n", error, what);
    return ExitFailed;
}

struct Service {
    SC_HANDLE manager = NULL;
    SC_HANDLE service = NULL;
    ~Service()
    {
        if (service)
            CloseServiceHandle(service);
        if (manager)
            CloseServiceHandle(manager);
    }
};

bool OpenNamed(Service& s, const char* name, DWORD access)
{
    s.manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
    if (!s.manager)
        return false;
    s.service = OpenServiceA(s.manager, name, access);
    return s.service != NULL;
}

bool Query(SC_HANDLE service, SERVICE_STATUS_PROCESS& status)
{
    DWORD needed = 0;
    return QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                                &needed) != 0;
}

void PrintStatus(const SERVICE_STATUS_PROCESS& s)
{
    printf("state=%lu controls=%lu exit=%lu specific=%lu checkpoint=%lu hint=%lu pid=%lu", s.dwCurrentState,
           s.dwControlsAccepted, s.dwWin32ExitCode, s.dwServiceSpecificExitCode, s.dwCheckPoint, s.dwWaitHint,
           s.dwProcessId);
}

DWORD ParseNumber(const char* text)
{
    return static_cast<DWORD>(strtoul(text, NULL, 0));
}

// Reports how the process ended; "gone" when it had already ended before it could be opened.
int WaitProcess(HANDLE process, DWORD pid, DWORD ms)
{
    if (!process) {
        printf("gone pid=%lu\n", pid);
        return ExitOk;
    }
    if (WaitForSingleObject(process, ms) != WAIT_OBJECT_0) {
        printf("timeout pid=%lu\n", pid);
        return ExitTimeout;
    }
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    printf("exited pid=%lu code=%lu\n", pid, code);
    return ExitOk;
}

HANDLE OpenForWait(DWORD pid)
{
    if (pid == 0)
        return NULL;
    return OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
}

int Ping()
{
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
    if (!manager)
        return Failed("OpenSCManager");
    CloseServiceHandle(manager);
    printf("ok\n");
    return ExitOk;
}

// Starts the service and returns once it has left start pending or its process has ended.
int Start(const char* name, DWORD ms)
{
    Service s;
    if (!OpenNamed(s, name, SERVICE_START | SERVICE_QUERY_STATUS))
        return Failed("OpenService");
    // Wine answers 1053 when the service's first report is not start pending or running, as with a
    // service that stops at once; what happened is then in the status, not in this answer.
    DWORD startError = StartServiceA(s.service, 0, NULL) ? ERROR_SUCCESS : GetLastError();
    if (startError != ERROR_SUCCESS && startError != ERROR_SERVICE_REQUEST_TIMEOUT) {
        SetLastError(startError);
        return Failed("StartService");
    }

    SERVICE_STATUS_PROCESS status = {};
    if (!Query(s.service, status))
        return Failed("QueryServiceStatusEx");
    DWORD pid = status.dwProcessId;
    HANDLE process = OpenForWait(pid);

    int result = ExitOk;
    DWORD started = GetTickCount();
    while (status.dwCurrentState == SERVICE_START_PENDING) {
        if (process ? WaitForSingleObject(process, PollMs) == WAIT_OBJECT_0 : (Sleep(PollMs), false))
            break;
        if (GetTickCount() - started >= ms) {
            result = ExitTimeout;
            break;
        }
        if (!Query(s.service, status)) {
            result = Failed("QueryServiceStatusEx");
            break;
        }
    }
    if (process)
        CloseHandle(process);
    if (result == ExitFailed)
        return result;

    printf("%s startservice=%lu service_pid=%lu ", result == ExitOk ? "started" : "timeout", startError, pid);
    PrintStatus(status);
    printf("\n");
    return result;
}

int Control(const char* name, DWORD control)
{
    Service s;
    DWORD access = SERVICE_STOP | SERVICE_PAUSE_CONTINUE | SERVICE_INTERROGATE | SERVICE_QUERY_STATUS;
    if (!OpenNamed(s, name, access))
        return Failed("OpenService");
    SERVICE_STATUS status = {};
    if (!ControlService(s.service, control, &status))
        return Failed("ControlService");
    printf("sent state=%lu checkpoint=%lu\n", status.dwCurrentState, status.dwCheckPoint);
    return ExitOk;
}

int QueryCommand(const char* name)
{
    Service s;
    if (!OpenNamed(s, name, SERVICE_QUERY_STATUS))
        return Failed("OpenService");
    SERVICE_STATUS_PROCESS status = {};
    if (!Query(s.service, status))
        return Failed("QueryServiceStatusEx");
    PrintStatus(status);
    printf("\n");
    return ExitOk;
}

int WaitState(const char* name, DWORD state, DWORD ms)
{
    Service s;
    if (!OpenNamed(s, name, SERVICE_QUERY_STATUS))
        return Failed("OpenService");
    DWORD deadline = GetTickCount() + ms;
    for (;;) {
        SERVICE_STATUS_PROCESS status = {};
        if (!Query(s.service, status))
            return Failed("QueryServiceStatusEx");
        if (status.dwCurrentState == state) {
            PrintStatus(status);
            printf("\n");
            return ExitOk;
        }
        if (static_cast<LONG>(GetTickCount() - deadline) >= 0) {
            printf("timeout ");
            PrintStatus(status);
            printf("\n");
            return ExitTimeout;
        }
        Sleep(PollMs);
    }
}

int WaitService(const char* name, DWORD ms)
{
    Service s;
    if (!OpenNamed(s, name, SERVICE_QUERY_STATUS))
        return Failed("OpenService");
    SERVICE_STATUS_PROCESS status = {};
    if (!Query(s.service, status))
        return Failed("QueryServiceStatusEx");
    HANDLE process = OpenForWait(status.dwProcessId);
    int result = WaitProcess(process, status.dwProcessId, ms);
    if (process)
        CloseHandle(process);
    return result;
}

int WaitPid(DWORD pid, DWORD ms)
{
    HANDLE process = OpenForWait(pid);
    int result = WaitProcess(process, pid, ms);
    if (process)
        CloseHandle(process);
    return result;
}

int Alive(DWORD pid)
{
    HANDLE process = OpenForWait(pid);
    bool alive = process && WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    if (process)
        CloseHandle(process);
    printf(alive ? "alive pid=%lu\n" : "dead pid=%lu\n", pid);
    return alive ? ExitOk : ExitTimeout;
}

int Handles(DWORD pid)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid);
    if (!process)
        return Failed("OpenProcess");
    DWORD count = 0;
    BOOL ok = GetProcessHandleCount(process, &count);
    CloseHandle(process);
    if (!ok)
        return Failed("GetProcessHandleCount");
    printf("handles=%lu pid=%lu\n", count, pid);
    return ExitOk;
}

int Usage()
{
    fprintf(stderr,
            "usage: svcctl ping\n"
            "       svcctl start NAME [MS]       (returns once start pending is over)\n"
            "       svcctl stop NAME\n"
            "       svcctl control NAME CODE     (pause 2, continue 3, interrogate 4, ...)\n"
            "       svcctl query NAME\n"
            "       svcctl waitstate NAME STATE MS\n"
            "       svcctl wait NAME MS          (wait for the service process to end)\n"
            "       svcctl waitpid PID MS\n"
            "       svcctl alive PID\n"
            "       svcctl handles PID\n");
    return ExitUsage;
}

} // namespace

int main(int argc, char** argv)
{
    // Single-line answers must reach a pipe before the process ends, whatever happens next.
    setvbuf(stdout, NULL, _IONBF, 0);
    if (argc < 2)
        return Usage();
    const char* command = argv[1];
    const DWORD defaultMs = 30000;

    if (strcmp(command, "ping") == 0 && argc == 2)
        return Ping();
    if (strcmp(command, "start") == 0 && (argc == 3 || argc == 4))
        return Start(argv[2], argc == 4 ? ParseNumber(argv[3]) : defaultMs);
    if (strcmp(command, "stop") == 0 && argc == 3)
        return Control(argv[2], SERVICE_CONTROL_STOP);
    if (strcmp(command, "control") == 0 && argc == 4)
        return Control(argv[2], ParseNumber(argv[3]));
    if (strcmp(command, "query") == 0 && argc == 3)
        return QueryCommand(argv[2]);
    if (strcmp(command, "waitstate") == 0 && argc == 5)
        return WaitState(argv[2], ParseNumber(argv[3]), ParseNumber(argv[4]));
    if (strcmp(command, "wait") == 0 && argc == 4)
        return WaitService(argv[2], ParseNumber(argv[3]));
    if (strcmp(command, "waitpid") == 0 && argc == 4)
        return WaitPid(ParseNumber(argv[2]), ParseNumber(argv[3]));
    if (strcmp(command, "alive") == 0 && argc == 3)
        return Alive(ParseNumber(argv[2]));
    if (strcmp(command, "handles") == 0 && argc == 3)
        return Handles(ParseNumber(argv[2]));
    return Usage();
}
