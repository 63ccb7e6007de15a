#include <gtest/gtest.h>

#include <vector>

#include "trust/verdict.h"

namespace {

// Principals as Windows writes them.
const char *System = "S-1-5-18", *Admins = "S-1-5-32-544", *Users = "S-1-5-32-545", *AuthUsers = "S-1-5-11",
           *Installer = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",
           *Packages = "S-1-15-2-1", *CreatorOwner = "S-1-3-0", *OwnerRights = "S-1-3-4",
           *Service = "S-1-5-21-7-8-9-1000", *DomainAdmins = "S-1-5-21-1-2-3-512";

// Entry kinds and flags.
constexpr BYTE Allow = 0, Deny = 1, AllowObject = 5, OI = 0x1, CI = 0x2, IO = 0x8, ID = 0x10;
constexpr DWORD Full = 0x1f01ff, Modify = 0x1301bf, ReadExecute = 0x1200a9, AddFolder = 0x4, GenericAll = 0x10000000;

struct Case {
    const char* name;
    PathObject object;
    const char* owner;
    std::vector<AccessEntry> entries;
    bool noDacl;
    const char* principal; // "" when protected
    const char* words;
};

const auto Tool = PathObject::ToolFile, Dir = PathObject::InstallDir, Above = PathObject::FolderAbove;

// Windows' own: C:\ lets Authenticated Users add folders, and what they make there is theirs to change.
const std::vector<AccessEntry> DriveRoot = {{Allow, OI | CI, Full, Admins},
                                            {Allow, OI | CI, Full, System},
                                            {Allow, OI | CI, ReadExecute, Users},
                                            {Allow, OI | CI | IO, 0xE0010000, AuthUsers},
                                            {Allow, 0, AddFolder, AuthUsers}};
const std::vector<AccessEntry> ProgramFiles = {
    {Allow, 0, Full, Installer},           {Allow, CI | IO, GenericAll, Installer}, {Allow, 0, Modify, System},
    {Allow, OI | CI | IO, GenericAll, System}, {Allow, 0, Modify, Admins},      {Allow, OI | CI | IO, GenericAll, Admins},
    {Allow, 0, ReadExecute, Users},        {Allow, OI | CI | IO, GenericAll, CreatorOwner},
    {Allow, 0, ReadExecute, Packages}};
const std::vector<AccessEntry> FolderUnderDriveRoot = {{Allow, OI | CI | ID, Full, Admins},
                                                       {Allow, OI | CI | ID, Full, System},
                                                       {Allow, OI | CI | ID, ReadExecute, Users},
                                                       {Allow, ID, Modify, AuthUsers},
                                                       {Allow, OI | CI | IO | ID, 0xE0010000, AuthUsers}};

class FolderVerdict : public ::testing::TestWithParam<Case> {};

TEST_P(FolderVerdict, NamesTheFirstUntrustedOwnerOrEntryWithTheRightsThatMatter)
{
    const Case& c = GetParam();
    char* const more[] = {const_cast<char*>(DomainAdmins)};
    Trusted trusted{Service, more, 1};
    const AccessEntry none{};
    PathVerdict verdict = JudgeObject(c.object, c.owner, c.noDacl ? nullptr : c.entries.empty() ? &none : c.entries.data(),
                                      static_cast<DWORD>(c.entries.size()), trusted);
    char words[RightsTextSize];
    DescribeRights(verdict, c.object, words);
    EXPECT_EQ(verdict.protection == Protection::Protected, c.principal[0] == '\0');
    EXPECT_STREQ(verdict.principal != nullptr ? verdict.principal : "", c.principal);
    EXPECT_STREQ(words, c.words);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FolderVerdict,
    ::testing::Values(
        Case{"drive_root_above", Above, Installer, DriveRoot, false, "", ""},
        Case{"drive_root_as_install_dir", Dir, Installer, DriveRoot, false, AuthUsers, "add folders to it"},
        Case{"program_files", Dir, Installer, ProgramFiles, false, "", ""},
        Case{"folder_under_drive_root", Above, Admins, FolderUnderDriveRoot, false, AuthUsers,
             "delete or rename it"},
        Case{"folder_under_drive_root_as_install_dir", Dir, Admins, FolderUnderDriveRoot, false, AuthUsers,
             "add files to it, add folders to it, delete or rename it"},
        Case{"owned_by_service_read_by_users", Dir, Service, {{Allow, 0, Full, System}, {Allow, 0, ReadExecute, Users}},
             false, "", ""},
        Case{"owned_by_users", Tool, Users, {{Allow, 0, Full, System}}, false, Users,
             "own it, and so change its permissions"},
        Case{"owned_by_trusted_domain_group", Tool, DomainAdmins, {{Allow, 0, Full, DomainAdmins}}, false, "", ""},
        Case{"deny_not_weighed", Tool, Admins, {{Deny, 0, Full, Users}, {Allow, 0, 0x40000000, Users}}, false, Users,
             "write to it (GENERIC_WRITE)"},
        Case{"append_to_tool", Tool, System, {{Allow, 0, AddFolder, Users}}, false, Users, "append to it"},
        Case{"acl_rights_above", Above, System, {{Allow, 0, 0xC0000, Users}}, false, Users,
             "change its permissions, take ownership of it"},
        Case{"generic_all_above", Above, System, {{Allow, 0, GenericAll, Users}}, false, Users,
             "do anything with it (GENERIC_ALL)"},
        Case{"object_entry", Tool, System, {{AllowObject, 0, 0x10000, Users}}, false, Users, "delete or rename it"},
        // Placeholders that no token holds, and the owner's own rights.
        Case{"creator_owner_on_the_object", Dir, Admins, {{Allow, OI | CI, Full, CreatorOwner}}, false, "", ""},
        Case{"owner_rights", Tool, Admins, {{Allow, 0, Full, OwnerRights}}, false, "", ""},
        Case{"owner_rights_untrusted_owner", Tool, Users, {{Allow, 0, Full, OwnerRights}}, false, Users,
             "own it, and so change its permissions"},
        Case{"no_dacl", Above, Admins, {}, true, "S-1-1-0",
             "delete or rename it, delete or rename what it holds, change its permissions, take ownership of it, do "
             "anything with it (GENERIC_ALL)"},
        Case{"empty_dacl", Tool, Admins, {}, false, "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
