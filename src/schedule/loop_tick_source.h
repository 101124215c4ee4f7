#pragma once
// The system timer of a program without a window or event loop (kestrel
// --service): the calling thread sleeps until the next tick and delivers it
// itself. A run started by a tick happens inside that tick, so no further
// tick can arrive until it ends; pumped messages never re-enter the scheduler.

#include <chrono>
#include <functional>

#include "schedule/timer_scheduler.h"

namespace kestrel {

class LoopTickSource final : public TickSource {
 public:
  // The first tick comes intervalMs after start; a start replaces the
  // previous one. Always succeeds for a positive interval.
  bool start(int intervalMs, std::function<void()> onTick) override;
  void stop() override;
  bool running() const { return running_; }

  // Delivers the ticks on this thread until stopRequested returns true; it is
  // asked at least every pollMs milliseconds and after every tick. A tick that
  // comes late (a long run) is delivered once, and the next one follows a
  // whole interval after it.
  void run(const std::function<bool()>& stopRequested, int pollMs = 100);

 private:
  using Steady = std::chrono::steady_clock;
  bool running_ = false;
  std::chrono::milliseconds interval_{0};
  Steady::time_point nextTick_;
  std::function<void()> onTick_;
};

}  // namespace kestrel
