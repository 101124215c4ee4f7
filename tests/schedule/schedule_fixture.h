#pragma once
// A clock the tests move by hand (fakes.h), a system timer they tick by hand, and a fixed
// time zone with daylight-saving changes, so that days and weeks of schedule
// pass in milliseconds and the results do not depend on the machine.

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/local_time.h"
#include "base/message_log.h"
#include "base/platform.h"
#include "fakes.h"
#include "schedule/timer_scheduler.h"

namespace kestrel::test {

class FakeTickSource final : public TickSource {
 public:
  bool start(int intervalMs, std::function<void()> onTick) override {
    ++starts;
    if (refuse) return false;
    running = true;
    interval = intervalMs;
    callback = std::move(onTick);
    return true;
  }
  void stop() override {
    ++stops;
    running = false;
  }
  // Delivers one tick, as the window's timer message would.
  void tick() {
    if (!running) return;
    std::function<void()> deliver = callback;
    deliver();
  }

  bool refuse = false;
  bool running = false;
  int interval = 0;
  int starts = 0;
  int stops = 0;
  std::function<void()> callback;
};

// Sets TZ for the lifetime of the object and restores the previous value.
class TimeZoneScope {
 public:
  explicit TimeZoneScope(const char* zone) {
    if (const char* old = std::getenv("TZ")) previous_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~TimeZoneScope() {
    if (previous_) {
      setenv("TZ", previous_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  std::optional<std::string> previous_;
};

// The moment at which the local clock shows the given time.
inline std::time_t local(int year, int month, int day, int hour = 0, int minute = 0,
                         int second = 0) {
  return momentAt(wallClockOf({year, month, day, hour, minute, second}));
}

// A moment given in UTC.
inline std::time_t utc(int year, int month, int day, int hour = 0, int minute = 0) {
  return static_cast<std::time_t>(wallClockOf({year, month, day, hour, minute, 0}));
}

inline std::string utcText(std::time_t moment) {
  std::tm fields{};
  gmtime_r(&moment, &fields);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%SZ", &fields);
  return text;
}

inline std::string localText(std::time_t moment) {
  std::tm fields{};
  localtime_r(&moment, &fields);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &fields);
  return text;
}

// The message of a log line, without its time stamp.
inline std::string messageOf(const LogLine& line) {
  std::size_t start = line.text.find("  ");
  return start == std::string::npos ? line.text : line.text.substr(start + 2);
}

inline std::vector<std::string> messagesOf(const MessageLog& log) {
  std::vector<std::string> messages;
  for (const LogLine& line : log.lines()) messages.push_back(messageOf(line));
  return messages;
}

inline std::vector<std::string> strings(const std::vector<const char*>& texts) {
  return {texts.begin(), texts.end()};
}

struct ProcedureCall {
  std::time_t when;
  int retryNumber;
};

// Europe/Berlin (summer time 2026 from March 29 to October 25), a clock at a
// fixed moment, and the program's scheduler on a hand-ticked timer. Entries
// made with recordingEntry note every call of their procedure in `runs`.
class ScheduleTest : public ::testing::Test {
 protected:
  ScheduleTest() : zone_("Europe/Berlin") { clock.set(local(2026, 1, 5, 12, 0)); }

  void SetUp() override {
    if (!std::filesystem::exists("/usr/share/zoneinfo/Europe/Berlin")) {
      GTEST_SKIP() << "time zone data missing: /usr/share/zoneinfo/Europe/Berlin";
    }
  }

  // Result of the procedure for its n-th call (0 based); success by default.
  std::function<int(int call)> outcome = [](int) { return 0; };
  // Seconds each run takes on the clock.
  int runSeconds = 0;

  TimerProcedure recorder() {
    return [this](int retryNumber) {
      runs.push_back({clock.now(), retryNumber});
      int result = outcome(static_cast<int>(runs.size()) - 1);
      clock.advance(runSeconds);
      return result;
    };
  }

  // A timer's schedule starting on a local date and time of day.
  TimerSchedule schedule(int year, int month, int day, int hour, int minute) {
    TimerSchedule timer;
    timer.timerName = "NIGHTLY";
    timer.startDate = local(year, month, day);
    timer.startTime = hour * 3600L + minute * 60L;
    timer.startTimeGiven = true;
    timer.scheduler = &scheduler;
    return timer;
  }

  static void every(TimerSchedule& timer, long days, long hours, long minutes) {
    timer.every = days * 86400 + hours * 3600 + minutes * 60;
    timer.everyGiven = true;
  }

  // Moves the clock forward a step at a time, ticking after each step, up to `until`.
  void tickUntil(std::time_t until, int stepSeconds = 60) {
    while (clock.now() + stepSeconds <= until) {
      clock.advance(stepSeconds);
      ticks.tick();
    }
  }

  std::vector<std::string> runMoments() const {
    std::vector<std::string> moments;
    for (const ProcedureCall& run : runs) moments.push_back(utcText(run.when));
    return moments;
  }

 private:
  TimeZoneScope zone_;

 protected:
  FakeClock clock{0};  // installed as the program clock
  FakeTickSource ticks;
  TimerScheduler scheduler{&ticks, 10000};
  MessageLog log;
  std::vector<ProcedureCall> runs;
};

}  // namespace kestrel::test
