#include "fake_win32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

namespace fake {
namespace {

struct Pipe {
    std::string data;
    size_t capacity = 0;
    int writers = 0;
};

struct Process {
    Tool tool;
    bool ended = false;
    bool endsWhenWritten = false; // a tool that ends by itself does so once its output is in the pipe
    std::string unwritten;        // blocked until the pipe has room
    std::shared_ptr<Pipe> output;
    bool holdsWriter = false;
};

struct Thread {
    std::thread thread;
    bool ended = false;
    Pipe* blockedIn = nullptr;
    bool cancelled = false;
};

enum class Kind { PipeRead, PipeWrite, Process, ProcessThread, Thread };

struct Object {
    Kind kind;
    int serial;
    bool open = true;
    std::shared_ptr<Pipe> pipe;
    std::shared_ptr<Process> process;
    std::shared_ptr<Thread> thread;
};

// One lock and one condition for the whole stand-in: simple, and enough for a test fixture.
std::mutex gate;
std::condition_variable changed;
Script current;
Record log;
std::vector<std::unique_ptr<Object>> objects;
std::vector<std::shared_ptr<Process>> processes;
std::vector<std::shared_ptr<Thread>> threads;
bool consoleAllocated = false;
bool ctrlCIgnored = false;
int serials = 0;
thread_local DWORD lastError = 0;
thread_local Thread* currentThread = nullptr;

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
    case Kind::Thread: return "thread";
    }
    return "?";
}

HANDLE NewObject(Kind kind, std::shared_ptr<Pipe> pipe = {}, std::shared_ptr<Process> process = {},
                 std::shared_ptr<Thread> thread = {})
{
    objects.push_back(std::make_unique<Object>(Object{kind, ++serials, true, pipe, process, thread}));
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

void EndProcess(Process& process, DWORD exitCode)
{
    if (process.ended)
        return;
    process.tool.exitCode = exitCode;
    process.ended = true;
    process.unwritten.clear();
    if (process.holdsWriter && !process.tool.grandchildHoldsPipe) {
        process.output->writers--;
        process.holdsWriter = false;
    }
    changed.notify_all();
}

// Moves what the pipe's writers are blocked on into the room a read has made.
void Flow(const std::shared_ptr<Pipe>& pipe)
{
    for (auto& process : processes) {
        if (process->output != pipe || process->unwritten.empty())
            continue;
        size_t count = std::min(pipe->capacity - pipe->data.size(), process->unwritten.size());
        pipe->data += process->unwritten.substr(0, count);
        process->unwritten.erase(0, count);
        if (process->unwritten.empty() && process->endsWhenWritten)
            EndProcess(*process, process->tool.exitCode);
    }
    changed.notify_all();
}

} // namespace

void Reset()
{
    std::vector<std::shared_ptr<Thread>> running;
    {
        std::lock_guard lock(gate);
        for (auto& process : processes) {
            EndProcess(*process, process->tool.exitCode);
            if (process->holdsWriter) {
                process->output->writers--;
                process->holdsWriter = false;
            }
        }
        for (auto& thread : threads)
            thread->cancelled = true;
        running = threads;
        changed.notify_all();
    }
    for (auto& thread : running) {
        if (thread->thread.joinable())
            thread->thread.join();
    }
    std::lock_guard lock(gate);
    current = Script{};
    log = Record{};
    objects.clear();
    processes.clear();
    threads.clear();
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

bool IsOpen(HANDLE handle)
{
    std::lock_guard lock(gate);
    return std::any_of(objects.begin(), objects.end(),
                       [&](auto& object) { return object.get() == handle && object->open; });
}

void WaitForLaunches(size_t count)
{
    std::unique_lock lock(gate);
    changed.wait(lock, [&] { return log.launches.size() >= count; });
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

void EndTools(DWORD exitCode)
{
    std::lock_guard lock(gate);
    for (auto& process : processes)
        EndProcess(*process, exitCode);
}

void ReleaseGrandchildren()
{
    std::lock_guard lock(gate);
    for (auto& process : processes) {
        if (process->ended && process->holdsWriter) {
            process->output->writers--;
            process->holdsWriter = false;
        }
    }
    changed.notify_all();
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

BOOL CreatePipe(HANDLE* read, HANDLE* write, LPSECURITY_ATTRIBUTES attributes, DWORD size)
{
    Hook("CreatePipe");
    std::lock_guard lock(gate);
    Call("CreatePipe");
    PipeCreation creation{nullptr, nullptr, attributes != nullptr, attributes ? *attributes : SECURITY_ATTRIBUTES{},
                          size, Outcome(current.createPipe) != FALSE};
    if (creation.ok) {
        auto pipe = std::make_shared<Pipe>();
        pipe->capacity = size ? size : 4096;
        pipe->writers = 1;
        *read = creation.read = NewObject(Kind::PipeRead, pipe);
        *write = creation.write = NewObject(Kind::PipeWrite, pipe);
    }
    log.pipes.push_back(creation);
    return creation.ok;
}

BOOL SetHandleInformation(HANDLE handle, DWORD mask, DWORD flags)
{
    std::lock_guard lock(gate);
    Call("SetHandleInformation");
    EXPECT_TRUE(Lookup(handle, Kind::PipeRead) && mask == HANDLE_FLAG_INHERIT && flags == 0);
    return TRUE;
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
            object->pipe->writers--;
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
                && inheritHandles) {
                process->output = object->pipe;
                process->output->writers++;
                process->holdsWriter = true;
                process->unwritten = process->tool.output;
            }
        }
        processes.push_back(process);
        process->endsWhenWritten = !process->tool.untilCtrlC && !process->tool.ignoresCtrlC;
        if (process->output)
            Flow(process->output);
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
        } else if (object->kind == Kind::Thread) {
            auto thread = object->thread;
            signalled = [thread] { return thread->ended; };
        }
    }
    if (!signalled) {
        ADD_FAILURE() << "stand-in: wait on a handle that is not an open process or thread";
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

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped)
{
    std::unique_lock lock(gate);
    EXPECT_EQ(overlapped, nullptr);
    *read = 0;
    Object* object = Lookup(file, Kind::PipeRead);
    if (!object) {
        lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    auto pipe = object->pipe;
    Thread* self = currentThread;
    if (self)
        self->blockedIn = pipe.get();
    changed.wait(lock, [&] { return !pipe->data.empty() || pipe->writers == 0 || (self && self->cancelled); });
    if (self)
        self->blockedIn = nullptr;
    if (!pipe->data.empty()) {
        DWORD count = std::min<DWORD>(toRead, static_cast<DWORD>(pipe->data.size()));
        memcpy(buffer, pipe->data.data(), count);
        pipe->data.erase(0, count);
        Flow(pipe);
        *read = count;
        if (self)
            self->cancelled = false; // a cancel applies only to the read pending when it is made
        return TRUE;
    }
    if (self && self->cancelled) {
        self->cancelled = false;
        lastError = ERROR_OPERATION_ABORTED;
        return FALSE;
    }
    lastError = ERROR_BROKEN_PIPE;
    return FALSE;
}

BOOL PeekNamedPipe(HANDLE pipe, LPVOID buffer, DWORD size, LPDWORD read, LPDWORD available, LPDWORD left)
{
    std::lock_guard lock(gate);
    EXPECT_TRUE(buffer == nullptr && size == 0 && read == nullptr && left == nullptr);
    Object* object = Lookup(pipe, Kind::PipeRead);
    if (!object)
        return FALSE;
    if (object->pipe->data.empty() && object->pipe->writers == 0) {
        lastError = ERROR_BROKEN_PIPE;
        return FALSE;
    }
    if (available)
        *available = static_cast<DWORD>(object->pipe->data.size());
    return TRUE;
}

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE routine, LPVOID parameter, DWORD flags,
                    LPDWORD threadId)
{
    std::lock_guard lock(gate);
    Call("CreateThread");
    EXPECT_EQ(flags, 0u);
    if (!Outcome(current.createThread))
        return nullptr;
    auto thread = std::make_shared<Thread>();
    Thread* raw = thread.get();
    thread->thread = std::thread([raw, routine, parameter] {
        currentThread = raw;
        routine(parameter);
        std::lock_guard done(gate);
        raw->ended = true;
        changed.notify_all();
    });
    threads.push_back(thread);
    if (threadId)
        *threadId = 3000 + static_cast<DWORD>(threads.size());
    return NewObject(Kind::Thread, {}, {}, thread);
}

BOOL CancelSynchronousIo(HANDLE handle)
{
    std::lock_guard lock(gate);
    Object* object = Lookup(handle, Kind::Thread);
    if (!object)
        return FALSE;
    if (object->thread->blockedIn == nullptr) {
        lastError = ERROR_NOT_FOUND;
        return FALSE;
    }
    object->thread->cancelled = true;
    changed.notify_all();
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

BOOL SleepConditionVariableSRW(PCONDITION_VARIABLE condition, PSRWLOCK lock, DWORD milliseconds, uint32_t flags)
{
    EXPECT_EQ(flags, 0u) << "the lock is held exclusively";
    std::unique_lock<std::mutex> held(lock->mutex, std::adopt_lock);
    bool woken = true;
    if (milliseconds == INFINITE)
        condition->condition.wait(held);
    else
        woken = condition->condition.wait_for(held, std::chrono::milliseconds(milliseconds)) == std::cv_status::no_timeout;
    held.release();
    if (!woken)
        lastError = ERROR_TIMEOUT;
    return woken;
}

void WakeConditionVariable(PCONDITION_VARIABLE condition)
{
    condition->condition.notify_one();
}
