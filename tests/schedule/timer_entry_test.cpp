// When an entry runs: single start times, intervals, allowed weekdays, retries
// after failures, and clock times across daylight-saving changes. Every case
// moves a fake clock minute by minute and ticks the scheduler after each step.

#include <gtest/gtest.h>

#include "schedule_fixture.h"

namespace kestrel::test {
namespace {

TEST_F(ScheduleTest, SingleStartTimeRunsOnceAtTheFirstTickAtOrAfterIt) {
  clock.set(local(2029, 12, 31, 12, 0, 30));
  TimerEntry entry(recorder());
  ASSERT_TRUE(scheduleTimerEntry(entry, schedule(2030, 1, 1, 8, 0), "COPY1", false, log));

  tickUntil(local(2030, 1, 3));

  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(localText(runs[0].when), "2030-01-01 08:00:30");
  EXPECT_EQ(runs[0].retryNumber, 0);
  EXPECT_EQ(entry.nextTime(), 0);
  EXPECT_EQ(entry.fireCount(), 1);
  EXPECT_EQ(entry.successCount(), 1);
  EXPECT_EQ(entry.lastFired(), runs[0].when);
  // It stays registered, idle for good, and offers no next event.
  EXPECT_EQ(entry.scheduler(), &scheduler);
  std::time_t next = 0;
  EXPECT_FALSE(scheduler.nextEvent(next));
}

struct RegistrationCase {
  const char* name;
  CivilTime start;
  long everyMinutes;  // -1: no EVERY
  const char* days;
  bool startTimeGiven;
  bool withScheduler;
  const char* expectedNext;  // local time, or nullptr when not registered
};
void PrintTo(const RegistrationCase& c, std::ostream* out) { *out << c.name; }

class EntryRegistration : public ScheduleTest,
                          public ::testing::WithParamInterface<RegistrationCase> {};

// The clock stands at Monday 2026-01-05 12:00:30.
TEST_P(EntryRegistration, RegistersOnlyEntriesThatWillRun) {
  const RegistrationCase& c = GetParam();
  clock.set(local(2026, 1, 5, 12, 0, 30));
  TimerSchedule timer =
      schedule(c.start.year, c.start.month, c.start.day, c.start.hour, c.start.minute);
  if (c.everyMinutes >= 0) every(timer, 0, 0, c.everyMinutes);
  timer.days = c.days;
  timer.startTimeGiven = c.startTimeGiven;
  if (!c.withScheduler) timer.scheduler = nullptr;
  TimerEntry entry(recorder());

  bool registered = scheduleTimerEntry(entry, timer, "COPY1", false, log);

  EXPECT_EQ(registered, c.expectedNext != nullptr);
  EXPECT_EQ(scheduler.entryCount(), registered ? 1 : 0);
  if (c.expectedNext) {
    EXPECT_EQ(localText(entry.nextTime()), c.expectedNext);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EntryRegistration,
    ::testing::Values(
        RegistrationCase{"FutureSingleTime",
                         {2026, 1, 6, 8, 0},
                         -1,
                         "YYYYYYY",
                         true,
                         true,
                         "2026-01-06 08:00:00"},
        RegistrationCase{"PastSingleTime", {2026, 1, 5, 8, 0}, -1, "YYYYYYY", true, true, nullptr},
        RegistrationCase{"PastStartWithDailyInterval",
                         {2026, 1, 1, 8, 0},
                         1440,
                         "YYYYYYY",
                         true,
                         true,
                         "2026-01-06 08:00:00"},
        RegistrationCase{"StartYearsAgoEveryMinute",
                         {1990, 1, 1, 8, 0},
                         1,
                         "YYYYYYY",
                         true,
                         true,
                         "2026-01-05 12:01:00"},
        RegistrationCase{
            "SingleTimeOnDisallowedDay", {2026, 1, 10, 8, 0}, -1, "YYYYYNN", true, true, nullptr},
        RegistrationCase{"NoAllowedDay", {2026, 1, 6, 8, 0}, 1440, "NNNNNNN", true, true, nullptr},
        RegistrationCase{"EmptyDays", {2026, 1, 6, 8, 0}, 1440, "", true, true, nullptr},
        RegistrationCase{"NoStartTime", {2026, 1, 6, 8, 0}, -1, "YYYYYYY", false, true, nullptr},
        RegistrationCase{"NoScheduler", {2026, 1, 6, 8, 0}, -1, "YYYYYYY", true, false, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

struct WeekdayCase {
  const char* name;
  const char* days;
  long everyDays;
  std::vector<const char*> expectedRuns;  // local dates; runs start Monday 2026-01-05 08:00
};
void PrintTo(const WeekdayCase& c, std::ostream* out) { *out << c.name; }

class AllowedWeekdays : public ScheduleTest, public ::testing::WithParamInterface<WeekdayCase> {};

TEST_P(AllowedWeekdays, RunOnlyOnAllowedDays) {
  const WeekdayCase& c = GetParam();
  clock.set(local(2026, 1, 4, 12, 0));
  TimerSchedule timer = schedule(2026, 1, 5, 8, 0);
  every(timer, c.everyDays, 0, 0);
  timer.days = c.days;
  TimerEntry entry(recorder());
  scheduleTimerEntry(entry, timer, "COPY1", false, log);

  tickUntil(local(2026, 1, 18, 12, 0));

  std::vector<std::string> dates;
  for (const ProcedureCall& run : runs) dates.push_back(localText(run.when));
  std::vector<std::string> expected;
  for (const char* date : c.expectedRuns) expected.push_back(std::string(date) + " 08:00:00");
  EXPECT_EQ(dates, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AllowedWeekdays,
    ::testing::Values(
        WeekdayCase{"MondayToFriday",
                    "YYYYYNN",
                    1,
                    {"2026-01-05", "2026-01-06", "2026-01-07", "2026-01-08", "2026-01-09",
                     "2026-01-12", "2026-01-13", "2026-01-14", "2026-01-15", "2026-01-16"}},
        WeekdayCase{"FiveLettersLeaveTheWeekendOut",
                    "YYYYY",
                    1,
                    {"2026-01-05", "2026-01-06", "2026-01-07", "2026-01-08", "2026-01-09",
                     "2026-01-12", "2026-01-13", "2026-01-14", "2026-01-15", "2026-01-16"}},
        WeekdayCase{"OneLetterIsMondayOnly", "Y", 1, {"2026-01-05", "2026-01-12"}},
        WeekdayCase{
            "LowerCaseAllows",
            "yNNNNyy",
            1,
            {"2026-01-05", "2026-01-10", "2026-01-11", "2026-01-12", "2026-01-17", "2026-01-18"}},
        WeekdayCase{"LettersPastSevenIgnored", "NNNNNNYYYY", 1, {"2026-01-11", "2026-01-18"}},
        // Mon 5, Thu 8, Sun 11, Wed 14, Sat 17: the weekend is out.
        WeekdayCase{
            "IntervalLongerThanADay", "YYYYYNN", 3, {"2026-01-05", "2026-01-08", "2026-01-14"}},
        // After Monday the 5th the next time, Thursday the 15th, lies more than a week
        // ahead: it is kept although Thursday is not allowed, and it is not run.
        WeekdayCase{"FarTimeOnDisallowedDayKeptButNotRun", "YYNNNNN", 10, {"2026-01-05"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ScheduleTest, AfterTheFridayRunTheNextEventIsMonday) {
  clock.set(local(2026, 1, 5, 12, 0));
  TimerSchedule timer = schedule(2026, 1, 5, 8, 0);
  every(timer, 1, 0, 0);
  timer.days = "YYYYYNN";
  TimerEntry entry(recorder());
  scheduleTimerEntry(entry, timer, "COPY1", false, log);

  tickUntil(local(2026, 1, 9, 9, 0));
  ASSERT_EQ(localText(runs.back().when), "2026-01-09 08:00:00");

  std::time_t next = 0;
  ASSERT_TRUE(scheduler.nextEvent(next));
  EXPECT_EQ(localText(next), "2026-01-12 08:00:00");
  logNextEvent(log, &scheduler);
  EXPECT_EQ(messagesOf(log), strings({"Next scheduled event at 2026-01-12 08:00:00"}));
  EXPECT_EQ(log.lines().back().kind, Normal);
}

struct RetryCase {
  const char* name;
  int retryCount;
  long retryMinutes;
  long everyMinutes;
  std::function<int(int call)> outcome;
  CivilTime until;
  std::vector<std::pair<const char*, int>> expectedRuns;  // local time, retry number
};
void PrintTo(const RetryCase& c, std::ostream* out) { *out << c.name; }

class Retries : public ScheduleTest, public ::testing::WithParamInterface<RetryCase> {};

// Each run takes three minutes; retries count from the end of the attempt before.
TEST_P(Retries, FollowAFailureAndThenTheScheduleGoesOn) {
  const RetryCase& c = GetParam();
  clock.set(local(2026, 1, 5, 7, 0));
  runSeconds = 180;
  outcome = c.outcome;
  TimerSchedule timer = schedule(2026, 1, 5, 8, 0);
  every(timer, 0, 0, c.everyMinutes);
  timer.retryCount = c.retryCount;
  timer.retryInterval = c.retryMinutes * 60;
  TimerEntry entry(recorder());
  scheduleTimerEntry(entry, timer, "COPY1", false, log);

  tickUntil(momentAt(wallClockOf(c.until)));

  std::vector<std::pair<std::string, int>> actual;
  for (const ProcedureCall& run : runs)
    actual.emplace_back(localText(run.when).substr(5, 11), run.retryNumber);
  std::vector<std::pair<std::string, int>> expected;
  for (auto [when, retry] : c.expectedRuns) expected.emplace_back(when, retry);
  EXPECT_EQ(actual, expected);
  EXPECT_FALSE(entry.retrying());
}

int alwaysFail(int) { return -1; }
int failFirst(int call) { return call == 0 ? -1 : 0; }

INSTANTIATE_TEST_SUITE_P(
    Cases, Retries,
    ::testing::Values(RetryCase{"TwoRetriesThenNextDay",
                                2,
                                10,
                                1440,
                                alwaysFail,
                                {2026, 1, 6, 9, 0},
                                {{"01-05 08:00", 0},
                                 {"01-05 08:13", 1},
                                 {"01-05 08:26", 2},
                                 {"01-06 08:00", 0},
                                 {"01-06 08:13", 1},
                                 {"01-06 08:26", 2}}},
                      RetryCase{"SuccessEndsTheRetries",
                                2,
                                10,
                                1440,
                                failFirst,
                                {2026, 1, 6, 9, 0},
                                {{"01-05 08:00", 0}, {"01-05 08:13", 1}, {"01-06 08:00", 0}}},
                      RetryCase{"NoRetryCount",
                                0,
                                10,
                                1440,
                                alwaysFail,
                                {2026, 1, 6, 9, 0},
                                {{"01-05 08:00", 0}, {"01-06 08:00", 0}}},
                      RetryCase{"NoRetryInterval",
                                2,
                                0,
                                1440,
                                alwaysFail,
                                {2026, 1, 6, 9, 0},
                                {{"01-05 08:00", 0}, {"01-06 08:00", 0}}},
                      // A regular time passed during the retries runs once when they end.
                      RetryCase{"RegularTimeWaitsForTheRetries",
                                2,
                                10,
                                20,
                                [](int call) { return call < 3 ? -1 : 0; },
                                {2026, 1, 5, 8, 50},
                                {{"01-05 08:00", 0},
                                 {"01-05 08:13", 1},
                                 {"01-05 08:26", 2},
                                 {"01-05 08:30", 0},
                                 {"01-05 08:40", 0}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ScheduleTest, CountersSumRunsAndDurations) {
  clock.set(local(2026, 1, 5, 7, 0));
  runSeconds = 180;
  outcome = [](int call) { return call == 1 ? -1 : 0; };
  TimerSchedule timer = schedule(2026, 1, 5, 8, 0);
  every(timer, 0, 1, 0);
  TimerEntry entry(recorder());
  scheduleTimerEntry(entry, timer, "COPY1", false, log);

  tickUntil(local(2026, 1, 5, 10, 30));

  EXPECT_EQ(entry.fireCount(), 3);
  EXPECT_EQ(entry.successCount(), 2);
  EXPECT_EQ(entry.lastResult(), 0);
  EXPECT_EQ(entry.lastDuration(), 180);
  EXPECT_EQ(entry.totalDuration(), 540);
  EXPECT_EQ(localText(entry.lastFired()), "2026-01-05 10:00:00");
}

class FakeCopy final : public TimerTarget {
 public:
  std::string timerTargetName() const override { return "COPY1"; }
  bool timerTargetBusy() const override { return busy; }
  bool runFromTimer(int retryNumber) override {
    retries.push_back(retryNumber);
    return succeed;
  }
  bool busy = false;
  bool succeed = true;
  std::vector<int> retries;
};

struct ProcedureCase {
  const char* name;
  bool busy;
  bool succeed;
  int expectedResult;
  int expectedRunCalls;
  std::vector<const char*> expectedLines;
};
void PrintTo(const ProcedureCase& c, std::ostream* out) { *out << c.name; }

class CopyTimerProcedure : public ScheduleTest,
                           public ::testing::WithParamInterface<ProcedureCase> {};

TEST_P(CopyTimerProcedure, RunsTheDefinitionUnlessItIsBusy) {
  const ProcedureCase& c = GetParam();
  log.Configure(100, "", true);
  FakeCopy copy;
  copy.busy = c.busy;
  copy.succeed = c.succeed;
  TimerProcedure procedure =
      copyTimerProcedure(&copy, log, true, [this] { log.AddLine("next event", Normal); });

  EXPECT_EQ(procedure(2), c.expectedResult);
  EXPECT_EQ(static_cast<int>(copy.retries.size()), c.expectedRunCalls);
  if (c.expectedRunCalls) {
    EXPECT_EQ(copy.retries[0], 2);
  }
  EXPECT_EQ(messagesOf(log), strings(c.expectedLines));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CopyTimerProcedure,
    ::testing::Values(ProcedureCase{"Succeeds",
                                    false,
                                    true,
                                    0,
                                    1,
                                    {"Debug: Timer for COPY1 activated...",
                                     "Debug: End of timer proc for COPY1", "next event"}},
                      ProcedureCase{"Fails",
                                    false,
                                    false,
                                    -1,
                                    1,
                                    {"Debug: Timer for COPY1 activated...",
                                     "Debug: End of timer proc for COPY1", "next event"}},
                      ProcedureCase{"BusyCountsAsSuccess", true, false, 0, 0, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ScheduleTest, TimerDebuggingOffWritesNoDebugLines) {
  log.Configure(100, "", true);
  FakeCopy copy;
  EXPECT_EQ(copyTimerProcedure(&copy, log, false, nullptr)(0), 0);
  EXPECT_EQ(copyTimerProcedure(nullptr, log, true, nullptr)(0), 0);
  EXPECT_EQ(copy.retries.size(), 1u);
  EXPECT_TRUE(log.lines().empty());
}

TEST_F(ScheduleTest, TickForABusyDefinitionIsSkippedCountedAsSuccessAndNotRetried) {
  clock.set(local(2026, 1, 5, 7, 0));
  FakeCopy copy;
  copy.busy = true;
  copy.succeed = false;
  TimerSchedule timer = schedule(2026, 1, 5, 8, 0);
  every(timer, 1, 0, 0);
  timer.retryCount = 2;
  timer.retryInterval = 600;
  TimerEntry entry(copyTimerProcedure(&copy, log, false, nullptr));
  scheduleTimerEntry(entry, timer, "COPY1", false, log);

  tickUntil(local(2026, 1, 5, 9, 0));

  EXPECT_TRUE(copy.retries.empty());
  EXPECT_EQ(entry.fireCount(), 1);
  EXPECT_EQ(entry.successCount(), 1);
  EXPECT_FALSE(entry.retrying());
  EXPECT_EQ(localText(entry.nextTime()), "2026-01-06 08:00:00");
}

struct DebugLinesCase {
  const char* name;
  long everyMinutes;  // -1: no EVERY
  bool timerDebugging;
  std::vector<const char*> expectedLines;
};
void PrintTo(const DebugLinesCase& c, std::ostream* out) { *out << c.name; }

class EntryDebugLines : public ScheduleTest,
                        public ::testing::WithParamInterface<DebugLinesCase> {};

TEST_P(EntryDebugLines, NameTheStartDaysAndInterval) {
  const DebugLinesCase& c = GetParam();
  log.Configure(100, "", true);
  clock.set(local(2029, 12, 31, 12, 0));
  TimerSchedule timer = schedule(2030, 1, 1, 8, 5);
  if (c.everyMinutes >= 0) every(timer, 0, 0, c.everyMinutes);
  timer.days = "YYYYYNN";
  TimerEntry entry(recorder());
  ASSERT_TRUE(scheduleTimerEntry(entry, timer, "COPY1", c.timerDebugging, log));
  EXPECT_EQ(messagesOf(log), strings(c.expectedLines));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EntryDebugLines,
    ::testing::Values(
        DebugLinesCase{"SingleTime",
                       -1,
                       true,
                       {"Debug: TimerUnit [COPY1] start=2030-01-01 08:05 days=YYYYYNN"}},
        DebugLinesCase{"Daily",
                       1440,
                       true,
                       {"Debug: TimerUnit [COPY1] start=2030-01-01 08:05 days=YYYYYNN",
                        "Debug: TimerUnit [COPY1/NIGHTLY] every=0001-00:00"}},
        DebugLinesCase{"DaysHoursMinutes",
                       2 * 1440 + 3 * 60 + 5,
                       true,
                       {"Debug: TimerUnit [COPY1] start=2030-01-01 08:05 days=YYYYYNN",
                        "Debug: TimerUnit [COPY1/NIGHTLY] every=0002-03:05"}},
        DebugLinesCase{"TimerDebuggingOff", 1440, false, {}}),
    [](const auto& info) { return std::string(info.param.name); });

struct DaylightSavingCase {
  const char* name;
  CivilTime start;                        // local
  long everyMinutes;                      // -1: no EVERY
  CivilTime from;                         // local clock at set-up
  CivilTime until;                        // local clock at the end
  std::vector<const char*> expectedRuns;  // UTC
};
void PrintTo(const DaylightSavingCase& c, std::ostream* out) { *out << c.name; }

class DaylightSaving : public ScheduleTest,
                       public ::testing::WithParamInterface<DaylightSavingCase> {};

// In Berlin 2026 the clock goes from 02:00 to 03:00 on March 29 (UTC+1 to
// UTC+2) and from 03:00 back to 02:00 on October 25.
TEST_P(DaylightSaving, RunsKeepTheirClockTime) {
  const DaylightSavingCase& c = GetParam();
  clock.set(momentAt(wallClockOf(c.from)));
  TimerSchedule timer =
      schedule(c.start.year, c.start.month, c.start.day, c.start.hour, c.start.minute);
  if (c.everyMinutes >= 0) every(timer, 0, 0, c.everyMinutes);
  TimerEntry entry(recorder());
  scheduleTimerEntry(entry, timer, "COPY1", false, log);

  tickUntil(momentAt(wallClockOf(c.until)));

  EXPECT_EQ(runMoments(), strings(c.expectedRuns));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DaylightSaving,
    ::testing::Values(
        DaylightSavingCase{"DailyIntoSummerTime",
                           {2026, 3, 27, 8, 0},
                           1440,
                           {2026, 3, 27, 0, 0},
                           {2026, 3, 30, 12, 0},
                           {"2026-03-27 07:00:00Z", "2026-03-28 07:00:00Z", "2026-03-29 06:00:00Z",
                            "2026-03-30 06:00:00Z"}},
        DaylightSavingCase{
            "DailyIntoWinterTime",
            {2026, 10, 24, 8, 0},
            1440,
            {2026, 10, 24, 0, 0},
            {2026, 10, 26, 12, 0},
            {"2026-10-24 06:00:00Z", "2026-10-25 07:00:00Z", "2026-10-26 07:00:00Z"}},
        // 02:30 does not exist on March 29: that run happens when the clock jumps to 03:00.
        DaylightSavingCase{
            "DailyInTheSkippedHour",
            {2026, 3, 28, 2, 30},
            1440,
            {2026, 3, 28, 0, 0},
            {2026, 3, 30, 12, 0},
            {"2026-03-28 01:30:00Z", "2026-03-29 01:00:00Z", "2026-03-30 00:30:00Z"}},
        // 02:30 comes twice on October 25: it runs at the first.
        DaylightSavingCase{
            "DailyInTheRepeatedHour",
            {2026, 10, 24, 2, 30},
            1440,
            {2026, 10, 24, 0, 0},
            {2026, 10, 26, 12, 0},
            {"2026-10-24 00:30:00Z", "2026-10-25 00:30:00Z", "2026-10-26 01:30:00Z"}},
        // The 02:00 run falls into the gap and coincides with the 03:00 run: one run.
        DaylightSavingCase{"HourlyIntoSummerTime",
                           {2026, 3, 29, 0, 0},
                           60,
                           {2026, 3, 28, 23, 0},
                           {2026, 3, 29, 4, 30},
                           {"2026-03-28 23:00:00Z", "2026-03-29 00:00:00Z", "2026-03-29 01:00:00Z",
                            "2026-03-29 02:00:00Z"}},
        // The clock shows 02:00 twice; the hour between the two is not run again.
        DaylightSavingCase{"HourlyIntoWinterTime",
                           {2026, 10, 25, 0, 0},
                           60,
                           {2026, 10, 24, 23, 0},
                           {2026, 10, 25, 4, 30},
                           {"2026-10-24 22:00:00Z", "2026-10-24 23:00:00Z", "2026-10-25 00:00:00Z",
                            "2026-10-25 02:00:00Z", "2026-10-25 03:00:00Z"}},
        // The start time counts on the clock of the start day, not from its midnight.
        DaylightSavingCase{"StartOnTheChangeDay",
                           {2026, 3, 29, 8, 0},
                           -1,
                           {2026, 3, 28, 12, 0},
                           {2026, 3, 30, 0, 0},
                           {"2026-03-29 06:00:00Z"}},
        DaylightSavingCase{"StartOnTheChangeBackDay",
                           {2026, 10, 25, 8, 0},
                           -1,
                           {2026, 10, 24, 12, 0},
                           {2026, 10, 26, 0, 0},
                           {"2026-10-25 07:00:00Z"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kestrel::test
