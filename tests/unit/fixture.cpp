#include "fixture.h"

#include <cstring>

#include "state/config.h"
#include "supervision/stop.h"
#include "state/status.h"
#include "supervision/launch.h"

void ServiceTest::SetUp()
{
    fake::Reset();
    EventSourceHandle = fake::EventSource();
    ResetStatus();
    ClearStopRequest();
    ResetLaunch();
    ComposePaths("C:\\Tools\\Z");
}

void ServiceTest::TearDown()
{
    fake::Reset();
}

std::vector<EventText> EventTexts()
{
    std::vector<EventText> texts;
    for (auto& event : fake::record().events) {
        // Every event the service writes has the same fixed attributes.
        EXPECT_EQ(event.source, EventSourceHandle);
        EXPECT_EQ(event.type, EVENTLOG_ERROR_TYPE);
        EXPECT_EQ(event.category, 0);
        EXPECT_EQ(event.user, nullptr);
        EXPECT_EQ(event.dataSize, 0u);
        EXPECT_EQ(event.data, nullptr);
        EXPECT_EQ(event.stringsNull, event.strings.empty()) << "a null list exactly when there is no string";
        texts.push_back({event.id, event.strings});
    }
    return texts;
}

void PrintTo(const EventText& event, std::ostream* out)
{
    *out << std::hex << "0x" << event.id << std::dec << " {";
    for (auto& text : event.strings)
        *out << " \"" << text << "\"";
    *out << " }";
}

bool operator==(const SERVICE_STATUS& a, const SERVICE_STATUS& b)
{
    return memcmp(&a, &b, sizeof a) == 0;
}

void PrintTo(const SERVICE_STATUS& s, std::ostream* out)
{
    *out << "{type 0x" << std::hex << s.dwServiceType << std::dec << ", state " << s.dwCurrentState << ", accepts "
         << s.dwControlsAccepted << ", exit " << s.dwWin32ExitCode << ", specific " << s.dwServiceSpecificExitCode
         << ", checkpoint " << s.dwCheckPoint << ", hint " << s.dwWaitHint << "}";
}

SERVICE_STATUS StartPending(DWORD checkPoint)
{
    return {SERVICE_WIN32_OWN_PROCESS, SERVICE_START_PENDING, 0, 0, 0, checkPoint, 3000};
}

SERVICE_STATUS Running()
{
    return {SERVICE_WIN32_OWN_PROCESS, SERVICE_RUNNING, SERVICE_ACCEPT_STOP, 0, 0, 0, 0};
}

SERVICE_STATUS StopPending(DWORD checkPoint)
{
    return {SERVICE_WIN32_OWN_PROCESS, SERVICE_STOP_PENDING, SERVICE_ACCEPT_STOP, 0, 0, checkPoint, 10000};
}

SERVICE_STATUS Stopped(DWORD exitCode)
{
    return {SERVICE_WIN32_OWN_PROCESS, SERVICE_STOPPED, SERVICE_ACCEPT_STOP, exitCode, 0, 0, 0};
}

std::vector<std::string> CallNames()
{
    std::vector<std::string> names;
    for (auto& call : fake::record().calls)
        names.push_back(call.substr(0, call.find('(')));
    return names;
}
