#pragma once

#include <windows.h>

// The service's own account (its token's user) as a SID string, read once and kept for the process;
// null, with the last error, when it cannot be read.
const char* ServiceAccountSid();

// For the output pipe: a DACL that lets only SYSTEM and the service's own account open it, so that no
// other user can take its one instance. Made once and kept; null, with the last error, when it cannot be.
SECURITY_ATTRIBUTES* OwnPipeSecurity();
