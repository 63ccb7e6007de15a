// Service control for the end-to-end tests. Every command prints one line of key=value pairs (or a
// word; stopstorm one per control) and exits 0 on success, 1 when the awaited state did not come, 2 on
// a failed call, 3 on misuse.
// The net and sc commands return before a state settles; these commands wait on the service process
// handle or on the state itself.
#include <windows.h>

#include <psapi.h>
#include <tlhelp32.h>

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

// GetProcessHandleCount answers 0 for another process under Wine; the system handle list holds every
// handle of every process, so the count of the entries that name the process is the same number.
typedef LONG(WINAPI* QuerySystemInformation)(ULONG, PVOID, ULONG, PULONG);
const ULONG SystemExtendedHandleInformation = 64;
const LONG StatusInfoLengthMismatch = static_cast<LONG>(0xC0000004);

struct HandleEntry {
    PVOID object;
    ULONG_PTR processId;
    ULONG_PTR handleValue;
    ULONG grantedAccess;
    USHORT creatorBackTraceIndex;
    USHORT objectTypeIndex;
    ULONG handleAttributes;
    ULONG reserved;
};

struct HandleTable {
    ULONG_PTR count;
    ULONG_PTR reserved;
    HandleEntry entries[1];
};

bool CountHandles(DWORD pid, DWORD* count)
{
    QuerySystemInformation query = reinterpret_cast<QuerySystemInformation>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return false;
    }
    ULONG size = 1 << 16;
    for (;;) {
        HandleTable* table = static_cast<HandleTable*>(malloc(size));
        if (!table) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return false;
        }
        ULONG needed = 0;
        LONG status = query(SystemExtendedHandleInformation, table, size, &needed);
        if (status == StatusInfoLengthMismatch) {
            free(table);
            size = needed > size ? needed + 4096 : size * 2;
            continue;
        }
        if (status < 0) {
            free(table);
            SetLastError(static_cast<DWORD>(status));
            return false;
        }
        DWORD mine = 0;
        for (ULONG_PTR i = 0; i < table->count; ++i)
            if (table->entries[i].processId == pid)
                ++mine;
        free(table);
        *count = mine;
        return true;
    }
}

int Handles(DWORD pid)
{
    DWORD count = 0;
    if (!CountHandles(pid, &count))
        return Failed("NtQuerySystemInformation");
    printf("handles=%lu pid=%lu\n", count, pid);
    return ExitOk;
}

bool CountThreads(DWORD pid, DWORD* count)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    DWORD mine = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == pid)
            ++mine;
    CloseHandle(snapshot);
    *count = mine;
    return true;
}

// What a leak would grow, as Windows shows it for another process: handles, threads, the working set
// and the private bytes (PagefileUsage). GetProcessTimes is left out: under Wine it answers for some
// thread of the process, not for all of them.
int Stats(DWORD pid)
{
    DWORD handles = 0;
    if (!CountHandles(pid, &handles))
        return Failed("NtQuerySystemInformation");
    DWORD threads = 0;
    if (!CountThreads(pid, &threads))
        return Failed("CreateToolhelp32Snapshot");
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (!process)
        return Failed("OpenProcess");
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof memory;
    BOOL read = GetProcessMemoryInfo(process, &memory, sizeof memory);
    CloseHandle(process);
    if (!read)
        return Failed("GetProcessMemoryInfo");
    printf("handles=%lu threads=%lu workingset=%llu private=%llu pid=%lu\n", handles, threads,
           static_cast<unsigned long long>(memory.WorkingSetSize),
           static_cast<unsigned long long>(memory.PagefileUsage), pid);
    return ExitOk;
}

int Kill(DWORD pid, DWORD code)
{
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    if (!process)
        return Failed("OpenProcess");
    BOOL ok = TerminateProcess(process, code);
    if (ok)
        WaitForSingleObject(process, INFINITE);
    CloseHandle(process);
    if (!ok)
        return Failed("TerminateProcess");
    printf("killed pid=%lu code=%lu\n", pid, code);
    return ExitOk;
}

// COUNT stop controls one after the other, one line each: "stop K ok|error=E state=S checkpoint=C",
// where state and checkpoint are what the service manager has right after the control.
int StopStorm(const char* name, DWORD count)
{
    Service s;
    if (!OpenNamed(s, name, SERVICE_STOP | SERVICE_QUERY_STATUS))
        return Failed("OpenService");
    for (DWORD k = 1; k <= count; ++k) {
        SERVICE_STATUS answer = {};
        DWORD error = ControlService(s.service, SERVICE_CONTROL_STOP, &answer) ? ERROR_SUCCESS : GetLastError();
        SERVICE_STATUS_PROCESS status = {};
        if (!Query(s.service, status))
            return Failed("QueryServiceStatusEx");
        if (error == ERROR_SUCCESS)
            printf("stop %lu ok state=%lu checkpoint=%lu\n", k, status.dwCurrentState, status.dwCheckPoint);
        else
            printf("stop %lu error=%lu state=%lu checkpoint=%lu\n", k, error, status.dwCurrentState,
                   status.dwCheckPoint);
    }
    return ExitOk;
}

// A stop while the service is start pending is refused (it accepts no control then); an operator tries
// again, and so does this, until the stop is taken or the service has stopped by itself.
int StopUntilTaken(const char* name, DWORD ms)
{
    Service s;
    if (!OpenNamed(s, name, SERVICE_STOP | SERVICE_QUERY_STATUS))
        return Failed("OpenService");
    DWORD refused = 0;
    DWORD started = GetTickCount();
    for (;;) {
        SERVICE_STATUS answer = {};
        if (ControlService(s.service, SERVICE_CONTROL_STOP, &answer)) {
            printf("sent refused=%lu state=%lu checkpoint=%lu\n", refused, answer.dwCurrentState, answer.dwCheckPoint);
            return ExitOk;
        }
        DWORD error = GetLastError();
        if (error == ERROR_SERVICE_NOT_ACTIVE) {
            printf("inactive refused=%lu\n", refused);
            return ExitOk;
        }
        if (error != ERROR_SERVICE_CANNOT_ACCEPT_CTRL && error != ERROR_INVALID_SERVICE_CONTROL)
            return Failed("ControlService");
        ++refused;
        if (GetTickCount() - started >= ms) {
            printf("timeout refused=%lu last_error=%lu\n", refused, error);
            return ExitTimeout;
        }
        Sleep(1);
    }
}

// Writes InstallDir as REG_SZ from a file's bytes, for values longer than a command line can carry.
int SetInstallDir(const char* file)
{
    HANDLE in = CreateFileA(file, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (in == INVALID_HANDLE_VALUE)
        return Failed("CreateFile");
    DWORD size = GetFileSize(in, NULL);
    char* data = static_cast<char*>(calloc(static_cast<size_t>(size) + 1, 1));
    DWORD got = 0;
    BOOL read = data && ReadFile(in, data, size, &got, NULL) && got == size;
    CloseHandle(in);
    if (!read) {
        free(data);
        return Failed("ReadFile");
    }
    HKEY key = NULL;
    LONG status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Kavix\\Zonbek", 0, NULL, 0, KEY_SET_VALUE, NULL,
                                  &key, NULL);
    if (status == ERROR_SUCCESS) {
        status = RegSetValueExA(key, "InstallDir", 0, REG_SZ, reinterpret_cast<BYTE*>(data), size + 1);
        RegCloseKey(key);
    }
    free(data);
    if (status != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(status));
        return Failed("RegSetValueEx");
    }
    printf("set bytes=%lu\n", size + 1);
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
            "       svcctl handles PID           (entries of the system handle list)\n"
            "       svcctl stats PID             (handles, threads, working set, private bytes)\n"
            "       svcctl kill PID CODE         (TerminateProcess, then wait)\n"
            "       svcctl stopstorm NAME COUNT\n"
            "       svcctl stopuntil NAME MS     (stop, again while refused)\n"
            "       svcctl setdir FILE           (InstallDir from a file's bytes)\n");
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
    if (strcmp(command, "stats") == 0 && argc == 3)
        return Stats(ParseNumber(argv[2]));
    if (strcmp(command, "kill") == 0 && argc == 4)
        return Kill(ParseNumber(argv[2]), ParseNumber(argv[3]));
    if (strcmp(command, "stopstorm") == 0 && argc == 4)
        return StopStorm(argv[2], ParseNumber(argv[3]));
    if (strcmp(command, "stopuntil") == 0 && argc == 4)
        return StopUntilTaken(argv[2], ParseNumber(argv[3]));
    if (strcmp(command, "setdir") == 0 && argc == 3)
        return SetInstallDir(argv[2]);
    return Usage();
}
