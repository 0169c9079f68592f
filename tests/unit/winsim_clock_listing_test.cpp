// winsim's wall clock and its directory listings: the dates GetLocalTime
// gives across the calendar's edges, the names FindFirstFileW's patterns
// match, and the machine file's strict start and time zone.
#include <shlobj.h>
#include <winsim/machine_json.h>

#include <cstring>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

TEST(WinsimClockTest, LocalTimeRollsOverDaysMonthsYearsAndKnowsTheWeekday) {
  const struct {
    const char* start;  // UTC
    int bias;           // minutes, UTC = local + bias
    std::uint64_t now;  // clock milliseconds
    WORD year, month, day, dayOfWeek, hour, minute, second, ms;
  } rows[] = {
      {"2026-01-05 09:00:00", 0, 0, 2026, 1, 5, 1, 9, 0, 0, 0},                // a Monday
      {"2026-01-05 09:00:00", 0, 1234, 2026, 1, 5, 1, 9, 0, 1, 234},           // the clock's milliseconds
      {"2026-12-31 23:59:59", 0, 1000, 2027, 1, 1, 5, 0, 0, 0, 0},             // new year, a Friday
      {"2026-12-31 23:30:00", -60, 0, 2027, 1, 1, 5, 0, 30, 0, 0},             // UTC+01:00 is a year ahead
      {"2027-01-01 02:00:00", 300, 0, 2026, 12, 31, 4, 21, 0, 0, 0},           // UTC-05:00 is a year behind
      {"2024-02-28 23:00:00", 0, 3600000, 2024, 2, 29, 4, 0, 0, 0, 0},         // leap day
      {"2100-02-28 23:00:00", 0, 3600000, 2100, 3, 1, 1, 0, 0, 0, 0},          // no leap day in 2100
      {"2000-02-28 12:00:00", -720, 0, 2000, 2, 29, 2, 0, 0, 0, 0},            // but in 2000
      {"2026-03-31 22:00:00", -840, 0, 2026, 4, 1, 3, 12, 0, 0, 0},            // UTC+14:00
      {"1601-01-01 00:00:00", 0, 86400000 * 7ULL, 1601, 1, 8, 1, 0, 0, 0, 0},  // 1601-01-01 was a Monday
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.start) + " bias " + std::to_string(row.bias));
    std::string error;
    auto loaded = winsim::LoadMachine(std::string(R"({"clock": {"start": ")") + row.start + R"(", "timeZoneBias": )" +
                                          std::to_string(row.bias) + R"(, "now": )" + std::to_string(row.now) + "}}",
                                      error);
    ASSERT_TRUE(loaded) << error;
    winsim::SetCurrent(std::move(loaded));
    SYSTEMTIME t;
    std::memset(&t, 0xCC, sizeof t);
    GetLocalTime(&t);
    EXPECT_EQ(
        std::vector<WORD>({t.wYear, t.wMonth, t.wDay, t.wDayOfWeek, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds}),
        std::vector<WORD>({row.year, row.month, row.day, row.dayOfWeek, row.hour, row.minute, row.second, row.ms}));
  }
}

TEST(WinsimClockTest, StartAndTimeZoneAreSavedAsWrittenAndCheckedStrictly) {
  std::string error;
  const auto loaded =
      winsim::LoadMachine(R"({"clock": {"start": "2030-06-15 12:34:56", "timeZoneBias": -120}})", error);
  ASSERT_TRUE(loaded) << error;
  const std::string saved = winsim::SaveMachine(*loaded);
  EXPECT_NE(saved.find(R"("start": "2030-06-15 12:34:56")"), std::string::npos);
  EXPECT_NE(saved.find(R"("timeZoneBias": -120)"), std::string::npos);
  const auto fresh = winsim::LoadMachine("{}", error);
  ASSERT_TRUE(fresh);
  EXPECT_EQ(fresh->clock.start, winsim::kDefaultClockStart);
  EXPECT_EQ(fresh->clock.timeZoneBias, 0);

  const std::string date =
      R"(machine.clock.start: expected a UTC date and time "YYYY-MM-DD hh:mm:ss" from 1601, found )";
  const struct {
    const char* clock;
    std::string error;
  } bad[] = {
      {R"({"start": "2026-02-29 00:00:00"})", date + R"("2026-02-29 00:00:00")"},
      {R"({"start": "2026-01-05T09:00:00"})", date + R"("2026-01-05T09:00:00")"},
      {R"({"start": "2026-01-05 24:00:00"})", date + R"("2026-01-05 24:00:00")"},
      {R"({"start": "1600-12-31 23:59:59"})", date + R"("1600-12-31 23:59:59")"},
      {R"({"start": 1767603600})", "machine.clock.start: expected a string, found a number"},
      {R"({"timeZoneBias": 721})",
       "machine.clock.timeZoneBias: expected a time zone bias in minutes from -840 to 720, found 721"},
      {R"({"timeZoneBias": -841})",
       "machine.clock.timeZoneBias: expected a time zone bias in minutes from -840 to 720, found -841"},
  };
  for (const auto& row : bad) {
    std::string message = "poison";
    EXPECT_FALSE(winsim::LoadMachine(std::string(R"({"clock": )") + row.clock + "}", message));
    EXPECT_EQ(message, row.error);
  }
}

TEST(WinsimListingTest, PatternsMatchLongNamesAsWindowsDoes) {
  const struct {
    const char16_t* pattern;
    const char16_t* name;
    bool matches;
  } rows[] = {
      {u"vexinst64-*.log", u"vexinst64-.log", true},
      {u"vexinst64-*.log", u"vexinst64-a.logx", false},  // a long name only; short names are not modelled
      {u"vexinst64-*.log", u"vexinst64.log", false},
      {u"vexinst64-*.log", u"xvexinst64-a.log", false},
      {u"*", u"anything.at.all", true},
      {u"*.*", u"noextension", true},  // "*.*" is "*"
      {u"*.txt", u"a.b.txt", true},
      {u"a?c", u"abc", true},
      {u"a?c", u"ac", false},
      {u"a?c", u"a.c", false},
      {u"???", u"ab", true},        // '?' matches nothing at the end of the name
      {u"a?.txt", u"a.txt", true},  // nor before a period
      {u"*.", u"noextension", true},
      {u"*.", u"a.b", false},
      {u"*", u".", true},
      {u"*.log", u"..", false},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(winsim::MatchesWildcard(row.pattern, row.name), row.matches)
        << Utf8(row.pattern) << " against " << Utf8(row.name);
  }
}

class WinsimFoldersTest : public MachineTest {};

// A machine without the folder (an old machine file): missing unless
// CSIDL_FLAG_CREATE makes it; a file in its way is E_FAIL.
TEST_F(WinsimFoldersTest, CommonAppDataIsMadeOnlyWhenAskedAndNotOverAFile) {
  const struct {
    bool fileInTheWay;
    int flags;
    HRESULT result;
    bool folderAfter;
  } rows[] = {
      {false, 0, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), false},
      {false, CSIDL_FLAG_DONT_VERIFY, S_OK, false},
      {false, CSIDL_FLAG_CREATE, S_OK, true},
      {true, CSIDL_FLAG_CREATE, E_FAIL, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE("flags " + std::to_string(row.flags) + (row.fileInTheWay ? ", a file in the way" : ""));
    NextMachine();
    machine().files.dirs.erase(u"C:\\PROGRAMDATA");
    if (row.fileInTheWay) machine().files.Put(u"C:\\ProgramData", {1});
    WCHAR path[MAX_PATH];
    std::fill(std::begin(path), std::end(path), u'#');
    EXPECT_EQ(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA | row.flags, nullptr, SHGFP_TYPE_CURRENT, path),
              row.result);
    EXPECT_EQ(Utf8(path), row.result == S_OK ? "C:\\ProgramData" : "");
    EXPECT_EQ(machine().files.IsDirectory(u"C:\\ProgramData"), row.folderAfter);
  }
  machine().FailNext("SHGetFolderPathW", ERROR_ACCESS_DENIED);
  WCHAR path[MAX_PATH];
  EXPECT_EQ(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path), E_FAIL);
}

// The files a listing gives carry the time they were written; a drive's
// root has no "." and "..".
TEST_F(WinsimFoldersTest, ListingsGiveWriteTimesAndARootHasNoDots) {
  ASSERT_TRUE(CreateDirectoryW(u"C:\\ProgramData\\Ravelquill", nullptr));
  Sleep(1500);
  HANDLE file = CreateFileW(u"C:\\ProgramData\\Ravelquill\\a.log", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(u"C:\\ProgramData\\Ravelquill\\*.log", &found);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  const std::uint64_t written =
      (std::uint64_t{found.ftLastWriteTime.dwHighDateTime} << 32) | found.ftLastWriteTime.dwLowDateTime;
  // 2026-01-05 09:00:01.500 UTC in 100 ns units since 1601.
  EXPECT_EQ(written, 116444736000000000ULL + (winsim::kDefaultClockStart * 1000 + 1500) * 10000);
  FindClose(search);

  search = FindFirstFileW(u"C:\\*", &found);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  std::vector<std::string> names;
  do names.push_back(Utf8(found.cFileName));
  while (FindNextFileW(search, &found));
  FindClose(search);
  EXPECT_EQ(names, (std::vector<std::string>{"Program Files", "ProgramData", "Windows"}));
}

}  // namespace
