#pragma once

#include <windows.h>

// The first CaptureLimit bytes of the tool's output are kept; the buffer has room for CR LF after them.
constexpr DWORD CaptureLimit = 4094;
constexpr DWORD CaptureBufferSize = CaptureLimit + 2;
// Every kept line takes at least one byte and its end.
constexpr WORD MaxOutputLines = CaptureBufferSize / 2;

// Cuts the received bytes of buffer into lines, in place: CR or LF ends a line, empty lines are
// dropped and a zero byte ends a line's string. CR LF is written after the data so that the last
// line is ended too. Fills lines with pointers into buffer and returns their count.
WORD CutLines(char (&buffer)[CaptureBufferSize], DWORD received, const char* (&lines)[MaxOutputLines]);
