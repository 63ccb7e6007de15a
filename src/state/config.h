#pragma once

#include <windows.h>

// Fixed by start-up and read-only afterwards; empty strings before.
extern const char* ToolPath;
extern const char* WorkingDirectory;

// The installation directory as a string of its own (free it), or null when it is not found.
char* LookupInstallDir();

// Composes ToolPath and WorkingDirectory from the installation directory; false when out of memory.
bool ComposePaths(const char* installDir);

// ToolFolderTrust beside InstallDir, a REG_MULTI_SZ of SID strings that the folder check trusts, as a
// list of strings that ends in an empty one whatever the value holds (free it); null when it is missing
// or of another type.
char* LookupToolFolderTrust();

// True only for a REG_DWORD ToolFolderCheck of 0 beside InstallDir: unprotected tool folders are then
// reported as a warning and the tool is started anyway.
bool IsToolFolderCheckOff();
