#include "fixture.h"

#include <algorithm>
#include <thread>

#include "state/config.h"
#include "entry/service.h"
#include "supervision/stop.h"
#include "state/status.h"
#include "supervision/decision.h"

namespace {

using fake::Tool;

struct DecisionCase {
    bool exitCodeRead;
    DWORD exitCode;
    bool stopRequested;
    AfterExit after;
};

class Decision : public ::testing::TestWithParam<DecisionCase> {};

TEST_P(Decision, FollowsExitCodeAndStop)
{
    auto c = GetParam();
    EXPECT_EQ(DecideAfterExit(c.exitCodeRead, c.exitCode, c.stopRequested), c.after);
}

INSTANTIATE_TEST_SUITE_P(Rows, Decision,
                         ::testing::Values(DecisionCase{true, 0, false, AfterExit::Restart},
                                           DecisionCase{true, 0, true, AfterExit::End},
                                           DecisionCase{true, 3, false, AfterExit::ReportOutput},
                                           DecisionCase{true, 0xC0000005, false, AfterExit::ReportOutput},
                                           DecisionCase{true, 259, true, AfterExit::End},
                                           DecisionCase{false, 0, false, AfterExit::ReportOutput},
                                           DecisionCase{false, 0, true, AfterExit::End}),
                         [](const auto& info) { return "row" + std::to_string(info.index); });

class Cycles : public ServiceTest {
protected:
    static std::vector<SERVICE_STATUS> Statuses() { return fake::record().statuses; }
    // Runs the service entry on a thread of its own, as the dispatcher does.
    void Start()
    {
        service = std::thread([] { ServiceMain(0, NULL); });
    }
    void Join() { service.join(); }
    std::thread service;
};

TEST_F(Cycles, RestartsAfterExitCode0UntilAnAbnormalEnd)
{
    fake::script().tools = {Tool{}, Tool{.output = "ignored\n"}, Tool{.exitCode = 3, .output = "one\r\ntwo\r\n"}};
    ServiceMain(0, NULL);
    EXPECT_EQ(Statuses(), (std::vector<SERVICE_STATUS>{StartPending(1), Running(), StartPending(2), Running(),
                                                        StartPending(3), Running(), Stopped(0)}));
    EXPECT_EQ(EventTexts(), (std::vector<EventText>{{0xC0020003, {"one", "two"}}}));
    EXPECT_EQ(fake::record().launches.size(), 3u);
    EXPECT_EQ(fake::record().allocConsoles, 1u) << "one console for the life of the process";
}

TEST_F(Cycles, StopAfterARestartReportsTheNextCheckpointAndNoOutput)
{
    fake::script().tools = {Tool{}, Tool{.exitCode = 5, .output = "bye\n", .untilCtrlC = true}};
    Start();
    fake::WaitForStatuses(4);
    ServiceCtrlHandler(SERVICE_CONTROL_STOP);
    Join();
    EXPECT_EQ(Statuses(), (std::vector<SERVICE_STATUS>{StartPending(1), Running(), StartPending(2), Running(),
                                                        StopPending(3), Stopped(0)}));
    EXPECT_TRUE(EventTexts().empty());
}

TEST_F(Cycles, ExitCodeAndStopDecideWhatIsReported)
{
    const EventText unreadable{0xC0020001, {"KavixZonbek", "GetExitCodeProcess on zobnek failed failed with 5"}};
    const EventText output{0xC0020003, {"out"}};
    struct Case {
        const char* name;
        Tool tool;
        std::vector<EventText> events;
    };
    Tool unreadableTool{.exitCode = 0, .output = "out\n", .exitCodeUnreadable = true};
    std::vector<Case> cases = {
        {"abnormal end", Tool{.exitCode = 1, .output = "out\n"}, {output}},
        {"negative exit code", Tool{.exitCode = 0xC0000005, .output = "out"}, {output}},
        {"unreadable exit code", unreadableTool, {unreadable, output}},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        fake::script().tools = {c.tool};
        ServiceMain(0, NULL);
        EXPECT_EQ(EventTexts(), c.events);
        EXPECT_EQ(Statuses().back(), Stopped(0));
    }

    std::vector<Case> stopped = {
        {"stop, exit 0", Tool{.exitCode = 0, .output = "out\n"}, {}},
        {"stop, exit 9", Tool{.exitCode = 9, .output = "out\n"}, {}},
        {"stop, unreadable", unreadableTool, {unreadable}},
    };
    for (auto& c : stopped) {
        SCOPED_TRACE(c.name);
        SetUp();
        c.tool.untilCtrlC = true;
        fake::script().tools = {c.tool};
        Start();
        fake::WaitForStatuses(2);
        ServiceCtrlHandler(SERVICE_CONTROL_STOP);
        Join();
        EXPECT_EQ(EventTexts(), c.events);
        EXPECT_EQ(Statuses(), (std::vector<SERVICE_STATUS>{StartPending(1), Running(), StopPending(2), Stopped(0)}));
    }
}

TEST_F(Cycles, StartFailuresInAnyCycleReportFiveStringsAndStopWith1066)
{
    struct Case {
        const char* name;
        size_t restartsFirst;
        const char* operation;
        DWORD error;
    };
    for (auto c : {Case{"pipe, first cycle", 0, "CreateProcess(zonbek), CreatePipe", 8},
                   Case{"pipe, third cycle", 2, "CreateProcess(zonbek), CreatePipe", 1450},
                   Case{"tool's end of the pipe", 1, "CreateFile", 231},
                   Case{"pipe's descriptor", 0, "OwnPipeSecurity", 1008},
                   Case{"console", 0, "AllocConsole", 5},
                   Case{"launch, first cycle", 0, "CreateProcess(zonbek)", 2},
                   Case{"launch, second cycle", 1, "CreateProcess(zonbek)", 0x800700C1}}) {
        SCOPED_TRACE(c.name);
        SetUp();
        ComposePaths("C:\\Tools\\Z\\");
        auto& script = fake::script();
        script.tools.assign(c.restartsFirst, Tool{});
        std::string op = c.operation;
        std::deque<fake::Result>& queue = op == "AllocConsole"            ? script.allocConsole
                                          : op == "CreateProcess(zonbek)" ? script.createProcess
                                          : op == "CreateFile"            ? script.createFile
                                                                          : script.createPipe;
        if (op == "OwnPipeSecurity")
            script.pipeSecurity = fake::Fails(c.error);
        else
            queue.assign(c.restartsFirst, fake::Result{}), queue.push_back(fake::Fails(c.error));
        if (op == "CreateFile" || op == "OwnPipeSecurity")
            op = "CreateProcess(zonbek), CreatePipe"; // either end, or its descriptor, fails as the pipe does

        ServiceMain(0, NULL);

        std::vector<SERVICE_STATUS> statuses;
        for (DWORD cycle = 1; cycle <= c.restartsFirst; ++cycle) {
            statuses.push_back(StartPending(cycle));
            statuses.push_back(Running());
        }
        statuses.push_back(StartPending(static_cast<DWORD>(c.restartsFirst) + 1));
        statuses.push_back(Stopped(ERROR_SERVICE_SPECIFIC_ERROR));
        EXPECT_EQ(Statuses(), statuses);
        std::string text = op + " failed with " + std::to_string(static_cast<LONG>(c.error));
        EXPECT_EQ(EventTexts(), (std::vector<EventText>{{0xC0020002, {"KavixZonbek", text, "C:\\Tools\\Z\\\\zonbek.exe",
                                                                      "zonbek.exe --service", "C:\\Tools\\Z\\"}}}));
        EXPECT_EQ(fake::OpenHandles(), std::vector<std::string>{}) << "a start failure leaves no pipe end open";
    }
}

TEST_F(Cycles, ToolFolderIsCheckedOnceBeforeTheFirstLaunchAndARefusalStopsWith1066)
{
    fake::script().tools = {Tool{}, Tool{.exitCode = 2}};
    ServiceMain(0, NULL);
    auto names = CallNames();
    EXPECT_EQ(std::count(names.begin(), names.end(), "CheckToolFolder"), 1);
    EXPECT_LT(std::find(names.begin(), names.end(), "CheckToolFolder"),
              std::find(names.begin(), names.end(), "CreateNamedPipeA"));

    SetUp();
    fake::script().toolFolderPasses = false;
    ServiceMain(0, NULL);
    EXPECT_EQ(Statuses(), (std::vector<SERVICE_STATUS>{StartPending(1), Stopped(ERROR_SERVICE_SPECIFIC_ERROR)}));
    EXPECT_TRUE(fake::record().launches.empty());
    EXPECT_TRUE(fake::record().pipes.empty());
    EXPECT_EQ(fake::record().allocConsoles, 0u);
}

TEST_F(Cycles, PipeAndProcessAreCreatedWithExactArguments)
{
    ComposePaths("");
    fake::script().tools = {Tool{}, Tool{.exitCode = 2}};
    ServiceMain(0, NULL);

    auto record = fake::record();
    ASSERT_EQ(record.pipes.size(), 2u);
    ASSERT_EQ(record.launches.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE("cycle " + std::to_string(i + 1));
        const auto& pipe = record.pipes[i];
        EXPECT_EQ(pipe.name.substr(0, 25), "\\\\.\\pipe\\zonbek-00004242-") << "named for the process";
        EXPECT_EQ(pipe.name.substr(33), "-a5a5a5a5-a5a5a5a5") << "and past guessing";
        // Inbound, overlapped, the first instance; bytes, blocking, no remote client; one instance, as much
        // room as an anonymous pipe has by default. The service's end is never inherited.
        EXPECT_EQ(pipe.server, (std::vector<DWORD>{0x40080001, 0x8, 1, 4096, 4096, 0}));
        EXPECT_EQ(pipe.serverAttributes, &fake::PipeSecurity) << "only the service's account may open it";
        // Write and read attributes (as CreatePipe's write end), not shared, the pipe, synchronous; whoever
        // serves the name may identify the service, never act as it.
        EXPECT_EQ(pipe.client, (std::vector<DWORD>{0x40000080, 0, 3, 0x110000}));
        EXPECT_EQ(pipe.clientAttributes.nLength, 24u);
        EXPECT_EQ(pipe.clientAttributes.lpSecurityDescriptor, nullptr);
        EXPECT_EQ(pipe.clientAttributes.bInheritHandle, TRUE);

        const auto& launch = record.launches[i];
        EXPECT_EQ(launch.application, "\\zonbek.exe");
        EXPECT_EQ(launch.commandLine, "zonbek.exe --service") << "a fresh command line every cycle";
        EXPECT_TRUE(launch.processAttributesNull);
        EXPECT_TRUE(launch.threadAttributesNull);
        EXPECT_EQ(launch.inheritHandles, TRUE);
        EXPECT_EQ(launch.creationFlags, 0x40u);
        EXPECT_TRUE(launch.environmentNull);
        EXPECT_FALSE(launch.directoryNull) << "an empty directory is still passed as a string";
        EXPECT_EQ(launch.directory, "");

        STARTUPINFOA expected = {};
        expected.cb = 104;
        expected.dwFlags = STARTF_USESTDHANDLES;
        expected.hStdOutput = pipe.write;
        expected.hStdError = pipe.write;
        EXPECT_EQ(memcmp(&launch.startup, &expected, sizeof expected), 0) << "every other field zero, no input";
    }
}

TEST_F(Cycles, EveryHandleIsClosedByTheEndOfItsCycle)
{
    fake::script().tools = {Tool{}, Tool{}, Tool{}, Tool{.exitCode = 4}};
    ServiceMain(0, NULL);
    auto pipes = fake::record().pipes;
    ASSERT_EQ(pipes.size(), 4u);
    EXPECT_NE(pipes[0].name, pipes[1].name);
    EXPECT_EQ(fake::OpenHandles(), std::vector<std::string>{});
}

// Calls that decide whether a tool inherits an ignored Ctrl+C, in order.
static std::vector<std::string> ConsoleCalls()
{
    std::vector<std::string> calls;
    for (auto& call : fake::record().calls) {
        if (call == "AllocConsole" || call == "CreateProcessA" || call.starts_with("SetConsoleCtrlHandler"))
            calls.push_back(call);
    }
    return calls;
}

TEST_F(Cycles, CtrlCIsRestoredOnceWithTheConsoleBeforeTheFirstTool)
{
    fake::script().tools = {Tool{}, Tool{.exitCode = 2}};
    ServiceMain(0, NULL);
    EXPECT_EQ(ConsoleCalls(),
              (std::vector<std::string>{"AllocConsole", "SetConsoleCtrlHandler(routine,1)",
                                        "SetConsoleCtrlHandler(null,0)", "CreateProcessA", "CreateProcessA"}));
    // The routine takes what a tool may broadcast to the console and leaves the rest to the default.
    auto handler = fake::record().consoleHandler;
    ASSERT_NE(handler, nullptr);
    for (DWORD control = CTRL_C_EVENT; control <= 6; ++control) // close 2, logoff 5, shutdown 6
        EXPECT_EQ(handler(control), control <= CTRL_BREAK_EVENT) << "control " << control;
}

TEST_F(Cycles, StopBeforeTheFirstLaunchStartsNoToolAndKeepsCtrlCIgnored)
{
    fake::script().onCall = [](const std::string& call) {
        if (call == "AllocConsole")
            ServiceCtrlHandler(SERVICE_CONTROL_STOP);
    };
    ServiceMain(0, NULL);
    EXPECT_TRUE(fake::record().launches.empty());
    EXPECT_EQ(Statuses(), (std::vector<SERVICE_STATUS>{StartPending(1), StopPending(2), Stopped(0)}));
    EXPECT_TRUE(EventTexts().empty());
    EXPECT_TRUE(fake::OpenHandles().empty());
    EXPECT_EQ(ConsoleCalls(), (std::vector<std::string>{"SetConsoleCtrlHandler(null,1)", "AllocConsole",
                                                         "SetConsoleCtrlHandler(routine,1)"}))
        << "restoring Ctrl+C after the stop's broadcast could let it end the service";
}

// A stop at an exact point of a cycle: no further tool starts, and after stop pending only stopped follows.
TEST_F(Cycles, StopInTheRestartWindowStartsNoFurtherToolAndTheStatusNeverStepsBack)
{
    struct Case {
        const char* call; // the stop arrives as the service enters it
        int time;         // for the time-th time
        std::vector<SERVICE_STATUS> statuses;
    };
    const SERVICE_STATUS secondStart = StartPending(2);
    for (auto c : {Case{"CreateNamedPipeA", 2, {StartPending(1), Running(), secondStart, StopPending(3), Stopped(0)}},
                   // restart decided, before the next start pending
                   Case{"ReleaseSRWLockShared", 1, {StartPending(1), Running(), StopPending(2), Stopped(0)}},
                   // the tool launched, before its running report
                   Case{"CloseHandle", 1, {StartPending(1), StopPending(2), Stopped(0)}}}) {
        SCOPED_TRACE(c.call);
        SetUp();
        fake::script().tools = {Tool{}};
        int calls = 0;
        fake::script().onCall = [&](const std::string& call) {
            if (call == c.call && ++calls == c.time)
                ServiceCtrlHandler(SERVICE_CONTROL_STOP);
        };
        ServiceMain(0, NULL);
        EXPECT_EQ(fake::record().launches.size(), 1u);
        EXPECT_EQ(Statuses(), c.statuses);
    }
}

TEST_F(Cycles, NoToolStartsAfterAStopWhateverTheInterleaving)
{
    constexpr int Iterations = 300;
    for (int iteration = 0; iteration < Iterations; ++iteration) {
        SetUp();
        // Tools that end at once keep the service restarting; those that wait for Ctrl+C hang it if missed.
        for (int i = 0; i < 64; ++i)
            fake::script().tools.push_back(Tool{.exitCode = 0, .untilCtrlC = i % 3 == 2});
        Start();
        // Anywhere in the first cycles, the restart window included; the third tool waits for the stop,
        // and the service makes more than 24 calls before it.
        fake::WaitForCalls(1 + iteration % 24);
        ServiceCtrlHandler(SERVICE_CONTROL_STOP);
        Join();
        auto record = fake::record();
        for (auto& launch : record.launches)
            ASSERT_EQ(launch.ctrlCBroadcastsBefore, 0u) << "iteration " << iteration << ": tool started after a stop";
        ASSERT_EQ(record.statuses.back(), Stopped(0)) << "iteration " << iteration;
        ASSERT_TRUE(record.events.empty()) << "iteration " << iteration;
    }
}

} // namespace
