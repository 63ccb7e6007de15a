#include "supervision/folder_verdict.h"

#include <string.h>

namespace {

const BYTE SystemSid[] = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
const BYTE AdministratorsSid[] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0};
// S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464
const BYTE TrustedInstallerSid[] = {1,    6,    0,    0,    0,    0,    0,    5,    80,   0,    0,    0,
                                    0xB5, 0x89, 0xFB, 0x38, 0x19, 0x84, 0xC2, 0xCB, 0x5C, 0x6C, 0x23, 0x6D,
                                    0x57, 0x00, 0x77, 0x6E, 0xC0, 0x02, 0x64, 0x87};
const BYTE EveryoneSid[] = {1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0};

constexpr WORD SelfRelative = 0x8000;
constexpr WORD DaclPresent = 0x0004;
constexpr BYTE InheritOnly = 0x08;
constexpr BYTE AccessAllowed = 0x0;
constexpr BYTE AccessAllowedObject = 0x5;
constexpr BYTE AccessAllowedCallback = 0x9;
constexpr BYTE AccessAllowedCallbackObject = 0xB;

constexpr DWORD WriteData = 0x2; // adding a file, on a folder
constexpr DWORD AppendData = 0x4;
constexpr DWORD DeleteChild = 0x40;
constexpr DWORD Delete = 0x10000;
constexpr DWORD WriteDac = 0x40000;
constexpr DWORD WriteOwner = 0x80000;
constexpr DWORD GenericAll = 0x10000000;
constexpr DWORD GenericWrite = 0x40000000;

DWORD RightsThatMatter(PathObject object)
{
    switch (object) {
    case PathObject::ToolFile:
        return WriteData | AppendData | Delete | WriteDac | WriteOwner | GenericWrite | GenericAll;
    case PathObject::InstallDir:
        return WriteData | Delete | DeleteChild | WriteDac | WriteOwner | GenericWrite | GenericAll;
    case PathObject::FolderAbove:
        return Delete | DeleteChild | WriteDac | WriteOwner | GenericAll;
    }
    return 0;
}

DWORD ReadDword(const BYTE* at)
{
    DWORD value;
    memcpy(&value, at, sizeof value);
    return value;
}

WORD ReadWord(const BYTE* at)
{
    WORD value;
    memcpy(&value, at, sizeof value);
    return value;
}

// The length of the SID at offset, or 0 when it does not fit before end.
DWORD SidLength(const BYTE* base, DWORD offset, DWORD end)
{
    if (offset == 0 || offset + 8 > end)
        return 0;
    DWORD length = 8 + 4 * static_cast<DWORD>(base[offset + 1]);
    return offset + length <= end ? length : 0;
}

bool SameSid(const BYTE* sid, DWORD length, const BYTE* other, DWORD otherLength)
{
    return length == otherLength && memcmp(sid, other, length) == 0;
}

bool IsTrusted(const BYTE* sid, DWORD length, const BYTE* tokenUser)
{
    return SameSid(sid, length, SystemSid, sizeof SystemSid)
           || SameSid(sid, length, AdministratorsSid, sizeof AdministratorsSid)
           || SameSid(sid, length, TrustedInstallerSid, sizeof TrustedInstallerSid)
           || (tokenUser != NULL && SameSid(sid, length, tokenUser, 8 + 4 * static_cast<DWORD>(tokenUser[1])));
}

// Where an allow entry's SID starts, from the entry's start; 0 for any other kind of entry.
DWORD AllowedSidOffset(const BYTE* entry, DWORD size)
{
    BYTE type = entry[0];
    if (type == AccessAllowed || type == AccessAllowedCallback)
        return 8;
    if ((type == AccessAllowedObject || type == AccessAllowedCallbackObject) && size >= 12) {
        DWORD flags = ReadDword(entry + 8);
        return 12 + ((flags & 1) ? 16 : 0) + ((flags & 2) ? 16 : 0);
    }
    return 0;
}

} // namespace

PathVerdict JudgeDescriptor(const BYTE* descriptor, DWORD size, const BYTE* tokenUser, PathObject object)
{
    const PathVerdict malformed{Protection::Malformed, NULL, 0};
    if (descriptor == NULL || size < 20 || !(ReadWord(descriptor + 2) & SelfRelative))
        return malformed;
    DWORD ownerOffset = ReadDword(descriptor + 4);
    DWORD ownerLength = SidLength(descriptor, ownerOffset, size);
    if (ownerLength == 0)
        return malformed;
    if (!IsTrusted(descriptor + ownerOffset, ownerLength, tokenUser))
        return {Protection::UntrustedOwner, descriptor + ownerOffset, 0};

    DWORD matter = RightsThatMatter(object);
    DWORD aclOffset = ReadDword(descriptor + 16);
    // No DACL at all grants everyone everything.
    if (!(ReadWord(descriptor + 2) & DaclPresent) || aclOffset == 0)
        return {Protection::UntrustedEntry, EveryoneSid, matter};
    if (aclOffset + 8 > size)
        return malformed;
    DWORD aclEnd = aclOffset + ReadWord(descriptor + aclOffset + 2);
    if (aclEnd > size)
        return malformed;
    DWORD entryOffset = aclOffset + 8;
    for (WORD count = ReadWord(descriptor + aclOffset + 4); count > 0; --count) {
        if (entryOffset + 8 > aclEnd)
            return malformed;
        const BYTE* entry = descriptor + entryOffset;
        DWORD entrySize = ReadWord(entry + 2);
        if (entrySize < 8 || entryOffset + entrySize > aclEnd)
            return malformed;
        entryOffset += entrySize;
        DWORD sidOffset = AllowedSidOffset(entry, entrySize);
        if (sidOffset == 0 || (entry[1] & InheritOnly))
            continue;
        DWORD sidLength = SidLength(entry, sidOffset, entrySize);
        if (sidLength == 0)
            return malformed;
        DWORD rights = ReadDword(entry + 4) & matter;
        if (rights != 0 && !IsTrusted(entry + sidOffset, sidLength, tokenUser))
            return {Protection::UntrustedEntry, entry + sidOffset, rights};
    }
    return {Protection::Protected, NULL, 0};
}

namespace {

// Appends source at *length, as much as fits before the terminator's place.
template <int Size> void Append(char (&text)[Size], int* length, const char* source)
{
    while (*source != '\0' && *length < Size - 1)
        text[(*length)++] = *source++;
    text[*length] = '\0';
}

template <int Size> void AppendNumber(char (&text)[Size], int* length, ULONGLONG value)
{
    char digits[24];
    char* first = digits + sizeof digits;
    *--first = '\0';
    do {
        *--first = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    Append(text, length, first);
}

} // namespace

void FormatSidText(const BYTE* sid, char (&text)[SidTextSize])
{
    int length = 0;
    text[0] = '\0';
    Append(text, &length, "S-");
    AppendNumber(text, &length, sid[0]);
    ULONGLONG authority = 0;
    for (int i = 2; i < 8; ++i)
        authority = authority << 8 | sid[i];
    Append(text, &length, "-");
    AppendNumber(text, &length, authority);
    for (size_t i = 0; i < sid[1]; ++i) {
        Append(text, &length, "-");
        AppendNumber(text, &length, ReadDword(sid + 8 + 4 * i));
    }
}

void DescribeRights(const PathVerdict& verdict, PathObject object, char (&text)[RightsTextSize])
{
    struct Word {
        DWORD right;
        const char* words;
    };
    const Word words[] = {
        {WriteData, object == PathObject::ToolFile ? "change its contents" : "add files to it"},
        {AppendData, "append to it"},
        {Delete, "delete or rename it"},
        {DeleteChild, "delete or rename what it holds"},
        {WriteDac, "change its permissions"},
        {WriteOwner, "take ownership of it"},
        {GenericWrite, "write to it (GENERIC_WRITE)"},
        {GenericAll, "do anything with it (GENERIC_ALL)"},
    };
    int length = 0;
    text[0] = '\0';
    if (verdict.protection == Protection::UntrustedOwner)
        Append(text, &length, "own it, and so change its permissions");
    for (const Word& word : words) {
        if (!(verdict.rights & word.right))
            continue;
        if (length > 0)
            Append(text, &length, ", ");
        Append(text, &length, word.words);
    }
}
