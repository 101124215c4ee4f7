#include "shell/stop_watchdog.h"

#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include "base/platform.h"

namespace kestrel {

void startStopWatchdog(std::chrono::milliseconds grace) {
  static std::atomic<bool> started{false};
  if (started.exchange(true)) return;
  std::thread([grace] {
    while (!programStopRequested()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::this_thread::sleep_for(grace);
    const std::string line =
        "kestrel: the program did not end within " +
        std::to_string(std::chrono::duration_cast<std::chrono::seconds>(grace).count()) +
        " seconds of being asked to; ending it now\n";
    // write(2): the main thread may hold the stdio locks.
    [[maybe_unused]] ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
    ::_exit(1);
  }).detach();
}

}  // namespace kestrel
