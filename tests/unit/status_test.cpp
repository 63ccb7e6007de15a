#include "fixture.h"

#include <algorithm>
#include <thread>

#include "entry/service.h"
#include "supervision/stop.h"
#include "state/status.h"

namespace {

using Status = ServiceTest;

TEST_F(Status, EachReportSendsTheWholeRecord)
{
    SetStatusHandle(fake::StatusHandleValue());
    BeginStatus();
    ReportStartPending();
    ReportRunning();
    ReportStopPending();
    ReportStopped(ERROR_SERVICE_SPECIFIC_ERROR);
    ReportStopped(NO_ERROR);
    EXPECT_EQ(fake::record().statuses, (std::vector<SERVICE_STATUS>{StartPending(1), Running(), StopPending(2),
                                                                     Stopped(1066), Stopped(0)}));
    for (auto handle : fake::record().statusHandles)
        EXPECT_EQ(handle, fake::StatusHandleValue());
}

TEST_F(Status, ConcurrentReportsGoOutWholeWithCheckpointsInOrder)
{
    BeginStatus();
    constexpr int PerThread = 2000;
    std::thread handler([] {
        for (int i = 0; i < PerThread; ++i)
            ReportStopPending();
    });
    for (int i = 0; i < PerThread; ++i) {
        ReportStartPending();
        ReportRunning();
    }
    handler.join();

    DWORD expected = 1;
    int stops = 0;
    for (auto& status : fake::record().statuses) {
        if (status.dwCurrentState == SERVICE_RUNNING) {
            ASSERT_EQ(status, Running());
            ASSERT_EQ(stops, 0) << "running after stop pending";
            continue;
        }
        ASSERT_EQ(status, stops == 0 && status.dwCurrentState == SERVICE_START_PENDING ? StartPending(expected)
                                                                                       : StopPending(expected));
        stops += status.dwCurrentState == SERVICE_STOP_PENDING;
        ++expected;
    }
    EXPECT_EQ(stops, PerThread);
}

using ServiceEntry = ServiceTest;

TEST_F(ServiceEntry, RegistrationFailureIsReportedWithoutAnyStatus)
{
    EventSourceHandle = fake::EventSource();
    fake::script().handlerRegistration = fake::Fails(ERROR_SERVICE_DOES_NOT_EXIST);
    ServiceMain(0, NULL);
    EXPECT_EQ(EventTexts(), (std::vector<EventText>{
                                {0xC0020001, {"KavixZonbek", "RegisterServiceCtrlHandler failed with 1060"}}}));
    EXPECT_TRUE(fake::record().statuses.empty());
    EXPECT_EQ(fake::record().handlerNames, (std::vector<std::string>{"zonbek"}));
}

TEST_F(ServiceEntry, ClearsAnEarlierStopOnEntry)
{
    RequestStop();
    fake::script().handlerRegistration = fake::Fails(ERROR_SERVICE_DOES_NOT_EXIST);
    ServiceMain(0, NULL);
    EXPECT_FALSE(IsStopRequested());
}

using StopControl = ServiceTest;

TEST_F(StopControl, ReportsThenFlagsThenIgnoresThenBroadcastsCtrlC)
{
    SetStatusHandle(fake::StatusHandleValue());
    BeginStatus();
    ReportStartPending();
    ServiceCtrlHandler(SERVICE_CONTROL_STOP);
    EXPECT_TRUE(IsStopRequested());
    EXPECT_EQ(fake::record().statuses, (std::vector<SERVICE_STATUS>{StartPending(1), StopPending(2)}));
    EXPECT_EQ(fake::record().calls,
              (std::vector<std::string>{"SetServiceStatus", "SetServiceStatus", "SetConsoleCtrlHandler(null,1)",
                                        "GenerateConsoleCtrlEvent(0,0)"}));
}

TEST_F(StopControl, TwoStopsEachReportTheNextCheckpointAndBroadcastAgain)
{
    BeginStatus();
    ServiceCtrlHandler(SERVICE_CONTROL_STOP);
    ServiceCtrlHandler(SERVICE_CONTROL_STOP);
    EXPECT_EQ(fake::record().statuses, (std::vector<SERVICE_STATUS>{StopPending(1), StopPending(2)}));
    auto names = CallNames();
    EXPECT_EQ(std::count(names.begin(), names.end(), "GenerateConsoleCtrlEvent"), 2);
}

TEST_F(StopControl, OtherControlsDoNothing)
{
    BeginStatus();
    for (DWORD control : {SERVICE_CONTROL_PAUSE, SERVICE_CONTROL_CONTINUE, SERVICE_CONTROL_INTERROGATE,
                          SERVICE_CONTROL_SHUTDOWN, 0u, 128u, 0xFFFFFFFFu})
        ServiceCtrlHandler(control);
    EXPECT_TRUE(fake::record().calls.empty());
    EXPECT_FALSE(IsStopRequested());
    ReportStopPending();
    EXPECT_EQ(fake::record().statuses, std::vector<SERVICE_STATUS>{StopPending(1)}) << "no checkpoint taken";
}

} // namespace
