#include "trust/verdict.h"

#include <string.h>

namespace {

const char* const AlwaysTrusted[] = {
    "S-1-5-18",     // SYSTEM
    "S-1-5-32-544", // Administrators
    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", // TrustedInstaller
};
const char EveryoneSid[] = "S-1-1-0";
// CREATOR OWNER and CREATOR GROUP stand for someone only in what a new object inherits: on the object
// itself no token holds them. OWNER RIGHTS is the owner, who has passed already.
const char* const NobodyElse[] = {"S-1-3-0", "S-1-3-1", "S-1-3-4"};

constexpr BYTE InheritOnly = 0x08;
constexpr BYTE AccessAllowed = 0x0;
constexpr BYTE AccessAllowedObject = 0x5;
constexpr BYTE AccessAllowedCallback = 0x9;
constexpr BYTE AccessAllowedCallbackObject = 0xB;

constexpr DWORD WriteData = 0x2;  // adding a file, on a folder
constexpr DWORD AppendData = 0x4; // adding a folder, on a folder
constexpr DWORD DeleteChild = 0x40;
constexpr DWORD Delete = 0x10000;
constexpr DWORD WriteDac = 0x40000;
constexpr DWORD WriteOwner = 0x80000;
constexpr DWORD GenericAll = 0x10000000;
constexpr DWORD GenericWrite = 0x40000000;

DWORD RightsThatMatter(PathObject object)
{
    constexpr DWORD Replace = Delete | WriteDac | WriteOwner | GenericAll;
    switch (object) {
    case PathObject::ToolFile:
        return Replace | WriteData | AppendData | GenericWrite;
    case PathObject::InstallDir:
        // A new folder beside the tool can redirect its DLLs (zonbek.exe.local) or hold what it reads.
        return Replace | WriteData | AppendData | DeleteChild | GenericWrite;
    case PathObject::FolderAbove:
        return Replace | DeleteChild;
    }
    return 0;
}

template <size_t Count> bool IsOneOf(const char* sid, const char* const (&sids)[Count])
{
    for (const char* other : sids) {
        if (strcmp(sid, other) == 0)
            return true;
    }
    return false;
}

bool IsTrusted(const char* sid, const Trusted& trusted)
{
    if (IsOneOf(sid, AlwaysTrusted) || (trusted.serviceAccount != NULL && strcmp(sid, trusted.serviceAccount) == 0))
        return true;
    for (DWORD i = 0; i < trusted.count; ++i) {
        if (strcmp(sid, trusted.more[i]) == 0)
            return true;
    }
    return false;
}

bool IsAllowEntry(BYTE type)
{
    return type == AccessAllowed || type == AccessAllowedObject || type == AccessAllowedCallback
           || type == AccessAllowedCallbackObject;
}

} // namespace

PathVerdict JudgeObject(PathObject object, const char* owner, const AccessEntry* entries, DWORD count,
                        const Trusted& trusted)
{
    if (!IsTrusted(owner, trusted))
        return {Protection::UntrustedOwner, owner, 0};
    DWORD matter = RightsThatMatter(object);
    if (entries == NULL)
        return {Protection::UntrustedEntry, EveryoneSid, matter};
    for (DWORD i = 0; i < count; ++i) {
        const AccessEntry& entry = entries[i];
        if (!IsAllowEntry(entry.type) || (entry.flags & InheritOnly) || IsOneOf(entry.sid, NobodyElse))
            continue;
        DWORD rights = entry.mask & matter;
        if (rights != 0 && !IsTrusted(entry.sid, trusted))
            return {Protection::UntrustedEntry, entry.sid, rights};
    }
    return {Protection::Protected, NULL, 0};
}

void DescribeRights(const PathVerdict& verdict, PathObject object, char (&text)[RightsTextSize])
{
    struct Word {
        DWORD right;
        const char* words;
    };
    bool file = object == PathObject::ToolFile;
    const Word words[] = {
        {WriteData, file ? "change its contents" : "add files to it"},
        {AppendData, file ? "append to it" : "add folders to it"},
        {Delete, "delete or rename it"},
        {DeleteChild, "delete or rename what it holds"},
        {WriteDac, "change its permissions"},
        {WriteOwner, "take ownership of it"},
        {GenericWrite, "write to it (GENERIC_WRITE)"},
        {GenericAll, "do anything with it (GENERIC_ALL)"},
    };
    text[0] = '\0';
    if (verdict.protection == Protection::UntrustedOwner)
        strncat(text, "own it, and so change its permissions", RightsTextSize - 1);
    for (const Word& word : words) {
        if (!(verdict.rights & word.right))
            continue;
        if (text[0] != '\0')
            strncat(text, ", ", RightsTextSize - 1 - strlen(text));
        strncat(text, word.words, RightsTextSize - 1 - strlen(text));
    }
}
