// Clock readings and moments in a zone with daylight-saving changes (Berlin
// 2026: 02:00 becomes 03:00 on March 29, 03:00 becomes 02:00 on October 25).

#include <gtest/gtest.h>

#include "../schedule/schedule_fixture.h"

namespace kestrel::test {
namespace {

struct MomentCase {
  const char* name;
  CivilTime reading;
  const char* expectedUtc;
};
void PrintTo(const MomentCase& c, std::ostream* out) { *out << c.name; }

class ReadingToMoment : public ScheduleTest, public ::testing::WithParamInterface<MomentCase> {};

TEST_P(ReadingToMoment, FindsTheMomentTheClockShowsIt) {
  const MomentCase& c = GetParam();
  std::time_t moment = momentAt(wallClockOf(c.reading));
  EXPECT_EQ(utcText(moment), c.expectedUtc);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadingToMoment,
    ::testing::Values(MomentCase{"Winter", {2026, 1, 15, 8, 0}, "2026-01-15 07:00:00Z"},
                      MomentCase{"Summer", {2026, 7, 15, 8, 0}, "2026-07-15 06:00:00Z"},
                      MomentCase{"BeforeTheGap", {2026, 3, 29, 1, 59, 59}, "2026-03-29 00:59:59Z"},
                      MomentCase{"InTheGap", {2026, 3, 29, 2, 30}, "2026-03-29 01:00:00Z"},
                      MomentCase{"StartOfTheGap", {2026, 3, 29, 2, 0}, "2026-03-29 01:00:00Z"},
                      MomentCase{"AfterTheGap", {2026, 3, 29, 3, 0}, "2026-03-29 01:00:00Z"},
                      MomentCase{"RepeatedHour", {2026, 10, 25, 2, 30}, "2026-10-25 00:30:00Z"},
                      MomentCase{"AfterTheRepeat", {2026, 10, 25, 3, 0}, "2026-10-25 02:00:00Z"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ScheduleTest, BothOccurrencesOfARepeatedTimeReadTheSame) {
  EXPECT_EQ(civilTime(wallClockAt(utc(2026, 10, 25, 0, 30))), (CivilTime{2026, 10, 25, 2, 30, 0}));
  EXPECT_EQ(civilTime(wallClockAt(utc(2026, 10, 25, 1, 30))), (CivilTime{2026, 10, 25, 2, 30, 0}));
}

TEST(CivilCalendar, WeekdaysAndCarriedOverDates) {
  EXPECT_EQ(weekdayOf(wallClockOf({2026, 1, 5, 23, 59, 59})), 0);  // Monday
  EXPECT_EQ(weekdayOf(wallClockOf({2030, 1, 1, 8, 0, 0})), 1);     // Tuesday
  EXPECT_EQ(weekdayOf(wallClockOf({2026, 1, 11, 0, 0, 0})), 6);    // Sunday
  EXPECT_EQ(weekdayOf(wallClockOf({1969, 12, 31, 12, 0, 0})), 2);  // Wednesday, before 1970
  EXPECT_EQ(civilTime(wallClockOf({1997, 2, 31, 0, 0, 0})), (CivilTime{1997, 3, 3, 0, 0, 0}));
  EXPECT_EQ(civilTime(wallClockOf({2024, 14, 1, 0, 0, 0})), (CivilTime{2025, 2, 1, 0, 0, 0}));
  EXPECT_EQ(civilTime(startOfDay(wallClockOf({1969, 12, 31, 12, 0, 0}))),
            (CivilTime{1969, 12, 31, 0, 0, 0}));
}

}  // namespace
}  // namespace kestrel::test
