#pragma once
// Stand-ins for what a test machine cannot give: a clock that a test moves, a
// message box that records instead of waiting for a click.

#include <ctime>
#include <string>
#include <vector>

#include "base/platform.h"

namespace kestrel::test {

// Installed as the program clock for its lifetime.
class FakeClock final : public Clock {
 public:
  explicit FakeClock(std::time_t start) : now_(start) { setProgramClock(this); }
  ~FakeClock() override { setProgramClock(nullptr); }
  std::time_t now() const override { return now_; }
  void set(std::time_t when) { now_ = when; }
  void advance(std::time_t seconds) { now_ += seconds; }

 private:
  std::time_t now_;
};

struct ShownBox {
  std::string text, caption;
  BoxIcon icon;
  bool question = false;
};

// Installed as the program message box for its lifetime.
class RecordingMessageBox final : public MessageBox {
 public:
  RecordingMessageBox() { setProgramMessageBox(this); }
  ~RecordingMessageBox() override { setProgramMessageBox(nullptr); }
  void show(const std::string& text, const std::string& caption, BoxIcon icon) override {
    boxes.push_back({text, caption, icon});
  }
  // Questions are answered from `answers`, first to last; when it runs out,
  // with No or Cancel.
  BoxAnswer ask(const std::string& text, const std::string& caption, BoxIcon icon,
                BoxButtons buttons) override {
    boxes.push_back({text, caption, icon, true});
    if (!answers.empty()) {
      BoxAnswer answer = answers.front();
      answers.erase(answers.begin());
      return answer;
    }
    return buttons == BoxButtons::YesNo ? BoxAnswer::No : BoxAnswer::Cancel;
  }
  std::vector<ShownBox> boxes;
  std::vector<BoxAnswer> answers;
};

// Local time of a calendar moment, for readable test set-ups.
inline std::time_t localTime(int year, int month, int day, int hour = 0, int minute = 0,
                             int second = 0) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

}  // namespace kestrel::test
