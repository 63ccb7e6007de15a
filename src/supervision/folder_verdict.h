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
    UntrustedEntry, // an allow entry gives an untrusted principal one of the rights that matter
    Malformed,      // not a self-relative descriptor that can be read: nobody is shown to be kept out
};

struct PathVerdict {
    Protection protection;
    const BYTE* principal; // the owner's or the entry's SID, inside the descriptor (Everyone for no DACL)
    DWORD rights;          // the rights of that entry that matter for the object; 0 for an owner
};

// Trusted: SYSTEM, Administrators, TrustedInstaller and tokenUser, the service's own account.
// Deny entries are not weighed: at worst they make a refusal that the override can lift.
PathVerdict JudgeDescriptor(const BYTE* descriptor, DWORD size, const BYTE* tokenUser, PathObject object);

// "S-1-5-21-..." ; "S-1-5-32-544" for Administrators.
constexpr int SidTextSize = 192;
void FormatSidText(const BYTE* sid, char (&text)[SidTextSize]);

// What the verdict's principal may do, in words ("change its contents, delete or rename it").
constexpr int RightsTextSize = 320;
void DescribeRights(const PathVerdict& verdict, PathObject object, char (&text)[RightsTextSize]);
