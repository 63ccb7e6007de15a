// Built with the service's hardening (zonbek_hardening), to see its stack protector at work.
//   stack_protector overflow N   writes N bytes into an 8-byte buffer on the stack, then returns from
//                                that routine and prints "returned" and the buffer's first byte
//   stack_protector run N        runs "overflow N" as a child and prints its exit code: exit=0x........
//   stack_protector cookie       prints the security cookie that the stack protector compares
#include <windows.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

extern "C" uintptr_t __stack_chk_guard;

namespace {

__attribute__((noinline)) char Overflow(unsigned long length)
{
    volatile char buffer[8];
    for (unsigned long i = 0; i < length; i++)
        buffer[i] = 'x';
    return buffer[0];
}

int Run(const char* length)
{
    char self[MAX_PATH];
    DWORD size = GetModuleFileNameA(NULL, self, sizeof self);
    if (size == 0 || size == sizeof self) {
        printf("error=%lu call=GetModuleFileName\n", GetLastError());
        return 2;
    }
    char commandLine[MAX_PATH + 64];
    snprintf(commandLine, sizeof commandLine, "\"%s\" overflow %s", self, length);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(self, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        printf("error=%lu call=CreateProcess\n", GetLastError());
        return 2;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    printf("exit=0x%08lX\n", exitCode);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && strcmp(argv[1], "overflow") == 0) {
        printf("returned %c\n", Overflow(strtoul(argv[2], NULL, 10)));
        return 0;
    }
    if (argc == 3 && strcmp(argv[1], "run") == 0)
        return Run(argv[2]);
    if (argc == 2 && strcmp(argv[1], "cookie") == 0) {
        printf("%llx\n", static_cast<unsigned long long>(__stack_chk_guard));
        return 0;
    }
    fprintf(stderr, "usage: stack_protector overflow N | run N | cookie\n");
    return 3;
}
