#pragma once
// The test side of the Win32 stand-in: what the next calls will return, and what the service called.

#include <windows.h>

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace fake {

// The outcome of one scripted call; a failure leaves `error` as the thread's last error.
struct Result {
    BOOL ok = TRUE;
    DWORD error = 0;
};

constexpr Result Fails(DWORD error)
{
    return Result{FALSE, error};
}

struct Registry {
    LONG openResult = ERROR_SUCCESS;
    bool valuePresent = true;
    DWORD type = REG_SZ;
    std::string stored = std::string("C:\\Tools\\Z") + '\0';
    // What the value holds from the second query on, for a value that changes between the queries.
    std::optional<std::string> storedLater;
    // Forced results of the first and second query, instead of what the value gives.
    std::optional<LONG> firstQueryResult;
    std::optional<LONG> secondQueryResult;
    // Last error that a failing registry call leaves behind (registry calls normally leave it alone).
    DWORD lastErrorOnFailure = 0;
};

// One launch of the tool: what it writes and how it ends.
struct Tool {
    DWORD exitCode = 0;
    std::string output; // written as the pipe has room; a tool that ends by itself does so once it is all written
    bool untilCtrlC = false; // runs until a Ctrl+C reaches the console
    bool exitCodeUnreadable = false;
    DWORD exitCodeError = ERROR_ACCESS_DENIED;
    bool grandchildHoldsPipe = false; // a child keeps the pipe's write end for ever and writes nothing
};

struct Script {
    bool eventSourceRegistered = true;
    Registry registry;
    Result dispatcher = Fails(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);
    Result handlerRegistration;
    bool toolFolderPasses = true; // the tool folder check's answer
    Result pipeSecurity;          // whether the pipe's descriptor can be made
    std::deque<Result> createPipe; // the service's end, CreateNamedPipeA
    std::deque<Result> createFile; // the tool's end, CreateFileA
    std::deque<Result> allocConsole;
    std::deque<Result> createProcess;
    std::deque<Tool> tools; // one per successful launch; a launch with none left is a test failure
    // Runs on the calling thread, outside the stand-in's lock, as CreateNamedPipeA, AllocConsole or
    // CloseHandle is entered or a shared lock released: a way to deliver a control at an exact point of a cycle.
    std::function<void(const std::string& call)> onCall;
    // What GetStdHandle(STD_ERROR_HANDLE) gives: none by default, as under the service manager;
    // StandardErrorValue() as for a program started from a command prompt.
    HANDLE standardError = nullptr;
};

struct Event {
    HANDLE source;
    WORD type;
    WORD category;
    DWORD id;
    PSID user;
    bool stringsNull;
    std::vector<std::string> strings;
    DWORD dataSize;
    LPVOID data;
};

struct RegistryCall {
    std::string function;
    HKEY key;
    std::string name;
    bool typeWanted;
    bool bufferGiven;
    DWORD sizeIn;
};

struct PipeCreation {
    std::string name;
    std::vector<DWORD> server; // open mode, pipe mode, instances, out and in size, time-out
    const SECURITY_ATTRIBUTES* serverAttributes;
    HANDLE read = nullptr;
    HANDLE write = nullptr;         // the tool's end, opened by name
    std::vector<DWORD> client = {}; // access, share mode, disposition, flags
    SECURITY_ATTRIBUTES clientAttributes = {};
};

struct Launch {
    std::string application;
    std::string commandLine;
    bool processAttributesNull;
    bool threadAttributesNull;
    BOOL inheritHandles;
    DWORD creationFlags;
    bool environmentNull;
    bool directoryNull;
    std::string directory;
    STARTUPINFOA startup;
    size_t ctrlCBroadcastsBefore; // Ctrl+C broadcasts made before this launch
    bool ok;
};

struct Record {
    std::vector<std::string> calls; // every call by name, in order, across threads
    std::vector<Event> events;
    std::vector<SERVICE_STATUS> statuses;
    std::vector<SERVICE_STATUS_HANDLE> statusHandles;
    std::vector<RegistryCall> registry;
    std::vector<PipeCreation> pipes;
    std::vector<Launch> launches;
    std::vector<std::string> dispatcherNames;
    std::vector<std::string> handlerNames;
    size_t allocConsoles = 0;
    size_t ctrlCBroadcasts = 0;
    PHANDLER_ROUTINE consoleHandler = nullptr; // the last handler routine added
    std::string standardError; // everything written to StandardErrorValue()
};

// What the pipe's descriptor stands in as.
inline SECURITY_ATTRIBUTES PipeSecurity = {sizeof(SECURITY_ATTRIBUTES), &PipeSecurity, FALSE};

// Clears the script and the record and ends every tool.
void Reset();
Script& script();
// A copy, taken under the stand-in's lock.
Record record();

// Descriptions of the handles still open ("pipe read #1", "process #2", ...).
std::vector<std::string> OpenHandles();

// Waits (without a time limit) until the service has made this many launch attempts / status reports.
void WaitForStatuses(size_t count);
void WaitForCalls(size_t count);

HANDLE EventSource();
SERVICE_STATUS_HANDLE StatusHandleValue();
HANDLE StandardErrorValue();

} // namespace fake
