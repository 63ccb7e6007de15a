// The tool's output kept and cut into lines, against a plain model: CR or LF ends a line, empty lines
// are dropped, a zero byte ends a line's string, only the last CaptureLimit bytes count, whatever reads
// they came in, and every one of them is kept.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "supervision/lines.h"

static std::vector<std::string> Model(const uint8_t* data, size_t size)
{
    std::vector<std::string> lines;
    std::string line;
    for (size_t i = 0; i <= size; ++i) {
        if (i == size || data[i] == '\r' || data[i] == '\n') {
            std::string text = line.substr(0, line.find('\0'));
            if (!text.empty())
                lines.push_back(text);
            line.clear();
        } else {
            line.push_back(static_cast<char>(data[i]));
        }
    }
    return lines;
}

// The first two bytes say how the rest arrives: written how many times in a row, in reads of what size.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    std::string output;
    for (int i = 0; i <= data[0] % 4; ++i)
        output.append(reinterpret_cast<const char*>(data) + 2, size - 2);
    size_t chunk = 1 + data[1] * 17u;
    char buffer[CaptureBufferSize];
    memset(buffer, 'Z', sizeof buffer); // anything read beyond the data shows up in the lines
    ULONGLONG received = 0;
    for (size_t at = 0; at < output.size(); at += chunk)
        KeepOutput(buffer, &received, output.data() + at, static_cast<DWORD>(std::min(chunk, output.size() - at)));
    const char* lines[MaxOutputLines];
    WORD count = CutLines(buffer, received, lines);

    size_t kept = std::min<size_t>(output.size(), CaptureLimit);
    std::vector<std::string> expected =
        Model(reinterpret_cast<const uint8_t*>(output.data()) + output.size() - kept, kept);
    if (count != expected.size())
        abort();
    for (WORD i = 0; i < count; ++i) {
        if (lines[i] < buffer || lines[i] >= buffer + sizeof buffer || expected[i] != lines[i])
            abort();
    }
    return 0;
}
