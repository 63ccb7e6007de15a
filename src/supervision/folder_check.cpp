#include "supervision/folder_check.h"

#include <stdlib.h>
#include <string.h>

#include "eventlog/events.h"
#include "state/config.h"

bool ToolLaunchRefused = false;

namespace {

// Junctions, volume mount points and symbolic links; other reparse points (compressed or
// deduplicated files) hold their own data and are checked as they are.
constexpr DWORD NameSurrogate = 0x20000000;
constexpr SECURITY_INFORMATION OwnerAndDacl = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

struct Walk {
    const BYTE* tokenUser;
    FolderFinding* finding;
};

template <size_t Size> void CopyCut(char (&text)[Size], const char* source)
{
    size_t length = strnlen(source, Size - 1);
    memcpy(text, source, length);
    text[length] = '\0';
}

// Always false: the object stops the walk.
bool Found(FolderFinding* finding, const char* path, const char* principal, const char* what)
{
    size_t size = strlen(path) + 1;
    free(finding->object);
    finding->object = static_cast<char*>(malloc(size));
    if (finding->object != NULL)
        memcpy(finding->object, path, size);
    CopyCut(finding->principal, principal);
    CopyCut(finding->what, what);
    return false;
}

// A check that cannot be made counts as a refusal: nobody is shown to be kept out.
bool CheckFailed(FolderFinding* finding, const char* path, const char* operation)
{
    char text[FailureTextSize];
    FormatFailureText(text, operation, GetLastError());
    return Found(finding, path, "unknown", text);
}

void NamePrincipal(const BYTE* sid, char (&text)[sizeof FolderFinding::principal])
{
    char name[256];
    char domain[256];
    DWORD nameSize = sizeof name;
    DWORD domainSize = sizeof domain;
    SID_NAME_USE use;
    if (!LookupAccountSidA(NULL, const_cast<BYTE*>(sid), name, &nameSize, domain, &domainSize, &use)) {
        char sidText[SidTextSize];
        FormatSidText(sid, sidText);
        CopyCut(text, sidText);
        return;
    }
    // Both fitted their 256 bytes, so domain, backslash and name fit the text.
    size_t at = strlen(domain);
    memcpy(text, domain, at);
    if (at != 0)
        text[at++] = '\\';
    memcpy(text + at, name, strlen(name) + 1);
}

// Judges the descriptor of what the name reaches, which is what the launch opens.
bool CheckObject(const char* path, PathObject object, const WIN32_FIND_DATAA* entry, const Walk& walk)
{
    if (entry != NULL && (entry->dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        && (entry->dwReserved0 & NameSurrogate))
        return Found(walk.finding, path, "unknown", "a junction or symbolic link, which the check does not follow");

    DWORD size = 0;
    GetFileSecurityA(path, OwnerAndDacl, NULL, 0, &size);
    BYTE* descriptor = size != 0 ? static_cast<BYTE*>(malloc(size)) : NULL;
    if (descriptor == NULL || !GetFileSecurityA(path, OwnerAndDacl, descriptor, size, &size)) {
        CheckFailed(walk.finding, path, "GetFileSecurity");
        free(descriptor);
        return false;
    }
    PathVerdict verdict = JudgeDescriptor(descriptor, size, walk.tokenUser, object);
    bool passed = verdict.protection == Protection::Protected;
    if (verdict.protection == Protection::Malformed) {
        Found(walk.finding, path, "unknown", "a security descriptor that the check cannot read");
    } else if (!passed) {
        char principal[sizeof FolderFinding::principal];
        char what[RightsTextSize];
        NamePrincipal(verdict.principal, principal);
        DescribeRights(verdict, object, what);
        Found(walk.finding, path, principal, what);
    }
    free(descriptor);
    return passed;
}

// The entry of one file or folder, without following it when it is a link.
bool ReadEntry(const char* path, WIN32_FIND_DATAA* entry)
{
    HANDLE find = FindFirstFileA(path, entry);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    FindClose(find);
    return true;
}

// Every .dll directly in the folder, the first place the loader looks; toolPath ends in its file name.
bool CheckLibraries(const char* toolPath, const Walk& walk)
{
    size_t folder = static_cast<size_t>(strrchr(toolPath, '\\') - toolPath) + 1;
    char* path = static_cast<char*>(malloc(folder + MAX_PATH));
    if (path == NULL)
        return CheckFailed(walk.finding, toolPath, "DLL list");
    memcpy(path, toolPath, folder);
    memcpy(path + folder, "*.dll", sizeof "*.dll");
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA(path, &entry);
    bool passed = find != INVALID_HANDLE_VALUE || GetLastError() == ERROR_FILE_NOT_FOUND
                  || CheckFailed(walk.finding, path, "FindFirstFile");
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                continue;
            size_t name = strnlen(entry.cFileName, MAX_PATH - 1);
            memcpy(path + folder, entry.cFileName, name);
            path[folder + name] = '\0';
            passed = CheckObject(path, PathObject::ToolFile, &entry, walk);
        } while (passed && FindNextFileA(find, &entry));
        if (passed && GetLastError() != ERROR_NO_MORE_FILES)
            passed = CheckFailed(walk.finding, path, "FindNextFile");
        FindClose(find);
    }
    free(path);
    return passed;
}

// The length of the root that a full path starts with, its backslash included: "C:\", "\\?\C:\",
// "\\server\share\", "\\?\UNC\server\share\"; 0 for a form not known here.
size_t RootLength(const char* path)
{
    if (strncmp(path, "\\\\?\\UNC\\", 8) == 0 || (strncmp(path, "\\\\", 2) == 0 && path[2] != '?' && path[2] != '.')) {
        const char* server = strncmp(path, "\\\\?\\", 4) == 0 ? path + 8 : path + 2;
        const char* share = strchr(server, '\\');
        const char* end = share != NULL ? strchr(share + 1, '\\') : NULL;
        return end != NULL ? static_cast<size_t>(end - path) + 1 : 0;
    }
    size_t prefix = strncmp(path, "\\\\?\\", 4) == 0 || strncmp(path, "\\\\.\\", 4) == 0 ? 4 : 0;
    return path[prefix] != '\0' && path[prefix + 1] == ':' && path[prefix + 2] == '\\' ? prefix + 3 : 0;
}

// InstallDir and each folder above it, the root last; toolPath is cut short on the way.
bool CheckFolders(char* toolPath, const Walk& walk)
{
    size_t root = RootLength(toolPath);
    size_t length = strlen(toolPath);
    PathObject object = PathObject::InstallDir;
    while (length > root) {
        char* last = strrchr(toolPath, '\\');
        size_t end = last != NULL ? static_cast<size_t>(last - toolPath) : 0;
        length = end > root ? end : root;
        toolPath[length] = '\0';
        WIN32_FIND_DATAA entry;
        // A root has no entry of its own and cannot be a link.
        bool isRoot = length == root;
        if (!isRoot && !ReadEntry(toolPath, &entry))
            return CheckFailed(walk.finding, toolPath, "FindFirstFile");
        if (!CheckObject(toolPath, object, isRoot ? NULL : &entry, walk))
            return false;
        object = PathObject::FolderAbove;
    }
    return true;
}

// The service's own account, in a buffer of its own (free it); null when it cannot be read.
BYTE* ReadTokenUser(const BYTE** sid)
{
    HANDLE token = NULL;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return NULL;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, NULL, 0, &size);
    BYTE* buffer = size != 0 ? static_cast<BYTE*>(malloc(size)) : NULL;
    if (buffer != NULL && GetTokenInformation(token, TokenUser, buffer, size, &size)) {
        *sid = static_cast<const BYTE*>(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid);
    } else {
        free(buffer);
        buffer = NULL;
    }
    DWORD lastError = GetLastError();
    CloseHandle(token);
    SetLastError(lastError);
    return buffer;
}

// The path as the launch resolves it: relative parts, "." and ".." and doubled backslashes resolved.
bool WalkToolPath(FolderFinding* finding)
{
    DWORD size = GetFullPathNameA(ToolPath, 0, NULL, NULL);
    char* path = size != 0 ? static_cast<char*>(malloc(size)) : NULL;
    DWORD length = path != NULL ? GetFullPathNameA(ToolPath, size, path, NULL) : 0;
    WIN32_FIND_DATAA entry;
    // A path the system cannot resolve, or no tool there: the launch fails and reports it as it always has.
    bool passed = true;
    if (length != 0 && length < size && ReadEntry(path, &entry)) {
        const BYTE* tokenUser = NULL;
        BYTE* tokenBuffer = ReadTokenUser(&tokenUser);
        Walk walk{tokenUser, finding};
        passed = tokenBuffer != NULL ? CheckObject(path, PathObject::ToolFile, &entry, walk)
                                           && CheckLibraries(path, walk) && CheckFolders(path, walk)
                                     : CheckFailed(finding, path, "GetTokenInformation");
        free(tokenBuffer);
    } else if (length != 0 && length < size && GetLastError() == ERROR_ACCESS_DENIED) {
        passed = CheckFailed(finding, path, "FindFirstFile");
    }
    free(path);
    return passed;
}

} // namespace

FolderCheck CheckToolFolder(FolderFinding* finding)
{
    memset(finding, 0, sizeof *finding);
    if (WalkToolPath(finding))
        return FolderCheck::Passed;
    const char* strings[] = {finding->object != NULL ? finding->object : ToolPath, finding->principal, finding->what};
    if (IsToolFolderCheckOff()) {
        WriteWarningEvent(EVENT_TOOL_FOLDER_ALLOWED, 3, strings);
        return FolderCheck::Allowed;
    }
    WriteErrorEvent(EVENT_TOOL_FOLDER_UNPROTECTED, 3, strings);
    ToolLaunchRefused = true;
    return FolderCheck::Refused;
}

void ReleaseFolderFinding(FolderFinding* finding)
{
    free(finding->object);
    finding->object = NULL;
}
