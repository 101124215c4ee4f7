#pragma once
// Headless runs: every line of the MessageLog goes to standard output as its
// own text, coloured by kind when standard output is a terminal; the status of
// a running copy is one line on a terminal's standard error, rewritten in
// place and cleared before each log line.

#include <chrono>
#include <cstdio>
#include <memory>

#include "base/message_log.h"
#include "base/status_display.h"

namespace kestrel {

void echoLogToStandardOutput(MessageLog& log);

// The console form of a copy's status window: "<definition>: <operation>
// <row number>" on one line of `out`, rewritten at most every `interval`.
class ConsoleStatusWindow final : public StatusWindow {
 public:
  ConsoleStatusWindow(StatusDisplay& display, std::FILE* out, std::chrono::milliseconds interval);
  ~ConsoleStatusWindow() override;
  void repaintChanged() override;

 private:
  StatusDisplay& display_;
  std::FILE* out_;
  std::chrono::milliseconds interval_;
  std::chrono::steady_clock::time_point lastDrawn_{};
};

// Makes console status windows on standard error when it is a terminal, and
// none otherwise (a log redirected to a file gets no progress noise).
class ConsoleStatusFactory final : public StatusWindowFactory {
 public:
  std::unique_ptr<StatusWindow> create(StatusDisplay& display) override;
};

}  // namespace kestrel
