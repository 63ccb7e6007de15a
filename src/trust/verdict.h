#pragma once

#include <windows.h>

// Which object on the tool's path a descriptor belongs to: each kind has its own rights that let
// someone replace what the service runs.
enum class PathObject {
    ToolFile,    // zonbek.exe or a DLL beside it
    InstallDir,
    FolderAbove, // a folder above InstallDir, up to the root
};

enum class Protection {
    Protected,
    UntrustedOwner,
    UntrustedEntry, // an allow entry, or a missing DACL, gives an untrusted principal one of the rights that matter
};

// One entry of a DACL, as Windows reads it; sid is its principal as a SID string ("S-1-5-32-545").
struct AccessEntry {
    BYTE type;
    BYTE flags;
    DWORD mask;
    const char* sid;
};

// Besides SYSTEM, Administrators and TrustedInstaller: the service's own account and the principals
// the administrator adds in ToolFolderTrust, as SID strings that Windows wrote.
struct Trusted {
    const char* serviceAccount;
    char* const* more;
    DWORD count;
};

struct PathVerdict {
    Protection protection;
    const char* principal; // the owner's or the entry's SID string; Everyone's for no DACL
    DWORD rights;          // the rights of that entry that matter for the object; 0 for an owner
};

// entries null: the object has no DACL, which grants everyone everything. Deny entries are not
// weighed: at worst they make a refusal that ToolFolderCheck can lift.
PathVerdict JudgeObject(PathObject object, const char* owner, const AccessEntry* entries, DWORD count,
                        const Trusted& trusted);

// What the verdict's principal may do, in words ("change its contents, delete or rename it").
constexpr int RightsTextSize = 320;
void DescribeRights(const PathVerdict& verdict, PathObject object, char (&text)[RightsTextSize]);
