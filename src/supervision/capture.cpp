#include "supervision/capture.h"

#include <string.h>

static const DWORD CancelRetryMilliseconds = 20;
static const DWORD DrainPollMilliseconds = 10;

static void Keep(OutputCapture* capture, const char* data, DWORD count)
{
    KeepOutput(capture->buffer, &capture->received, data, count);
}

// Reads only what the pipe holds now, so that no read waits: a grandchild that inherited the write end
// may keep the pipe open for ever. False once every writer has gone and the pipe is empty.
static bool TakeAvailable(OutputCapture* capture, DWORD* taken)
{
    *taken = 0;
    DWORD available = 0;
    if (!PeekNamedPipe(capture->pipe, NULL, 0, NULL, &available, NULL))
        return false;
    char chunk[4096];
    while (available > 0) {
        DWORD wanted = available < sizeof chunk ? available : static_cast<DWORD>(sizeof chunk);
        DWORD got = 0;
        if (!ReadFile(capture->pipe, chunk, wanted, &got, NULL)) {
            // A cancel meant for the reader's waiting read can land on this one.
            if (GetLastError() == ERROR_OPERATION_ABORTED)
                continue;
            break;
        }
        if (got == 0)
            break;
        Keep(capture, chunk, got);
        available -= got;
        *taken += got;
    }
    return true;
}

// One reader thread drains every cycle's pipe and sleeps in between: under Wine a thread started and
// ended per cycle cost each quick restart more than a millisecond. The hand-over needs no kernel object.
static HANDLE OutputReader = NULL;
static SRWLOCK ReaderLock = SRWLOCK_INIT;
static CONDITION_VARIABLE ReaderGiven = CONDITION_VARIABLE_INIT;
static CONDITION_VARIABLE ReaderTaken = CONDITION_VARIABLE_INIT;
static OutputCapture* ReaderCapture = NULL; // the capture being drained; null while the reader idles
static bool ReaderEnd = false;

static void Drain(OutputCapture* capture)
{
    char chunk[4096];
    while (!capture->toolEnded.load()) {
        DWORD got = 0;
        if (ReadFile(capture->pipe, chunk, sizeof chunk, &got, NULL))
            Keep(capture, chunk, got);
        else if (GetLastError() != ERROR_OPERATION_ABORTED)
            return; // every writer has gone and the pipe is empty
    }
    DWORD taken = 0;
    TakeAvailable(capture, &taken); // once the tool has gone, what the pipe holds is all of its output
}

static DWORD WINAPI ReadOutputs(LPVOID)
{
    AcquireSRWLockExclusive(&ReaderLock);
    for (;;) {
        while (ReaderCapture == NULL && !ReaderEnd)
            SleepConditionVariableSRW(&ReaderGiven, &ReaderLock, INFINITE, 0);
        if (ReaderCapture == NULL)
            break;
        OutputCapture* capture = ReaderCapture;
        ReleaseSRWLockExclusive(&ReaderLock);
        Drain(capture);
        AcquireSRWLockExclusive(&ReaderLock);
        ReaderCapture = NULL;
        WakeConditionVariable(&ReaderTaken);
    }
    ReleaseSRWLockExclusive(&ReaderLock);
    return 0;
}

void StartCapture(OutputCapture* capture, HANDLE pipe)
{
    capture->pipe = pipe;
    capture->toolEnded.store(false);
    capture->received = 0;
    memset(capture->buffer, 0, sizeof capture->buffer);
    // A reader that could not be started is tried again with the next cycle.
    if (OutputReader == NULL)
        OutputReader = CreateThread(NULL, 0, ReadOutputs, NULL, 0, NULL);
    if (OutputReader == NULL)
        return;
    AcquireSRWLockExclusive(&ReaderLock);
    ReaderCapture = capture;
    ReleaseSRWLockExclusive(&ReaderLock);
    WakeConditionVariable(&ReaderGiven);
}

void AwaitToolEnd(OutputCapture* capture, HANDLE process)
{
    // Without a reader the pipe is polled; while output flows it is read again at once.
    DWORD taken = 0;
    if (OutputReader == NULL) {
        while (WaitForSingleObject(process, taken > 0 ? 0 : DrainPollMilliseconds) == WAIT_TIMEOUT) {
            if (!TakeAvailable(capture, &taken))
                break;
        }
    }
    WaitForSingleObject(process, INFINITE);
}

void FinishCapture(OutputCapture* capture)
{
    if (OutputReader == NULL) {
        DWORD taken = 0;
        TakeAvailable(capture, &taken);
        return;
    }
    capture->toolEnded.store(true);
    // A read still pending now waits on an empty pipe that only a grandchild holds open; the cancel
    // is repeated for a reader that had not yet started its read when the first one was sent.
    AcquireSRWLockExclusive(&ReaderLock);
    while (ReaderCapture != NULL) {
        CancelSynchronousIo(OutputReader);
        SleepConditionVariableSRW(&ReaderTaken, &ReaderLock, CancelRetryMilliseconds, 0);
    }
    ReleaseSRWLockExclusive(&ReaderLock);
}

void EndCaptures()
{
    if (OutputReader == NULL)
        return;
    AcquireSRWLockExclusive(&ReaderLock);
    ReaderEnd = true;
    ReleaseSRWLockExclusive(&ReaderLock);
    WakeConditionVariable(&ReaderGiven);
    WaitForSingleObject(OutputReader, INFINITE);
    CloseHandle(OutputReader);
    OutputReader = NULL;
    ReaderEnd = false;
}
