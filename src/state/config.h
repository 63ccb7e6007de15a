#pragma once

#include <windows.h>

// Fixed by start-up and read-only afterwards; empty strings before.
extern const char* ToolPath;
extern const char* WorkingDirectory;

// The installation directory as a string of its own (free it), or null when it is not found.
char* LookupInstallDir();

// Composes ToolPath and WorkingDirectory from the installation directory; false when out of memory.
bool ComposePaths(const char* installDir);

// True only for a REG_DWORD ToolFolderCheck of 0 beside InstallDir: unprotected tool folders are then
// reported as a warning and the tool is started anyway.
bool IsToolFolderCheckOff();
