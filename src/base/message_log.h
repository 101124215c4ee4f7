#pragma once
// The program-wide line log: every progress line, statistic, warning, error and
// debug trace passes through AddLine. It holds the newest lines in a bounded
// display buffer drawn by a view, and appends every line to the log file when
// one is configured. All calls come from the user-interface thread.

#include <ctime>
#include <functional>
#include <list>
#include <string>
#include <vector>

namespace kestrel {

enum LineKind : int { Dim = 0, Normal = 1, Note = 2, Error = 3 };

struct Rgb {
  int red, green, blue;
  bool operator==(const Rgb&) const = default;
};

struct Extent {
  int width = 0, height = 0;
};

struct ScrollPosition {
  int x = 0, y = 0;
  bool operator==(const ScrollPosition&) const = default;
};

// What the log needs of the window that shows it. The window implements it
// with its font metrics and scroll bars; tests with plain numbers.
class LogView {
 public:
  virtual ~LogView() = default;
  // Average character width and character height of the window's font.
  virtual Extent characterExtent() = 0;
  virtual Extent textExtent(const std::string& text) = 0;
  virtual void setScrollSizes(Extent total, Extent lineStep) = 0;
  virtual ScrollPosition scrollPosition() = 0;
  virtual void scrollTo(ScrollPosition position) = 0;
  virtual int clientHeight() = 0;
  // Invalidate, erase and repaint at once, even while a long run keeps the
  // program from returning to its event loop.
  virtual void repaintNow() = 0;
  // Draws one line of text in a colour at a vertical position (from Draw).
  virtual void drawText(int x, int y, const std::string& text, Rgb colour) = 0;
};

enum class LogKey { PageUp, PageDown, End, Home, Left, Up, Right, Down, Other };

struct LogLine {
  std::string text;  // time stamp, two blanks, message
  int kind = Normal;
  int width = 0;
  int height = 0;
};

class MessageLog {
 public:
  static constexpr int kDefaultMaxLines = 100;
  static constexpr int kMinMaxLines = 10;
  static constexpr int kMaxMaxLines = 1000;

  MessageLog();
  MessageLog(const MessageLog&) = delete;
  MessageLog& operator=(const MessageLog&) = delete;
  ~MessageLog();

  void Configure(int maxLines, const std::string& logFileName, bool debugMode);
  void AttachView(LogView* view);
  void AddLine(const std::string& message, int kind);
  // Each part may be absent (nullptr). Nothing happens unless debug is on and
  // the first part is present.
  void AddDebugLine(const char* part1, const char* part2 = nullptr, const char* part3 = nullptr,
                    const char* part4 = nullptr);
  void Clear();
  void Draw();
  bool HandleKey(LogKey key);
  void ScrollToEnd();

  // Called with every line added to the display buffer (headless runs print
  // it to standard output).
  void setLineListener(std::function<void(const LogLine&)> listener) {
    listener_ = std::move(listener);
  }

  const std::list<LogLine>& lines() const { return lines_; }
  int lineCount() const { return static_cast<int>(lines_.size()); }
  int maxLines() const { return maxLines_; }
  bool debugEnabled() const { return debug_; }
  bool logFileEnabled() const { return !logFileName_.empty(); }
  const std::string& logFileName() const { return logFileName_; }
  Extent lineStep() const { return lineStep_; }
  int maximumWidth() const { return maxWidth_; }
  int totalHeight() const { return totalHeight_; }
  Rgb colour(int kind) const;

  // Formats a moment with "%Y-%m-%d %H:%M:%S" in local time.
  static std::string timeStamp(std::time_t when);

 private:
  // Returns the failure lines to show, none when the line reached the file.
  std::vector<std::string> appendToFile(const std::string& text);
  void addToDisplay(std::string text, int kind);

  std::list<LogLine> lines_;
  int maxLines_ = kDefaultMaxLines;
  std::string logFileName_;
  bool linkReported_ = false;  // the symbolic link at logFileName_ has been reported
  bool debug_ = false;
  LogView* view_ = nullptr;
  Rgb colours_[4];
  Extent lineStep_{1, 1};
  int maxWidth_ = 0;
  int totalHeight_ = 0;
  std::function<void(const LogLine&)> listener_;
};

// The program's log, used by DebugLine from code that has no document at hand
// (value comparison, column coding, hash record building).
void setProgramLog(MessageLog* log);
MessageLog* programLog();
void DebugLine(const char* part1, const char* part2 = nullptr, const char* part3 = nullptr,
               const char* part4 = nullptr);

}  // namespace kestrel
