#pragma once
// Stand-in for the part of <windows.h> the service uses, with 64-bit Windows sizes.
// The functions are defined in fake_win32.cpp, which scripts their results and records every call.

#include <cstddef>
#include <cstdint>
#include <mutex>

typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef int32_t BOOL;
typedef char CHAR;
typedef CHAR* LPSTR;
typedef const CHAR* LPCSTR;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef void* PVOID;
typedef void* HANDLE;
typedef void* PSID;
typedef BYTE* LPBYTE;
typedef DWORD* LPDWORD;
typedef uint64_t ULONGLONG;
struct HKEY__;
typedef HKEY__* HKEY;
typedef HKEY* PHKEY;
struct SERVICE_STATUS_HANDLE__;
typedef SERVICE_STATUS_HANDLE__* SERVICE_STATUS_HANDLE;

static_assert(sizeof(DWORD) == 4 && sizeof(LONG) == 4 && sizeof(HANDLE) == 8);

#define WINAPI
#define TRUE 1
#define FALSE 0
#define INFINITE 0xFFFFFFFFu
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)))
#define STD_ERROR_HANDLE (static_cast<DWORD>(-12))

#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000002u)))
#define REG_SZ 1u
#define REG_EXPAND_SZ 2u
#define REG_BINARY 3u
#define REG_MULTI_SZ 7u

#define NO_ERROR 0u
#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2u
#define ERROR_ACCESS_DENIED 5u
#define ERROR_INVALID_HANDLE 6u
#define ERROR_BROKEN_PIPE 109u
#define ERROR_MORE_DATA 234u
#define ERROR_OPERATION_ABORTED 995u
#define ERROR_SERVICE_SPECIFIC_ERROR 1066u
#define ERROR_FAILED_SERVICE_CONTROLLER_CONNECT 1063u
#define ERROR_SERVICE_DOES_NOT_EXIST 1060u
#define ERROR_IO_PENDING 997u
#define ERROR_NOT_FOUND 1168u

#define WAIT_OBJECT_0 0u
#define WAIT_TIMEOUT 258u
#define WAIT_FAILED 0xFFFFFFFFu

#define EVENTLOG_ERROR_TYPE 0x0001

#define SERVICE_WIN32_OWN_PROCESS 0x10u
#define SERVICE_STOPPED 1u
#define SERVICE_START_PENDING 2u
#define SERVICE_STOP_PENDING 3u
#define SERVICE_RUNNING 4u
#define SERVICE_ACCEPT_STOP 1u
#define SERVICE_CONTROL_STOP 1u
#define SERVICE_CONTROL_PAUSE 2u
#define SERVICE_CONTROL_CONTINUE 3u
#define SERVICE_CONTROL_INTERROGATE 4u
#define SERVICE_CONTROL_SHUTDOWN 5u

#define CTRL_C_EVENT 0u
#define CTRL_BREAK_EVENT 1u
#define PIPE_ACCESS_INBOUND 0x1u
#define FILE_FLAG_FIRST_PIPE_INSTANCE 0x80000u
#define FILE_FLAG_OVERLAPPED 0x40000000u
#define PIPE_REJECT_REMOTE_CLIENTS 0x8u
#define GENERIC_WRITE 0x40000000u
#define FILE_READ_ATTRIBUTES 0x80u
#define OPEN_EXISTING 3u
#define SECURITY_SQOS_PRESENT 0x100000u
#define SECURITY_IDENTIFICATION 0x10000u
#define IDLE_PRIORITY_CLASS 0x40u
#define STARTF_USESTDHANDLES 0x100u

struct SERVICE_STATUS {
    DWORD dwServiceType;
    DWORD dwCurrentState;
    DWORD dwControlsAccepted;
    DWORD dwWin32ExitCode;
    DWORD dwServiceSpecificExitCode;
    DWORD dwCheckPoint;
    DWORD dwWaitHint;
};
typedef SERVICE_STATUS* LPSERVICE_STATUS;

typedef void(WINAPI* LPSERVICE_MAIN_FUNCTIONA)(DWORD, LPSTR*);
typedef void(WINAPI* LPHANDLER_FUNCTION)(DWORD);

struct SERVICE_TABLE_ENTRYA {
    LPSTR lpServiceName;
    LPSERVICE_MAIN_FUNCTIONA lpServiceProc;
};

struct SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
};
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

struct STARTUPINFOA {
    DWORD cb;
    LPSTR lpReserved;
    LPSTR lpDesktop;
    LPSTR lpTitle;
    DWORD dwX;
    DWORD dwY;
    DWORD dwXSize;
    DWORD dwYSize;
    DWORD dwXCountChars;
    DWORD dwYCountChars;
    DWORD dwFillAttribute;
    DWORD dwFlags;
    WORD wShowWindow;
    WORD cbReserved2;
    LPBYTE lpReserved2;
    HANDLE hStdInput;
    HANDLE hStdOutput;
    HANDLE hStdError;
};
typedef STARTUPINFOA* LPSTARTUPINFOA;

struct PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
};
typedef PROCESS_INFORMATION* LPPROCESS_INFORMATION;

struct OVERLAPPED {
    uint64_t Internal;
    uint64_t InternalHigh;
    DWORD Offset;
    DWORD OffsetHigh;
    HANDLE hEvent;
};
typedef OVERLAPPED* LPOVERLAPPED;

static_assert(sizeof(SERVICE_STATUS) == 28);
static_assert(sizeof(SECURITY_ATTRIBUTES) == 24);
static_assert(sizeof(STARTUPINFOA) == 104);
static_assert(sizeof(PROCESS_INFORMATION) == 24);
static_assert(sizeof(OVERLAPPED) == 32);

// A real lock, so that the thread sanitizer sees what the service serialises.
struct SRWLOCK {
    std::mutex mutex;
};
typedef SRWLOCK* PSRWLOCK;
#define SRWLOCK_INIT {}
typedef BOOL(WINAPI* PHANDLER_ROUTINE)(DWORD);

DWORD GetLastError();
void SetLastError(DWORD error);

HANDLE RegisterEventSourceA(LPCSTR server, LPCSTR source);
BOOL ReportEventA(HANDLE eventLog, WORD type, WORD category, DWORD eventId, PSID user, WORD stringCount,
                  DWORD dataSize, LPCSTR* strings, LPVOID data);

LONG RegOpenKeyA(HKEY key, LPCSTR subKey, PHKEY result);
LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size);
LONG RegCloseKey(HKEY key);

BOOL StartServiceCtrlDispatcherA(const SERVICE_TABLE_ENTRYA* table);
SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerA(LPCSTR name, LPHANDLER_FUNCTION handler);
BOOL SetServiceStatus(SERVICE_STATUS_HANDLE handle, LPSERVICE_STATUS status);

BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE routine, BOOL add);
BOOL GenerateConsoleCtrlEvent(DWORD event, DWORD processGroup);
BOOL AllocConsole();
HANDLE GetStdHandle(DWORD which);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED overlapped);

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState, LPCSTR name);
HANDLE CreateNamedPipeA(LPCSTR name, DWORD openMode, DWORD pipeMode, DWORD maxInstances, DWORD outSize, DWORD inSize,
                        DWORD timeout, LPSECURITY_ATTRIBUTES attributes);
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES attributes, DWORD disposition,
                   DWORD flags, HANDLE templateFile);
BOOL CloseHandle(HANDLE handle);
BOOL CreateProcessA(LPCSTR application, LPSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes,
                    LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles, DWORD creationFlags,
                    LPVOID environment, LPCSTR currentDirectory, LPSTARTUPINFOA startupInfo,
                    LPPROCESS_INFORMATION processInformation);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped);
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds);
BOOL CancelIoEx(HANDLE file, LPOVERLAPPED overlapped);
BOOL GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD transferred, BOOL wait);
BOOL PeekNamedPipe(HANDLE pipe, LPVOID buffer, DWORD size, LPDWORD read, LPDWORD available, LPDWORD left);
DWORD GetCurrentProcessId();

// The tool-folder check's setting, and its warning.
#define REG_DWORD 4u
#define EVENTLOG_WARNING_TYPE 0x0002

// msvcrt's: the text is terminated only when it fits with room to spare; -1 when it was cut.
int _snprintf(char* text, size_t count, const char* format, ...) __attribute__((format(printf, 3, 4)));

void AcquireSRWLockExclusive(PSRWLOCK lock);
void ReleaseSRWLockExclusive(PSRWLOCK lock);
void AcquireSRWLockShared(PSRWLOCK lock);
void ReleaseSRWLockShared(PSRWLOCK lock);
