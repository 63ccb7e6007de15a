#include "supervision/capture.h"

#include <string.h>

OutputReaderRecord OutputReader;

static const DWORD CancelRetryMilliseconds = 20;

static void Keep(OutputCapture* capture, const char* data, DWORD count)
{
    DWORD room = CaptureLimit - capture->received;
    if (count > room)
        count = room;
    memcpy(capture->buffer + capture->received, data, count);
    capture->received += count;
}

// Once the tool has gone, only what the pipe already holds is its output; a grandchild that inherited
// the write end may keep the pipe open for ever, so nothing here waits for more.
static void TakeRemaining(OutputCapture* capture)
{
    DWORD available = 0;
    if (!PeekNamedPipe(capture->pipe, NULL, 0, NULL, &available, NULL))
        return;
    char chunk[4096];
    while (available > 0) {
        DWORD wanted = available < sizeof chunk ? available : static_cast<DWORD>(sizeof chunk);
        DWORD got = 0;
        if (!ReadFile(capture->pipe, chunk, wanted, &got, NULL)) {
            // A cancel meant for the blocking read can still land on this one.
            if (GetLastError() == ERROR_OPERATION_ABORTED)
                continue;
            return;
        }
        if (got == 0)
            return;
        Keep(capture, chunk, got);
        available -= got;
    }
}

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
    TakeRemaining(capture);
}

static DWORD WINAPI ReadOutput(LPVOID)
{
    while (WaitForSingleObject(OutputReader.given, INFINITE) == WAIT_OBJECT_0) {
        OutputCapture* capture = OutputReader.capture;
        if (capture == NULL)
            return 0;
        Drain(capture);
        SetEvent(OutputReader.taken);
    }
    return 1;
}

static void CloseIfOpen(HANDLE handle)
{
    if (handle != NULL)
        CloseHandle(handle);
}

static void CloseReader()
{
    CloseIfOpen(OutputReader.thread);
    CloseIfOpen(OutputReader.given);
    CloseIfOpen(OutputReader.taken);
    OutputReader = {};
}

// Without a reader the cycle still takes what the pipe holds once the tool has ended.
static bool EnsureReader()
{
    if (OutputReader.thread != NULL)
        return true;
    OutputReader.given = CreateEventA(NULL, FALSE, FALSE, NULL);
    OutputReader.taken = CreateEventA(NULL, FALSE, FALSE, NULL);
    if (OutputReader.given != NULL && OutputReader.taken != NULL)
        OutputReader.thread = CreateThread(NULL, 0, ReadOutput, NULL, 0, NULL);
    if (OutputReader.thread == NULL) {
        CloseReader();
        return false;
    }
    return true;
}

void StartCapture(OutputCapture* capture, HANDLE pipe)
{
    capture->pipe = pipe;
    capture->toolEnded.store(false);
    capture->received = 0;
    memset(capture->buffer, 0, sizeof capture->buffer);
    capture->drained = EnsureReader();
    if (capture->drained) {
        OutputReader.capture = capture;
        SetEvent(OutputReader.given);
    }
}

void FinishCapture(OutputCapture* capture)
{
    if (!capture->drained) {
        TakeRemaining(capture);
        return;
    }
    capture->toolEnded.store(true);
    // A read still pending now waits on an empty pipe that only a grandchild holds open; the cancel
    // is repeated for a reader that had not yet started its read when the first one was sent.
    const HANDLE ends[] = {OutputReader.taken, OutputReader.thread};
    DWORD waited;
    do {
        CancelSynchronousIo(OutputReader.thread);
        waited = WaitForMultipleObjects(2, ends, FALSE, CancelRetryMilliseconds);
    } while (waited == WAIT_TIMEOUT);
    capture->drained = false;
    if (waited != WAIT_OBJECT_0) {
        // The reader has gone (its wait failed): the next cycle starts another.
        CloseReader();
        TakeRemaining(capture);
    }
}

void EndCaptures()
{
    if (OutputReader.thread == NULL)
        return;
    OutputReader.capture = NULL;
    SetEvent(OutputReader.given);
    WaitForSingleObject(OutputReader.thread, INFINITE);
    CloseReader();
}
