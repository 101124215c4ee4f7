// The scheduler itself: timer identifiers, starting and stopping its system
// timer, which ticks reach which entries, the guard against nested passes, and
// the registration of entries.

#include <gtest/gtest.h>

#include <memory>

#include "schedule_fixture.h"

namespace kestrel::test {
namespace {

TEST(TimerIdentifiers, LowestFreeSlotAnd255WhenAllAreTaken) {
  std::vector<std::unique_ptr<TimerScheduler>> schedulers;
  for (int i = 0; i < TimerScheduler::kTimerIdCount; ++i) {
    schedulers.push_back(std::make_unique<TimerScheduler>(nullptr, 1000));
    ASSERT_EQ(schedulers.back()->timerId(), i);
  }
  TimerScheduler overflow(nullptr, 1000);
  EXPECT_EQ(overflow.timerId(), 255);

  schedulers[7].reset();
  schedulers[3].reset();
  TimerScheduler third(nullptr, 1000);
  TimerScheduler seventh(nullptr, 1000);
  EXPECT_EQ(third.timerId(), 3);
  EXPECT_EQ(seventh.timerId(), 7);
}

TEST_F(ScheduleTest, CreatingStartsTheTimerAtOnce) {
  EXPECT_TRUE(scheduler.isActive());
  EXPECT_TRUE(ticks.running);
  EXPECT_EQ(ticks.interval, 10000);
  EXPECT_EQ(ticks.starts, 1);
}

TEST_F(ScheduleTest, StoppedSchedulerIgnoresTicksUntilStartedAgain) {
  clock.set(local(2026, 1, 5, 7, 0));
  TimerEntry entry(recorder());
  scheduleTimerEntry(entry, schedule(2026, 1, 5, 8, 0), "COPY1", false, log);

  scheduler.stop();
  scheduler.stop();
  EXPECT_FALSE(scheduler.isActive());
  EXPECT_EQ(ticks.stops, 1);
  clock.set(local(2026, 1, 5, 8, 30));
  TimerScheduler::tick(scheduler.timerId());  // a tick still queued when the timer was killed
  EXPECT_TRUE(runs.empty());

  scheduler.start();
  scheduler.start();
  EXPECT_TRUE(scheduler.isActive());
  EXPECT_EQ(ticks.starts, 2);
  ticks.tick();
  EXPECT_EQ(runs.size(), 1u);
}

TEST_F(ScheduleTest, TimerThatCannotBeSetLeavesTheSchedulerInactive) {
  FakeTickSource refusing;
  refusing.refuse = true;
  TimerScheduler unstarted(&refusing, 500);
  EXPECT_FALSE(unstarted.isActive());
  unstarted.stop();
  EXPECT_EQ(refusing.stops, 0);

  refusing.refuse = false;
  unstarted.start();
  EXPECT_TRUE(unstarted.isActive());
  EXPECT_EQ(refusing.interval, 500);

  TimerScheduler ownerless(nullptr, 500);
  ownerless.start();
  EXPECT_FALSE(ownerless.isActive());
}

TEST_F(ScheduleTest, TickReachesOnlySchedulersWithItsIdentifier) {
  clock.set(local(2026, 1, 5, 7, 0));
  FakeTickSource otherTicks;
  TimerScheduler other(&otherTicks, 10000);
  TimerEntry mine(recorder());
  int otherRuns = 0;
  TimerEntry theirs([&otherRuns](int) { return ++otherRuns, 0; });
  scheduleTimerEntry(mine, schedule(2026, 1, 5, 8, 0), "COPY1", false, log);
  TimerSchedule timer = schedule(2026, 1, 5, 8, 0);
  timer.scheduler = &other;
  scheduleTimerEntry(theirs, timer, "COPY2", false, log);

  clock.set(local(2026, 1, 5, 8, 0));
  TimerScheduler::tick(scheduler.timerId());
  EXPECT_EQ(runs.size(), 1u);
  EXPECT_EQ(otherRuns, 0);
  otherTicks.tick();
  EXPECT_EQ(otherRuns, 1);
}

// A run pumps window messages, so ticks arrive while it is in progress.
TEST_F(ScheduleTest, TickDuringARunDoesNotStartAnotherPass) {
  clock.set(local(2026, 1, 5, 7, 0));
  bool busyDuringRun = false;
  bool insideFirst = false;
  std::vector<bool> secondRunInsideFirst;
  TimerEntry first([&](int) {
    insideFirst = true;
    busyDuringRun = scheduler.busy();
    clock.advance(600);
    ticks.tick();
    insideFirst = false;
    return 0;
  });
  TimerEntry second([&](int) { return secondRunInsideFirst.push_back(insideFirst), 0; });
  scheduleTimerEntry(first, schedule(2026, 1, 5, 8, 0), "COPY1", false, log);
  scheduleTimerEntry(second, schedule(2026, 1, 5, 8, 5), "COPY2", false, log);

  tickUntil(local(2026, 1, 5, 8, 0));

  EXPECT_TRUE(busyDuringRun);
  EXPECT_EQ(first.fireCount(), 1);
  EXPECT_EQ(secondRunInsideFirst, std::vector<bool>{false});  // by the outer pass
  EXPECT_FALSE(scheduler.busy());
}

// A copy definition with AUTORUN stops the scheduler for its run and starts it
// again at the end; the pass goes on with the next entry.
TEST_F(ScheduleTest, RunThatStopsAndRestartsTheSchedulerLeavesItActive) {
  clock.set(local(2026, 1, 5, 7, 0));
  bool activeDuringRun = true;
  TimerEntry first([&](int) {
    scheduler.stop();
    activeDuringRun = scheduler.isActive();
    ticks.tick();
    scheduler.start();
    return 0;
  });
  TimerEntry second(recorder());
  scheduleTimerEntry(first, schedule(2026, 1, 5, 8, 0), "COPY1", false, log);
  scheduleTimerEntry(second, schedule(2026, 1, 5, 8, 0), "COPY2", false, log);

  tickUntil(local(2026, 1, 5, 8, 0));

  EXPECT_FALSE(activeDuringRun);
  EXPECT_TRUE(scheduler.isActive());
  EXPECT_EQ(first.fireCount(), 1);
  EXPECT_EQ(runs.size(), 1u);
}

TEST_F(ScheduleTest, RunThatDestroysTheSchedulerEndsThePass) {
  clock.set(local(2026, 1, 5, 7, 0));
  FakeTickSource ownTicks;
  auto doomed = std::make_unique<TimerScheduler>(&ownTicks, 10000);
  TimerEntry first([&](int) { return doomed.reset(), 0; });
  TimerEntry second(recorder());
  TimerSchedule timer = schedule(2026, 1, 5, 8, 0);
  timer.scheduler = doomed.get();
  scheduleTimerEntry(first, timer, "COPY1", false, log);
  scheduleTimerEntry(second, timer, "COPY2", false, log);

  clock.set(local(2026, 1, 5, 8, 0));
  ownTicks.tick();

  EXPECT_EQ(first.fireCount(), 1);
  EXPECT_TRUE(runs.empty());
  EXPECT_EQ(second.scheduler(), nullptr);
}

TEST_F(ScheduleTest, EntryRemovedByAnEarlierRunIsNotChecked) {
  clock.set(local(2026, 1, 5, 7, 0));
  auto second = std::make_unique<TimerEntry>(recorder());
  TimerEntry first([&](int) { return second.reset(), 0; });
  scheduleTimerEntry(first, schedule(2026, 1, 5, 8, 0), "COPY1", false, log);
  scheduleTimerEntry(*second, schedule(2026, 1, 5, 8, 0), "COPY2", false, log);

  tickUntil(local(2026, 1, 5, 8, 0));

  EXPECT_TRUE(runs.empty());
  EXPECT_EQ(scheduler.entryCount(), 1);
}

TEST_F(ScheduleTest, AddRemoveAndDestroyKeepTheRegistrationsStraight) {
  FakeTickSource otherTicks;
  TimerScheduler other(&otherTicks, 10000);
  TimerEntry a(recorder()), b(recorder());
  scheduler.add(&a);
  scheduler.add(&b);
  other.add(&a);  // moves it
  EXPECT_EQ(scheduler.entries(), std::vector<TimerEntry*>{&b});
  EXPECT_EQ(other.entries(), std::vector<TimerEntry*>{&a});
  EXPECT_EQ(a.scheduler(), &other);

  scheduler.add(&a);
  EXPECT_EQ(scheduler.entries(), (std::vector<TimerEntry*>{&b, &a}));
  EXPECT_EQ(other.entryCount(), 0);

  scheduler.remove(&b);
  scheduler.remove(&b);
  EXPECT_EQ(scheduler.entryCount(), 1);
  EXPECT_EQ(b.scheduler(), nullptr);

  {
    TimerEntry shortLived(recorder());
    scheduler.add(&shortLived);
    EXPECT_EQ(scheduler.entryCount(), 2);
  }
  EXPECT_EQ(scheduler.entryCount(), 1);

  scheduler.destroy();
  EXPECT_EQ(scheduler.entryCount(), 0);
  EXPECT_EQ(a.scheduler(), nullptr);
  EXPECT_FALSE(scheduler.isActive());
  scheduler.start();
  EXPECT_FALSE(scheduler.isActive());
}

TEST_F(ScheduleTest, OwnedEntryIsDeletedWhenRemovedButNotWhenMoved) {
  FakeTickSource otherTicks;
  TimerScheduler other(&otherTicks, 10000);
  auto alive = std::make_shared<int>(0);
  std::weak_ptr<int> watch = alive;
  auto* owned = new TimerEntry([alive = std::move(alive)](int) { return 0; });
  owned->setOwnedByScheduler(true);
  scheduler.add(owned);

  other.add(owned);
  EXPECT_FALSE(watch.expired());
  EXPECT_TRUE(owned->ownedByScheduler());

  other.remove(owned);
  EXPECT_TRUE(watch.expired());
}

TEST_F(ScheduleTest, NextEventIsTheEarliestTimeThatWillRun) {
  clock.set(local(2026, 1, 5, 7, 0));
  TimerEntry finished(recorder()), later(recorder()), earlier(recorder()), disabled(recorder());
  scheduleTimerEntry(finished, schedule(2026, 1, 5, 7, 30), "DONE", false, log);
  scheduleTimerEntry(later, schedule(2026, 1, 7, 9, 0), "LATER", false, log);
  scheduleTimerEntry(earlier, schedule(2026, 1, 6, 9, 0), "EARLIER", false, log);
  scheduleTimerEntry(disabled, schedule(2026, 1, 5, 10, 0), "OFF", false, log);
  disabled.setEnabled(false);

  // The first entry runs and has no further time; the others still count.
  tickUntil(local(2026, 1, 5, 8, 0));
  ASSERT_EQ(finished.nextTime(), 0);
  std::time_t next = 0;
  ASSERT_TRUE(scheduler.nextEvent(next));
  EXPECT_EQ(localText(next), "2026-01-06 09:00:00");

  logNextEvent(log, &scheduler);
  logNextEvent(log, nullptr);
  EXPECT_EQ(messagesOf(log), strings({"Next scheduled event at 2026-01-06 09:00:00"}));
}

TEST_F(ScheduleTest, NextEventLeavesPendingRetriesOut) {
  clock.set(local(2026, 1, 5, 7, 0));
  outcome = [](int) { return -1; };
  TimerSchedule timer = schedule(2026, 1, 5, 8, 0);
  every(timer, 1, 0, 0);
  timer.retryCount = 1;
  timer.retryInterval = 600;
  TimerEntry entry(recorder());
  scheduleTimerEntry(entry, timer, "COPY1", false, log);

  tickUntil(local(2026, 1, 5, 8, 1));
  ASSERT_TRUE(entry.retrying());
  EXPECT_EQ(localText(entry.retryTime()), "2026-01-05 08:10:00");
  std::time_t next = 0;
  ASSERT_TRUE(scheduler.nextEvent(next));
  EXPECT_EQ(localText(next), "2026-01-06 08:00:00");
}

}  // namespace
}  // namespace kestrel::test
