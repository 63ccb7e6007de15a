// The tool for the benchmarks, installed as zonbek.exe: no C runtime, nothing but KERNEL32, so that
// starting it costs the platform's least. It stamps its entry and its end into the shared table and
// exits at once; without the table it just exits with 0.
#include "table.h"

extern "C" void Start()
{
    LARGE_INTEGER entered;
    QueryPerformanceCounter(&entered);
    UINT code = 0;
    HANDLE mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, BenchTableName);
    BenchTable* table = mapping ? static_cast<BenchTable*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0)) : NULL;
    if (table) {
        LONG launch = InterlockedIncrement(&table->launches);
        if (launch >= table->limit)
            code = 1;
        if (launch <= BenchCapacity) {
            table->started[launch - 1] = entered.QuadPart;
            LARGE_INTEGER ending;
            QueryPerformanceCounter(&ending);
            table->ended[launch - 1] = ending.QuadPart;
        }
    }
    ExitProcess(code);
}
