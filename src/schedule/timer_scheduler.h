#pragma once
// The timer scheduler: copy definitions with AUTORUN run by themselves. The
// program has one TimerScheduler, owned by the main window, that ticks every
// PollInterval milliseconds and on each tick checks every TimerEntry registered
// with it. A TimerEntry ties one copy definition to the schedule of its timer
// definition: when its time has come it calls its timer procedure, and after a
// failed run it schedules the retries.
//
// Everything runs on the user-interface thread. A run pumps window messages,
// so a tick can arrive while a timer-driven run is in progress; the scheduler's
// busy flag refuses a nested pass over the entries.
//
// Schedule times are local wall-clock readings (see local_time.h): a run set
// for 08:00 every day happens at 08:00 on the clock before and after a
// daylight-saving change. A run whose clock time is skipped when summer time
// begins happens when the clock jumps past it (02:30 runs at 03:00); a clock
// time that occurs twice when summer time ends runs once, at its first
// occurrence. Retry distances are elapsed time.

#include <ctime>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/local_time.h"

namespace kestrel {

class MessageLog;
class TimerScheduler;

// The system timer of the window that owns a scheduler. The program implements
// it with a Qt timer; tests with a fake they tick by hand. One tick source
// serves one scheduler: a second start replaces the first.
class TickSource {
 public:
  virtual ~TickSource() = default;
  // Calls onTick every intervalMs milliseconds on the user-interface thread
  // until stop. False when the timer cannot be set; nothing ticks then.
  virtual bool start(int intervalMs, std::function<void()> onTick) = 0;
  virtual void stop() = 0;
};

// The procedure an entry calls when its time has come, with the retry number
// (0 for a scheduled run, 1, 2, ... for retries). Returns 0 for success and
// anything else for failure.
using TimerProcedure = std::function<int(int retryNumber)>;

class TimerEntry {
 public:
  // Enabled, every weekday allowed, no start time (never due) until setStart.
  explicit TimerEntry(TimerProcedure procedure);
  // Unregisters the entry from its scheduler.
  ~TimerEntry();
  TimerEntry(const TimerEntry&) = delete;
  TimerEntry& operator=(const TimerEntry&) = delete;

  // The first scheduled moment; later runs follow on the wall clock. 0 means none.
  void setStart(std::time_t time);
  // The first run on the calendar day of `date` (any moment of it, usually its
  // local midnight) when the clock shows `secondsAfterMidnight`.
  void setStart(std::time_t date, long secondsAfterMidnight);
  // Distance of the scheduled runs in seconds on the wall clock; 0 means one run only.
  void setInterval(long seconds);
  // Retries allowed after a failed run, and their distance in elapsed seconds.
  void setRetry(int count, long seconds);
  // Allowed weekdays, Monday first, 'Y' in either case allowing; the days past
  // the end of a text shorter than seven characters are not allowed.
  void setDays(std::string_view text);
  void setEnabled(bool enabled) { enabled_ = enabled; }
  // An owned entry is deleted by the scheduler when removed from it; it must
  // then have been created with new.
  void setOwnedByScheduler(bool owned) { ownedByScheduler_ = owned; }

  // Moves nextTime to the first scheduled time after now that falls on an
  // allowed weekday, looking at most one week ahead (a time further ahead is
  // taken whatever its weekday). Without interval the single time is kept only
  // while it lies in the future; otherwise nextTime becomes 0 for good.
  void advance();
  // True when the entry is disabled, has no next time, or its next time falls
  // on a weekday that is not allowed.
  bool dayNotAllowed() const;
  // One tick: fires a due retry, or a due scheduled run on an allowed weekday.
  void check();
  // Calls the procedure now, keeps the counters and schedules the retries.
  void fire();
  // Unregisters the entry without deleting it.
  void detach();

  int successCount() const { return successCount_; }
  int lastResult() const { return lastResult_; }
  int fireCount() const { return fireCount_; }
  std::time_t lastFired() const { return lastFired_; }
  long totalDuration() const { return totalDuration_; }
  long lastDuration() const { return lastDuration_; }
  std::time_t start() const { return start_; }
  // The wall-clock reading the start stands for (shown in debug lines).
  WallClock startReading() const { return startReading_; }
  std::time_t nextTime() const { return nextTime_; }
  std::time_t retryTime() const { return retryTime_; }
  long interval() const { return interval_; }
  long retryInterval() const { return retryInterval_; }
  const std::string& days() const { return days_; }
  bool enabled() const { return enabled_; }
  bool ownedByScheduler() const { return ownedByScheduler_; }
  bool retrying() const { return retrying_; }
  int retryCount() const { return retryCount_; }
  int retryNumber() const { return retryNumber_; }
  TimerScheduler* scheduler() const { return scheduler_; }

 private:
  friend class TimerScheduler;

  bool dayAllowed(WallClock reading) const;
  void step();

  int successCount_ = 0;
  int lastResult_ = 0;
  int fireCount_ = 0;
  std::time_t lastFired_ = 0;
  long totalDuration_ = 0;
  long lastDuration_ = 0;
  std::time_t start_ = 0;
  WallClock startReading_ = 0;
  std::time_t nextTime_ = 0;
  // The wall-clock reading nextTime stands for. Steps are added to it, not to
  // nextTime, so that a daylight-saving change never shifts later runs.
  WallClock nextReading_ = 0;
  std::time_t retryTime_ = 0;
  long interval_ = 0;
  long retryInterval_ = 0;
  TimerProcedure procedure_;
  std::string days_ = "YYYYYYY";
  bool enabled_ = true;
  bool ownedByScheduler_ = false;
  bool retrying_ = false;
  int retryCount_ = 0;
  int retryNumber_ = 0;
  TimerScheduler* scheduler_ = nullptr;
  // Set while fire runs the procedure, which may destroy the entry.
  bool* destroyedDuringFire_ = nullptr;
};

class TimerScheduler {
 public:
  static constexpr int kTimerIdCount = 256;

  // Takes the lowest free timer identifier and starts ticking at once. The
  // owner may be absent; the scheduler then never ticks. It must outlive the
  // scheduler.
  TimerScheduler(TickSource* owner, int intervalMs);
  // destroy()
  ~TimerScheduler();
  TimerScheduler(const TimerScheduler&) = delete;
  TimerScheduler& operator=(const TimerScheduler&) = delete;

  // Sets the owner's timer unless already active; a timer that cannot be set
  // leaves the scheduler inactive, and nothing is reported.
  void start();
  void stop();
  // Stops, releases the timer identifier and removes every entry. The
  // scheduler cannot be started again.
  void destroy();

  // Registers the entry at the end of the list, taking it from another
  // scheduler first.
  void add(TimerEntry* entry);
  // Unregisters the entry, deleting it when it is owned by the scheduler.
  // An entry that is not registered here is left alone.
  void remove(TimerEntry* entry);
  // The earliest next time of the entries that will run at it. Retries are
  // not considered.
  bool nextEvent(std::time_t& out) const;
  bool isActive() const { return active_; }

  // The tick procedure: a tick of the system timer with this identifier lets
  // every active scheduler with it check its entries, unless it is already
  // doing so.
  static void tick(int timerId);

  int timerId() const { return timerId_; }
  int interval() const { return interval_; }
  bool busy() const { return busy_; }
  int entryCount() const { return static_cast<int>(entries_.size()); }
  const std::vector<TimerEntry*>& entries() const { return entries_; }
  TickSource* owner() const { return owner_; }

 private:
  void checkEntries();

  std::vector<TimerEntry*> entries_;
  bool active_ = false;
  bool busy_ = false;
  bool systemTimer_ = false;
  int timerId_ = 0;
  // False when the identifier table was full and timerId_ is the shared 255,
  // which this scheduler must then not free.
  bool holdsTimerId_ = false;
  bool destroyed_ = false;
  int interval_ = 0;
  TickSource* owner_ = nullptr;
  // Set while a pass over the entries runs; an entry's run may destroy the scheduler.
  bool* destroyedDuringPass_ = nullptr;
};

// "Next scheduled event at YYYY-MM-DD HH:MM:SS" in local time.
std::string nextEventLine(std::time_t when);
// Writes the next-event line (Normal) when the scheduler has a next event;
// otherwise nothing. A null scheduler has none.
void logNextEvent(MessageLog& log, const TimerScheduler* scheduler);

// What the timer procedure of a copy definition needs of it. The names keep
// clear of the definition's own members.
class TimerTarget {
 public:
  virtual ~TimerTarget() = default;
  virtual std::string timerTargetName() const = 0;
  // True while a run of the definition is in progress.
  virtual bool timerTargetBusy() const = 0;
  // One run with the retry number; true when it succeeded.
  virtual bool runFromTimer(int retryNumber) = 0;
};

// The timer procedure given to the entry of a copy definition. It returns 0
// at once for a missing target, and for a busy one (the tick counts as a
// success and is not retried). Otherwise it runs the target between the two
// timer debug lines, then calls logNextEvent (the program's next-event line),
// and returns 0 when the run succeeded, -1 when it failed.
TimerProcedure copyTimerProcedure(TimerTarget* target, MessageLog& log, bool timerDebugging,
                                  std::function<void()> logNextEvent);

// The schedule values of a timer definition, as the entry of a copy
// definition takes them.
struct TimerSchedule {
  std::string timerName;
  std::time_t startDate = 0;  // a moment of the start day, usually its local midnight
  long startTime = 0;         // seconds after midnight
  bool startTimeGiven = false;
  long every = 0;  // seconds
  bool everyGiven = false;
  std::string days = "YYYYYYY";
  int retryCount = 0;
  long retryInterval = 900;  // seconds
  TimerScheduler* scheduler = nullptr;
};

// Sets up the entry of a copy definition named copyName from its timer's
// schedule and moves it to its first run after now. When it will ever run,
// the schedule has a scheduler and a start time, registers it there and, with
// timerDebugging, writes the entry's debug lines. Returns true when registered;
// an entry that is not registered exists but never fires.
bool scheduleTimerEntry(TimerEntry& entry, const TimerSchedule& schedule,
                        const std::string& copyName, bool timerDebugging, MessageLog& log);

}  // namespace kestrel
