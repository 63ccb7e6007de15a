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
        if (!ReadFile(capture->pipe, chunk, wanted, &got, NULL) || got == 0)
            break;
        Keep(capture, chunk, got);
        available -= got;
        *taken += got;
    }
    return true;
}

static DWORD WINAPI ReadOutput(LPVOID parameter)
{
    OutputCapture* capture = static_cast<OutputCapture*>(parameter);
    char chunk[4096];
    while (!capture->toolEnded.load()) {
        DWORD got = 0;
        if (ReadFile(capture->pipe, chunk, sizeof chunk, &got, NULL))
            Keep(capture, chunk, got);
        else if (GetLastError() != ERROR_OPERATION_ABORTED)
            return 0; // every writer has gone and the pipe is empty
    }
    DWORD taken = 0;
    TakeAvailable(capture, &taken); // once the tool has gone, what the pipe holds is all of its output
    return 0;
}

void StartCapture(OutputCapture* capture, HANDLE pipe)
{
    capture->pipe = pipe;
    capture->toolEnded.store(false);
    capture->received = 0;
    memset(capture->buffer, 0, sizeof capture->buffer);
    capture->reader = CreateThread(NULL, 0, ReadOutput, capture, 0, NULL);
}

void AwaitToolEnd(OutputCapture* capture, HANDLE process)
{
    // Without a reader the pipe is polled; while output flows it is read again at once.
    DWORD taken = 0;
    if (capture->reader == NULL) {
        while (WaitForSingleObject(process, taken > 0 ? 0 : DrainPollMilliseconds) == WAIT_TIMEOUT) {
            if (!TakeAvailable(capture, &taken))
                break;
        }
    }
    WaitForSingleObject(process, INFINITE);
}

void FinishCapture(OutputCapture* capture)
{
    if (capture->reader == NULL) {
        DWORD taken = 0;
        TakeAvailable(capture, &taken);
        return;
    }
    capture->toolEnded.store(true);
    // A read still pending now waits on an empty pipe that only a grandchild holds open; the cancel
    // is repeated for a reader that had not yet started its read when the first one was sent.
    do {
        CancelSynchronousIo(capture->reader);
    } while (WaitForSingleObject(capture->reader, CancelRetryMilliseconds) == WAIT_TIMEOUT);
    CloseHandle(capture->reader);
    capture->reader = NULL;
}
