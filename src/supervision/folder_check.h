#pragma once

#include <windows.h>

#include "supervision/folder_verdict.h"

// Set once by the check at start-up: the cycles then start no tool and stop as after a launch failure.
extern bool ToolLaunchRefused;

enum class FolderCheck {
    Passed,   // protected, or no tool to check: the launch reports a missing tool itself
    Refused,  // reported as an error event
    Allowed,  // unprotected, but ToolFolderCheck is 0: reported as a warning
};

// The three strings of the folder events: the object, who may change it, and what they may do.
struct FolderFinding {
    char* object; // released by ReleaseFolderFinding
    char principal[2 * 256 + 2];
    char what[RightsTextSize];
};

// Once per process, before any launch: the tool, the DLLs directly beside it, its folder and every
// folder above, in that order, until the first object someone other than an administrator can change.
FolderCheck CheckToolFolder(FolderFinding* finding);
void ReleaseFolderFinding(FolderFinding* finding);
