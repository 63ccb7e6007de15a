#pragma once

#include <windows.h>

#include <atomic>

#include "supervision/lines.h"

// What one cycle's tool wrote, drained while it runs so that it never blocks on a full pipe.
struct OutputCapture {
    HANDLE pipe;
    bool drained;                  // the reader thread has this capture
    std::atomic<bool> toolEnded;
    DWORD received;                // bytes kept in buffer, at most CaptureLimit; the rest is discarded
    char buffer[CaptureBufferSize];
};

// One thread drains every cycle's pipe: starting a thread per cycle costs a large share of a restart.
// Given signals the reader that `capture` is its next capture (null: end); Taken that it has finished it.
struct OutputReaderRecord {
    HANDLE thread;
    HANDLE given;
    HANDLE taken;
    OutputCapture* capture;
};
extern OutputReaderRecord OutputReader;

void StartCapture(OutputCapture* capture, HANDLE pipe);
// After the tool has ended: takes what it left in the pipe and hands the reader back, without waiting
// for any other holder of the pipe's write end.
void FinishCapture(OutputCapture* capture);
// Ends the reader thread once the cycles are over.
void EndCaptures();
