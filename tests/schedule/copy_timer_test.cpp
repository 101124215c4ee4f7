// The timer entries of real copy definitions: created and registered when a
// script is loaded with the program's scheduler, run against SQLite when a
// tick finds them due, skipped while busy, and kept from re-entering while a
// run pumps messages. Also the tick loop of kestrel --service.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "base/parameter_file.h"
#include "engine/copy_definition.h"
#include "engine/definition_factory.h"
#include "engine/edit_definition.h"
#include "odbc_test_folder.h"
#include "schedule/lock_definition.h"
#include "schedule/loop_tick_source.h"
#include "schedule_fixture.h"
#include "script/definitions.h"
#include "script/script_reader.h"

namespace kestrel::test {
namespace {

// A copy from table A of one SQLite database to table B of another, with
// AUTORUN on the given timer paragraph.
std::string copyParagraph(const std::string& name, const std::string& timer) {
  return "COPYDEFINITION: " + name + "\n  FROM " + OdbcTestFolder::kSqliteA + " TABLE=A\n  TO " +
         OdbcTestFolder::kSqliteB +
         " TABLE=B UPDATE=KEYS\n  COPY K KEY=YES\n  COPY NAME\n  AUTORUN " + timer + "\n";
}

long countRows(const TestDatabase& db, const std::string& table) {
  std::vector<Row> rows;
  std::string error = querySql(db, "SELECT COUNT(*) FROM " + table, &rows);
  if (!error.empty() || rows.empty() || !rows[0][0]) return -1;
  return std::stol(*rows[0][0]);
}

long countLines(const MessageLog& log, const std::string& part) {
  std::vector<std::string> messages = messagesOf(log);
  return std::count_if(messages.begin(), messages.end(), [&](const std::string& message) {
    return message.find(part) != std::string::npos;
  });
}

// Two SQLite databases with a source table of three rows and an empty target,
// the program's options (temporary file in the test folder), and a script
// loaded with the fixture's scheduler on a clock at Monday 2026-01-05 12:00.
class CopyTimerTest : public ScheduleTest {
 protected:
  CopyTimerTest() : options(profile) {
    DefineKestrelOptions(options);
    options.ProcessCommandLine("TempFile=" + folder.file("kestrel.tmp"));
    setProgramOptions(&options);
  }
  ~CopyTimerTest() override { setProgramOptions(nullptr); }

  void SetUp() override {
    ScheduleTest::SetUp();
    if (IsSkipped()) return;
    ASSERT_EQ(execSql(source, {"CREATE TABLE A (K INTEGER, NAME VARCHAR(20))",
                               "INSERT INTO A VALUES (1, 'one')", "INSERT INTO A VALUES (2, 'two')",
                               "INSERT INTO A VALUES (3, 'three')"}),
              "");
    ASSERT_EQ(execSql(target, {"CREATE TABLE B (K INTEGER, NAME VARCHAR(20))"}), "");
  }

  // Loads the script (written with the folder's plain data source names)
  // with TimerDebugging and DebugMode as given.
  bool load(const std::string& text, bool debugging = false) {
    options.ProcessCommandLine(std::string("TimerDebugging=") + (debugging ? "1" : "0") +
                               ",DebugMode=" + (debugging ? "1" : "0"));
    log.Configure(1000, "", debugging);
    std::string path = folder.file("script.txt");
    std::ofstream(path) << folder.withFolderNames(text);
    ScriptReader reader(log, &options);
    reader.setFactory(&runnableDefinitions());
    reader.setModel(&model);
    reader.setScheduler(&scheduler);
    return reader.Load(path) && !model.empty();
  }

  CopyDefinition* copy(const std::string& name) {
    return static_cast<CopyDefinition*>(model.Find(kCopyKind, name));
  }

  OdbcTestFolder folder;
  TestDatabase source = folder.sqlite(OdbcTestFolder::kSqliteA);
  TestDatabase target = folder.sqlite(OdbcTestFolder::kSqliteB);
  MemoryProfile profile;
  ParameterFile options;
  ScriptModel model{log};
};

struct ResolveCase {
  const char* name;
  const char* timer;
  bool debugging;
  bool registered;
  const char* nextTime;  // local; "" when never
  std::vector<const char*> debugLines;
};
void PrintTo(const ResolveCase& c, std::ostream* out) { *out << c.name; }

class ResolveTimerEntry : public CopyTimerTest,
                          public ::testing::WithParamInterface<ResolveCase> {};

TEST_P(ResolveTimerEntry, CreatesTheEntryAndRegistersItWhenItWillRun) {
  const ResolveCase& c = GetParam();
  ASSERT_TRUE(load(copyParagraph("C", "NIGHTLY") + "TIMERDEFINITION: NIGHTLY\n  " + c.timer + "\n",
                   c.debugging))
      << ::testing::PrintToString(messagesOf(log));

  CopyDefinition* definition = copy("C");
  ASSERT_NE(definition, nullptr);
  ASSERT_NE(definition->timerUnit, nullptr);
  TimerEntry* entry = definition->timerUnit.get();
  if (c.registered) {
    EXPECT_EQ(scheduler.entries(), std::vector<TimerEntry*>{entry});
    EXPECT_EQ(entry->scheduler(), &scheduler);
  } else {
    EXPECT_EQ(scheduler.entryCount(), 0);
    EXPECT_EQ(entry->scheduler(), nullptr);
  }
  EXPECT_EQ(entry->nextTime() ? localText(entry->nextTime()) : "", c.nextTime);
  std::vector<std::string> timerUnitLines;
  for (const std::string& message : messagesOf(log)) {
    if (message.starts_with("Debug: TimerUnit")) timerUnitLines.push_back(message);
  }
  EXPECT_EQ(timerUnitLines, strings(c.debugLines));

  // The entry lives and dies with its definition.
  model.Clear();
  EXPECT_EQ(scheduler.entryCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ResolveTimerEntry,
    ::testing::Values(
        ResolveCase{"HourlyWithDebugLines",
                    "START 2026-01-05 TIME=13:00 EVERY=0-01:00",
                    true,
                    true,
                    "2026-01-05 13:00:00",
                    {"Debug: TimerUnit [C] start=2026-01-05 13:00 days=YYYYYYY",
                     "Debug: TimerUnit [C/NIGHTLY] every=0000-01:00"}},
        ResolveCase{"StartInThePastMovesOn",
                    "START 2026-01-01 TIME=02:30 EVERY=1-00:00 DAYS=YYYYYNN",
                    true,
                    true,
                    "2026-01-06 02:30:00",
                    {"Debug: TimerUnit [C] start=2026-01-01 02:30 days=YYYYYNN",
                     "Debug: TimerUnit [C/NIGHTLY] every=0001-00:00"}},
        ResolveCase{
            "DebuggingOff", "START 2026-01-05 TIME=13:00", false, true, "2026-01-05 13:00:00", {}},
        ResolveCase{"SingleTimeAlreadyPassed", "START 2026-01-05 TIME=11:00", true, false, "", {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CopyTimerTest, DueTickRunsTheCopyAndWritesTheNextEvent) {
  ASSERT_TRUE(load(copyParagraph("C", "HOURLY") +
                       "TIMERDEFINITION: HOURLY\n  START 2026-01-05 TIME=13:00 EVERY=0-01:00\n",
                   true))
      << ::testing::PrintToString(messagesOf(log));
  TimerEntry& entry = *copy("C")->timerUnit;

  tickUntil(local(2026, 1, 5, 12, 59));
  EXPECT_EQ(entry.fireCount(), 0);
  EXPECT_EQ(countRows(target, "B"), 0);

  tickUntil(local(2026, 1, 5, 13, 0));
  EXPECT_EQ(entry.fireCount(), 1);
  EXPECT_EQ(entry.successCount(), 1);
  EXPECT_EQ(countRows(target, "B"), 3);
  std::vector<std::string> messages = messagesOf(log);
  auto activated = std::find(messages.begin(), messages.end(), "Debug: Timer for C activated...");
  ASSERT_NE(activated, messages.end());
  auto ended = std::find(activated, messages.end(), "Debug: End of timer proc for C");
  ASSERT_NE(ended, messages.end());
  EXPECT_EQ(countLines(log, "Output table statistics: "), 1);
  ASSERT_NE(ended + 1, messages.end());
  EXPECT_EQ(*(ended + 1), "Next scheduled event at 2026-01-05 14:00:00");
  EXPECT_TRUE(scheduler.isActive());
  EXPECT_TRUE(ticks.running);
}

TEST_F(CopyTimerTest, TickForABusyDefinitionIsSkippedAndCountsAsSuccess) {
  ASSERT_TRUE(load(copyParagraph("C", "HOURLY") +
                   "TIMERDEFINITION: HOURLY\n  START 2026-01-05 TIME=13:00 EVERY=0-01:00\n"
                   "  RETRY 2 INTERVAL=00:10\n"))
      << ::testing::PrintToString(messagesOf(log));
  CopyDefinition& definition = *copy("C");
  TimerEntry& entry = *definition.timerUnit;
  definition.busy = true;

  tickUntil(local(2026, 1, 5, 13, 30));

  EXPECT_EQ(entry.fireCount(), 1);
  EXPECT_EQ(entry.successCount(), 1);
  EXPECT_EQ(entry.lastResult(), 0);
  EXPECT_FALSE(entry.retrying());
  EXPECT_EQ(countLines(log, "Starting processing copy definition"), 0);
  EXPECT_EQ(countRows(target, "B"), 0);
  EXPECT_EQ(localText(entry.nextTime()), "2026-01-05 14:00:00");
}

TEST_F(CopyTimerTest, RunAfterStopTimerRestartsTheScheduler) {
  ASSERT_TRUE(load(copyParagraph("C", "DAILY") +
                   "TIMERDEFINITION: DAILY\n  START 2026-01-06 TIME=02:00 EVERY=1-00:00\n"))
      << ::testing::PrintToString(messagesOf(log));
  scheduler.stop();
  ASSERT_FALSE(scheduler.isActive());

  EXPECT_TRUE(model.RunAll(nullptr)) << ::testing::PrintToString(messagesOf(log));

  EXPECT_TRUE(scheduler.isActive());
  EXPECT_TRUE(ticks.running);
  EXPECT_EQ(countRows(target, "B"), 3);
}

// Messages pumped between rows may hold ticks of the timer that were queued
// before it was stopped; this pump delivers one at every row.
class TickingPump final : public MessagePump {
 public:
  explicit TickingPump(TimerScheduler& scheduler) : scheduler_(scheduler) {
    setProgramMessagePump(this);
  }
  ~TickingPump() override { setProgramMessagePump(nullptr); }
  void pumpMessages() override {
    ++pumps;
    if (scheduler_.isActive()) ++pumpsWhileActive;
    TimerScheduler::tick(scheduler_.timerId());
  }
  int pumps = 0;
  int pumpsWhileActive = 0;

 private:
  TimerScheduler& scheduler_;
};

TEST_F(CopyTimerTest, TicksPumpedDuringATimerRunDoNotReenter) {
  ASSERT_TRUE(load(copyParagraph("C1", "HOURLY") + copyParagraph("C2", "HOURLY") +
                   "TIMERDEFINITION: HOURLY\n  START 2026-01-05 TIME=13:00 EVERY=0-01:00\n"))
      << ::testing::PrintToString(messagesOf(log));
  TickingPump pump(scheduler);

  tickUntil(local(2026, 1, 5, 13, 0));

  EXPECT_GT(pump.pumps, 0);
  EXPECT_EQ(pump.pumpsWhileActive, 0);
  EXPECT_EQ(copy("C1")->timerUnit->fireCount(), 1);
  EXPECT_EQ(copy("C2")->timerUnit->fireCount(), 1);
  EXPECT_EQ(countLines(log, "Starting processing copy definition"), 2);
  EXPECT_TRUE(scheduler.isActive());
}

TEST_F(CopyTimerTest, TicksPumpedDuringRunAllStartNoOtherDefinition) {
  ASSERT_TRUE(load(copyParagraph("C1", "HOURLY") + copyParagraph("C2", "HOURLY") +
                   "TIMERDEFINITION: HOURLY\n  START 2026-01-05 TIME=13:00 EVERY=0-01:00\n"))
      << ::testing::PrintToString(messagesOf(log));
  clock.set(local(2026, 1, 5, 13, 0));  // both due, but not yet ticked
  TickingPump pump(scheduler);

  EXPECT_TRUE(model.RunAll(nullptr)) << ::testing::PrintToString(messagesOf(log));

  EXPECT_GT(pump.pumps, 0);
  EXPECT_EQ(pump.pumpsWhileActive, 0);
  EXPECT_EQ(copy("C1")->timerUnit->fireCount(), 0);
  EXPECT_EQ(copy("C2")->timerUnit->fireCount(), 0);
  EXPECT_EQ(countLines(log, "Starting processing copy definition"), 2);
  EXPECT_TRUE(scheduler.isActive());
}

TEST(LoopTickSource, TicksUntilAskedToStopAndNotWhileStopped) {
  using namespace std::chrono;
  LoopTickSource source;
  EXPECT_FALSE(source.start(0, [] {}));
  int ticksSeen = 0;
  ASSERT_TRUE(source.start(20, [&] { ++ticksSeen; }));
  steady_clock::time_point began = steady_clock::now();
  source.run([&] { return ticksSeen == 3; }, 5);
  EXPECT_GE(steady_clock::now() - began, milliseconds(55));

  // A stopped source delivers nothing; a tick may stop and restart it.
  source.stop();
  began = steady_clock::now();
  source.run([&] { return steady_clock::now() - began > milliseconds(80); }, 5);
  EXPECT_EQ(ticksSeen, 3);

  int restarts = 0;
  std::function<void()> onTick = [&] {
    ++restarts;
    source.stop();
    source.start(10, onTick);
  };
  ASSERT_TRUE(source.start(10, onTick));
  source.run([&] { return restarts == 3; }, 5);
  EXPECT_EQ(restarts, 3);
  EXPECT_TRUE(source.running());
}

}  // namespace
}  // namespace kestrel::test
