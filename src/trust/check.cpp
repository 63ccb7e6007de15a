#include "trust/check.h"

#include <windows.h>

#include <sddl.h>
#include <stdlib.h>
#include <string.h>

#include "eventlog/events.h"
#include "state/config.h"
#include "trust/account.h"
#include "trust/verdict.h"

namespace {

// Junctions, volume mount points and symbolic links; other reparse points (compressed or
// deduplicated files) hold their own data and are checked as they are.
constexpr DWORD NameSurrogate = 0x20000000;
constexpr SECURITY_INFORMATION OwnerAndDacl = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
const char TrustValuePath[] = "HKLM\\Software\\Kavix\\Zonbek\\ToolFolderTrust";

// ToolFolderCheck = 0, read once per check so that the event and the launch agree.
bool CheckIsOff = false;

// Always false: the finding stops the walk.
bool Found(const char* object, const char* principal, const char* what)
{
    const char* strings[] = {object, principal, what};
    if (CheckIsOff)
        WriteWarningEvent(EVENT_TOOL_FOLDER_ALLOWED, 3, strings);
    else
        WriteErrorEvent(EVENT_TOOL_FOLDER_UNPROTECTED, 3, strings);
    return false;
}

// A check that cannot be made counts as a finding: nobody is shown to be kept out.
bool CheckFailed(const char* object, const char* operation)
{
    char text[FailureTextSize];
    FormatFailureText(text, operation, GetLastError());
    return Found(object, "unknown", text);
}

// "DOMAIN\name" where Windows can name the SID, otherwise the SID string itself.
void NamePrincipal(const char* sidText, char (&text)[2 * 256 + 2])
{
    char name[256];
    char domain[256];
    DWORD nameSize = sizeof name;
    DWORD domainSize = sizeof domain;
    SID_NAME_USE use;
    PSID sid = NULL;
    bool named = ConvertStringSidToSidA(sidText, &sid)
                 && LookupAccountSidA(NULL, sid, name, &nameSize, domain, &domainSize, &use);
    LocalFree(sid);
    text[0] = '\0';
    if (!named) {
        strncat(text, sidText, sizeof text - 1);
        return;
    }
    // Both fitted their 256 bytes, so domain, backslash and name fit the text.
    strcat(text, domain);
    if (domain[0] != '\0')
        strcat(text, "\\");
    strcat(text, name);
}

// The principal of an allow entry; null for entries of other kinds, which the verdict passes over.
PSID AllowedSid(const ACE_HEADER* header)
{
    switch (header->AceType) {
    case ACCESS_ALLOWED_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_ACE_TYPE:
        return const_cast<DWORD*>(&reinterpret_cast<const ACCESS_ALLOWED_ACE*>(header)->SidStart);
    case ACCESS_ALLOWED_OBJECT_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE: {
        // Each of the two GUIDs is there only when its flag says so; the SID follows what is there.
        const auto* entry = reinterpret_cast<const ACCESS_ALLOWED_OBJECT_ACE*>(header);
        const BYTE* at = reinterpret_cast<const BYTE*>(&entry->ObjectType);
        at += ((entry->Flags & ACE_OBJECT_TYPE_PRESENT) ? sizeof(GUID) : 0)
              + ((entry->Flags & ACE_INHERITED_OBJECT_TYPE_PRESENT) ? sizeof(GUID) : 0);
        return const_cast<BYTE*>(at);
    }
    default:
        return NULL;
    }
}

// The DACL's entries, their principals as SID strings to be released; the failed call, or null.
const char* ReadEntries(PACL dacl, AccessEntry* entries, DWORD count)
{
    for (DWORD i = 0; i < count; ++i) {
        ACE_HEADER* header = NULL;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&header)))
            return "GetAce";
        char* sid = NULL;
        PSID principal = AllowedSid(header);
        if (principal != NULL && !ConvertSidToStringSidA(principal, &sid))
            return "ConvertSidToStringSid";
        entries[i] = {header->AceType, header->AceFlags, reinterpret_cast<ACCESS_ALLOWED_ACE*>(header)->Mask, sid};
    }
    return NULL;
}

bool Judge(const char* path, PathObject object, const char* owner, const AccessEntry* entries, DWORD count,
           const Trusted& trusted)
{
    PathVerdict verdict = JudgeObject(object, owner, entries, count, trusted);
    if (verdict.protection == Protection::Protected)
        return true;
    char principal[2 * 256 + 2];
    char what[RightsTextSize];
    NamePrincipal(verdict.principal, principal);
    DescribeRights(verdict, object, what);
    return Found(path, principal, what);
}

// The owner and the DACL, read by Windows and judged.
bool JudgeDescriptor(const char* path, PSECURITY_DESCRIPTOR descriptor, PathObject object, const Trusted& trusted)
{
    PSID ownerSid = NULL;
    PACL dacl = NULL;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    ACL_SIZE_INFORMATION acl = {};
    if (!GetSecurityDescriptorOwner(descriptor, &ownerSid, &defaulted)
        || !GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted)
        || (present && dacl != NULL && !GetAclInformation(dacl, &acl, sizeof acl, AclSizeInformation)))
        return CheckFailed(path, "GetSecurityDescriptor");
    char* owner = NULL;
    auto* entries = static_cast<AccessEntry*>(calloc(acl.AceCount + 1, sizeof(AccessEntry)));
    const char* failed = entries == NULL                             ? "DACL entries"
                         : !ConvertSidToStringSidA(ownerSid, &owner) ? "ConvertSidToStringSid"
                                                                     : ReadEntries(dacl, entries, acl.AceCount);
    // No DACL at all grants everyone everything.
    bool passed = failed != NULL ? CheckFailed(path, failed)
                                 : Judge(path, object, owner, present && dacl != NULL ? entries : NULL, acl.AceCount,
                                         trusted);
    for (DWORD i = 0; entries != NULL && i < acl.AceCount; ++i)
        LocalFree(const_cast<char*>(entries[i].sid));
    free(entries);
    LocalFree(owner);
    return passed;
}

// Judges the descriptor of what the name reaches, which is what the launch opens.
bool CheckObject(const char* path, PathObject object, const WIN32_FIND_DATAA* entry, const Trusted& trusted)
{
    if (entry != NULL && (entry->dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        && (entry->dwReserved0 & NameSurrogate))
        return Found(path, "unknown", "a junction or symbolic link, which the check does not follow");
    DWORD size = 0;
    GetFileSecurityA(path, OwnerAndDacl, NULL, 0, &size);
    void* descriptor = size != 0 ? malloc(size) : NULL;
    bool passed = descriptor != NULL && GetFileSecurityA(path, OwnerAndDacl, descriptor, size, &size)
                      ? JudgeDescriptor(path, descriptor, object, trusted)
                      : CheckFailed(path, "GetFileSecurity");
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
bool CheckLibraries(const char* toolPath, const Trusted& trusted)
{
    size_t folder = static_cast<size_t>(strrchr(toolPath, '\\') - toolPath) + 1;
    char* path = static_cast<char*>(malloc(folder + MAX_PATH));
    if (path == NULL)
        return CheckFailed(toolPath, "DLL list");
    memcpy(path, toolPath, folder);
    memcpy(path + folder, "*.dll", sizeof "*.dll");
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA(path, &entry);
    bool passed = find != INVALID_HANDLE_VALUE || GetLastError() == ERROR_FILE_NOT_FOUND
                  || CheckFailed(path, "FindFirstFile");
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                continue;
            memcpy(path + folder, entry.cFileName, strnlen(entry.cFileName, MAX_PATH - 1) + 1);
            path[folder + MAX_PATH - 1] = '\0';
            passed = CheckObject(path, PathObject::ToolFile, &entry, trusted);
        } while (passed && FindNextFileA(find, &entry));
        if (passed && GetLastError() != ERROR_NO_MORE_FILES)
            passed = CheckFailed(path, "FindNextFile");
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
bool CheckFolders(char* toolPath, const Trusted& trusted)
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
            return CheckFailed(toolPath, "FindFirstFile");
        if (!CheckObject(toolPath, object, isRoot ? NULL : &entry, trusted))
            return false;
        object = PathObject::FolderAbove;
    }
    return true;
}

// ToolFolderTrust's entries as SID strings that Windows wrote, so that any spelling Windows accepts
// matches; an entry that is no SID is a finding of its own.
bool ReadTrusted(Trusted* trusted, const char* list)
{
    DWORD count = 0;
    for (const char* entry = list; entry != NULL && *entry != '\0'; entry += strlen(entry) + 1)
        ++count;
    auto** sids = static_cast<char**>(calloc(count + 1, sizeof(char*)));
    trusted->more = sids;
    if (sids == NULL)
        return CheckFailed(TrustValuePath, "ToolFolderTrust");
    for (const char* entry = list; trusted->count < count; entry += strlen(entry) + 1) {
        PSID sid = NULL;
        if (!ConvertStringSidToSidA(entry, &sid)) {
            char written[256] = "";
            return Found(TrustValuePath, "unknown", strncat(written, entry, sizeof written - 1));
        }
        bool converted = ConvertSidToStringSidA(sid, &sids[trusted->count]);
        LocalFree(sid);
        if (!converted)
            return CheckFailed(TrustValuePath, "ConvertSidToStringSid");
        ++trusted->count;
    }
    return true;
}

// The path as the launch resolves it: relative parts, "." and ".." and doubled backslashes resolved.
bool WalkToolPath(const Trusted& trusted)
{
    DWORD size = GetFullPathNameA(ToolPath, 0, NULL, NULL);
    char* path = size != 0 ? static_cast<char*>(malloc(size)) : NULL;
    DWORD length = path != NULL ? GetFullPathNameA(ToolPath, size, path, NULL) : 0;
    WIN32_FIND_DATAA entry;
    // A path the system cannot resolve, or no tool there: the launch fails and reports it as it always has.
    bool passed = true;
    if (length != 0 && length < size && ReadEntry(path, &entry))
        passed = CheckObject(path, PathObject::ToolFile, &entry, trusted) && CheckLibraries(path, trusted)
                 && CheckFolders(path, trusted);
    else if (length != 0 && length < size && GetLastError() == ERROR_ACCESS_DENIED)
        passed = CheckFailed(path, "FindFirstFile");
    free(path);
    return passed;
}

} // namespace

bool CheckToolFolder()
{
    CheckIsOff = IsToolFolderCheckOff();
    char* list = LookupToolFolderTrust();
    Trusted trusted = {ServiceAccountSid(), NULL, 0};
    bool passed = trusted.serviceAccount != NULL ? ReadTrusted(&trusted, list) && WalkToolPath(trusted)
                                                 : CheckFailed(ToolPath, "GetTokenInformation");
    for (DWORD i = 0; i < trusted.count; ++i)
        LocalFree(trusted.more[i]);
    free(const_cast<char**>(trusted.more));
    free(list);
    return passed || CheckIsOff;
}
