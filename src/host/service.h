#pragma once

#include <windows.h>

constexpr const char* ServiceName = "zonbek";

// Set by a stop control, read by the cycles. StopLock also makes the flag, the Ctrl+C broadcast and
// the tool's launch one step each, so a stop is never broadcast before a tool that will then start.
extern DWORD StopRequested;
extern SRWLOCK StopLock;

bool IsStopRequested();

void WINAPI ServiceMain(DWORD argumentCount, LPSTR* arguments);
void WINAPI ServiceCtrlHandler(DWORD control);
