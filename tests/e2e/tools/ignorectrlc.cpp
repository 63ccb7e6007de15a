// Starts the rest of its command line with Ctrl+C ignored, the way a parent that ignores it passes that
// on to its children; waits for the child and ends with its exit code. Given as a service's binPath in
// front of the real program, it makes that program start with Ctrl+C ignored. The child is detached
// from any console, as the service manager starts a service.
#include <windows.h>

#include <stdio.h>

int main()
{
    const char* line = GetCommandLineA();
    bool quoted = false;
    while (*line != '\0' && (quoted || (*line != ' ' && *line != '\t'))) {
        if (*line == '"')
            quoted = !quoted;
        ++line;
    }
    while (*line == ' ' || *line == '\t')
        ++line;

    char commandLine[32768];
    snprintf(commandLine, sizeof commandLine, "%s", line);
    SetConsoleCtrlHandler(NULL, TRUE);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(NULL, commandLine, NULL, NULL, FALSE, DETACHED_PROCESS, NULL, NULL, &startup, &info)) {
        fprintf(stderr, "ignorectrlc: CreateProcessA failed with %lu\n", GetLastError());
        return 2;
    }
    WaitForSingleObject(info.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return static_cast<int>(code);
}
