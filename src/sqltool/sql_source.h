#pragma once
// The SQL text of a connection document as lines, and the statement splitter
// that hands out one statement after the other.
//
// Splitting is deliberately simple and line-based: a quote opened on a line
// ends with that line, a line whose first non-blank characters are "--" is a
// comment (only spaces count as blanks; a tab makes the line SQL), a ";"
// outside quotes ends the statement and the rest of its line is dropped, and
// the pieces of a statement are joined by one blank each.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace kestrel {

// Where the document's log lines go: the connection log itself, or a queue
// to the window thread when the statements run on a worker.
class LineSink {
 public:
  virtual ~LineSink() = default;
  virtual void addLine(const std::string& message, int kind) = 0;
};

class SqlSource {
 public:
  // The longest line that ReadSourceFile keeps; longer lines are split there.
  static constexpr size_t kMaxLineLength = 2047;

  // Replaces the lines with the pieces of `text` split at each CR LF; a last
  // piece without CR LF becomes a line when it is not empty. An empty text
  // leaves the lines as they are. The cursor goes to the first line.
  void SetSourceText(const std::string& text);
  // Every line followed by CR LF.
  std::string GetSourceText() const;
  void Rewind() { cursor_ = 0; }

  // Replaces the lines with the file's lines (up to each line feed, at most
  // kMaxLineLength characters a line; a last line without a line feed is
  // kept). False, and nothing changed, when the file cannot be opened.
  bool ReadSourceFile(const std::string& name);
  // Every line followed by a line feed. False when the file cannot be written.
  bool WriteSourceFile(const std::string& name) const;

  // The next statement, echoing every consumed line to `log` (kind 1), or
  // none when no statement text is left. None also comes for an empty
  // statement (a line holding only ";") while lines remain: see
  // stoppedAtEmptyStatement().
  std::optional<std::string> NextStatement(LineSink* log);
  // True when the last NextStatement returned none at an empty statement with
  // lines still left after it.
  bool stoppedAtEmptyStatement() const { return emptyStatement_; }
  // 1-based number of the line consumed last (0 before the first).
  size_t lineNumber() const { return cursor_; }
  bool atEnd() const { return cursor_ >= lines_.size(); }

  const std::vector<std::string>& lines() const { return lines_; }

 private:
  std::vector<std::string> lines_;
  size_t cursor_ = 0;
  bool emptyStatement_ = false;
};

}  // namespace kestrel
