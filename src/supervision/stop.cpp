#include "supervision/stop.h"

static DWORD StopRequested = 0;
static SRWLOCK StopLock = SRWLOCK_INIT;

void ClearStopRequest()
{
    AcquireSRWLockExclusive(&StopLock);
    StopRequested = 0;
    ReleaseSRWLockExclusive(&StopLock);
}

void RequestStop()
{
    AcquireSRWLockExclusive(&StopLock);
    StopRequested = 1;
    // The service leaves the tool's Ctrl+C to the tool; the setting is inherited, so it is made only now.
    SetConsoleCtrlHandler(NULL, TRUE);
    GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
    ReleaseSRWLockExclusive(&StopLock);
}

bool IsStopRequested()
{
    AcquireSRWLockShared(&StopLock);
    bool requested = StopRequested != 0;
    ReleaseSRWLockShared(&StopLock);
    return requested;
}

// A tool's broadcast to its console group reaches the service too, and the default handling would end it.
static BOOL WINAPI TakeConsoleBreak(DWORD control)
{
    return control == CTRL_C_EVENT || control == CTRL_BREAK_EVENT;
}

void RestoreCtrlC()
{
    // A handler routine, unlike the "ignore" setting, is not inherited: the tool keeps its own Ctrl+C.
    SetConsoleCtrlHandler(TakeConsoleBreak, TRUE);
    // Under the lock: undoing a stop's "ignore" could let its Ctrl+C end the service itself.
    AcquireSRWLockExclusive(&StopLock);
    if (StopRequested == 0)
        SetConsoleCtrlHandler(NULL, FALSE);
    ReleaseSRWLockExclusive(&StopLock);
}

BOOL CreateProcessUnlessStopped(LPCSTR application, LPSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes,
                                LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles, DWORD creationFlags,
                                LPVOID environment, LPCSTR currentDirectory, LPSTARTUPINFOA startupInfo,
                                LPPROCESS_INFORMATION processInformation, bool* stopFirst)
{
    // Under the lock, so that a stop is either seen here or broadcast to a tool that already exists.
    AcquireSRWLockExclusive(&StopLock);
    *stopFirst = StopRequested != 0;
    BOOL created = FALSE;
    if (!*stopFirst) {
        created = CreateProcessA(application, commandLine, processAttributes, threadAttributes, inheritHandles,
                                 creationFlags, environment, currentDirectory, startupInfo, processInformation);
    }
    ReleaseSRWLockExclusive(&StopLock);
    return created;
}
