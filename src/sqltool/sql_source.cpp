#include "sqltool/sql_source.h"

#include <fstream>

#include "base/message_log.h"

namespace kestrel {

void SqlSource::SetSourceText(const std::string& text) {
  if (text.empty()) {
    cursor_ = 0;
    return;
  }
  lines_.clear();
  size_t start = 0;
  for (;;) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) break;
    lines_.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  if (start < text.size()) lines_.push_back(text.substr(start));
  cursor_ = 0;
}

std::string SqlSource::GetSourceText() const {
  std::string text;
  for (const std::string& line : lines_) {
    text += line;
    text += "\r\n";
  }
  return text;
}

bool SqlSource::ReadSourceFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  if (!in) return false;
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) {
    // A CR LF file read on Linux keeps its CR otherwise, and the CR would go
    // to the driver as part of the statement.
    if (!line.empty() && line.back() == '\r') line.pop_back();
    do {
      lines.push_back(line.substr(0, kMaxLineLength));
      line.erase(0, kMaxLineLength);
    } while (!line.empty());
  }
  lines_ = std::move(lines);
  cursor_ = 0;
  return true;
}

bool SqlSource::WriteSourceFile(const std::string& name) const {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  for (const std::string& line : lines_) out << line << '\n';
  out.flush();
  return static_cast<bool>(out);
}

std::optional<std::string> SqlSource::NextStatement(LineSink* log) {
  std::string statement;
  bool terminated = false;
  emptyStatement_ = false;
  while (cursor_ < lines_.size() && !terminated) {
    const std::string& line = lines_[cursor_++];
    if (log) log->addLine(line, Normal);
    if (line.empty()) continue;
    size_t first = line.find_first_not_of(' ');
    if (first == std::string::npos || line.compare(first, 2, "--") == 0) continue;
    char quote = 0;
    size_t end = first;
    for (; end < line.size(); ++end) {
      char ch = line[end];
      if (quote) {
        if (ch == quote) quote = 0;
      } else if (ch == '\'' || ch == '"') {
        quote = ch;
      } else if (ch == ';') {
        terminated = true;
        break;
      }
    }
    statement.append(line, first, end - first);
    statement += ' ';
  }
  if (statement.find_first_not_of(' ') != std::string::npos) return statement;
  emptyStatement_ = terminated && cursor_ < lines_.size();
  return std::nullopt;
}

}  // namespace kestrel
