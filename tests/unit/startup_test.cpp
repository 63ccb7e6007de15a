#include "fixture.h"

#include "state/config.h"
#include "entry/startup.h"

namespace {

using namespace std::string_literals;

int RunProgram(std::vector<std::string> arguments)
{
    std::vector<char*> argv;
    for (auto& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    return ServiceProgram(static_cast<int>(arguments.size()), argv.data());
}

const EventText DispatcherRefused{0xC0020001, {"KavixZonbek", "StartServiceCtrlDispatcher failed with 1063"}};
const EventText HandlerRefused{0xC0020001, {"KavixZonbek", "RegisterServiceCtrlHandler failed with 1060"}};

using Startup = ServiceTest;

TEST_F(Startup, LookupFailureReportsTheLastErrorAndEndsWithoutTheDispatcher)
{
    struct Case {
        const char* name;
        fake::Registry registry;
    };
    fake::Registry missingKey, expandSz, changed;
    missingKey.openResult = ERROR_FILE_NOT_FOUND;
    expandSz.type = REG_EXPAND_SZ;
    changed.storedLater = "C:\\Other\0"s;
    for (auto c : {Case{"missing key", missingKey}, Case{"REG_EXPAND_SZ", expandSz}, Case{"changed", changed}}) {
        SCOPED_TRACE(c.name);
        fake::Reset();
        c.registry.lastErrorOnFailure = 87;
        fake::script().registry = c.registry;
        SetLastError(87);
        EXPECT_EQ(RunProgram({"zonbeksvc.exe"}), 1);
        EXPECT_EQ(EventTexts(),
                  (std::vector<EventText>{{0xC0020002, {"KavixZonbek", "zonbek InstallDir lookup failed with 87"}}}));
        EXPECT_TRUE(fake::record().dispatcherNames.empty());
        EXPECT_EQ(fake::record().calls.front(), "RegisterEventSourceA(null,KavixZonbek)");
    }
}

TEST_F(Startup, ComposesPathsAndHandsTheServiceTableToTheDispatcher)
{
    fake::script().registry.stored = "D:\\Kavix\\\0"s;
    fake::script().dispatcher = {};
    fake::script().tools = {fake::Tool{.exitCode = 1}};
    EXPECT_EQ(RunProgram({"zonbeksvc.exe"}), 0);
    EXPECT_STREQ(ToolPath, "D:\\Kavix\\\\zonbek.exe");
    EXPECT_STREQ(WorkingDirectory, "D:\\Kavix\\");
    EXPECT_EQ(fake::record().dispatcherNames, (std::vector<std::string>{"zonbek"}));
    EXPECT_EQ(fake::record().handlerNames, (std::vector<std::string>{"zonbek"})) << "ServiceMain ran once";
    EXPECT_EQ(fake::record().launches.at(0).application, "D:\\Kavix\\\\zonbek.exe");
    EXPECT_EQ(EventTexts(), (std::vector<EventText>{{0xC0020003, {}}}));
}

TEST_F(Startup, EmptyInstallDirStillStarts)
{
    fake::script().registry.stored = "\0"s;
    fake::script().dispatcher = {};
    fake::script().tools = {fake::Tool{.exitCode = 1}};
    EXPECT_EQ(RunProgram({"zonbeksvc.exe"}), 0);
    EXPECT_STREQ(ToolPath, "\\zonbek.exe");
    EXPECT_STREQ(WorkingDirectory, "");
}

TEST_F(Startup, DispatcherRefusalIsReportedWithExitCode1)
{
    EXPECT_EQ(RunProgram({"zonbeksvc.exe"}), 1);
    EXPECT_EQ(EventTexts(), std::vector<EventText>{DispatcherRefused});
}

TEST_F(Startup, ConsoleModeOnlyForOneArgumentStartingWithUpperCaseX)
{
    struct Case {
        std::vector<std::string> arguments;
        bool consoleMode;
    };
    for (auto c : {Case{{"svc", "X"}, true}, Case{{"svc", "Xyz"}, true}, Case{{"svc", "x"}, false},
                   Case{{"svc", "-X"}, false}, Case{{"svc", "X", "Y"}, false}, Case{{"svc", ""}, false},
                   Case{{"svc"}, false}}) {
        SCOPED_TRACE(c.arguments.size() > 1 ? "argument '" + c.arguments[1] + "'" : "no argument");
        fake::Reset();
        fake::script().handlerRegistration = fake::Fails(ERROR_SERVICE_DOES_NOT_EXIST);
        EXPECT_EQ(RunProgram(c.arguments), 1);
        std::vector<EventText> expected;
        if (c.consoleMode)
            expected.push_back(HandlerRefused);
        expected.push_back(DispatcherRefused);
        EXPECT_EQ(EventTexts(), expected);
        EXPECT_TRUE(fake::record().statuses.empty());
    }
}

TEST_F(Startup, ConsoleModeRunsTheServiceBeforeTheDispatcher)
{
    fake::script().dispatcher = {};
    fake::script().tools = {fake::Tool{.exitCode = 1}, fake::Tool{.exitCode = 1}};
    EXPECT_EQ(RunProgram({"svc", "X"}), 0);
    auto names = CallNames();
    auto firstRegistration = std::find(names.begin(), names.end(), "RegisterServiceCtrlHandlerA");
    auto dispatcher = std::find(names.begin(), names.end(), "StartServiceCtrlDispatcherA");
    EXPECT_LT(firstRegistration, dispatcher);
    EXPECT_EQ(fake::record().handlerNames.size(), 2u) << "once directly, once under the dispatcher";
}

TEST_F(Startup, UnregisteredSourceChangesNothingElse)
{
    fake::script().eventSourceRegistered = false;
    EXPECT_EQ(RunProgram({"svc"}), 1);
    auto events = fake::record().events;
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].source, nullptr);
    EXPECT_EQ(events[0].id, 0xC0020001u);
}

} // namespace
