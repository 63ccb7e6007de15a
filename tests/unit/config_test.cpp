#include "fixture.h"

#include <cstdlib>
#include <optional>

#include "state/config.h"

namespace {

using namespace std::string_literals;

struct LookupCase {
    const char* name;
    fake::Registry registry;
    std::optional<std::string> found;
};

fake::Registry Stored(std::string bytes, DWORD type = REG_SZ)
{
    fake::Registry registry;
    registry.stored = std::move(bytes);
    registry.type = type;
    return registry;
}

fake::Registry Changing(std::string before, std::string after)
{
    fake::Registry registry = Stored(std::move(before));
    registry.storedLater = std::move(after);
    return registry;
}

fake::Registry Forced(std::optional<LONG> first, std::optional<LONG> second)
{
    fake::Registry registry;
    registry.firstQueryResult = first;
    registry.secondQueryResult = second;
    return registry;
}

fake::Registry Missing(bool key)
{
    fake::Registry registry;
    if (key)
        registry.openResult = ERROR_FILE_NOT_FOUND;
    else
        registry.valuePresent = false;
    return registry;
}

void PrintTo(const LookupCase& c, std::ostream* out)
{
    *out << c.name;
}

class Lookup : public ServiceTest, public ::testing::WithParamInterface<LookupCase> {};

TEST_P(Lookup, FindsTheValueUpToItsFirstZeroByte)
{
    fake::script().registry = GetParam().registry;
    char* found = LookupInstallDir();
    if (GetParam().found) {
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(std::string(found), *GetParam().found);
    } else {
        EXPECT_EQ(found, nullptr);
    }
    free(found);
    EXPECT_TRUE(fake::record().events.empty()) << "the lookup reports nothing itself";
}

INSTANTIATE_TEST_SUITE_P(
    Values, Lookup,
    ::testing::Values(
        LookupCase{"terminated", Stored("C:\\Tools\\Z\0"s), "C:\\Tools\\Z"},
        LookupCase{"unterminated_keeps_last_character", Stored("C:\\Tools\\Z"s), "C:\\Tools\\Z"},
        LookupCase{"two_terminators", Stored("C:\\Tools\\Z\0\0"s), "C:\\Tools\\Z"},
        LookupCase{"zero_inside", Stored("C:\\A\0B\0"s), "C:\\A"},
        LookupCase{"trailing_backslash", Stored("C:\\Tools\\Z\\\0"s), "C:\\Tools\\Z\\"},
        LookupCase{"empty_value_size_0", Stored(""s), ""},
        LookupCase{"only_a_terminator", Stored("\0"s), ""},
        LookupCase{"bytes_above_0x7f_unchanged", Stored("C:\\\xe9t\xe9\0"s), "C:\\\xe9t\xe9"},
        LookupCase{"expand_sz", Stored("C:\\Tools\\Z\0"s, REG_EXPAND_SZ), std::nullopt},
        LookupCase{"binary", Stored("C:\\Tools\\Z\0"s, REG_BINARY), std::nullopt},
        LookupCase{"multi_sz", Stored("C:\\Tools\\Z\0\0"s, REG_MULTI_SZ), std::nullopt},
        LookupCase{"key_missing", Missing(true), std::nullopt},
        LookupCase{"value_missing", Missing(false), std::nullopt},
        LookupCase{"first_query_fails", Forced(ERROR_ACCESS_DENIED, std::nullopt), std::nullopt},
        LookupCase{"second_query_fails", Forced(std::nullopt, ERROR_ACCESS_DENIED), std::nullopt},
        LookupCase{"grew_between_queries", Changing("C:\\Z\0"s, "C:\\Longer\0"s), std::nullopt},
        LookupCase{"shrank_between_queries", Changing("C:\\Longer\0"s, "C:\\Z\0"s), std::nullopt},
        LookupCase{"same_size_new_text", Changing("C:\\A\0"s, "C:\\B\0"s), "C:\\B"}),
    [](const auto& info) { return std::string(info.param.name); });

using TrustList = ServiceTest;

// ToolFolderTrust, whatever its terminators, gives its strings and then an empty one; another type, none.
TEST_F(TrustList, EndsInAnEmptyStringWhateverTheValueHolds)
{
    std::string large;
    while (large.size() < 65536)
        large += "S-1-5-21-1004336348-1177238915-682003330-512"s + '\0';
    struct Case {
        const char* name;
        fake::Registry registry;
        std::vector<std::string> entries;
    };
    for (const auto& c :
         {Case{"two_terminated", Stored("S-1-5-32-545\0BA\0\0"s, REG_MULTI_SZ), {"S-1-5-32-545", "BA"}},
          Case{"no_terminators", Stored("S-1-5-32-545\0BA"s, REG_MULTI_SZ), {"S-1-5-32-545", "BA"}},
          Case{"empty_value", Stored(""s, REG_MULTI_SZ), {}},
          Case{"empty_string", Stored("\0"s, REG_MULTI_SZ), {}},
          Case{"empty_list", Stored("\0\0"s, REG_MULTI_SZ), {}},
          Case{"64_kb", Stored(large, REG_MULTI_SZ), std::vector<std::string>(large.size() / 45, "S-1-5-21-1004336348-1177238915-682003330-512")}}) {
        SCOPED_TRACE(c.name);
        fake::Reset();
        fake::script().registry = c.registry;
        char* list = LookupToolFolderTrust();
        ASSERT_NE(list, nullptr);
        std::vector<std::string> entries;
        for (const char* entry = list; *entry != '\0'; entry += strlen(entry) + 1)
            entries.emplace_back(entry);
        EXPECT_EQ(entries, c.entries);
        free(list);
        EXPECT_EQ(fake::record().registry.at(1).name, "ToolFolderTrust");
    }
    fake::Reset();
    fake::script().registry = Stored("S-1-5-32-545\0"s, REG_SZ);
    EXPECT_EQ(LookupToolFolderTrust(), nullptr) << "another type counts as absent";
}

using LookupCalls = ServiceTest;

TEST_F(LookupCalls, OpensQueriesTwiceWithTheReportedSizeAndCloses)
{
    fake::script().registry = Stored("C:\\Tools\\Z\0"s);
    free(LookupInstallDir());
    auto calls = fake::record().registry;
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].function, "RegOpenKeyA");
    EXPECT_EQ(calls[0].key, HKEY_LOCAL_MACHINE);
    EXPECT_EQ(calls[0].name, "Software\\Kavix\\Zonbek");
    EXPECT_EQ(calls[1].name, "InstallDir");
    EXPECT_TRUE(calls[1].typeWanted);
    EXPECT_FALSE(calls[1].bufferGiven);
    EXPECT_EQ(calls[1].sizeIn, 0u);
    EXPECT_EQ(calls[2].name, "InstallDir");
    EXPECT_TRUE(calls[2].bufferGiven);
    EXPECT_EQ(calls[2].sizeIn, 11u);
    EXPECT_EQ(calls[3].function, "RegCloseKey");
    EXPECT_EQ(calls[3].key, calls[2].key);
}

TEST_F(LookupCalls, KeyIsClosedAfterEveryFailureOnceOpened)
{
    for (auto registry : {Stored("C:\\Z\0"s, REG_EXPAND_SZ), Missing(false), Forced(5, std::nullopt),
                          Forced(std::nullopt, 5), Changing("C:\\Z\0"s, "C:\\Zz\0"s)}) {
        fake::Reset();
        fake::script().registry = registry;
        EXPECT_EQ(LookupInstallDir(), nullptr);
        EXPECT_EQ(fake::record().registry.back().function, "RegCloseKey");
    }
    fake::Reset();
    fake::script().registry = Missing(true);
    EXPECT_EQ(LookupInstallDir(), nullptr);
    EXPECT_EQ(fake::record().registry.size(), 1u) << "no key to close";
}

struct PathCase {
    const char* installDir;
    const char* toolPath;
};

class Paths : public ::testing::TestWithParam<PathCase> {};

TEST_P(Paths, InsertsExactlyOneBackslashAndKeepsTheDirectory)
{
    ASSERT_TRUE(ComposePaths(GetParam().installDir));
    EXPECT_STREQ(ToolPath, GetParam().toolPath);
    EXPECT_STREQ(WorkingDirectory, GetParam().installDir);
}

INSTANTIATE_TEST_SUITE_P(Values, Paths,
                         ::testing::Values(PathCase{"C:\\Tools\\Z", "C:\\Tools\\Z\\zonbek.exe"},
                                           PathCase{"C:\\Tools\\Z\\", "C:\\Tools\\Z\\\\zonbek.exe"},
                                           PathCase{"", "\\zonbek.exe"},
                                           PathCase{"C:\\Program Files\\Kavix Zonbek",
                                                    "C:\\Program Files\\Kavix Zonbek\\zonbek.exe"}),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

} // namespace
