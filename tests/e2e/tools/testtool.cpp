// Stand-in for the supervised tool, installed as zonbek.exe. What a launch does is read from zonbek.cfg
// beside the executable: line N for the N-th launch (the last line once there are fewer lines), a list
// of actions separated by ';':
//   exit N          end with exit code N (a line that runs out of actions ends with 0)
//   out TEXT        TEXT and CR LF to standard output; err TEXT: the same to standard error
//   write TEXT      TEXT to standard output as it is, after \r \n \0 \\ \xHH escapes
//   bulk N          N bytes of numbered 64-byte lines to standard output
//   record          command line, current directory, standard input kind and the DACL of standard
//                   output (SDDL) into zonbek.cmdline, zonbek.cwd, zonbek.stdin and zonbek.stdout-dacl
//   ctrlc N         wait for Ctrl+C, then end with exit code N
//   ignorectrlc     from now on record and swallow every Ctrl+C
//   hold            wait until zonbek.release exists
//   grandchild S    start a copy of itself that inherits the output and holds it for S seconds
//   latewriter N F  start a copy of itself that inherits the output, waits until the file F exists beside
//                   the executable, writes N bytes to the output and records "ok" or "failed E" in
//                   zonbek.late
//   broadcast       Ctrl+C to console group 0 (every process on the console); "ok" or "failed E" in
//                   zonbek.broadcast
//   crash           access violation, ending the process with 0xC0000005 and no debugger
//   mark NAME       write the file NAME beside the executable (its content: the launch number)
//   waitfor NAME    wait until the file NAME exists beside the executable
//   events N        create N unnamed events and keep them open
//   alloc N         allocate N KB, touch every page and keep it
// A line "*K ACTIONS" stands for K lines of ACTIONS.
// Every launch appends "launch N pid=P" to zonbek.launches; zonbek.count holds the number of launches.
// A wait (ctrlc, hold) writes zonbek.ready when it begins; every Ctrl+C seen is appended to zonbek.ctrlc.
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

std::string Directory;
HANDLE CtrlCEvent = NULL;

std::string Beside(const char* name)
{
    return Directory + name;
}

std::string ReadFileText(const std::string& path)
{
    std::string text;
    FILE* file = fopen(path.c_str(), "rb");
    if (!file)
        return text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, n);
    fclose(file);
    return text;
}

// A stop's Ctrl+C can end the tool anywhere in a write: inside fclose the runtime's exit flush wrote the
// buffer a second time ("1010" for launch 10), and between truncation and write the count read empty.
// So one WriteFile, no stdio buffer, and a whole file renamed into place: an ended write leaves the old one.
void WriteFileText(const std::string& path, const std::string& text, bool append = false)
{
    std::string target = append ? path : path + ".new";
    HANDLE file = CreateFileA(target.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, append ? OPEN_ALWAYS : CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    BOOL wrote = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, NULL);
    CloseHandle(file);
    if (!append && wrote)
        MoveFileExA(target.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

bool Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The error of the write that failed, or 0.
DWORD Put(DWORD which, const std::string& bytes)
{
    HANDLE handle = GetStdHandle(which);
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        if (!WriteFile(handle, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written, NULL))
            return GetLastError();
        done += written;
    }
    return 0;
}

std::string Outcome(DWORD error)
{
    return error == 0 ? "ok" : "failed " + std::to_string(error);
}

std::string Unescape(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        char c = text[++i];
        if (c == 'x' && i + 2 < text.size()) {
            out += static_cast<char>(strtoul(text.substr(i + 1, 2).c_str(), NULL, 16));
            i += 2;
            continue;
        }
        out += c == 'r' ? '\r' : c == 'n' ? '\n' : c == '0' ? '\0' : c;
    }
    return out;
}

// Line k (from 0) of a launch's bulk output: "run R line K" padded with dots to 62 bytes, then CR LF.
std::string BulkOutput(unsigned launch, unsigned long size)
{
    std::string out;
    for (unsigned k = 0; out.size() < size; ++k) {
        char line[65];
        int n = snprintf(line, sizeof line, "run %u line %05u", launch, k);
        std::string text(line, static_cast<size_t>(n));
        text.resize(62, '.');
        out += text + "\r\n";
    }
    out.resize(size);
    return out;
}

BOOL WINAPI OnCtrl(DWORD type)
{
    char line[32];
    snprintf(line, sizeof line, "ctrl %lu\n", type);
    WriteFileText(Beside("zonbek.ctrlc"), line, true);
    SetEvent(CtrlCEvent);
    return TRUE;
}

LONG WINAPI EndWithoutDebugger(EXCEPTION_POINTERS*)
{
    return EXCEPTION_EXECUTE_HANDLER;
}

void WaitForFile(const char* name, DWORD limitMs)
{
    DWORD start = GetTickCount();
    while (!Exists(Beside(name)) && GetTickCount() - start < limitMs)
        Sleep(20);
}

void WaitForRelease(DWORD limitMs)
{
    WaitForFile("zonbek.release", limitMs);
}

const char* HandleKind(HANDLE handle)
{
    if (handle == NULL)
        return "null";
    if (handle == INVALID_HANDLE_VALUE)
        return "invalid";
    switch (GetFileType(handle)) {
    case FILE_TYPE_CHAR: return "char";
    case FILE_TYPE_PIPE: return "pipe";
    case FILE_TYPE_DISK: return "disk";
    default: return "unknown";
    }
}

// What the tool can learn of who else may open its output.
std::string OutputDacl()
{
    PSECURITY_DESCRIPTOR descriptor = NULL;
    DWORD error = GetSecurityInfo(GetStdHandle(STD_OUTPUT_HANDLE), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, NULL,
                                  NULL, NULL, NULL, &descriptor);
    if (error != ERROR_SUCCESS)
        return Outcome(error);
    char* text = NULL;
    std::string dacl = ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1,
                                                                            DACL_SECURITY_INFORMATION, &text, NULL)
                           ? text
                           : Outcome(GetLastError());
    LocalFree(text);
    LocalFree(descriptor);
    return dacl;
}

void Record()
{
    WriteFileText(Beside("zonbek.cmdline"), GetCommandLineA());
    char cwd[MAX_PATH + 1] = {};
    GetCurrentDirectoryA(sizeof cwd, cwd);
    WriteFileText(Beside("zonbek.cwd"), cwd);
    WriteFileText(Beside("zonbek.stdin"), HandleKind(GetStdHandle(STD_INPUT_HANDLE)));
    WriteFileText(Beside("zonbek.stdout-dacl"), OutputDacl());
}

void StartGrandchild(const std::string& arguments)
{
    char self[MAX_PATH + 1] = {};
    GetModuleFileNameA(NULL, self, MAX_PATH);
    std::string commandLine = "zonbek.exe " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(self, &commandLine[0], NULL, NULL, TRUE, 0, NULL, NULL, &startup, &info)) {
        WriteFileText(Beside("zonbek.grandchild"), "failed " + std::to_string(GetLastError()));
        return;
    }
    WriteFileText(Beside("zonbek.grandchild"), std::to_string(info.dwProcessId));
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
}

void Run(const std::string& action, unsigned launch)
{
    size_t space = action.find(' ');
    std::string word = action.substr(0, space);
    std::string argument = space == std::string::npos ? "" : action.substr(space + 1);

    if (word == "exit") {
        ExitProcess(static_cast<UINT>(strtoul(argument.c_str(), NULL, 0)));
    } else if (word == "out") {
        Put(STD_OUTPUT_HANDLE, argument + "\r\n");
    } else if (word == "err") {
        Put(STD_ERROR_HANDLE, argument + "\r\n");
    } else if (word == "write") {
        Put(STD_OUTPUT_HANDLE, Unescape(argument));
    } else if (word == "bulk") {
        Put(STD_OUTPUT_HANDLE, BulkOutput(launch, strtoul(argument.c_str(), NULL, 0)));
    } else if (word == "record") {
        Record();
    } else if (word == "ctrlc") {
        SetConsoleCtrlHandler(OnCtrl, TRUE);
        WriteFileText(Beside("zonbek.ready"), "ctrlc");
        WaitForSingleObject(CtrlCEvent, INFINITE);
        ExitProcess(static_cast<UINT>(strtoul(argument.c_str(), NULL, 0)));
    } else if (word == "ignorectrlc") {
        SetConsoleCtrlHandler(OnCtrl, TRUE);
    } else if (word == "hold") {
        WriteFileText(Beside("zonbek.ready"), "hold");
        WaitForRelease(INFINITE);
    } else if (word == "grandchild") {
        StartGrandchild("--hold " + argument);
    } else if (word == "latewriter") {
        StartGrandchild("--late " + argument);
    } else if (word == "broadcast") {
        DWORD error = GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) ? 0 : GetLastError();
        WriteFileText(Beside("zonbek.broadcast"), Outcome(error));
    } else if (word == "crash") {
        // Wine's default just-in-time debugger would write its report into the inherited output.
        SetUnhandledExceptionFilter(EndWithoutDebugger);
        *static_cast<volatile int*>(NULL) = 1;
    } else if (word == "mark") {
        WriteFileText(Beside(argument.c_str()), std::to_string(launch));
    } else if (word == "waitfor") {
        WaitForFile(argument.c_str(), INFINITE);
    } else if (word == "events") {
        for (unsigned long n = strtoul(argument.c_str(), NULL, 0); n > 0; --n)
            CreateEventA(NULL, FALSE, FALSE, NULL);
    } else if (word == "alloc") {
        size_t size = strtoul(argument.c_str(), NULL, 0) * 1024;
        char* block = static_cast<char*>(VirtualAlloc(NULL, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        for (size_t at = 0; block && at < size; at += 4096)
            block[at] = 1;
    } else if (!word.empty()) {
        Put(STD_ERROR_HANDLE, "zonbek test tool: unknown action " + word + "\r\n");
        ExitProcess(99);
    }
}

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos)
            return parts;
        start = end + 1;
    }
}

std::string Trim(const std::string& text)
{
    size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return "";
    size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

} // namespace

int main(int argc, char** argv)
{
    char self[MAX_PATH + 1] = {};
    GetModuleFileNameA(NULL, self, MAX_PATH);
    Directory = self;
    Directory.erase(Directory.find_last_of('\\') + 1);
    CtrlCEvent = CreateEventA(NULL, TRUE, FALSE, NULL);

    if (argc == 3 && strcmp(argv[1], "--hold") == 0) {
        WaitForRelease(strtoul(argv[2], NULL, 0) * 1000);
        WriteFileText(Beside("zonbek.held"), "done");
        return 0;
    }
    if (argc == 4 && strcmp(argv[1], "--late") == 0) {
        WaitForFile(argv[3], INFINITE);
        DWORD error = Put(STD_OUTPUT_HANDLE, BulkOutput(0, strtoul(argv[2], NULL, 0)));
        WriteFileText(Beside("zonbek.late"), Outcome(error));
        return 0;
    }

    unsigned launch = static_cast<unsigned>(strtoul(ReadFileText(Beside("zonbek.count")).c_str(), NULL, 10)) + 1;
    WriteFileText(Beside("zonbek.count"), std::to_string(launch));
    WriteFileText(Beside("zonbek.launches"),
                  "launch " + std::to_string(launch) + " pid=" + std::to_string(GetCurrentProcessId()) + "\n", true);

    // Entries of (first launch, actions); "*K ACTIONS" covers K launches.
    std::vector<std::pair<unsigned long, std::string>> entries;
    unsigned long next = 1;
    for (const std::string& raw : Split(ReadFileText(Beside("zonbek.cfg")), '\n')) {
        std::string line = Trim(raw);
        if (line.empty())
            continue;
        unsigned long times = 1;
        if (line[0] == '*') {
            size_t space = line.find(' ');
            times = strtoul(line.substr(1, space).c_str(), NULL, 10);
            line = space == std::string::npos ? "" : Trim(line.substr(space + 1));
        }
        entries.emplace_back(next, line);
        next += times;
    }
    if (entries.empty())
        return 0;
    std::string chosen = entries.front().second;
    for (const auto& entry : entries)
        if (entry.first <= launch)
            chosen = entry.second;
    for (const std::string& action : Split(chosen, ';'))
        Run(Trim(action), launch);
    return 0;
}
