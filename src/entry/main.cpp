// The exe's entry point, in place of the runtime's start-up: every routine that runs is compiled with
// Control Flow Guard, and nothing hands Windows or msvcrt.dll a code address that the guard table lacks.
// The service needs no more of the runtime's start-up: it has no static constructors, no TLS, no
// floating point, no stdio, installs no signal handlers and imports no data that would need
// pseudo-relocations (the link refuses them). A crash reaches Windows Error Reporting as it happened.
#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include "entry/command_line.h"
#include "entry/startup.h"

extern "C" int __security_init_cookie();

static int RunProgram()
{
    const char* line = GetCommandLineA();
    size_t length = strlen(line);
    char* text = static_cast<char*>(malloc(length + 1));
    char** arguments = static_cast<char**>(malloc((length / 2 + 2) * sizeof(char*)));
    int code = 1;
    if (text != NULL && arguments != NULL)
        code = ServiceProgram(SplitCommandLine(line, text, arguments), arguments);
    free(arguments);
    free(text);
    return code;
}

// Unprotected: the cookie changes on the way through. The exit ends the service's other threads too.
extern "C" __attribute__((no_stack_protector)) void mainCRTStartup()
{
#ifdef __SSP_STRONG__
    __security_init_cookie();
#endif
    ExitProcess(static_cast<UINT>(RunProgram()));
}
