// Benchmark driver, run under Wine beside the service. Each command prints one line of key=value pairs.
//   benchctl service NAME LAUNCHES    start the service and let it restart the benchmark tool until
//                                     launch LAUNCHES exits with 1 and the service stops
//   benchctl bare TOOL DIR LAUNCHES [MODE]
//                                     the platform's own limit (MODE plain, the default): CreateProcessA
//                                     of the same tool with an inherited pipe as its output, wait,
//                                     GetExitCodeProcess, CloseHandle. A reference for what draining the
//                                     output costs: "overlapped" adds a named pipe per launch that the
//                                     waiting thread itself reads, overlapped, as the service does
//   benchctl stoptime NAME            stop control to stopped report, for a tool that ends on Ctrl+C
// The first two print the rate of launches and the time from each tool's end to the next tool's entry.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <vector>

#include "launch.h"
#include "table.h"

namespace {

const int ExitOk = 0;
const int ExitTimeout = 1;
const int ExitFailed = 2;
const int ExitUsage = 3;

int Failed(const char* what)
{
    printf("error=%lu call=%s\n", GetLastError(), what);
    return ExitFailed;
}

double Frequency()
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(frequency.QuadPart);
}

double Now()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / Frequency();
}

struct Table {
    HANDLE mapping = NULL;
    BenchTable* view = NULL;
    ~Table()
    {
        if (view)
            UnmapViewOfFile(view);
        if (mapping)
            CloseHandle(mapping);
    }
    bool Create(LONG limit)
    {
        mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, sizeof(BenchTable), BenchTableName);
        if (!mapping)
            return false;
        view = static_cast<BenchTable*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0));
        if (!view)
            return false;
        memset(view, 0, sizeof(BenchTable));
        view->limit = limit;
        return true;
    }
};

double Percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[static_cast<size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5)];
}

// The launches recorded in the table: their rate from the first entry to the last, and the gaps from
// each tool's end to the next one's entry.
int Report(const BenchTable& table, LONG expected)
{
    LONG recorded = table.launches;
    LONG launches = recorded < BenchCapacity ? recorded : BenchCapacity;
    if (launches < 2 || launches != expected) {
        printf("error=launches call=table launches=%ld expected=%ld\n", recorded, expected);
        return ExitFailed;
    }
    double frequency = Frequency();
    double seconds = static_cast<double>(table.started[launches - 1] - table.started[0]) / frequency;
    std::vector<double> gaps;
    for (LONG k = 0; k + 1 < launches; ++k)
        gaps.push_back(static_cast<double>(table.started[k + 1] - table.ended[k]) / frequency * 1000.0);
    printf("launches=%ld seconds=%.3f rate=%.2f gap_ms_median=%.3f gap_ms_p10=%.3f gap_ms_p90=%.3f\n", launches,
           seconds, (launches - 1) / seconds, Percentile(gaps, 0.5), Percentile(gaps, 0.1), Percentile(gaps, 0.9));
    return ExitOk;
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
    bool Open(const char* name, DWORD access)
    {
        manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
        service = manager ? OpenServiceA(manager, name, access) : NULL;
        return service != NULL;
    }
    bool Query(SERVICE_STATUS_PROCESS& status)
    {
        DWORD needed = 0;
        return QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                                    &needed) != 0;
    }
};

int RunService(const char* name, LONG launches)
{
    Table table;
    if (!table.Create(launches))
        return Failed("CreateFileMapping");
    Service s;
    if (!s.Open(name, SERVICE_START | SERVICE_QUERY_STATUS))
        return Failed("OpenService");
    if (!StartServiceA(s.service, 0, NULL))
        return Failed("StartService");
    SERVICE_STATUS_PROCESS status = {};
    if (!s.Query(status))
        return Failed("QueryServiceStatusEx");
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, status.dwProcessId);
    if (!process)
        return Failed("OpenProcess");
    // A hang guard: Wine manages well over ten launches a second.
    DWORD waited = WaitForSingleObject(process, static_cast<DWORD>(launches) * 100 + 60000);
    CloseHandle(process);
    if (waited != WAIT_OBJECT_0) {
        printf("timeout launches=%ld\n", table.view->launches);
        return ExitTimeout;
    }
    return Report(*table.view, launches);
}

enum class Drain { None, Overlapped };

// A fresh pipe for one launch; with Drain::Overlapped a named one whose read end allows overlapped reads.
bool MakePipe(Drain drain, HANDLE* read, HANDLE* write)
{
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, NULL, TRUE};
    if (drain != Drain::Overlapped)
        return CreatePipe(read, write, &attributes, 0) != FALSE;
    static unsigned serial = 0;
    char name[64];
    snprintf(name, sizeof name, "\\\\.\\pipe\\zonbek-bench-%lu-%u", GetCurrentProcessId(), ++serial);
    *read = CreateNamedPipeA(name, PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                             PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, NULL);
    if (*read == INVALID_HANDLE_VALUE)
        return false;
    *write = CreateFileA(name, GENERIC_WRITE, 0, &attributes, OPEN_EXISTING, 0, NULL);
    return *write != INVALID_HANDLE_VALUE;
}

// Reads the pipe while the tool runs, on the waiting thread, and returns when the tool has ended.
void WaitReadingOverlapped(HANDLE process, HANDLE pipe)
{
    static HANDLE done = CreateEventA(NULL, TRUE, FALSE, NULL);
    static char sink[4096];
    bool open = true;
    while (open) {
        OVERLAPPED overlapped = {};
        overlapped.hEvent = done;
        ResetEvent(done);
        DWORD got = 0;
        if (ReadFile(pipe, sink, sizeof sink, &got, &overlapped))
            continue;
        if (GetLastError() != ERROR_IO_PENDING)
            break;
        HANDLE waits[2] = {process, done};
        if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0) {
            CancelIo(pipe);
            GetOverlappedResult(pipe, &overlapped, &got, TRUE);
            break;
        }
        open = GetOverlappedResult(pipe, &overlapped, &got, FALSE) != FALSE;
    }
    WaitForSingleObject(process, INFINITE);
}

int RunBare(const char* tool, const char* directory, LONG launches, Drain drain)
{
    Table table;
    if (!table.Create(launches))
        return Failed("CreateFileMapping");
    // The tool shares a console with its starter, as it does with the service.
    AllocConsole();
    HANDLE read = NULL;
    HANDLE write = NULL;
    if (drain == Drain::None && !MakePipe(drain, &read, &write))
        return Failed("CreatePipe");
    for (;;) {
        if (drain != Drain::None) {
            if (read)
                CloseHandle(read);
            if (!MakePipe(drain, &read, &write))
                return Failed("CreatePipe");
        }
        PROCESS_INFORMATION info;
        if (!LaunchBenchTool(tool, directory, write, &info)) {
            DWORD error = GetLastError();
            printf("error=%lu call=CreateProcess launches=%ld\n", error, table.view->launches);
            return ExitFailed;
        }
        if (drain != Drain::None) {
            CloseHandle(write);
            write = NULL;
        }
        if (drain == Drain::Overlapped)
            WaitReadingOverlapped(info.hProcess, read);
        else
            WaitForSingleObject(info.hProcess, INFINITE);
        DWORD code = 0;
        BOOL codeRead = GetExitCodeProcess(info.hProcess, &code);
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
        if (!codeRead)
            return Failed("GetExitCodeProcess");
        if (code != 0)
            break;
    }
    if (read)
        CloseHandle(read);
    if (write)
        CloseHandle(write);
    return Report(*table.view, launches);
}

int StopTime(const char* name)
{
    Service s;
    if (!s.Open(name, SERVICE_STOP | SERVICE_QUERY_STATUS))
        return Failed("OpenService");
    SERVICE_STATUS_PROCESS status = {};
    if (!s.Query(status))
        return Failed("QueryServiceStatusEx");
    if (status.dwCurrentState != SERVICE_RUNNING) {
        printf("error=state call=stoptime state=%lu\n", status.dwCurrentState);
        return ExitFailed;
    }
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, status.dwProcessId);
    if (!process)
        return Failed("OpenProcess");
    double sent = Now();
    SERVICE_STATUS answer = {};
    if (!ControlService(s.service, SERVICE_CONTROL_STOP, &answer)) {
        CloseHandle(process);
        return Failed("ControlService");
    }
    double answered = Now();
    // Polled: the service manager tells of a state only when asked. Sleep(1) keeps the poll from taking
    // a core from the service and the tool, for a resolution of about a millisecond.
    double stopped = 0;
    while (stopped == 0) {
        if (!s.Query(status)) {
            CloseHandle(process);
            return Failed("QueryServiceStatusEx");
        }
        if (status.dwCurrentState == SERVICE_STOPPED)
            stopped = Now();
        else if (Now() - sent > 60) {
            CloseHandle(process);
            printf("timeout state=%lu\n", status.dwCurrentState);
            return ExitTimeout;
        }
        else
            Sleep(1);
    }
    WaitForSingleObject(process, 60000);
    double ended = Now();
    CloseHandle(process);
    printf("control_ms=%.3f stopped_ms=%.3f exited_ms=%.3f exit=%lu\n", (answered - sent) * 1000,
           (stopped - sent) * 1000, (ended - sent) * 1000, status.dwWin32ExitCode);
    return ExitOk;
}

int Usage()
{
    fprintf(stderr, "usage: benchctl service NAME LAUNCHES | bare TOOL DIR LAUNCHES [plain|overlapped]"
                    " | stoptime NAME\n");
    return ExitUsage;
}

} // namespace

int main(int argc, char** argv)
{
    setvbuf(stdout, NULL, _IONBF, 0);
    if (argc == 4 && strcmp(argv[1], "service") == 0)
        return RunService(argv[2], atol(argv[3]));
    if ((argc == 5 || argc == 6) && strcmp(argv[1], "bare") == 0) {
        const char* mode = argc == 6 ? argv[5] : "plain";
        if (strcmp(mode, "plain") == 0)
            return RunBare(argv[2], argv[3], atol(argv[4]), Drain::None);
        if (strcmp(mode, "overlapped") == 0)
            return RunBare(argv[2], argv[3], atol(argv[4]), Drain::Overlapped);
    }
    if (argc == 3 && strcmp(argv[1], "stoptime") == 0)
        return StopTime(argv[2]);
    return Usage();
}
