// The tool's output cut into lines, against a plain model: CR or LF ends a line, empty lines are
// dropped, a zero byte ends a line's string, only the first CaptureLimit bytes count, and every
// received byte of a line is kept.
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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    size_t received = size < CaptureLimit ? size : CaptureLimit;
    char buffer[CaptureBufferSize];
    memset(buffer, 'Z', sizeof buffer); // anything read beyond the data shows up in the lines
    memcpy(buffer, data, received);
    const char* lines[MaxOutputLines];
    WORD count = CutLines(buffer, static_cast<DWORD>(received), lines);

    std::vector<std::string> expected = Model(data, received);
    if (count != expected.size())
        abort();
    for (WORD i = 0; i < count; ++i) {
        if (lines[i] < buffer || lines[i] >= buffer + sizeof buffer || expected[i] != lines[i])
            abort();
    }
    return 0;
}
