#include "base/message_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <string_view>

#include "base/platform.h"
#include "base/shown_text.h"

namespace kestrel {

namespace {
MessageLog* theProgramLog = nullptr;

bool isBlank(const std::string& message) {
  return message.find_first_not_of(' ') == std::string::npos;
}
}  // namespace

MessageLog::MessageLog() : colours_{{128, 128, 128}, {0, 0, 0}, {0, 0, 128}, {255, 0, 0}} {}

MessageLog::~MessageLog() {
  if (theProgramLog == this) theProgramLog = nullptr;
}

void MessageLog::Configure(int maxLines, const std::string& logFileName, bool debugMode) {
  maxLines_ = std::clamp(maxLines, kMinMaxLines, kMaxMaxLines);
  if (logFileName != logFileName_) linkReported_ = false;
  logFileName_ = logFileName;
  debug_ = debugMode;
  while (static_cast<int>(lines_.size()) > maxLines_) lines_.pop_front();
}

void MessageLog::AttachView(LogView* view) {
  view_ = view;
  if (!view_) return;
  lineStep_ = view_->characterExtent();
  view_->setScrollSizes(lineStep_, lineStep_);
}

Rgb MessageLog::colour(int kind) const { return colours_[std::clamp(kind, 0, 3)]; }

std::string MessageLog::timeStamp(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &local);
  return buffer;
}

void MessageLog::AddLine(const std::string& message, int kind) {
  if (isBlank(message)) return;
  // Control bytes from a script, a parameter file or a driver never reach a
  // terminal or the log file as they are, and a NUL no longer ends a line.
  // Line ends at the end (drivers end some messages with one) carry nothing.
  std::string_view shown = message;
  while (!shown.empty() && (shown.back() == '\n' || shown.back() == '\r')) shown.remove_suffix(1);
  std::string text = timeStamp(programClock().now()) + "  " + visibleText(shown, LineFeeds::Blank);
  std::vector<std::string> failures;
  if (logFileEnabled()) failures = appendToFile(text);
  addToDisplay(std::move(text), kind);
  // The lines that report a log file failure go to the display only, after
  // the line that could not be written.
  for (const std::string& failure : failures) {
    addToDisplay(timeStamp(programClock().now()) + "  " + visibleText(failure, LineFeeds::Blank),
                 Error);
  }
}

std::vector<std::string> MessageLog::appendToFile(const std::string& text) {
  // Opened and closed for every line, so the file is complete at any moment
  // and may be moved away between two lines. A new file is readable by its
  // owner only; a symbolic link at the name is never followed (someone could
  // have planted it to make the program write into another file), and a FIFO
  // without a reader fails instead of blocking the program.
  const int fd =
      ::open(logFileName_.c_str(),
             O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0600);
  if (fd < 0) {
    std::vector<std::string> failures{"Cannot open output trace file '" + logFileName_ +
                                      "' for output"};
    if (errno == ELOOP && !linkReported_) {
      linkReported_ = true;
      failures.push_back("The log file name '" + logFileName_ +
                         "' is a symbolic link: nothing is written through it");
    }
    return failures;
  }
  std::string line = text + '\n';
  std::size_t done = 0;
  while (done < line.size()) {
    ssize_t n = ::write(fd, line.data() + done, line.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  const bool closed = ::close(fd) == 0;
  if (done < line.size() || !closed) {
    return {"Cannot write to output trace file '" + logFileName_ + "' for output"};
  }
  return {};
}

void MessageLog::addToDisplay(std::string text, int kind) {
  LogLine line;
  line.text = std::move(text);
  line.kind = std::clamp(kind, 0, 3);
  if (static_cast<int>(lines_.size()) >= maxLines_) lines_.pop_front();
  if (view_) {
    Extent extent = view_->textExtent(line.text);
    line.width = extent.width;
    line.height = extent.height;
  }
  lines_.push_back(std::move(line));
  if (listener_) listener_(lines_.back());

  maxWidth_ = 0;
  totalHeight_ = 0;
  for (const LogLine& held : lines_) {
    maxWidth_ = std::max(maxWidth_, held.width);
    totalHeight_ += held.height;
  }
  if (!view_) return;
  view_->setScrollSizes({maxWidth_, totalHeight_}, lineStep_);
  ScrollToEnd();
  view_->repaintNow();
}

void MessageLog::AddDebugLine(const char* part1, const char* part2, const char* part3,
                              const char* part4) {
  if (!debug_ || !part1) return;
  std::string message = std::string("Debug: ") + part1;
  for (const char* part : {part2, part3, part4}) {
    if (part) {
      message += ' ';
      message += part;
    }
  }
  AddLine(message, Note);
}

void MessageLog::Clear() {
  lines_.clear();
  maxWidth_ = 0;
  totalHeight_ = 0;
  if (view_) view_->setScrollSizes(lineStep_, lineStep_);
}

void MessageLog::Draw() {
  if (!view_) return;
  int y = 0;
  for (const LogLine& line : lines_) {
    view_->drawText(0, y, line.text, colour(line.kind));
    y += line.height;
  }
}

void MessageLog::ScrollToEnd() {
  if (!view_) return;
  view_->scrollTo({0, std::max(0, totalHeight_ - view_->clientHeight())});
}

bool MessageLog::HandleKey(LogKey key) {
  if (!view_ || key == LogKey::Other) return false;
  ScrollPosition position = view_->scrollPosition();
  const int client = view_->clientHeight();
  const int charWidth = lineStep_.width;
  const int lineHeight = lineStep_.height;
  switch (key) {
    case LogKey::PageUp:
      position.y = std::max(0, position.y - client);
      break;
    case LogKey::PageDown:
      position.y = std::max(0, std::min(position.y + client, totalHeight_ - lineHeight));
      break;
    case LogKey::End:
      ScrollToEnd();
      return true;
    case LogKey::Home:
      position = {0, 0};
      break;
    case LogKey::Left:
      position.x = std::max(0, position.x - charWidth);
      break;
    case LogKey::Up:
      position.y = std::max(0, position.y - lineHeight);
      break;
    case LogKey::Right:
      position.x = std::max(0, std::min(position.x + charWidth, maxWidth_ - charWidth));
      break;
    case LogKey::Down:
      position.y = std::max(0, std::min(position.y + lineHeight, totalHeight_ - lineHeight));
      break;
    case LogKey::Other:
      return false;
  }
  view_->scrollTo(position);
  return true;
}

void setProgramLog(MessageLog* log) { theProgramLog = log; }
MessageLog* programLog() { return theProgramLog; }

void DebugLine(const char* part1, const char* part2, const char* part3, const char* part4) {
  if (theProgramLog) theProgramLog->AddDebugLine(part1, part2, part3, part4);
}

}  // namespace kestrel
