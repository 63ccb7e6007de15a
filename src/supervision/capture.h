#pragma once

#include <windows.h>

#include <atomic>

#include "supervision/lines.h"

// What one cycle's tool wrote, drained while it runs so that it never blocks on a full pipe.
struct OutputCapture {
    HANDLE pipe;
    std::atomic<bool> toolEnded;
    ULONGLONG received;            // every byte read; the last CaptureLimit of them stay in buffer
    char buffer[CaptureBufferSize];
};

void StartCapture(OutputCapture* capture, HANDLE pipe);
// Returns once the tool has ended; without a reader thread it drains the pipe meanwhile itself.
void AwaitToolEnd(OutputCapture* capture, HANDLE process);
// After the tool has ended: takes what it left in the pipe and hands the reader back, without waiting
// for any other holder of the pipe's write end.
void FinishCapture(OutputCapture* capture);
// Ends the reader thread once the cycles are over.
void EndCaptures();
