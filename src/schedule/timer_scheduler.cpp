#include "schedule/timer_scheduler.h"

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdio>

#include "base/message_log.h"
#include "base/platform.h"

namespace kestrel {

namespace {

constexpr long kOneWeek = 7 * kSecondsPerDay;

// Program-wide: the schedulers whose system timer runs, newest start first,
// and which of the 256 timer identifiers are taken.
std::vector<TimerScheduler*> activeSchedulers;
std::array<bool, TimerScheduler::kTimerIdCount> timerIdUsed{};

std::time_t now() { return programClock().now(); }

std::string format(const char* pattern, ...) {
  va_list arguments;
  va_start(arguments, pattern);
  va_list again;
  va_copy(again, arguments);
  int length = std::vsnprintf(nullptr, 0, pattern, arguments);
  va_end(arguments);
  std::string text(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
  if (length > 0) std::vsnprintf(text.data(), text.size() + 1, pattern, again);
  va_end(again);
  return text;
}

template <typename T>
bool contains(const std::vector<T*>& list, const T* item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

}  // namespace

TimerEntry::TimerEntry(TimerProcedure procedure) : procedure_(std::move(procedure)) {}

TimerEntry::~TimerEntry() {
  if (destroyedDuringFire_) *destroyedDuringFire_ = true;
  detach();
}

void TimerEntry::setStart(std::time_t time) {
  start_ = nextTime_ = time;
  startReading_ = nextReading_ = wallClockAt(time);
}

void TimerEntry::setStart(std::time_t date, long secondsAfterMidnight) {
  startReading_ = nextReading_ = startOfDay(wallClockAt(date)) + secondsAfterMidnight;
  start_ = nextTime_ = momentAt(nextReading_);
}

void TimerEntry::setInterval(long seconds) { interval_ = seconds; }

void TimerEntry::setRetry(int count, long seconds) {
  retryCount_ = count;
  retryInterval_ = seconds;
}

void TimerEntry::setDays(std::string_view text) {
  days_ = "NNNNNNN";
  days_.replace(0, std::min<std::size_t>(text.size(), 7), text.substr(0, 7));
}

bool TimerEntry::dayAllowed(WallClock reading) const {
  char letter = days_[weekdayOf(reading)];
  return letter == 'Y' || letter == 'y';
}

bool TimerEntry::dayNotAllowed() const {
  return !enabled_ || nextTime_ == 0 || !dayAllowed(nextReading_);
}

void TimerEntry::step() {
  if (interval_ > 0) {
    nextReading_ += interval_;
    nextTime_ = momentAt(nextReading_);
  } else {
    nextTime_ = 0;
  }
}

void TimerEntry::advance() {
  if (nextTime_ == 0) return;
  std::time_t current = now();
  std::time_t limit = current + kOneWeek;
  // A schedule far behind the clock (a start date years ago with a short
  // interval) jumps to two days before now in one go; every time it passes
  // over lies before now and would be stepped over anyway.
  if (interval_ > 0 && nextTime_ <= current) {
    WallClock behind = wallClockAt(current) - 2 * kSecondsPerDay - nextReading_;
    if (behind > 0) {
      nextReading_ += behind / interval_ * interval_;
      nextTime_ = momentAt(nextReading_);
    }
  }
  while (nextTime_ != 0) {
    if (nextTime_ <= current || (nextTime_ <= limit && !dayAllowed(nextReading_))) {
      step();
    } else {
      break;
    }
  }
}

void TimerEntry::check() {
  std::time_t current = now();
  if (retrying_) {
    // The regular schedule waits while a retry is pending.
    if (retryTime_ <= current) fire();
    return;
  }
  if (nextTime_ == 0 || nextTime_ > current || !enabled_ || !procedure_) return;
  bool due = dayAllowed(nextReading_);
  advance();
  if (due) fire();
}

void TimerEntry::fire() {
  if (!procedure_) return;
  std::time_t began = now();
  lastFired_ = began;
  ++fireCount_;
  bool destroyed = false;
  destroyedDuringFire_ = &destroyed;
  int result = procedure_(retrying_ ? retryNumber_ : 0);
  if (destroyed) return;
  destroyedDuringFire_ = nullptr;

  std::time_t ended = now();
  lastResult_ = result;
  if (lastResult_ == 0) ++successCount_;
  lastDuration_ = static_cast<long>(ended - began);
  totalDuration_ += lastDuration_;
  if (lastResult_ != 0 && retryCount_ > 0 && retryInterval_ != 0) {
    if (!retrying_) retryNumber_ = 0;
    retrying_ = true;
    ++retryNumber_;
    if (retryNumber_ <= retryCount_) {
      retryTime_ = ended + retryInterval_;
      return;
    }
  }
  retrying_ = false;
}

void TimerEntry::detach() {
  if (!scheduler_) return;
  ownedByScheduler_ = false;
  scheduler_->remove(this);
}

TimerScheduler::TimerScheduler(TickSource* owner, int intervalMs)
    : interval_(intervalMs), owner_(owner) {
  auto freeSlot = std::find(timerIdUsed.begin(), timerIdUsed.end(), false);
  if (freeSlot != timerIdUsed.end()) {
    *freeSlot = true;
    timerId_ = static_cast<int>(freeSlot - timerIdUsed.begin());
    holdsTimerId_ = true;
  } else {
    timerId_ = kTimerIdCount - 1;
  }
  start();
}

TimerScheduler::~TimerScheduler() {
  if (destroyedDuringPass_) *destroyedDuringPass_ = true;
  destroy();
}

void TimerScheduler::start() {
  if (active_ || !owner_ || destroyed_) return;
  int id = timerId_;
  if (!owner_->start(interval_, [id] { TimerScheduler::tick(id); })) return;
  systemTimer_ = true;
  activeSchedulers.insert(activeSchedulers.begin(), this);
  active_ = true;
}

void TimerScheduler::stop() {
  if (!active_) return;
  if (systemTimer_ && owner_) owner_->stop();
  systemTimer_ = false;
  std::erase(activeSchedulers, this);
  active_ = false;
}

void TimerScheduler::destroy() {
  stop();
  if (holdsTimerId_) timerIdUsed[timerId_] = false;
  holdsTimerId_ = false;
  destroyed_ = true;
  while (!entries_.empty()) remove(entries_.front());
}

void TimerScheduler::add(TimerEntry* entry) {
  if (!entry) return;
  if (entry->scheduler_) {
    // Taken from its scheduler without being deleted there: it goes on here.
    bool owned = entry->ownedByScheduler_;
    entry->ownedByScheduler_ = false;
    entry->scheduler_->remove(entry);
    entry->ownedByScheduler_ = owned;
  }
  entries_.push_back(entry);
  entry->scheduler_ = this;
}

void TimerScheduler::remove(TimerEntry* entry) {
  auto found = std::find(entries_.begin(), entries_.end(), entry);
  if (found == entries_.end()) return;
  entries_.erase(found);
  entry->scheduler_ = nullptr;
  if (entry->ownedByScheduler_) delete entry;
}

bool TimerScheduler::nextEvent(std::time_t& out) const {
  bool found = false;
  for (const TimerEntry* entry : entries_) {
    if (entry->dayNotAllowed()) continue;
    if (!found || entry->nextTime_ < out) out = entry->nextTime_;
    found = true;
  }
  return found;
}

void TimerScheduler::tick(int timerId) {
  std::vector<TimerScheduler*> ticked;
  for (TimerScheduler* scheduler : activeSchedulers) {
    if (scheduler->timerId_ == timerId) ticked.push_back(scheduler);
  }
  for (TimerScheduler* scheduler : ticked) {
    // A pass before may have stopped or destroyed a later scheduler.
    if (contains(activeSchedulers, scheduler) && !scheduler->busy_) scheduler->checkEntries();
  }
}

void TimerScheduler::checkEntries() {
  busy_ = true;
  bool destroyed = false;
  destroyedDuringPass_ = &destroyed;
  // A run may add or remove entries, or destroy the scheduler; the pass goes
  // over the entries registered when it began that are still registered.
  std::vector<TimerEntry*> pass = entries_;
  for (TimerEntry* entry : pass) {
    if (!contains(entries_, entry)) continue;
    entry->check();
    if (destroyed) return;
  }
  destroyedDuringPass_ = nullptr;
  busy_ = false;
}

std::string nextEventLine(std::time_t when) {
  CivilTime local = civilTime(wallClockAt(when));
  return format("Next scheduled event at %04d-%02d-%02d %02d:%02d:%02d", local.year, local.month,
                local.day, local.hour, local.minute, local.second);
}

void logNextEvent(MessageLog& log, const TimerScheduler* scheduler) {
  std::time_t when = 0;
  if (scheduler && scheduler->nextEvent(when)) log.AddLine(nextEventLine(when), Normal);
}

TimerProcedure copyTimerProcedure(TimerTarget* target, MessageLog& log, bool timerDebugging,
                                  std::function<void()> logNextEvent) {
  MessageLog* out = &log;
  return [target, out, timerDebugging, logNextEvent = std::move(logNextEvent)](int retryNumber) {
    if (!target) return 0;
    if (target->timerTargetBusy()) return 0;
    std::string name = target->timerTargetName();
    if (timerDebugging) out->AddDebugLine("Timer for", name.c_str(), "activated...");
    bool ok = target->runFromTimer(retryNumber);
    if (timerDebugging) out->AddDebugLine("End of timer proc for", name.c_str());
    if (logNextEvent) logNextEvent();
    return ok ? 0 : -1;
  };
}

bool scheduleTimerEntry(TimerEntry& entry, const TimerSchedule& schedule,
                        const std::string& copyName, bool timerDebugging, MessageLog& log) {
  entry.setStart(schedule.startDate, schedule.startTime);
  if (schedule.everyGiven) entry.setInterval(schedule.every);
  entry.setDays(schedule.days);
  entry.setRetry(schedule.retryCount, schedule.retryInterval);
  entry.advance();
  if (entry.dayNotAllowed() || !schedule.scheduler || !schedule.startTimeGiven) return false;

  schedule.scheduler->add(&entry);
  if (timerDebugging) {
    CivilTime first = civilTime(entry.startReading());
    log.AddDebugLine(format("TimerUnit [%s] start=%04d-%02d-%02d %02d:%02d days=%s",
                            copyName.c_str(), first.year, first.month, first.day, first.hour,
                            first.minute, schedule.days.c_str())
                         .c_str());
    if (schedule.everyGiven) {
      long every = schedule.every;
      log.AddDebugLine(format("TimerUnit [%s/%s] every=%04ld-%02d:%02d", copyName.c_str(),
                              schedule.timerName.c_str(), every / kSecondsPerDay,
                              static_cast<int>(every % kSecondsPerDay / 3600),
                              static_cast<int>(every % 3600 / 60))
                           .c_str());
    }
  }
  return true;
}

}  // namespace kestrel
