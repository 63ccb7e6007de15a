// The image's load configuration, which Control Flow Guard and the stack protector need and MinGW-w64
// 10's runtime does not provide: the guard tables that lld fills, the guard-check pointers that Windows
// replaces when it enforces the guard, and the security cookie, which is the stack protector's guard.
// zonbek_hardening (cmake/windows-build.cmake) links it into clang's builds; the unit tests never see it.
#include <windows.h>

#include <ntsecapi.h>
#include <stddef.h>
#include <stdint.h>

namespace {

// The loader gives an image a random cookie only while it still holds this value.
constexpr uintptr_t DefaultSecurityCookie = 0x00002B992DDFA232;

// IMAGE_LOAD_CONFIG_DIRECTORY64 up to the long-jump table; MinGW-w64 10's winnt.h ends at SEHandlerCount.
struct LoadConfiguration {
    DWORD Size;
    DWORD TimeDateStamp;
    WORD MajorVersion;
    WORD MinorVersion;
    DWORD GlobalFlagsClear;
    DWORD GlobalFlagsSet;
    DWORD CriticalSectionDefaultTimeout;
    ULONGLONG DeCommitFreeBlockThreshold;
    ULONGLONG DeCommitTotalFreeThreshold;
    ULONGLONG LockPrefixTable;
    ULONGLONG MaximumAllocationSize;
    ULONGLONG VirtualMemoryThreshold;
    ULONGLONG ProcessAffinityMask;
    DWORD ProcessHeapFlags;
    WORD CSDVersion;
    WORD DependentLoadFlags;
    ULONGLONG EditList;
    ULONGLONG SecurityCookie;
    ULONGLONG SEHandlerTable;
    ULONGLONG SEHandlerCount;
    ULONGLONG GuardCFCheckFunctionPointer;
    ULONGLONG GuardCFDispatchFunctionPointer;
    ULONGLONG GuardCFFunctionTable;
    ULONGLONG GuardCFFunctionCount;
    // GuardFlags in the low half, CodeIntegrity's Flags and Catalog (zero) in the high half: a constant
    // initializer can place an address, such as the linker's __guard_flags, only in a 64-bit field.
    ULONGLONG GuardFlags;
    DWORD CodeIntegrityCatalogOffset;
    DWORD CodeIntegrityReserved;
    ULONGLONG GuardAddressTakenIatEntryTable;
    ULONGLONG GuardAddressTakenIatEntryCount;
    ULONGLONG GuardLongJumpTargetTable;
    ULONGLONG GuardLongJumpTargetCount;
};
static_assert(offsetof(LoadConfiguration, SecurityCookie) == 0x58);
static_assert(offsetof(LoadConfiguration, GuardFlags) == 0x90);
static_assert(sizeof(LoadConfiguration) == 0xC0);

// Until Windows enforces the guard, an indirect call is checked by nothing and dispatched as it is.
void GuardCheckNothing(const void*) {}

} // namespace

extern "C" {

uintptr_t __stack_chk_guard = DefaultSecurityCookie;

// The entry point calls it before any other code, in case the loader left the cookie as it was; named as
// in Microsoft's runtime, where analysers look for it. Unprotected itself: a protected routine would find
// a changed cookie on its way out.
__attribute__((no_stack_protector)) int __security_init_cookie()
{
    uintptr_t cookie = 0;
    if (__stack_chk_guard == DefaultSecurityCookie && RtlGenRandom(&cookie, sizeof cookie)
        && cookie != DefaultSecurityCookie)
        __stack_chk_guard = cookie;
    return 0;
}

// A smashed stack ends the process at once: no handler runs, Windows Error Reporting sees
// STATUS_STACK_BUFFER_OVERRUN (0xC0000409). Windows before 8 takes the fast-fail interrupt for an access
// violation, which ends the process too.
[[noreturn]] void __stack_chk_fail()
{
    __asm__ volatile("int $0x29" : : "c"(FAST_FAIL_STACK_COOKIE_CHECK_FAILURE) : "memory");
    __builtin_unreachable();
}

// Defined by lld for an image linked with the guard.
extern const char __guard_fids_table[], __guard_fids_count[], __guard_flags[], __guard_iat_table[],
    __guard_iat_count[], __guard_longjmp_table[], __guard_longjmp_count[];

extern void (*const __guard_check_icall_fptr)(const void*);
extern void (*const __guard_dispatch_icall_fptr)();
__attribute__((section(".00cfg"))) void (*const __guard_check_icall_fptr)(const void*) = GuardCheckNothing;
// The dispatch stub and the pointer that starts with it are assembly: an address taken in C++ would put
// the stub in the table of call targets, and once Windows has replaced the pointer, a guarded call to the
// stub would jump wherever rax points. It fills a 16-byte slot alone: Windows makes a whole slot valid
// for an unaligned call target in it.
__asm__(".text\n"
        ".p2align 4, 0xcc\n"
        "GuardDispatchDirectly:\n"
        "    jmp *%rax\n"
        ".p2align 4, 0xcc\n"
        ".section .00cfg,\"dr\"\n"
        ".globl __guard_dispatch_icall_fptr\n"
        ".p2align 3\n"
        "__guard_dispatch_icall_fptr:\n"
        "    .quad GuardDispatchDirectly\n"
        ".text\n");

// Fields left out are zero.
#pragma clang diagnostic ignored "-Wmissing-designated-field-initializers"
extern const LoadConfiguration _load_config_used;
__attribute__((used)) const LoadConfiguration _load_config_used = {
    .Size = sizeof(LoadConfiguration),
    .SecurityCookie = reinterpret_cast<ULONGLONG>(&__stack_chk_guard),
    .GuardCFCheckFunctionPointer = reinterpret_cast<ULONGLONG>(&__guard_check_icall_fptr),
    .GuardCFDispatchFunctionPointer = reinterpret_cast<ULONGLONG>(&__guard_dispatch_icall_fptr),
    .GuardCFFunctionTable = reinterpret_cast<ULONGLONG>(__guard_fids_table),
    .GuardCFFunctionCount = reinterpret_cast<ULONGLONG>(__guard_fids_count),
    .GuardFlags = reinterpret_cast<ULONGLONG>(__guard_flags),
    .GuardAddressTakenIatEntryTable = reinterpret_cast<ULONGLONG>(__guard_iat_table),
    .GuardAddressTakenIatEntryCount = reinterpret_cast<ULONGLONG>(__guard_iat_count),
    .GuardLongJumpTargetTable = reinterpret_cast<ULONGLONG>(__guard_longjmp_table),
    .GuardLongJumpTargetCount = reinterpret_cast<ULONGLONG>(__guard_longjmp_count),
};

} // extern "C"
