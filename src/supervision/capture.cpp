#include "supervision/capture.h"

#include <ntsecapi.h>
#include <stdio.h>

#include "trust/account.h"

// As much as an anonymous pipe holds by default: a tool blocks where it always did.
static const DWORD PipeSize = 4096;

bool CreateOutputPipe(OutputPipe* pipe, HANDLE* toolEnd)
{
    // Unique to the process and cycle. The instance made first takes the name for itself, only this
    // machine can connect to it and only the service's account may open it. The random part keeps a
    // local user from taking the name first, which would fail every start; without random bytes the
    // name is still unique.
    static DWORD cycle = 0;
    DWORD random[2] = {0, 0};
    RtlGenRandom(random, sizeof random);
    char name[64];
    _snprintf(name, sizeof name, "\\\\.\\pipe\\zonbek-%08x-%08x-%08x-%08x", static_cast<unsigned>(GetCurrentProcessId()),
              static_cast<unsigned>(++cycle), static_cast<unsigned>(random[0]), static_cast<unsigned>(random[1]));
    SECURITY_ATTRIBUTES* security = OwnPipeSecurity();
    if (security == NULL)
        return false;
    pipe->readDone = CreateEventA(NULL, TRUE, FALSE, NULL);
    if (pipe->readDone == NULL)
        return false;
    // Bytes and blocking writes (both 0), as an anonymous pipe has them.
    pipe->read = CreateNamedPipeA(name, PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                  PIPE_REJECT_REMOTE_CLIENTS, 1, PipeSize, PipeSize, 0, security);
    if (pipe->read != INVALID_HANDLE_VALUE) {
        SECURITY_ATTRIBUTES inherited = {sizeof inherited, NULL, TRUE};
        // Whoever serves the name may learn who connected, never act as the service.
        *toolEnd = CreateFileA(name, GENERIC_WRITE | FILE_READ_ATTRIBUTES, 0, &inherited, OPEN_EXISTING,
                               SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, NULL);
        if (*toolEnd != INVALID_HANDLE_VALUE)
            return true;
    }
    DWORD error = GetLastError();
    if (pipe->read != INVALID_HANDLE_VALUE)
        CloseHandle(pipe->read);
    CloseHandle(pipe->readDone);
    SetLastError(error);
    return false;
}

void CloseOutputPipe(OutputPipe* pipe)
{
    CloseHandle(pipe->read);
    CloseHandle(pipe->readDone);
}

// One read into chunk; true once it has completed with *got bytes. Once the tool has ended, a read
// that would wait is cancelled, and the cancel awaited so that nothing is written into chunk later.
static bool Read(OutputPipe* pipe, OVERLAPPED* read, char* chunk, DWORD size, HANDLE process, bool* toolEnded,
                 DWORD* got)
{
    if (!ReadFile(pipe->read, chunk, size, NULL, read) && GetLastError() != ERROR_IO_PENDING)
        return false; // every writer has gone and the pipe is empty
    if (!*toolEnded) {
        HANDLE waits[2] = {pipe->readDone, process};
        *toolEnded = WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0;
    }
    if (*toolEnded)
        CancelIoEx(pipe->read, read);
    return GetOverlappedResult(pipe->read, read, got, TRUE) != FALSE;
}

void CaptureOutput(OutputCapture* capture, OutputPipe* pipe, HANDLE process)
{
    capture->received = 0;
    char chunk[PipeSize];
    OVERLAPPED read = {};
    read.hEvent = pipe->readDone;
    bool toolEnded = false;
    DWORD got = 0;
    while (!toolEnded && Read(pipe, &read, chunk, sizeof chunk, process, &toolEnded, &got))
        KeepOutput(capture->buffer, &capture->received, chunk, got);
    // The tool has gone: what the pipe holds now is the rest of its output, and a descendant may write on.
    DWORD left = 0;
    if (!PeekNamedPipe(pipe->read, NULL, 0, NULL, &left, NULL))
        left = 0;
    while (left > 0 && Read(pipe, &read, chunk, left < PipeSize ? left : PipeSize, process, &toolEnded, &got)) {
        KeepOutput(capture->buffer, &capture->received, chunk, got);
        left -= got;
    }
    WaitForSingleObject(process, INFINITE);
}
