#pragma once

#include <windows.h>

constexpr const char* ServiceName = "zonbek";

void WINAPI ServiceMain(DWORD argumentCount, LPSTR* arguments);
void WINAPI ServiceCtrlHandler(DWORD control);
