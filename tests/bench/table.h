// The table that the benchmark tool fills and benchctl reads: a named mapping, so that a tool started by
// the service and one started by benchctl's own loop report the same way.
#pragma once

#include <windows.h>

const char BenchTableName[] = "Global\\ZonbekBench";
const LONG BenchCapacity = 20000;

struct BenchTable {
    volatile LONG launches; // incremented by every launch; the N-th launch writes slot N-1
    LONG limit;             // the launch with this number exits with 1, every earlier one with 0
    LONGLONG started[BenchCapacity]; // QueryPerformanceCounter at the tool's entry
    LONGLONG ended[BenchCapacity];   // and right before its ExitProcess
};
