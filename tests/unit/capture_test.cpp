#include "fixture.h"

#include <algorithm>
#include <thread>

#include "entry/service.h"
#include "supervision/lines.h"

namespace {

using fake::Tool;

using Capture = ServiceTest;

std::string Numbered(size_t bytes)
{
    std::string output;
    for (int line = 0; output.size() < bytes; ++line)
        output += "line " + std::to_string(line) + "\r\n";
    return output.substr(0, bytes);
}

std::vector<std::string> LinesOf(std::string output)
{
    output.erase(0, output.size() - std::min<size_t>(output.size(), CaptureLimit));
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i <= output.size(); ++i) {
        if (i == output.size() || output[i] == '\r' || output[i] == '\n') {
            if (i > start)
                lines.push_back(output.substr(start, i - start));
            start = i + 1;
        }
    }
    return lines;
}

TEST_F(Capture, OutputEventCarriesOneStringPerLineOrANullList)
{
    struct Case {
        const char* output;
        std::vector<std::string> lines;
    };
    for (auto c : {Case{"first\r\nsecond", {"first", "second"}}, Case{"", {}}, Case{"\r\n\r\n", {}}, Case{"\n", {}}}) {
        SetUp();
        fake::script().tools = {Tool{.exitCode = 3, .output = c.output}};
        ServiceMain(0, NULL);
        EXPECT_EQ(EventTexts(), (std::vector<EventText>{{0xC0020003, c.lines}}));
    }
}

TEST_F(Capture, OnlyTheLast4094BytesAreReported)
{
    std::string output = Numbered(100 * 1024) + "\nFATAL: config key 'db' missing\n";
    fake::script().tools = {Tool{.exitCode = 1, .output = output}};
    ServiceMain(0, NULL);
    auto events = fake::record().events;
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].strings, LinesOf(output));
}

// A grandchild keeps the write end for ever: the service reads until the tool has ended, takes the
// rest of the tool's output from the pipe, and neither waits for the grandchild nor leaves a read behind.
TEST_F(Capture, AGrandchildHoldingThePipeDoesNotHoldTheService)
{
    std::string output = Numbered(100 * 1024) + "b\nc";
    fake::script().tools = {Tool{.output = Numbered(9000), .grandchildHoldsPipe = true},
                            Tool{.output = "x\n", .grandchildHoldsPipe = true},
                            Tool{.exitCode = 6, .output = output, .grandchildHoldsPipe = true}};
    ServiceMain(0, NULL);
    EXPECT_EQ(EventTexts(), (std::vector<EventText>{{0xC0020003, LinesOf(output)}}));
    EXPECT_EQ(fake::OpenHandles(), std::vector<std::string>{});
}

TEST_F(Capture, GrandchildAndStopTogetherEndWithoutOutput)
{
    fake::script().tools = {Tool{.exitCode = 1, .output = "x\n", .untilCtrlC = true, .grandchildHoldsPipe = true}};
    std::thread service([] { ServiceMain(0, NULL); });
    fake::WaitForStatuses(2);
    ServiceCtrlHandler(SERVICE_CONTROL_STOP);
    service.join();
    EXPECT_TRUE(EventTexts().empty());
    EXPECT_EQ(fake::OpenHandles(), std::vector<std::string>{});
}

TEST_F(Capture, UnreadableExitCodeIsReportedBeforeTheOutput)
{
    fake::script().tools = {Tool{.output = "why\n", .exitCodeUnreadable = true, .exitCodeError = 6}};
    ServiceMain(0, NULL);
    EXPECT_EQ(EventTexts(),
              (std::vector<EventText>{{0xC0020001, {"KavixZonbek", "GetExitCodeProcess on zobnek failed failed with 6"}},
                                      {0xC0020003, {"why"}}}));
    EXPECT_EQ(fake::OpenHandles(), std::vector<std::string>{});
}

} // namespace
