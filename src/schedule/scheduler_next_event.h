#pragma once
// The program's scheduler as the source of the ScriptModel's "Next scheduled
// event" line.

#include <ctime>

#include "schedule/timer_scheduler.h"
#include "script/definitions.h"

namespace kestrel {

class SchedulerNextEvent final : public NextEventSource {
 public:
  // A null scheduler has no next event.
  explicit SchedulerNextEvent(const TimerScheduler* scheduler) : scheduler_(scheduler) {}
  bool nextEvent(std::time_t& when) override { return scheduler_ && scheduler_->nextEvent(when); }

 private:
  const TimerScheduler* scheduler_;
};

}  // namespace kestrel
