// The wall-clock time of the virtual clock: the machine's start (UTC) plus
// the clock's milliseconds, in the machine's time zone when local. Dates are
// counted in days since 1970-01-01 with the usual civil-calendar arithmetic.
#include <winsim/machine.h>

#include <algorithm>

namespace winsim {

namespace {

constexpr std::int64_t kMsPerDay = 86400000;
// 100 ns units between 1601-01-01 (FILETIME's epoch) and 1970-01-01.
constexpr std::uint64_t kFileTimeOf1970 = 116444736000000000ULL;

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
  y -= m <= 2;
  const std::int64_t era = FloorDiv(y, 400);
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

bool IsLeap(std::int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(std::int64_t y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

}  // namespace

CivilTime CivilFromMilliseconds(std::int64_t ms) {
  const std::int64_t days = FloorDiv(ms, kMsPerDay);
  std::int64_t rest = ms - days * kMsPerDay;
  CivilTime t;
  const std::int64_t z = days + 719468;
  const std::int64_t era = FloorDiv(z, 146097);
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  t.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  t.year = static_cast<int>(yoe + era * 400 + (t.month <= 2));
  // 1970-01-01 was a Thursday.
  t.dayOfWeek = static_cast<int>(((days % 7) + 11) % 7);
  t.hour = static_cast<int>(rest / 3600000);
  rest %= 3600000;
  t.minute = static_cast<int>(rest / 60000);
  rest %= 60000;
  t.second = static_cast<int>(rest / 1000);
  t.millisecond = static_cast<int>(rest % 1000);
  return t;
}

bool MillisecondsFromCivil(const CivilTime& t, std::int64_t& ms) {
  if (t.year < 1601 || t.year > 30827 || t.month < 1 || t.month > 12 || t.day < 1 ||
      t.day > DaysInMonth(t.year, t.month) || t.hour < 0 || t.hour > 23 || t.minute < 0 || t.minute > 59 ||
      t.second < 0 || t.second > 59 || t.millisecond < 0 || t.millisecond > 999) {
    return false;
  }
  ms = DaysFromCivil(t.year, t.month, t.day) * kMsPerDay + t.hour * 3600000LL + t.minute * 60000LL + t.second * 1000LL +
       t.millisecond;
  return true;
}

std::int64_t UtcMilliseconds(const Clock& clock, std::uint64_t at) {
  // A clock read from a file can stand anywhere: past about 17,000 years
  // on, it stands still, so the sum cannot overflow and a year fits a WORD.
  constexpr std::uint64_t kFarthest = std::uint64_t{1} << 49;
  constexpr std::int64_t kStartBound = std::int64_t{1} << 40;
  const std::int64_t start = clock.start < -kStartBound ? -kStartBound : std::min(clock.start, kStartBound);
  return start * 1000 + static_cast<std::int64_t>(std::min(at, kFarthest));
}

std::int64_t LocalMilliseconds(const Clock& clock, std::uint64_t at) {
  return UtcMilliseconds(clock, at) - std::int64_t{clock.timeZoneBias} * 60000;
}

std::uint64_t FileTimeOf(const Clock& clock, std::uint64_t at) {
  const std::int64_t ms = UtcMilliseconds(clock, at);
  const std::int64_t ticks = ms * 10000;
  // Before 1601 there is no FILETIME: the earliest one stands for it.
  if (ticks < -static_cast<std::int64_t>(kFileTimeOf1970)) return 0;
  return kFileTimeOf1970 + static_cast<std::uint64_t>(ticks);
}

}  // namespace winsim
