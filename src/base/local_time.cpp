#include "base/local_time.h"

#include <chrono>
#include <optional>

namespace kestrel {

namespace {

WallClock floorDiv(WallClock value, WallClock divisor) {
  WallClock quotient = value / divisor;
  return (value % divisor != 0 && (value < 0) != (divisor < 0)) ? quotient - 1 : quotient;
}

// UTC offsets lie between -12 and +14 hours, so the moment of any reading lies
// within this distance of the reading taken as UTC.
constexpr std::time_t kWidestOffset = 15 * 3600;

}  // namespace

WallClock wallClockAt(std::time_t moment) {
  std::tm local{};
  if (!localtime_r(&moment, &local)) return moment;
  return wallClockOf({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                      local.tm_min, local.tm_sec});
}

std::time_t momentAt(WallClock reading) {
  CivilTime civil = civilTime(reading);
  std::optional<std::time_t> first;
  // mktime is asked once as standard time and once as daylight-saving time;
  // a guess that does not give back the same reading belongs to the other
  // half of the year and is dropped. Two surviving guesses mean the reading
  // occurs twice.
  for (int daylightSaving : {0, 1}) {
    std::tm local{};
    local.tm_year = civil.year - 1900;
    local.tm_mon = civil.month - 1;
    local.tm_mday = civil.day;
    local.tm_hour = civil.hour;
    local.tm_min = civil.minute;
    local.tm_sec = civil.second;
    local.tm_isdst = daylightSaving;
    std::time_t guess = std::mktime(&local);
    if (wallClockAt(guess) == reading && (!first || guess < *first)) first = guess;
  }
  if (first) return *first;

  // The clock skips the reading: find the first moment whose reading lies past
  // it. Readings only grow across a gap, so a bisection over the window in
  // which the moment must lie finds the end of the gap.
  std::time_t low = static_cast<std::time_t>(reading) - kWidestOffset;   // reads earlier
  std::time_t high = static_cast<std::time_t>(reading) + kWidestOffset;  // reads later
  while (high - low > 1) {
    std::time_t middle = low + (high - low) / 2;
    (wallClockAt(middle) > reading ? high : low) = middle;
  }
  return high;
}

CivilTime civilTime(WallClock reading) {
  using namespace std::chrono;
  WallClock dayNumber = floorDiv(reading, kSecondsPerDay);
  WallClock secondOfDay = reading - dayNumber * kSecondsPerDay;
  year_month_day date{sys_days{days{dayNumber}}};
  return {static_cast<int>(date.year()),
          static_cast<int>(static_cast<unsigned>(date.month())),
          static_cast<int>(static_cast<unsigned>(date.day())),
          static_cast<int>(secondOfDay / 3600),
          static_cast<int>(secondOfDay % 3600 / 60),
          static_cast<int>(secondOfDay % 60)};
}

WallClock wallClockOf(const CivilTime& time) {
  using namespace std::chrono;
  // Months are carried into years first; days past the month's end are then
  // counted on from its first day.
  int monthIndex = time.month - 1;
  int yearNumber = time.year + static_cast<int>(floorDiv(monthIndex, 12));
  monthIndex -= static_cast<int>(floorDiv(monthIndex, 12)) * 12;
  sys_days firstOfMonth{year{yearNumber} / month{static_cast<unsigned>(monthIndex + 1)} / 1};
  WallClock dayNumber = firstOfMonth.time_since_epoch().count() + (time.day - 1);
  return dayNumber * kSecondsPerDay + time.hour * WallClock{3600} + time.minute * WallClock{60} +
         time.second;
}

WallClock startOfDay(WallClock reading) {
  return floorDiv(reading, kSecondsPerDay) * kSecondsPerDay;
}

int weekdayOf(WallClock reading) {
  using namespace std::chrono;
  weekday day{sys_days{days{floorDiv(reading, kSecondsPerDay)}}};
  return static_cast<int>(day.iso_encoding()) - 1;
}

}  // namespace kestrel
