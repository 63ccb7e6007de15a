#include <gtest/gtest.h>

#include <vector>

#include "supervision/folder_verdict.h"

namespace {

using Bytes = std::vector<BYTE>;

void Put(Bytes& bytes, size_t at, DWORD value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes[at + i] = static_cast<BYTE>(value >> 8 * i);
}

Bytes Sid(std::vector<DWORD> parts) // authority, then the sub-authorities
{
    Bytes sid(4 + 4 * parts.size(), 0);
    Put(sid, 0, 1 | (parts.size() - 1) << 8, 2), Put(sid, 7, parts[0], 1);
    for (size_t i = 1; i < parts.size(); ++i)
        Put(sid, 4 + 4 * i, parts[i], 4);
    return sid;
}

const Bytes System = Sid({5, 18}), Admins = Sid({5, 32, 544}), Users = Sid({5, 32, 545}),
            Installer = Sid({5, 80, 956008885, 3418522649, 1831038044, 1853292631, 2271478464}),
            Service = Sid({5, 21, 7, 8, 9, 1000}); // the token user

struct Entry {
    BYTE type, flags;
    DWORD mask;
    Bytes sid;
};

// A self-relative descriptor of owner and DACL (none with dacl false), cut to size when given.
Bytes Descriptor(const Bytes& owner, std::vector<Entry> entries, bool dacl = true, size_t size = 0)
{
    Bytes bytes(20, 0);
    Put(bytes, 0, 1, 1), Put(bytes, 2, 0x8000 | (dacl ? 4 : 0), 2), Put(bytes, 4, 20, 4);
    bytes.insert(bytes.end(), owner.begin(), owner.end());
    size_t acl = bytes.size();
    Put(bytes, 16, dacl ? static_cast<DWORD>(acl) : 0, 4);
    bytes.resize(acl + 8, 0);
    for (auto& e : entries) {
        size_t at = bytes.size();
        bytes.resize(at + (e.type == 5 ? 28 : 8), 0); // an object entry: flags 1, one GUID before the SID
        Put(bytes, at, e.type | e.flags << 8, 2), Put(bytes, at + 4, e.mask, 4), Put(bytes, at + 8, e.type == 5, 4);
        bytes.insert(bytes.end(), e.sid.begin(), e.sid.end());
        Put(bytes, at + 2, static_cast<DWORD>(bytes.size() - at), 2);
    }
    Put(bytes, acl, 2, 1), Put(bytes, acl + 2, static_cast<DWORD>(bytes.size() - acl), 2);
    Put(bytes, acl + 4, static_cast<DWORD>(entries.size()), 2);
    bytes.resize(size != 0 ? size : bytes.size());
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

class FolderVerdict : public ::testing::TestWithParam<Case> {};

TEST_P(FolderVerdict, NamesTheFirstUntrustedOwnerOrEntryWithTheRightsThatMatter)
{
    const Case& c = GetParam();
    PathVerdict verdict =
        JudgeDescriptor(c.descriptor.data(), static_cast<DWORD>(c.descriptor.size()), Service.data(), c.object);
    EXPECT_EQ(verdict.protection, c.protection);
    char sid[SidTextSize] = "", words[RightsTextSize];
    if (verdict.principal != NULL)
        FormatSidText(verdict.principal, sid);
    DescribeRights(verdict, c.object, words);
    EXPECT_STREQ(sid, c.principal);
    EXPECT_STREQ(words, c.words);
}

// Wine's o+w cases, with the real descriptors, are the end-to-end test's.
const Entry SystemFull{0, 0, 0x1f01ff, System}, ServiceFull{0, 0, 0x1f01ff, Service};
const auto Tool = PathObject::ToolFile, Dir = PathObject::InstallDir, Above = PathObject::FolderAbove;
const auto Ok = Protection::Protected, Untrusted = Protection::UntrustedEntry;

INSTANTIATE_TEST_SUITE_P(
    Rows, FolderVerdict,
    ::testing::Values(
        Case{"owned_by_service_read_by_users", Descriptor(Service, {SystemFull, ServiceFull, {0, 0, 0x1200a9, Users}}),
             Dir, Ok, "", ""},
        Case{"owned_by_trusted_installer", Descriptor(Installer, {{0, 0, 0x10000000, Admins}}), Above, Ok, "", ""},
        Case{"owned_by_users", Descriptor(Users, {SystemFull}), Tool, Protection::UntrustedOwner, "S-1-5-32-545",
             "own it, and so change its permissions"},
        Case{"inherit_only_ignored", Descriptor(Admins, {{0, 0x0B, 0x10000000, Users}}), Dir, Ok, "", ""},
        Case{"deny_ignored", Descriptor(Admins, {{1, 0, 0x1f01ff, Users}, {0, 0, 0x40000000, Users}}), Tool, Untrusted,
             "S-1-5-32-545", "write to it (GENERIC_WRITE)"},
        // C:\ lets users add folders (0x4): that matters only for a file, where it means appending.
        Case{"add_subfolder_above", Descriptor(System, {{0, 0, 0x1200a9 | 4, Users}}), Above, Ok, "", ""},
        Case{"add_subfolder_dir", Descriptor(System, {{0, 0, 4, Users}}), Dir, Ok, "", ""},
        Case{"append_tool", Descriptor(System, {{0, 0, 4, Users}}), Tool, Untrusted, "S-1-5-32-545", "append to it"},
        Case{"acl_rights", Descriptor(System, {{0, 0, 0xC0000, Users}}), Above, Untrusted, "S-1-5-32-545",
             "change its permissions, take ownership of it"},
        Case{"object_entry", Descriptor(System, {{5, 0, 0x10000, Users}}), Tool, Untrusted, "S-1-5-32-545",
             "delete or rename it"},
        Case{"no_dacl", Descriptor(Admins, {}, false), Above, Untrusted, "S-1-1-0",
             "delete or rename it, delete or rename what it holds, change its permissions, take ownership of it, do "
             "anything with it (GENERIC_ALL)"},
        Case{"cut_short", Descriptor(Admins, {SystemFull}, true, 40), Tool, Protection::Malformed, "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
