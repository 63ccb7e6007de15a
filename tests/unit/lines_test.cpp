#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "supervision/lines.h"

namespace {

using namespace std::string_literals;

// The output as it arrives in reads of at most chunk bytes, kept and then cut.
std::vector<std::string> Cut(const std::string& output, size_t chunk)
{
    char buffer[CaptureBufferSize] = {};
    ULONGLONG received = 0;
    for (size_t at = 0; at < output.size(); at += chunk)
        KeepOutput(buffer, &received, output.data() + at, static_cast<DWORD>(std::min(chunk, output.size() - at)));
    EXPECT_EQ(received, output.size());
    const char* lines[MaxOutputLines];
    WORD count = CutLines(buffer, received, lines);
    std::vector<std::string> cut;
    for (WORD i = 0; i < count; ++i) {
        EXPECT_GE(lines[i], buffer);
        EXPECT_LT(lines[i], buffer + CaptureBufferSize) << "lines point into the buffer";
        cut.emplace_back(lines[i]);
    }
    return cut;
}

struct CutCase {
    const char* name;
    std::string output;
    std::vector<std::string> lines;
};

class LineCutting : public ::testing::TestWithParam<CutCase> {};

TEST_P(LineCutting, KeepsEveryByteOfTheLastOnesInWhateverReadsTheyCameIn)
{
    for (size_t chunk : {size_t{1}, size_t{1000}, size_t{CaptureLimit - 1}, size_t{CaptureLimit + 1}, size_t{1} << 20})
        EXPECT_EQ(Cut(GetParam().output, chunk), GetParam().lines) << "reads of " << chunk << " bytes";
}

const std::string Full(CaptureLimit, 'a');

INSTANTIATE_TEST_SUITE_P(
    Rules, LineCutting,
    ::testing::Values(
        CutCase{"crlf_pairs", "one\r\ntwo\r\n", {"one", "two"}},
        CutCase{"lone_lf", "one\ntwo\n", {"one", "two"}},
        CutCase{"lone_cr", "one\rtwo\r", {"one", "two"}},
        CutCase{"lf_cr_order", "one\n\rtwo", {"one", "two"}},
        CutCase{"blank_lines_dropped", "a\r\n\r\nb\r\n", {"a", "b"}},
        CutCase{"only_line_ends", "\r\n\n\r\r", {}},
        CutCase{"no_terminator", "abc", {"abc"}},
        CutCase{"last_line_unterminated", "one\ntwo", {"one", "two"}},
        CutCase{"nothing", "", {}},
        CutCase{"one_byte", "x", {"x"}},
        CutCase{"two_bytes", "x\n", {"x"}},
        CutCase{"zero_inside_a_line", "ab\0cd\nef\n"s, {"ab", "ef"}},
        CutCase{"zero_starts_a_line", "\0hidden\nshown\n"s, {"shown"}},
        CutCase{"only_zeros", "\0\0\0"s, {}},
        CutCase{"above_0x7f_unchanged", "caf\xe9 \x80\xff\n", {"caf\xe9 \x80\xff"}},
        CutCase{"exactly_the_limit", Full, {Full}},
        CutCase{"beyond_the_limit", "bcd\n" + Full, {Full}},
        CutCase{"limit_starts_inside_a_line", "abcdef\n" + std::string(CaptureLimit - 2, 'a'),
                {"f", std::string(CaptureLimit - 2, 'a')}},
        CutCase{"line_end_just_before_the_limit", "gone\n" + std::string(CaptureLimit - 1, 'a') + "\n",
                {std::string(CaptureLimit - 1, 'a')}},
        CutCase{"many_times_the_limit", std::string(5 * CaptureLimit + 7, 'x') + "\nlast",
                {std::string(CaptureLimit - 5, 'x'), "last"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LineCuttingLimits, TheMostLinesTheBufferCanHoldAllFit)
{
    std::string output;
    while (output.size() < CaptureLimit)
        output += "x\n";
    auto lines = Cut("z\n" + output, CaptureLimit);
    EXPECT_EQ(lines.size(), CaptureLimit / 2);
    EXPECT_LE(lines.size(), MaxOutputLines);
    EXPECT_EQ(Cut(std::string(CaptureLimit - 1, '\n') + "y", CaptureLimit).size(), 1u);
}

} // namespace
