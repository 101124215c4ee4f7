#include "schedule/loop_tick_source.h"

#include <algorithm>
#include <thread>

namespace kestrel {

bool LoopTickSource::start(int intervalMs, std::function<void()> onTick) {
  if (intervalMs <= 0 || !onTick) return false;
  interval_ = std::chrono::milliseconds(intervalMs);
  nextTick_ = Steady::now() + interval_;
  onTick_ = std::move(onTick);
  running_ = true;
  return true;
}

void LoopTickSource::stop() { running_ = false; }

void LoopTickSource::run(const std::function<bool()>& stopRequested, int pollMs) {
  const std::chrono::milliseconds poll(std::max(pollMs, 1));
  while (!stopRequested()) {
    Steady::time_point now = Steady::now();
    if (!running_) {
      std::this_thread::sleep_for(poll);
      continue;
    }
    if (now < nextTick_) {
      std::this_thread::sleep_for(std::min<Steady::duration>(poll, nextTick_ - now));
      continue;
    }
    nextTick_ = now + interval_;
    // The tick may stop or restart this source, which replaces onTick_.
    std::function<void()> deliver = onTick_;
    deliver();
  }
}

}  // namespace kestrel
