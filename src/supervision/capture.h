#pragma once

#include <windows.h>

#include "supervision/lines.h"

// The service's end of one cycle's output pipe, read overlapped by the thread that waits for the tool.
struct OutputPipe {
    HANDLE read;
    HANDLE readDone; // signalled as each read completes
};

// A pipe of the cycle's own and the tool's end of it, inherited, for writing. False, with the last
// error kept and nothing left open, when either end cannot be made.
bool CreateOutputPipe(OutputPipe* pipe, HANDLE* toolEnd);
void CloseOutputPipe(OutputPipe* pipe);

// Returns once the tool has ended, having read its output meanwhile so that it never blocks on a full
// pipe; then takes only what the pipe holds, without waiting for any other holder of its write end.
void CaptureOutput(OutputCapture* capture, OutputPipe* pipe, HANDLE process);
