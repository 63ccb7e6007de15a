// Formats every event of zonbekmsg.dll the way Event Viewer does (the DLL loaded as a data file,
// FormatMessageA with the event's insertion strings) and compares the result with the text an
// administrator should read. Prints every formatted message; exits 0 when all are as expected.
//   format_messages PATH-OF-zonbekmsg.dll
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

const DWORD EventServiceFailure = 0xC0020001;
const DWORD EventToolStartFailure = 0xC0020002;
const DWORD EventToolOutput = 0xC0020003;
const DWORD EventToolFolderUnprotected = 0xC0020004;
const DWORD EventToolFolderAllowed = 0x80020005;

int Failures = 0;

void Fail(const std::string& what)
{
    printf("FAILED: %s\n", what.c_str());
    ++Failures;
}

std::string Hex(DWORD id)
{
    char text[16];
    snprintf(text, sizeof text, "0x%08lX", id);
    return text;
}

// FormatMessageA with exactly the strings given, as the service passes them to ReportEventA; no
// strings means a null argument array, as for an output event without lines.
bool Format(HMODULE module, DWORD id, const std::vector<std::string>& strings, DWORD flags, std::string& text)
{
    // FormatMessageA reads the array as DWORD_PTR values, one string pointer each.
    std::vector<DWORD_PTR> arguments;
    for (const std::string& s : strings)
        arguments.push_back(reinterpret_cast<DWORD_PTR>(s.c_str()));
    char* buffer = NULL;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER | flags, module, id, 0,
                                  reinterpret_cast<char*>(&buffer), 0,
                                  arguments.empty() ? NULL : reinterpret_cast<va_list*>(arguments.data()));
    if (length == 0)
        return false;
    text.assign(buffer, length);
    LocalFree(buffer);
    return true;
}

// The highest %N that a raw message text refers to (0 when none).
int HighestInsert(const std::string& raw)
{
    int highest = 0;
    for (size_t i = 0; i + 1 < raw.size(); ++i) {
        if (raw[i] != '%')
            continue;
        if (raw[i + 1] == '%') {
            ++i;
            continue;
        }
        int n = 0;
        while (i + 1 < raw.size() && raw[i + 1] >= '0' && raw[i + 1] <= '9')
            n = n * 10 + (raw[++i] - '0');
        if (n > highest)
            highest = n;
    }
    return highest;
}

std::string FirstDifference(const std::string& expected, const std::string& actual)
{
    size_t at = 0;
    while (at < expected.size() && at < actual.size() && expected[at] == actual[at])
        ++at;
    return "first difference at byte " + std::to_string(at) + ": expected [" + expected.substr(at, 60) +
           "], got [" + actual.substr(at, 60) + "]";
}

void Expect(HMODULE module, DWORD id, const std::vector<std::string>& strings, const std::string& expected)
{
    std::string what = Hex(id) + " with " + std::to_string(strings.size()) + " string(s)";
    printf("---- %s\n", what.c_str());
    std::string text;
    if (!Format(module, id, strings, FORMAT_MESSAGE_ARGUMENT_ARRAY, text)) {
        Fail(what + ": FormatMessageA failed with " + std::to_string(GetLastError()));
        return;
    }
    fwrite(text.data(), 1, text.size(), stdout);
    if (text != expected)
        Fail(what + ": " + FirstDifference(expected, text));
}

// Event Viewer leaves %N as it is when the event has fewer strings, so a text may only use the
// strings that every event of its identifier carries.
void ExpectInsertsAtMost(HMODULE module, DWORD id, int fewestStrings)
{
    std::string raw;
    if (!Format(module, id, {}, FORMAT_MESSAGE_IGNORE_INSERTS, raw)) {
        Fail(Hex(id) + ": no message text (error " + std::to_string(GetLastError()) + ")");
        return;
    }
    int highest = HighestInsert(raw);
    if (highest > fewestStrings)
        Fail(Hex(id) + " refers to %" + std::to_string(highest) + " but some of its events carry only " +
             std::to_string(fewestStrings) + " string(s)");
}

// The message table holds the five identifiers and nothing else.
void ExpectIdentifiers(HMODULE module)
{
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(11)); // RT_MESSAGETABLE
    HGLOBAL loaded = resource ? LoadResource(module, resource) : NULL;
    const DWORD* table = loaded ? static_cast<const DWORD*>(LockResource(loaded)) : NULL;
    if (!table) {
        Fail("no message table resource");
        return;
    }
    // MESSAGE_RESOURCE_DATA: block count, then (low id, high id, offset) per block.
    std::string blocks;
    for (DWORD b = 0; b < table[0]; ++b)
        blocks += (b ? " " : "") + Hex(table[1 + 3 * b]) + "-" + Hex(table[2 + 3 * b]);
    printf("---- message table: %s\n", blocks.c_str());
    std::string expected = Hex(EventToolFolderAllowed) + "-" + Hex(EventToolFolderAllowed) + " " +
                           Hex(EventServiceFailure) + "-" + Hex(EventToolFolderUnprotected);
    if (blocks != expected)
        Fail("the message table holds " + blocks + " instead of exactly " + expected);
}

const char* const Crlf = "\r\n";

std::string Lines(std::initializer_list<const char*> lines)
{
    std::string text;
    for (const char* line : lines)
        text += std::string(line) + Crlf;
    return text;
}

std::string ServiceFailureText(const std::string& failure)
{
    return Lines({
        ("The zonbek service (event source KavixZonbek) could not run because a Windows call failed: " + failure + ".")
            .c_str(),
        "",
        "The number at the end is a Windows error code; \"net helpmsg <number>\" explains it.",
        "- StartServiceCtrlDispatcher: zonbeksvc.exe was started by hand, not by the service manager (error 1063). "
        "Start the service with \"sc start zonbek\" or from the Services console.",
        "- RegisterServiceCtrlHandler or GetExitCodeProcess: the service is no longer running. Start it again; if "
        "this event comes back, look in the System log for errors at the same time and repair the installation. "
        "Installed with the Windows Installer package: Repair in Programs and Features, or \"msiexec /f "
        "<package>.msi /qn\". Installed with the scripts: uninstall.cmd, then install.cmd with the tool's folder.",
    });
}

std::string ToolStartFailureText(const std::string& failure)
{
    return Lines({
        ("The zonbek service (event source KavixZonbek) could not start the Zonbek tool and has stopped: " + failure +
         ".")
            .c_str(),
        "",
        "The number at the end is a Windows error code; \"net helpmsg <number>\" explains it.",
        "- zonbek InstallDir lookup: the service found no value InstallDir of type REG_SZ under "
        "HKEY_LOCAL_MACHINE\\Software\\Kavix\\Zonbek (the error code is often 0 here). A REG_EXPAND_SZ value is not "
        "accepted. To install again with the Windows Installer package, uninstall it, then install it with "
        "TOOLDIR=\"<tool folder>\" (TOOLDIR counts only when the package is installed, not in a repair); with the "
        "scripts, run uninstall.cmd, then install.cmd \"<tool folder>\". Or set the value, whichever way the service "
        "was installed, with: reg add HKLM\\Software\\Kavix\\Zonbek /v InstallDir /t REG_SZ /d \"<tool folder>\" /f "
        "/reg:64",
        "- CreateProcess(zonbek): <InstallDir>\\zonbek.exe could not be started. Error 2 means the file is missing, "
        "3 or 267 that the directory does not exist, 5 that access is denied. The Details tab lists the tool path, "
        "its command line and its working directory as the third, fourth and fifth strings of this event. Install "
        "the tool there, or point InstallDir at the tool's folder with the reg add command above, and start the "
        "service again.",
        "- CreateProcess(zonbek), CreatePipe or AllocConsole: the system is short of resources. Start the service "
        "again.",
    });
}

const std::string ToolOutputText = Lines({
    "The Zonbek tool ended without being asked to stop, with an error (a non-zero exit code or a crash) or with an "
    "exit code that the service could not read, and the zonbek service has stopped.",
    "",
    "The lines the tool wrote to its standard output and standard error before it ended are the strings of this "
    "event: open the Details tab to read them. When the tool wrote more than 4094 bytes, the event holds the lines "
    "of the last 4094 bytes, and the first of them may be the end of a longer line. CR and LF each end a line; empty "
    "lines and lines whose first byte is zero are left out. An event with no strings means that those bytes held no "
    "other line: the tool wrote nothing, only line ends, or only lines that begin with a zero byte. When event 1 "
    "\"GetExitCodeProcess on zobnek failed\" comes just before this event, the service could not read the exit "
    "code, and the tool may have ended with 0. Find the cause in those lines and in the tool's own documentation, "
    "then start the service again with \"sc start zonbek\".",
});

const char* const FolderStrings[] = {"Object: C:\\Zonbek", "Who: NT AUTHORITY\\Authenticated Users",
                                    "What they may do: add files to it, delete or rename it"};

const std::string ToolFolderUnprotectedText = Lines({
    "The zonbek service did not start the Zonbek tool and has stopped: someone other than an administrator may be "
    "able to change what the service runs as LocalSystem.",
    "", FolderStrings[0], FolderStrings[1], FolderStrings[2], "",
    "The service starts the tool only when the tool, the DLLs beside it, its folder and every folder above it are "
    "owned by, and can be changed only by, SYSTEM, Administrators, TrustedInstaller, the service's own account or a "
    "SID listed in the value ToolFolderTrust. \"unknown\" means that the object could not be checked: the last line "
    "says why; with the object HKLM\\Software\\Kavix\\Zonbek\\ToolFolderTrust, the last line is an entry of that "
    "value that is not a SID string: correct or remove it. A junction or symbolic link is not followed: point "
    "InstallDir at the folder it leads to. For a tool folder under C:\\, run these from an elevated command prompt "
    "(they remove the inherited entries, grant only SYSTEM and Administrators, and make Administrators the owner), "
    "then start the service again:",
    "icacls \"<tool folder>\" /reset /T /C",
    "icacls \"<tool folder>\" /inheritance:r /grant:r *S-1-5-18:(OI)(CI)F *S-1-5-32-544:(OI)(CI)F",
    "icacls \"<tool folder>\" /setowner *S-1-5-32-544 /T /C",
    "For a folder under Program Files and for the folders above, see the administrator's guide. If whoever is named "
    "above should be trusted (for example a domain's Domain Admins), add the SID of that account or group to the "
    "REG_MULTI_SZ value ToolFolderTrust rather than turning the check off; the administrator's guide says how to "
    "find the SID. The command replaces the value: give every entry, separated by \\0.",
    "reg add HKLM\\Software\\Kavix\\Zonbek /v ToolFolderTrust /t REG_MULTI_SZ /d \"<SID>\" /f /reg:64",
    "To start the tool anyway, which lets whoever is named above run programs as LocalSystem: reg add "
    "HKLM\\Software\\Kavix\\Zonbek /v ToolFolderCheck /t REG_DWORD /d 0 /f /reg:64",
});

const std::string ToolFolderAllowedText = Lines({
    "The zonbek service started the Zonbek tool although someone other than an administrator may be able to change "
    "what the service runs as LocalSystem, because the value ToolFolderCheck under "
    "HKEY_LOCAL_MACHINE\\Software\\Kavix\\Zonbek is 0.",
    "", FolderStrings[0], FolderStrings[1], FolderStrings[2], "",
    "Whoever is named above can run programs as LocalSystem. Protect the object as event 4 of this source and the "
    "administrator's guide describe, or, if whoever is named above should be trusted, add the SID of that account or "
    "group to the REG_MULTI_SZ value ToolFolderTrust as event 4 describes; then delete the value ToolFolderCheck so "
    "that the service checks again: reg delete HKLM\\Software\\Kavix\\Zonbek /v ToolFolderCheck /f /reg:64",
});

} // namespace

int main(int argc, char** argv)
{
    setvbuf(stdout, NULL, _IONBF, 0);
    _setmode(_fileno(stdout), _O_BINARY);
    if (argc != 2) {
        fprintf(stderr, "usage: format_messages PATH-OF-zonbekmsg.dll\n");
        return 3;
    }
    HMODULE module = LoadLibraryExA(argv[1], NULL, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) {
        printf("FAILED: cannot load %s as a data file: error %lu\n", argv[1], GetLastError());
        return 1;
    }

    ExpectIdentifiers(module);
    ExpectInsertsAtMost(module, EventServiceFailure, 2);
    ExpectInsertsAtMost(module, EventToolStartFailure, 2);
    ExpectInsertsAtMost(module, EventToolOutput, 0);
    ExpectInsertsAtMost(module, EventToolFolderUnprotected, 3);
    ExpectInsertsAtMost(module, EventToolFolderAllowed, 3);

    const std::string source = "KavixZonbek";
    for (const char* failure : {"StartServiceCtrlDispatcher failed with 1063", "RegisterServiceCtrlHandler failed with 1060",
                                "GetExitCodeProcess on zobnek failed failed with 6"})
        Expect(module, EventServiceFailure, {source, failure}, ServiceFailureText(failure));

    Expect(module, EventToolStartFailure, {source, "zonbek InstallDir lookup failed with 0"},
           ToolStartFailureText("zonbek InstallDir lookup failed with 0"));
    const std::string dir = "C:\\Program Files\\Kavix\\Zonbek";
    for (const char* failure : {"CreateProcess(zonbek) failed with 2", "CreateProcess(zonbek), CreatePipe failed with 8",
                                "AllocConsole failed with 5"})
        Expect(module, EventToolStartFailure, {source, failure, dir + "\\zonbek.exe", "zonbek.exe --service", dir},
               ToolStartFailureText(failure));

    // The output event's strings are the tool's lines and nothing else; a line may look like an insert.
    Expect(module, EventToolOutput, {}, ToolOutputText);
    Expect(module, EventToolOutput, {"zonbek: cannot open the database", "%1 100% done"}, ToolOutputText);
    std::vector<std::string> many;
    for (int i = 1; i <= 150; ++i)
        many.push_back("run 1 line " + std::to_string(i));
    Expect(module, EventToolOutput, many, ToolOutputText);

    std::vector<std::string> folder;
    for (const char* line : FolderStrings)
        folder.push_back(strchr(line, ':') + 2);
    Expect(module, EventToolFolderUnprotected, folder, ToolFolderUnprotectedText);
    Expect(module, EventToolFolderAllowed, folder, ToolFolderAllowedText);

    FreeLibrary(module);
    if (Failures) {
        printf("%d check(s) failed\n", Failures);
        return 1;
    }
    printf("---- all messages as expected\n");
    return 0;
}
