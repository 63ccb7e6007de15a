#pragma once
// Stand-in for the one call of <ntsecapi.h> the service makes.

#include <windows.h>

typedef uint8_t BOOLEAN;
typedef uint32_t ULONG;

// Fills the buffer with 0xA5 bytes, so that a test sees where they went.
BOOLEAN RtlGenRandom(PVOID buffer, ULONG length);
