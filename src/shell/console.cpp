#include "shell/console.h"

#include <unistd.h>

#include <cstdio>
#include <string>

#include "base/shown_text.h"

namespace kestrel {

namespace {
// The console status line being shown, if any: a log line clears it first so
// that the two never run into each other on one terminal.
std::FILE* statusLineOn = nullptr;

void clearStatusLine() {
  if (!statusLineOn) return;
  std::fputs("\r\033[K", statusLineOn);
  std::fflush(statusLineOn);
}
}  // namespace

void echoLogToStandardOutput(MessageLog& log) {
  const bool colour = ::isatty(STDOUT_FILENO) != 0;
  log.setLineListener([colour](const LogLine& line) {
    static const char* const kColours[] = {"\033[90m", "", "\033[34m", "\033[31m"};
    const char* start = colour ? kColours[line.kind] : "";
    const char* end = colour && *start ? "\033[0m" : "";
    clearStatusLine();
    // The log has made the text visible; written by its length, whatever it holds.
    std::fputs(start, stdout);
    std::fwrite(line.text.data(), 1, line.text.size(), stdout);
    std::fputs(end, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  });
}

ConsoleStatusWindow::ConsoleStatusWindow(StatusDisplay& display, std::FILE* out,
                                         std::chrono::milliseconds interval)
    : display_(display), out_(out), interval_(interval) {
  statusLineOn = out_;
  repaintChanged();
}

ConsoleStatusWindow::~ConsoleStatusWindow() {
  clearStatusLine();
  if (statusLineOn == out_) statusLineOn = nullptr;
}

void ConsoleStatusWindow::repaintChanged() {
  auto now = std::chrono::steady_clock::now();
  if (lastDrawn_ != std::chrono::steady_clock::time_point{} && now - lastDrawn_ < interval_) return;
  lastDrawn_ = now;
  std::string text;
  for (StatusLine& line : display_.lines()) {
    line.changed = false;
    // The definition's name, then the current operation and the row number.
    if (line.index == 0 || line.index >= 3) {
      if (line.value.empty() || line.value == " ") continue;
      if (!text.empty()) text += line.index == 3 ? ": " : " ";
      text += visibleText(line.value);
    }
  }
  std::fprintf(out_, "\r\033[K%s", text.c_str());
  std::fflush(out_);
}

std::unique_ptr<StatusWindow> ConsoleStatusFactory::create(StatusDisplay& display) {
  if (!::isatty(STDERR_FILENO)) return nullptr;
  return std::make_unique<ConsoleStatusWindow>(display, stderr, std::chrono::milliseconds(200));
}

}  // namespace kestrel
