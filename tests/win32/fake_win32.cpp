#include "fake_win32.h"

#include <ntsecapi.h>

#include <gtest/gtest.h>

#include "trust/account.h"
#include "trust/check.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

namespace fake {
namespace {

struct Object;

struct Pipe {
    std::string name;
    std::string data;
    size_t capacity = 0;
    // The service's one overlapped read, while pending: where its bytes go and the event it sets.
    OVERLAPPED* pending = nullptr;
    char* into = nullptr;
    DWORD wanted = 0;
    Object* event = nullptr;
    bool cancelled = false; // takes effect when the service awaits the read
};

struct Process {
    Tool tool;
    bool ended = false;
    bool endsWhenWritten = false; // a tool that ends by itself does so once its output is in the pipe
    std::string unwritten;        // blocked until the pipe has room
    std::shared_ptr<Pipe> output;
};

enum class Kind { PipeRead, PipeWrite, Process, ProcessThread, Event };

struct Object {
    Kind kind;
    int serial;
    bool open = true;
    std::shared_ptr<Pipe> pipe;
    std::shared_ptr<Process> process;
    bool signalled = false; // an event
    bool due = false;       // an event set only once a wait has found nothing else signalled, as Wine may
    bool inheritable = false;
};

// One lock and one condition for the whole stand-in: simple, and enough for a test fixture.
std::mutex gate;
std::condition_variable changed;
Script current;
Record log;
std::vector<std::unique_ptr<Object>> objects;
std::vector<std::shared_ptr<Process>> processes;
bool consoleAllocated = false;
bool ctrlCIgnored = false;
int serials = 0;
thread_local DWORD lastError = 0;

HANDLE const EventSourceValue = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0xE7E7));
SERVICE_STATUS_HANDLE const StatusValue = reinterpret_cast<SERVICE_STATUS_HANDLE>(static_cast<uintptr_t>(0x5757));
HKEY const KeyValue = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x4B45));
HANDLE const StandardErrorHandle = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x5E5E));

const char* KindName(Kind kind)
{
    switch (kind) {
    case Kind::PipeRead: return "pipe read";
    case Kind::PipeWrite: return "pipe write";
    case Kind::Process: return "process";
    case Kind::ProcessThread: return "process thread";
    case Kind::Event: return "event";
    }
    return "?";
}

HANDLE NewObject(Kind kind, std::shared_ptr<Pipe> pipe = {}, std::shared_ptr<Process> process = {})
{
    objects.push_back(std::make_unique<Object>(Object{kind, ++serials, true, pipe, process}));
    return objects.back().get();
}

// The object behind an open handle of the given kind, or null (and a test failure) for anything else.
Object* Lookup(HANDLE handle, Kind kind)
{
    for (auto& object : objects) {
        if (object.get() == handle && object->open && object->kind == kind)
            return object.get();
    }
    ADD_FAILURE() << "stand-in: call with a handle that is not an open " << KindName(kind);
    return nullptr;
}

void Call(const std::string& name)
{
    log.calls.push_back(name);
    changed.notify_all();
}

BOOL Outcome(std::deque<Result>& queue)
{
    Result result;
    if (!queue.empty()) {
        result = queue.front();
        queue.pop_front();
    }
    if (!result.ok)
        lastError = result.error;
    return result.ok;
}

void Serve(const std::shared_ptr<Pipe>& pipe);

void EndProcess(Process& process, DWORD exitCode)
{
    if (process.ended)
        return;
    process.tool.exitCode = exitCode;
    process.ended = true;
    process.unwritten.clear();
    if (process.output)
        Serve(process.output);
    changed.notify_all();
}

// Whether a running tool or an open handle of the service can still write; a grandchild never does.
bool Writable(const Pipe& pipe, bool grandchildren)
{
    return std::any_of(objects.begin(), objects.end(),
                       [&](auto& o) { return o->open && o->kind == Kind::PipeWrite && o->pipe.get() == &pipe; })
        || std::any_of(processes.begin(), processes.end(), [&](auto& p) {
               return p->output.get() == &pipe && (!p->ended || (grandchildren && p->tool.grandchildHoldsPipe));
           });
}

void Complete(Pipe& pipe, DWORD error, DWORD count)
{
    pipe.pending->Internal = error;
    pipe.pending->InternalHigh = count;
    pipe.event->due = true;
    pipe.pending = nullptr;
    pipe.cancelled = false;
    changed.notify_all();
}

// Moves what the pipe's writers are blocked on into its room, and what it holds into a pending read.
void Serve(const std::shared_ptr<Pipe>& pipe)
{
    for (bool moved = true; moved;) {
        moved = false;
        if (pipe->pending && !pipe->data.empty()) {
            DWORD count = std::min<DWORD>(pipe->wanted, static_cast<DWORD>(pipe->data.size()));
            memcpy(pipe->into, pipe->data.data(), count);
            pipe->data.erase(0, count);
            Complete(*pipe, 0, count);
        }
        for (auto& process : processes) {
            if (process->output != pipe || process->unwritten.empty())
                continue;
            size_t count = std::min(pipe->capacity - pipe->data.size(), process->unwritten.size());
            pipe->data += process->unwritten.substr(0, count);
            process->unwritten.erase(0, count);
            moved = moved || count > 0;
            if (process->unwritten.empty() && process->endsWhenWritten)
                EndProcess(*process, process->tool.exitCode);
        }
    }
    if (pipe->pending && pipe->data.empty() && !Writable(*pipe, true))
        Complete(*pipe, ERROR_BROKEN_PIPE, 0);
    changed.notify_all();
}

} // namespace

void Reset()
{
    std::lock_guard lock(gate);
    for (auto& process : processes)
        EndProcess(*process, process->tool.exitCode);
    current = Script{};
    log = Record{};
    objects.clear();
    processes.clear();
    consoleAllocated = false;
    ctrlCIgnored = false;
    serials = 0;
    lastError = 0;
}

Script& script()
{
    return current;
}

Record record()
{
    std::lock_guard lock(gate);
    return log;
}

std::vector<std::string> OpenHandles()
{
    std::lock_guard lock(gate);
    std::vector<std::string> open;
    for (auto& object : objects) {
        if (object->open)
            open.push_back(std::string(KindName(object->kind)) + " #" + std::to_string(object->serial));
    }
    return open;
}

void WaitForStatuses(size_t count)
{
    std::unique_lock lock(gate);
    changed.wait(lock, [&] { return log.statuses.size() >= count; });
}

void WaitForCalls(size_t count)
{
    std::unique_lock lock(gate);
    changed.wait(lock, [&] { return log.calls.size() >= count; });
}

HANDLE EventSource()
{
    return EventSourceValue;
}

SERVICE_STATUS_HANDLE StatusHandleValue()
{
    return StatusValue;
}

HANDLE StandardErrorValue()
{
    return StandardErrorHandle;
}

} // namespace fake

using namespace fake;

DWORD GetLastError()
{
    return lastError;
}

void SetLastError(DWORD error)
{
    lastError = error;
}

HANDLE RegisterEventSourceA(LPCSTR server, LPCSTR source)
{
    std::lock_guard lock(gate);
    Call(std::string("RegisterEventSourceA(") + (server ? server : "null") + "," + source + ")");
    return current.eventSourceRegistered ? EventSourceValue : nullptr;
}

BOOL ReportEventA(HANDLE eventLog, WORD type, WORD category, DWORD eventId, PSID user, WORD stringCount,
                  DWORD dataSize, LPCSTR* strings, LPVOID data)
{
    std::lock_guard lock(gate);
    Event event{eventLog, type, category, eventId, user, strings == nullptr, {}, dataSize, data};
    for (WORD i = 0; i < stringCount && strings != nullptr; ++i)
        event.strings.emplace_back(strings[i]);
    log.events.push_back(event);
    Call("ReportEventA");
    return eventLog != nullptr;
}

LONG RegOpenKeyA(HKEY key, LPCSTR subKey, PHKEY result)
{
    std::lock_guard lock(gate);
    log.registry.push_back({"RegOpenKeyA", key, subKey, false, false, 0});
    Call("RegOpenKeyA");
    if (current.registry.openResult != ERROR_SUCCESS) {
        if (current.registry.lastErrorOnFailure)
            lastError = current.registry.lastErrorOnFailure;
        return current.registry.openResult;
    }
    *result = KeyValue;
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size)
{
    std::lock_guard lock(gate);
    Registry& registry = current.registry;
    size_t queries = std::count_if(log.registry.begin(), log.registry.end(),
                                   [](auto& call) { return call.function == "RegQueryValueExA"; });
    log.registry.push_back({"RegQueryValueExA", key, valueName, type != nullptr, data != nullptr, size ? *size : 0});
    Call("RegQueryValueExA");
    EXPECT_EQ(key, KeyValue) << "query on a key that was not opened";
    EXPECT_EQ(reserved, nullptr);
    const std::string& stored = queries > 0 && registry.storedLater ? *registry.storedLater : registry.stored;
    std::optional<LONG> forced = queries == 0 ? registry.firstQueryResult : registry.secondQueryResult;
    LONG result = ERROR_SUCCESS;
    if (!registry.valuePresent) {
        result = ERROR_FILE_NOT_FOUND;
    } else {
        if (type)
            *type = registry.type;
        DWORD room = *size;
        *size = static_cast<DWORD>(stored.size());
        if (data && room < stored.size())
            result = ERROR_MORE_DATA;
        else if (data)
            memcpy(data, stored.data(), stored.size());
    }
    if (forced)
        result = *forced;
    if (result != ERROR_SUCCESS && registry.lastErrorOnFailure)
        lastError = registry.lastErrorOnFailure;
    return result;
}

LONG RegCloseKey(HKEY key)
{
    std::lock_guard lock(gate);
    log.registry.push_back({"RegCloseKey", key, "", false, false, 0});
    Call("RegCloseKey");
    return ERROR_SUCCESS;
}

BOOL StartServiceCtrlDispatcherA(const SERVICE_TABLE_ENTRYA* table)
{
    {
        std::lock_guard lock(gate);
        Call("StartServiceCtrlDispatcherA");
        for (const SERVICE_TABLE_ENTRYA* entry = table; entry->lpServiceName != nullptr; ++entry)
            log.dispatcherNames.emplace_back(entry->lpServiceName);
        EXPECT_EQ(table[1].lpServiceProc, nullptr) << "the table ends with a null entry";
        if (!current.dispatcher.ok) {
            lastError = current.dispatcher.error;
            return FALSE;
        }
    }
    // The dispatcher runs the service on a thread of its own and returns when it has ended.
    char name[] = "zonbek";
    LPSTR arguments[] = {name, nullptr};
    std::thread service(table[0].lpServiceProc, 1, arguments);
    service.join();
    return TRUE;
}

SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerA(LPCSTR name, LPHANDLER_FUNCTION)
{
    std::lock_guard lock(gate);
    log.handlerNames.emplace_back(name);
    Call("RegisterServiceCtrlHandlerA");
    if (!current.handlerRegistration.ok) {
        lastError = current.handlerRegistration.error;
        return nullptr;
    }
    return StatusValue;
}

BOOL SetServiceStatus(SERVICE_STATUS_HANDLE handle, LPSERVICE_STATUS status)
{
    std::lock_guard lock(gate);
    log.statuses.push_back(*status);
    log.statusHandles.push_back(handle);
    Call("SetServiceStatus");
    return TRUE;
}

BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE routine, BOOL add)
{
    std::lock_guard lock(gate);
    Call(std::string("SetConsoleCtrlHandler(") + (routine ? "routine" : "null") + "," + std::to_string(add) + ")");
    if (routine == nullptr)
        ctrlCIgnored = add != FALSE;
    else if (add)
        log.consoleHandler = routine;
    return TRUE;
}

BOOL GenerateConsoleCtrlEvent(DWORD event, DWORD processGroup)
{
    std::lock_guard lock(gate);
    Call("GenerateConsoleCtrlEvent(" + std::to_string(event) + "," + std::to_string(processGroup) + ")");
    if (!consoleAllocated) {
        lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    log.ctrlCBroadcasts++;
    for (auto& process : processes) {
        if (process->tool.untilCtrlC)
            EndProcess(*process, process->tool.exitCode);
    }
    return TRUE;
}

static void Hook(const std::string& call)
{
    std::function<void(const std::string&)> hook;
    {
        std::lock_guard lock(gate);
        hook = current.onCall;
    }
    if (hook)
        hook(call);
}

BOOL AllocConsole()
{
    Hook("AllocConsole");
    std::lock_guard lock(gate);
    Call("AllocConsole");
    log.allocConsoles++;
    if (consoleAllocated) {
        lastError = ERROR_ACCESS_DENIED;
        return FALSE;
    }
    BOOL ok = Outcome(current.allocConsole);
    consoleAllocated = ok != FALSE;
    return ok;
}

HANDLE GetStdHandle(DWORD which)
{
    std::lock_guard lock(gate);
    EXPECT_EQ(which, STD_ERROR_HANDLE) << "the service asks only for its standard error";
    return current.standardError;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED overlapped)
{
    std::lock_guard lock(gate);
    Call("WriteFile");
    EXPECT_EQ(overlapped, nullptr);
    if (file != StandardErrorHandle || current.standardError != StandardErrorHandle) {
        ADD_FAILURE() << "stand-in: WriteFile on a handle that is not the standard error it was given";
        lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    log.standardError.append(static_cast<const char*>(buffer), toWrite);
    *written = toWrite;
    return TRUE;
}

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState, LPCSTR name)
{
    std::lock_guard lock(gate);
    Call("CreateEventA");
    EXPECT_TRUE(attributes == nullptr && manualReset && !initialState && name == nullptr);
    return NewObject(Kind::Event);
}

HANDLE CreateNamedPipeA(LPCSTR name, DWORD openMode, DWORD pipeMode, DWORD maxInstances, DWORD outSize, DWORD inSize,
                        DWORD timeout, LPSECURITY_ATTRIBUTES attributes)
{
    Hook("CreateNamedPipeA");
    std::lock_guard lock(gate);
    Call("CreateNamedPipeA");
    log.pipes.push_back({.name = name,
                         .server = {openMode, pipeMode, maxInstances, outSize, inSize, timeout},
                         .serverAttributes = attributes});
    for (auto& object : objects)
        EXPECT_FALSE(object->open && object->pipe && object->pipe->name == name) << "a pipe name used twice";
    if (!Outcome(current.createPipe))
        return INVALID_HANDLE_VALUE;
    return log.pipes.back().read = NewObject(Kind::PipeRead, std::make_shared<Pipe>(Pipe{name, "", inSize}));
}

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES attributes, DWORD disposition,
                   DWORD flags, HANDLE templateFile)
{
    std::lock_guard lock(gate);
    Call("CreateFileA");
    PipeCreation& creation = log.pipes.back();
    EXPECT_TRUE(creation.name == name && templateFile == nullptr) << "the pipe just made, by its name";
    creation.client = {access, share, disposition, flags};
    creation.clientAttributes = attributes ? *attributes : SECURITY_ATTRIBUTES{};
    if (!Outcome(current.createFile))
        return INVALID_HANDLE_VALUE;
    creation.write = NewObject(Kind::PipeWrite, Lookup(creation.read, Kind::PipeRead)->pipe);
    objects.back()->inheritable = attributes && attributes->bInheritHandle;
    return creation.write;
}

BOOL CloseHandle(HANDLE handle)
{
    Hook("CloseHandle");
    std::lock_guard lock(gate);
    Call("CloseHandle");
    for (auto& object : objects) {
        if (object.get() != handle)
            continue;
        if (!object->open)
            break;
        object->open = false;
        if (object->kind == Kind::PipeWrite)
            Serve(object->pipe);
        EXPECT_FALSE(object->kind == Kind::PipeRead && object->pipe->pending)
            << "the pipe closed with a read still pending into the service's buffer";
        changed.notify_all();
        return TRUE;
    }
    ADD_FAILURE() << "stand-in: CloseHandle of a handle that is not open";
    lastError = ERROR_INVALID_HANDLE;
    return FALSE;
}

BOOL CreateProcessA(LPCSTR application, LPSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes,
                    LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles, DWORD creationFlags,
                    LPVOID environment, LPCSTR currentDirectory, LPSTARTUPINFOA startupInfo,
                    LPPROCESS_INFORMATION processInformation)
{
    std::lock_guard lock(gate);
    Launch launch{application ? application : "(null)",
                  commandLine ? commandLine : "(null)",
                  processAttributes == nullptr,
                  threadAttributes == nullptr,
                  inheritHandles,
                  creationFlags,
                  environment == nullptr,
                  currentDirectory == nullptr,
                  currentDirectory ? currentDirectory : "",
                  *startupInfo,
                  log.ctrlCBroadcasts,
                  false};
    launch.ok = Outcome(current.createProcess) != FALSE;
    if (launch.ok) {
        // The platform may write into the command line; a buffer used again would show it.
        if (commandLine && commandLine[0])
            commandLine[0] = '#';
        auto process = std::make_shared<Process>();
        if (current.tools.empty()) {
            ADD_FAILURE() << "stand-in: launch " << log.launches.size() + 1 << " has no scripted tool";
            process->tool.exitCode = 1;
        } else {
            process->tool = current.tools.front();
            current.tools.pop_front();
        }
        for (auto& object : objects) {
            if (object.get() == startupInfo->hStdOutput && object->open && object->kind == Kind::PipeWrite
                && object->inheritable && inheritHandles) {
                process->output = object->pipe;
                process->unwritten = process->tool.output;
            }
        }
        processes.push_back(process);
        process->endsWhenWritten = !process->tool.untilCtrlC;
        if (process->output)
            Serve(process->output);
        processInformation->hProcess = NewObject(Kind::Process, {}, process);
        processInformation->hThread = NewObject(Kind::ProcessThread, {}, process);
        processInformation->dwProcessId = 1000 + static_cast<DWORD>(processes.size());
        processInformation->dwThreadId = 2000 + static_cast<DWORD>(processes.size());
        if (process->endsWhenWritten && process->unwritten.empty())
            EndProcess(*process, process->tool.exitCode);
    }
    log.launches.push_back(launch);
    Call("CreateProcessA");
    return launch.ok;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    std::unique_lock lock(gate);
    std::function<bool()> signalled;
    for (auto& object : objects) {
        if (object.get() != handle || !object->open)
            continue;
        if (object->kind == Kind::Process) {
            auto process = object->process;
            signalled = [process] { return process->ended; };
        }
    }
    if (!signalled) {
        ADD_FAILURE() << "stand-in: wait on a handle that is not an open process";
        lastError = ERROR_INVALID_HANDLE;
        return WAIT_FAILED;
    }
    if (milliseconds == INFINITE) {
        changed.wait(lock, signalled);
        return WAIT_OBJECT_0;
    }
    return changed.wait_for(lock, std::chrono::milliseconds(milliseconds), signalled) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode)
{
    std::lock_guard lock(gate);
    Call("GetExitCodeProcess");
    Object* object = Lookup(process, Kind::Process);
    if (!object)
        return FALSE;
    if (object->process->tool.exitCodeUnreadable) {
        lastError = object->process->tool.exitCodeError;
        return FALSE;
    }
    *exitCode = object->process->ended ? object->process->tool.exitCode : 259;
    return TRUE;
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds)
{
    std::unique_lock lock(gate);
    EXPECT_TRUE(count == 2 && !waitAll && milliseconds == INFINITE) << "a read's event and the tool, for ever";
    Object* event = Lookup(handles[0], Kind::Event);
    Object* process = Lookup(handles[1], Kind::Process);
    if (!event || !process)
        return WAIT_FAILED;
    while (!event->signalled && !process->process->ended) {
        if (std::exchange(event->due, false))
            event->signalled = true;
        else
            changed.wait(lock);
    }
    return event->signalled ? WAIT_OBJECT_0 : WAIT_OBJECT_0 + 1;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped)
{
    std::lock_guard lock(gate);
    Call("ReadFile");
    EXPECT_TRUE(overlapped != nullptr && read == nullptr) << "one overlapped read, counted when it has completed";
    Object* object = Lookup(file, Kind::PipeRead);
    Object* event = Lookup(overlapped->hEvent, Kind::Event);
    if (!object || !event)
        return FALSE;
    auto pipe = object->pipe;
    EXPECT_EQ(pipe->pending, nullptr) << "a second read while one is pending";
    event->signalled = event->due = false;
    if (pipe->data.empty() && !Writable(*pipe, true)) {
        lastError = ERROR_BROKEN_PIPE;
        return FALSE;
    }
    overlapped->Internal = ERROR_IO_PENDING;
    *pipe = Pipe{pipe->name, pipe->data, pipe->capacity, overlapped, static_cast<char*>(buffer), toRead, event};
    Serve(pipe);
    lastError = ERROR_IO_PENDING;
    return pipe->pending != overlapped;
}

BOOL CancelIoEx(HANDLE file, LPOVERLAPPED overlapped)
{
    std::lock_guard lock(gate);
    Call("CancelIoEx");
    Object* object = Lookup(file, Kind::PipeRead);
    if (!object || !object->pipe->pending || (overlapped && object->pipe->pending != overlapped)) {
        lastError = ERROR_NOT_FOUND;
        return FALSE;
    }
    object->pipe->cancelled = true;
    return TRUE;
}

BOOL GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD transferred, BOOL wait)
{
    std::unique_lock lock(gate);
    Object* object = Lookup(file, Kind::PipeRead);
    if (!object)
        return FALSE;
    auto pipe = object->pipe;
    EXPECT_TRUE(wait) << "a read is over only once its result has come";
    changed.wait(lock, [&] {
        return overlapped->Internal != ERROR_IO_PENDING || pipe->cancelled || !Writable(*pipe, false);
    });
    if (overlapped->Internal == ERROR_IO_PENDING) {
        EXPECT_TRUE(pipe->cancelled) << "the service waits for a read that only a grandchild could complete";
        Complete(*pipe, ERROR_OPERATION_ABORTED, 0);
    }
    *transferred = static_cast<DWORD>(overlapped->InternalHigh);
    lastError = static_cast<DWORD>(overlapped->Internal);
    return overlapped->Internal == 0;
}

BOOL PeekNamedPipe(HANDLE pipe, LPVOID buffer, DWORD size, LPDWORD read, LPDWORD available, LPDWORD left)
{
    std::lock_guard lock(gate);
    EXPECT_TRUE(buffer == nullptr && size == 0 && read == nullptr && left == nullptr);
    Object* object = Lookup(pipe, Kind::PipeRead);
    if (!object)
        return FALSE;
    if (object->pipe->data.empty() && !Writable(*object->pipe, true)) {
        lastError = ERROR_BROKEN_PIPE;
        return FALSE;
    }
    if (available)
        *available = static_cast<DWORD>(object->pipe->data.size());
    return TRUE;
}

DWORD GetCurrentProcessId()
{
    return 0x4242;
}

BOOLEAN RtlGenRandom(PVOID buffer, ULONG length)
{
    memset(buffer, 0xA5, length);
    return TRUE;
}

void AcquireSRWLockExclusive(PSRWLOCK lock)
{
    lock->mutex.lock();
}

void ReleaseSRWLockExclusive(PSRWLOCK lock)
{
    lock->mutex.unlock();
}

void AcquireSRWLockShared(PSRWLOCK lock)
{
    lock->mutex.lock();
}

void ReleaseSRWLockShared(PSRWLOCK lock)
{
    lock->mutex.unlock();
    Hook("ReleaseSRWLockShared");
}

int _snprintf(char* text, size_t count, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    va_list again;
    va_copy(again, arguments);
    int length = vsnprintf(nullptr, 0, format, arguments);
    std::vector<char> whole(static_cast<size_t>(length) + 1);
    vsnprintf(whole.data(), whole.size(), format, again);
    va_end(again);
    va_end(arguments);
    size_t kept = std::min(static_cast<size_t>(length), count);
    memcpy(text, whole.data(), kept);
    if (kept < count)
        text[kept] = '\0';
    return static_cast<size_t>(length) <= count ? length : -1;
}

// The service's own readers of tokens and descriptors (proven under Wine): their answers are scripted.
bool CheckToolFolder()
{
    std::lock_guard lock(gate);
    Call("CheckToolFolder");
    return current.toolFolderPasses;
}

SECURITY_ATTRIBUTES* OwnPipeSecurity()
{
    std::lock_guard lock(gate);
    Call("OwnPipeSecurity");
    if (!current.pipeSecurity.ok)
        lastError = current.pipeSecurity.error;
    return current.pipeSecurity.ok ? &fake::PipeSecurity : nullptr;
}
