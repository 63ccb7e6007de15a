#include "fixture.h"

#include "entry/startup.h"
#include "state/config.h"

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

// What a hand run prints on standard error.
const std::string LookupFailureText =
    "zonbeksvc: the folder of the Zonbek tool is not known: there is no value InstallDir of type REG_SZ under "
    "HKEY_LOCAL_MACHINE\\Software\\Kavix\\Zonbek.\r\n"
    "Set it, as administrator, to the folder that holds zonbek.exe: reg add \"HKLM\\Software\\Kavix\\Zonbek\" "
    "/v InstallDir /t REG_SZ /d \"<folder of zonbek.exe>\" /f /reg:64\r\n";
const std::string NotStartedByServiceManagerText =
    "zonbeksvc: this is the Windows service zonbek, which runs only when the service manager starts it: "
    "sc start zonbek\r\n"
    "The administrator's guide is admin-guide.txt, in the folder of zonbeksvc.exe.\r\n";

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
        fake::script().standardError = fake::StandardErrorValue();
        SetLastError(87);
        EXPECT_EQ(RunProgram({"zonbeksvc.exe"}), 1);
        EXPECT_EQ(EventTexts(),
                  (std::vector<EventText>{{0xC0020002, {"KavixZonbek", "zonbek InstallDir lookup failed with 87"}}}));
        EXPECT_EQ(fake::record().standardError, LookupFailureText);
        EXPECT_TRUE(fake::record().dispatcherNames.empty());
        EXPECT_EQ(fake::record().calls.front(), "RegisterEventSourceA(null,KavixZonbek)");
    }
}

TEST_F(Startup, ComposesPathsAndHandsTheServiceTableToTheDispatcher)
{
    fake::script().registry.stored = "D:\\Kavix\\\0"s;
    fake::script().dispatcher = {};
    fake::script().tools = {fake::Tool{.exitCode = 1}};
    fake::script().standardError = fake::StandardErrorValue();
    EXPECT_EQ(RunProgram({"zonbeksvc.exe"}), 0);
    EXPECT_EQ(fake::record().standardError, "") << "a run that ends with 0 explains nothing";
    EXPECT_STREQ(ToolPath, "D:\\Kavix\\\\zonbek.exe");
    EXPECT_STREQ(WorkingDirectory, "D:\\Kavix\\");
    EXPECT_EQ(fake::record().dispatcherNames, (std::vector<std::string>{"zonbek"}));
    EXPECT_EQ(fake::record().handlerNames, (std::vector<std::string>{"zonbek"})) << "ServiceMain ran once";
    EXPECT_EQ(fake::record().launches.at(0).application, "D:\\Kavix\\\\zonbek.exe");
    EXPECT_EQ(EventTexts(), (std::vector<EventText>{{0xC0020003, {}}}));
    // The tool's folder is checked once connected: naming an account may wait on a domain controller.
    auto names = CallNames();
    auto at = [&](const char* name) { return std::find(names.begin(), names.end(), name); };
    EXPECT_LT(at("StartServiceCtrlDispatcherA"), at("SetServiceStatus"));
    EXPECT_LT(at("SetServiceStatus"), at("CheckToolFolder"));
    EXPECT_LT(at("CheckToolFolder"), at("CreateNamedPipeA"));
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

TEST_F(Startup, DispatcherRefusalIsReportedWithExitCode1AndExplainedOnStandardError)
{
    struct Case {
        DWORD error;
        std::string explained;
    };
    for (auto c : {Case{1063, NotStartedByServiceManagerText},
                   Case{1056, "zonbeksvc: StartServiceCtrlDispatcher failed with 1056\r\n"}}) {
        SCOPED_TRACE(c.error);
        fake::Reset();
        fake::script().dispatcher = fake::Fails(c.error);
        fake::script().standardError = fake::StandardErrorValue();
        EXPECT_EQ(RunProgram({"zonbeksvc.exe"}), 1);
        EXPECT_EQ(EventTexts(), (std::vector<EventText>{{0xC0020001, {"KavixZonbek",
                                  "StartServiceCtrlDispatcher failed with " + std::to_string(c.error)}}}));
        EXPECT_EQ(fake::record().standardError, c.explained);
    }
}

TEST_F(Startup, WithoutStandardErrorNothingIsWritten)
{
    fake::Registry missing;
    missing.valuePresent = false;
    for (HANDLE none : {static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE}) {
        for (bool lookupFails : {true, false}) {
            SCOPED_TRACE(std::string(none ? "invalid handle" : "null handle") +
                         (lookupFails ? ", lookup" : ", dispatcher"));
            fake::Reset();
            if (lookupFails)
                fake::script().registry = missing;
            fake::script().standardError = none;
            EXPECT_EQ(RunProgram({"zonbeksvc.exe"}), 1);
            EXPECT_EQ(EventTexts().size(), 1u);
            auto names = CallNames();
            EXPECT_EQ(std::count(names.begin(), names.end(), "WriteFile"), 0);
        }
    }
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
