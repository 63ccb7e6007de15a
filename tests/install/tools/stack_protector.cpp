// Built with the service's hardening (zonbek_hardening), to see its stack protector at work.
//   stack_protector overflow N   writes N bytes into an 8-byte buffer on the stack, then returns from
//                                that routine and prints "returned" and the buffer's first byte
//   stack_protector run N        runs "overflow N" as a child and prints its exit code: exit=0x........
//   stack_protector cookie       prints the security cookie that the stack protector compares
#include <windows.h>

#include <errno.h>
#include <process.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

extern "C" uintptr_t __stack_chk_guard;
extern "C" int __security_init_cookie();

// This program keeps the runtime's start-up, which runs the routines in .CRT$XI before main.
__attribute__((section(".CRT$XIU"), used)) int (*const SecurityInitCookieEntry)() = __security_init_cookie;

namespace {

__attribute__((noinline)) char Overflow(unsigned long length)
{
    volatile char buffer[8];
    for (unsigned long i = 0; i < length; i++)
        buffer[i] = 'x';
    return buffer[0];
}

// Wine's own exit status keeps only the low byte of a Windows exit code, so the child's is printed whole.
int Run(const char* self, const char* length)
{
    intptr_t code = _spawnl(_P_WAIT, self, self, "overflow", length, NULL);
    if (code == -1) {
        printf("error=%d call=_spawnl\n", errno);
        return 2;
    }
    printf("exit=0x%08lX\n", static_cast<unsigned long>(static_cast<DWORD>(code)));
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
        return Run(argv[0], argv[2]);
    if (argc == 2 && strcmp(argv[1], "cookie") == 0) {
        printf("%llx\n", static_cast<unsigned long long>(__stack_chk_guard));
        return 0;
    }
    fprintf(stderr, "usage: stack_protector overflow N | run N | cookie\n");
    return 3;
}
