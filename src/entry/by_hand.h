#pragma once

#include <windows.h>

// What someone who started the program by hand reads on standard error when it ends with exit code 1.
// The service manager gives a service no standard error, so there nothing is written.
void ExplainLookupFailure();
void ExplainDispatcherFailure(DWORD lastError);
