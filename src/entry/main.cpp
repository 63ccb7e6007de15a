// The exe's entry point, in place of the runtime's start-up: every routine that runs is compiled with
// Control Flow Guard, and nothing hands Windows or msvcrt.dll a code address that the guard table lacks.
// The service needs no more of the runtime's start-up: it has no static constructors, no TLS, no
// floating point, no stdio streams, installs no signal handlers and imports no data that would need
// pseudo-relocations (the link refuses them). A crash reaches Windows Error Reporting as it happened.
#include <windows.h>

#include "entry/startup.h"

extern "C" int __security_init_cookie();

// msvcrt's own split of the command line, by the rules its programs have always used. The last
// argument is msvcrt's _startupinfo, whose one member is the new-handler mode. As a console program,
// msvcrt writes a runtime error (no memory for the arguments) to standard error; as a program of unknown
// kind it would show a message box that nobody in a service's session can close.
extern "C" void __set_app_type(int type);
extern "C" int __getmainargs(int* count, char*** arguments, char*** environment, int wildcards, int* newMode);

// Unprotected: the cookie changes on the way through. The exit ends the service's other threads too.
extern "C" __attribute__((no_stack_protector)) void mainCRTStartup()
{
#ifdef __SSP_STRONG__
    __security_init_cookie();
#endif
    int count = 0;
    char** arguments = NULL;
    char** environment = NULL;
    int newMode = 0;
    __set_app_type(1); // _CONSOLE_APP
    bool split = __getmainargs(&count, &arguments, &environment, 0, &newMode) >= 0;
    ExitProcess(split ? static_cast<UINT>(ServiceProgram(count, arguments)) : 1u);
}
