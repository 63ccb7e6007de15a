#pragma once

#include <windows.h>

// The last CaptureLimit bytes of the tool's output are kept, in a ring; the buffer has room for CR LF after them.
constexpr DWORD CaptureLimit = 4094;
constexpr DWORD CaptureBufferSize = CaptureLimit + 2;
// Every kept line takes at least one byte and its end.
constexpr WORD MaxOutputLines = CaptureBufferSize / 2;

// What one cycle's tool wrote.
struct OutputCapture {
    ULONGLONG received; // every byte read; the last CaptureLimit of them stay in buffer
    char buffer[CaptureBufferSize];
};

// Adds count bytes of output to the ring in buffer, over the oldest; received counts every byte added.
void KeepOutput(char (&buffer)[CaptureBufferSize], ULONGLONG* received, const char* data, DWORD count);

// Puts the kept bytes in order, oldest first, and cuts them into lines in place: CR or LF ends a line,
// empty lines are dropped and a zero byte ends a line's string. CR LF is written after the data so that
// the last line is ended too. Fills lines with pointers into buffer and returns their count.
WORD CutLines(char (&buffer)[CaptureBufferSize], ULONGLONG received, const char* (&lines)[MaxOutputLines]);

// One event with a line of the tool's output per insertion string; none when no line was kept.
void ReportToolOutput(OutputCapture* capture);
