#pragma once

#include <windows.h>

#include "supervision/folder_check.h"

// What someone who started the program by hand reads on standard error when it ends with exit code 1.
// The service manager gives a service no standard error, so there nothing is written.
void ExplainLookupFailure();
void ExplainDispatcherFailure(DWORD lastError);
// The folder check's finding: the tool is not started, or with allowed, started anyway.
void ExplainFolderFinding(const FolderFinding& finding, bool allowed);
