#include <gtest/gtest.h>

#include <vector>

#include "supervision/folder_verdict.h"

namespace {

using Bytes = std::vector<BYTE>;

Bytes Sid(std::vector<DWORD> parts) // authority, then the sub-authorities
{
    Bytes sid{1, static_cast<BYTE>(parts.size() - 1), 0, 0, 0, 0, 0, static_cast<BYTE>(parts[0])};
    for (size_t i = 1; i < parts.size(); ++i)
        for (int shift = 0; shift < 32; shift += 8)
            sid.push_back(static_cast<BYTE>(parts[i] >> shift));
    return sid;
}

const Bytes System = Sid({5, 18}), Admins = Sid({5, 32, 544}), Users = Sid({5, 32, 545}), Everyone = Sid({1, 0}),
            Installer = Sid({5, 80, 956008885, 3418522649, 1831038044, 1853292631, 2271478464}),
            Service = Sid({5, 21, 7, 8, 9, 1000}); // the token user

struct Entry {
    BYTE type, flags;
    DWORD mask;
    Bytes sid;
};

void Put(Bytes& bytes, size_t at, DWORD value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes[at + i] = static_cast<BYTE>(value >> 8 * i);
}

// A self-relative descriptor: owner, then the DACL; no DACL at all when dacl is false.
Bytes Descriptor(const Bytes& owner, std::vector<Entry> entries, bool dacl = true)
{
    Bytes bytes(20, 0);
    Put(bytes, 0, 1, 1);
    Put(bytes, 2, 0x8000 | (dacl ? 4 : 0), 2);
    Put(bytes, 4, 20, 4);
    bytes.insert(bytes.end(), owner.begin(), owner.end());
    size_t acl = bytes.size();
    Put(bytes, 16, dacl ? static_cast<DWORD>(acl) : 0, 4);
    bytes.resize(acl + 8, 0);
    for (auto& e : entries) {
        size_t at = bytes.size(), sidAt = at + (e.type == 5 ? 28 : 8);
        bytes.resize(sidAt, 0);
        Put(bytes, at, e.type, 1), Put(bytes, at + 1, e.flags, 1), Put(bytes, at + 4, e.mask, 4);
        if (e.type == 5)
            Put(bytes, at + 8, 1, 4); // one object type GUID before the SID
        bytes.insert(bytes.end(), e.sid.begin(), e.sid.end());
        Put(bytes, at + 2, static_cast<DWORD>(bytes.size() - at), 2);
    }
    Put(bytes, acl, 2, 1), Put(bytes, acl + 2, static_cast<DWORD>(bytes.size() - acl), 2);
    Put(bytes, acl + 4, static_cast<DWORD>(entries.size()), 2);
    return bytes;
}

Bytes Cut(Bytes bytes, size_t size)
{
    bytes.resize(size);
    return bytes;
}

struct Case {
    const char* name;
    Bytes descriptor;
    PathObject object;
    Protection protection;
    const char* principal;
    const char* words;
};

// Wine's descriptors from mode bits: owner and SYSTEM full control, Everyone read (755) or modify (o+w).
const Entry Wine755{0, 0, 0x1200a9, Everyone}, WineOtherWrite{0, 0, 0x1301ff, Everyone};
const Entry SystemFull{0, 0, 0x1f01ff, System}, OwnerFull{0, 0, 0x1f01ff, Service};

class FolderVerdict : public ::testing::TestWithParam<Case> {};

TEST_P(FolderVerdict, NamesTheFirstUntrustedOwnerOrEntryWithTheRightsThatMatter)
{
    const Case& c = GetParam();
    PathVerdict verdict = JudgeDescriptor(c.descriptor.data(), static_cast<DWORD>(c.descriptor.size()),
                                          Service.data(), c.object);
    EXPECT_EQ(verdict.protection, c.protection);
    char sid[SidTextSize] = "";
    if (verdict.principal != NULL)
        FormatSidText(verdict.principal, sid);
    EXPECT_STREQ(sid, c.principal);
    char words[RightsTextSize];
    DescribeRights(verdict, c.object, words);
    EXPECT_STREQ(words, c.words);
}

const auto Protected = Protection::Protected, Owner = Protection::UntrustedOwner,
           Untrusted = Protection::UntrustedEntry;
const auto Tool = PathObject::ToolFile, Dir = PathObject::InstallDir, Above = PathObject::FolderAbove;
const char* const Modify = "change its contents, append to it, delete or rename it";

INSTANTIATE_TEST_SUITE_P(
    Rows, FolderVerdict,
    ::testing::Values(
        Case{"wine_755", Descriptor(Service, {SystemFull, OwnerFull, Wine755}), Tool, Protected, "", ""},
        Case{"wine_o_w_tool", Descriptor(Service, {SystemFull, WineOtherWrite}), Tool, Untrusted, "S-1-1-0", Modify},
        Case{"wine_o_w_dir", Descriptor(Service, {WineOtherWrite}), Dir, Untrusted, "S-1-1-0",
             "add files to it, delete or rename it, delete or rename what it holds"},
        Case{"wine_o_w_above", Descriptor(Service, {WineOtherWrite}), Above, Untrusted, "S-1-1-0",
             "delete or rename it, delete or rename what it holds"},
        Case{"owned_by_trusted_installer", Descriptor(Installer, {{0, 0, 0x10000000, Admins}}), Above, Protected, "", ""},
        Case{"owned_by_users", Descriptor(Users, {SystemFull}), Tool, Owner, "S-1-5-32-545",
             "own it, and so change its permissions"},
        Case{"inherit_only_ignored", Descriptor(Admins, {{0, 0x0B, 0x10000000, Users}}), Dir, Protected, "", ""},
        Case{"deny_ignored", Descriptor(Admins, {{1, 0, 0x1f01ff, Users}, {0, 0, 0x40000000, Users}}), Tool, Untrusted,
             "S-1-5-32-545", "write to it (GENERIC_WRITE)"},
        // C:\ lets users add folders (0x4): that matters only for a file, where it means appending.
        Case{"add_subfolder_above", Descriptor(System, {{0, 0, 0x1200a9 | 4, Users}}), Above, Protected, "", ""},
        Case{"add_subfolder_dir", Descriptor(System, {{0, 0, 4, Users}}), Dir, Protected, "", ""},
        Case{"append_tool", Descriptor(System, {{0, 0, 4, Users}}), Tool, Untrusted, "S-1-5-32-545", "append to it"},
        Case{"acl_rights", Descriptor(System, {{0, 0, 0xC0000, Users}}), Above, Untrusted, "S-1-5-32-545",
             "change its permissions, take ownership of it"},
        Case{"object_entry", Descriptor(System, {{5, 0, 0x10000, Users}}), Tool, Untrusted, "S-1-5-32-545",
             "delete or rename it"},
        Case{"no_dacl", Descriptor(Admins, {}, false), Above, Untrusted, "S-1-1-0",
             "delete or rename it, delete or rename what it holds, change its permissions, take ownership of it, do "
             "anything with it (GENERIC_ALL)"},
        Case{"cut_short", Cut(Descriptor(Admins, {Wine755}), 40), Tool,
             Protection::Malformed, "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
