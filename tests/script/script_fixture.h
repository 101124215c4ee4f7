#pragma once
// Small helpers for the script tests: a temporary folder for script files,
// a log that records its lines without time stamps, and the program's
// option table on an in-memory profile.

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/message_log.h"
#include "base/parameter_file.h"
#include "fakes.h"
#include "odbc_test_folder.h"
#include "script/paragraph_list.h"

namespace kestrel::test {

// A moment in local time.
inline std::time_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
  return test::localTime(year, month, day, hour, minute, second);
}

class TempFolder {
 public:
  TempFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "kestrel-script-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data()) ? pattern : std::string();
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  // Writes the bytes exactly as given and returns the file's path.
  std::string write(const std::string& name, const std::string& bytes) const {
    std::string file = path_ + "/" + name;
    std::ofstream(file, std::ios::binary) << bytes;
    return file;
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

struct RecordedLine {
  std::string text;  // without the time stamp
  int kind;
  bool operator==(const RecordedLine&) const = default;
};

inline void PrintTo(const RecordedLine& line, std::ostream* out) {
  *out << "{" << line.kind << ", \"" << line.text << "\"}";
}

// A MessageLog whose lines are recorded in full (the display buffer is bounded).
class RecordingLog {
 public:
  RecordingLog() {
    log.Configure(MessageLog::kMaxMaxLines, "", false);
    log.setLineListener([this](const LogLine& line) {
      // "YYYY-MM-DD HH:MM:SS" and two blanks.
      lines.push_back({line.text.substr(21), line.kind});
    });
  }
  std::vector<std::string> texts() const {
    std::vector<std::string> result;
    for (const RecordedLine& line : lines) result.push_back(line.text);
    return result;
  }
  MessageLog log;
  std::vector<RecordedLine> lines;
};

// The program's options on a profile of its own; assignments as on the
// command line, for example "ListScript=1".
class Options {
 public:
  explicit Options(std::initializer_list<const char*> assignments = {}) : parameters(profile) {
    DefineKestrelOptions(parameters);
    for (const char* assignment : assignments) EXPECT_TRUE(parameters.Assign(assignment));
  }
  MemoryProfile profile;
  ParameterFile parameters;
};

// Loading a script resolves its copy definitions, and resolving connects to
// both data sources and reads their columns. These SQLite data sources are
// the ones the test scripts name: SRC and S hold table A, DST and T table B,
// each with the columns K, NAME and X. The folder gives them names of its
// own: a script goes through script() before it is written, and what the
// load logged through plain() before it is compared.
class ScriptDatabases {
 public:
  ScriptDatabases() : folder_({"SRC", "DST", "S", "T"}) {
    for (const char* dsn : {"SRC", "S"}) create(dsn, "A");
    for (const char* dsn : {"DST", "T"}) create(dsn, "B");
  }
  std::string script(const std::string& text) const { return folder_.withFolderNames(text); }
  std::vector<RecordedLine> plain(std::vector<RecordedLine> lines) const {
    for (RecordedLine& line : lines) line.text = folder_.withPlainNames(line.text);
    return lines;
  }
  std::vector<std::string> plain(std::vector<std::string> texts) const {
    for (std::string& text : texts) text = folder_.withPlainNames(text);
    return texts;
  }
  std::string plain(const std::string& text) const { return folder_.withPlainNames(text); }
  // The lines a successful column load of copy definition `name` writes.
  static std::vector<std::string> loadLines(const std::string& name, const std::string& from,
                                            const std::string& to) {
    return {"Loading column definitions for copy definition " + name, "Connecting to " + from,
            "Connecting to " + to,
            "Column definitions for copy definition " + name + " successfully loaded"};
  }

 private:
  void create(const std::string& dsn, const std::string& table) {
    EXPECT_EQ(test::execSql(folder_.sqlite(dsn), {"CREATE TABLE " + table +
                                                  " (K INTEGER, NAME VARCHAR(20), X INTEGER)"}),
              "");
  }
  test::OdbcTestFolder folder_;
};

// A ParagraphList as one line per paragraph and per command, for comparisons:
//   COPYDEFINITION: NAME
//     FROM [SRC] TABLE=[T]
inline std::string Image(const ParagraphList& list) {
  std::string image;
  for (const Paragraph& paragraph : list.paragraphs) {
    image += paragraph.entry->keyword + ": " + paragraph.name + "\n";
    for (const Command& command : paragraph.commands) {
      image += "  " + command.entry->command + " [" + command.argument + "]";
      for (const KeywordValue& value : command.values) {
        image += " " + value.entry->keyword + "=[" + value.value + "]";
      }
      image += "\n";
    }
  }
  return image;
}

}  // namespace kestrel::test
