#pragma once

#include <windows.h>

// Starts the tool again for as long as it ends with exit code 0 and no stop is requested.
// Returns the exit code for the stopped report: 0, or ERROR_SERVICE_SPECIFIC_ERROR after a start failure.
DWORD RunCycles();
