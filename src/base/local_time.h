#pragma once
// Local wall-clock time for schedules. A schedule names clock readings ("08:00
// on weekdays", "every day"), not counts of elapsed seconds, so its arithmetic
// runs on the wall clock and only the final reading is turned into a moment.
// The machine's time zone (TZ) governs both directions.

#include <cstdint>
#include <ctime>

namespace kestrel {

// A reading of the local wall clock: seconds since 1970-01-01 00:00 counted as
// if every day had 86400 seconds. Adding 86400 gives the same clock time on the
// next calendar day, whatever daylight-saving change lies between.
using WallClock = std::int64_t;

inline constexpr WallClock kSecondsPerDay = 86400;

struct CivilTime {
  int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
  bool operator==(const CivilTime&) const = default;
};

// What the local clock shows at a moment.
WallClock wallClockAt(std::time_t moment);

// The moment at which the local clock shows a reading. A reading the clock
// shows twice (the hour repeated when daylight-saving time ends) gives its first
// occurrence. A reading the clock never shows (the hour skipped when
// daylight-saving time begins) gives the first moment after the gap, the moment
// the clock jumps past it: 02:30 on a day that goes from 02:00 to 03:00 gives
// 03:00.
std::time_t momentAt(WallClock reading);

CivilTime civilTime(WallClock reading);
// Fields out of their range are carried over as a calendar does (February 31
// becomes March 3 or 2).
WallClock wallClockOf(const CivilTime& time);

// Midnight of the reading's calendar day.
WallClock startOfDay(WallClock reading);

// 0 for Monday ... 6 for Sunday.
int weekdayOf(WallClock reading);

}  // namespace kestrel
