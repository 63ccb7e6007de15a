#include "fixture.h"

#include <cstring>

namespace {

struct FailureTextCase {
    const char* operation;
    DWORD lastError;
    const char* text;
};

class FailureText : public ::testing::TestWithParam<FailureTextCase> {};

TEST_P(FailureText, FormatsOperationAndSignedLastError)
{
    char text[FailureTextSize];
    memset(text, 'x', sizeof text);
    FormatFailureText(text, GetParam().operation, GetParam().lastError);
    EXPECT_STREQ(text, GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Values, FailureText,
    ::testing::Values(
        FailureTextCase{"AllocConsole", 5, "AllocConsole failed with 5"},
        FailureTextCase{"AllocConsole", 0, "AllocConsole failed with 0"},
        FailureTextCase{"CreateProcess(zonbek)", 0x7FFFFFFF, "CreateProcess(zonbek) failed with 2147483647"},
        FailureTextCase{"CreateProcess(zonbek)", 0x80000000, "CreateProcess(zonbek) failed with -2147483648"},
        FailureTextCase{"CreateProcess(zonbek)", 0xFFFFFFFF, "CreateProcess(zonbek) failed with -1"},
        FailureTextCase{"CreatePipe", 10, "CreatePipe failed with 10"},
        FailureTextCase{"CreatePipe", 1000000007, "CreatePipe failed with 1000000007"},
        FailureTextCase{"CreatePipe", 0xC0000409, "CreatePipe failed with -1073740791"},
        // The longest text the service can produce still fits, at 59 characters.
        FailureTextCase{"GetExitCodeProcess on zobnek failed", 0x80000000,
                        "GetExitCodeProcess on zobnek failed failed with -2147483648"},
        // Cut to 63 characters and terminated.
        FailureTextCase{"An operation text that is far too long for the failure text buffer", 7,
                        "An operation text that is far too long for the failure text buf"},
        FailureTextCase{"0123456789012345678901234567890123456789012345", 1234,
                        "0123456789012345678901234567890123456789012345 failed with 1234"},
        FailureTextCase{"0123456789012345678901234567890123456789012345", 12345,
                        "0123456789012345678901234567890123456789012345 failed with 1234"},
        FailureTextCase{"0123456789012345678901234567890123456789012345678901234", 5,
                        "0123456789012345678901234567890123456789012345678901234 failed "},
        FailureTextCase{"012345678901234567890123456789012345678901234567890123456789012", 5,
                        "012345678901234567890123456789012345678901234567890123456789012"}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

using Reporting = ServiceTest;

TEST_F(Reporting, FailureEventCarriesSourceAndFailureTextWithFixedAttributes)
{
    EventSourceHandle = fake::EventSource();
    SetLastError(1060);
    EXPECT_TRUE(ReportFailureEvent(EVENT_SERVICE_FAILURE, "RegisterServiceCtrlHandler"));
    EXPECT_EQ(EventTexts(), (std::vector<EventText>{
                                {0xC0020001, {"KavixZonbek", "RegisterServiceCtrlHandler failed with 1060"}}}));
}

TEST_F(Reporting, StartFailureEventCarriesFiveStringsInOrder)
{
    EventSourceHandle = fake::EventSource();
    SetLastError(5);
    ReportStartFailureEvent("AllocConsole", "C:\\Tools\\Z\\zonbek.exe", "zonbek.exe --service", "C:\\Tools\\Z");

    EXPECT_EQ(EventTexts(), (std::vector<EventText>{{0xC0020002, {"KavixZonbek", "AllocConsole failed with 5",
                                                                  "C:\\Tools\\Z\\zonbek.exe", "zonbek.exe --service",
                                                                  "C:\\Tools\\Z"}}}));
}

TEST_F(Reporting, WithoutRegisteredSourceTheReportIsAttemptedAndLost)
{
    fake::script().eventSourceRegistered = false;
    OpenEventSource();
    SetLastError(2);
    EXPECT_FALSE(ReportFailureEvent(EVENT_TOOL_START_FAILURE, "zonbek InstallDir lookup"));
    auto events = fake::record().events;
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].source, nullptr);
}

TEST_F(Reporting, SourceIsRegisteredOnTheLocalComputer)
{
    OpenEventSource();
    EXPECT_EQ(fake::record().calls, (std::vector<std::string>{"RegisterEventSourceA(null,KavixZonbek)"}));
    EXPECT_EQ(EventSourceHandle, fake::EventSource());
}

} // namespace
