#pragma once
// Runs of copy definitions against two real SQLite databases, SRC and DST: a
// script is loaded (and resolved) as the program loads it, the program's
// options sit on an in-memory profile, and every log line is recorded
// without its time stamp. Scripts and expected lines name the data sources
// SRC and DST; the fixture turns them into the folder's own names on the way
// in and back on the way out. The temporary file of a replication goes into a
// folder of its own, so that a test can see it removed.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/message_log.h"
#include "base/parameter_file.h"
#include "base/platform.h"
#include "base/status_display.h"
#include "engine/copy_definition.h"
#include "engine/definition_factory.h"
#include "engine/edit_definition.h"
#include "engine/table_endpoint.h"
#include "odbc/odbc.h"
#include "odbc_test_folder.h"
#include "schedule/lock_definition.h"
#include "script/definitions.h"
#include "script/script_reader.h"

namespace kestrel::test {

struct LoggedLine {
  std::string text;  // without the time stamp
  int kind;
  bool operator==(const LoggedLine&) const = default;
};

inline void PrintTo(const LoggedLine& line, std::ostream* out) {
  *out << "{" << line.kind << ", \"" << line.text << "\"}";
}

// A status window that keeps what the run showed, and the display that asked
// for it, so that a test can play the operator pressing Cancel.
class RecordingStatusWindows final : public StatusWindowFactory {
 public:
  std::unique_ptr<StatusWindow> create(StatusDisplay& display) override {
    display_ = &display;
    return std::make_unique<Window>(*this);
  }
  // The display of the run in progress; nullptr before its window is shown.
  StatusDisplay* display() const { return display_; }
  // The value of the status line with this label, as last drawn.
  std::string value(const std::string& label) const {
    if (!display_) return {};
    for (const StatusLine& line : display_->lines()) {
      if (line.label == label) return line.value;
    }
    return {};
  }
  void forget() { display_ = nullptr; }
  // Every "Current operation:" text drawn, in order, without repeats.
  std::vector<std::string> operations;

 private:
  class Window final : public StatusWindow {
   public:
    explicit Window(RecordingStatusWindows& owner) : owner_(owner) {}
    ~Window() override { owner_.forget(); }
    void repaintChanged() override {
      std::string operation = owner_.value("Current operation:");
      if (!operation.empty() &&
          (owner_.operations.empty() || owner_.operations.back() != operation))
        owner_.operations.push_back(operation);
    }

   private:
    RecordingStatusWindows& owner_;
  };
  StatusDisplay* display_ = nullptr;
};

class CopyRunTest : public ::testing::Test {
 protected:
  CopyRunTest() : folder_({"SRC", "DST"}), parameters_(profile_) {
    DefineKestrelOptions(parameters_);
    tempFolder_ = folder_.file("temp");
    std::filesystem::create_directory(tempFolder_);
    option("TempFile=" + tempFolder_ + "/k-%p.tmp");
    setProgramOptions(&parameters_);
    log_.Configure(MessageLog::kMaxMaxLines, "", false);
    log_.setLineListener([this](const LogLine& line) {
      // "YYYY-MM-DD HH:MM:SS" and two blanks.
      lines_.push_back({folder_.withPlainNames(line.text.substr(21)), line.kind});
    });
    setProgramLog(&log_);
    odbcEnvironment().open(true);
  }

  ~CopyRunTest() override {
    // A failed check is easier to read next to what the last run wrote.
    if (HasFailure()) {
      std::cout << "Lines of the last run:\n";
      for (const LoggedLine& line : lines_)
        std::cout << "  " << line.kind << " " << line.text << "\n";
    }
    model_.reset();
    odbcEnvironment().close();
    setProgramLog(nullptr);
    setProgramOptions(nullptr);
  }

  void option(const std::string& assignment) { ASSERT_TRUE(parameters_.Assign(assignment)); }

  TestDatabase source() const { return folder_.sqlite("SRC"); }
  TestDatabase target() const { return folder_.sqlite("DST"); }

  // Creates a table and fills it; rows are VALUES lists, e.g. "1, 'a'".
  static void table(const TestDatabase& db, const std::string& name, const std::string& columns,
                    const std::vector<std::string>& rows = {}) {
    std::vector<std::string> statements = {"CREATE TABLE " + name + " (" + columns + ")"};
    for (const std::string& row : rows)
      statements.push_back("INSERT INTO " + name + " VALUES (" + row + ")");
    ASSERT_EQ(execSql(db, statements), "");
  }

  // The rows of a query, each as its values joined by "|", NULL as "NULL".
  static std::vector<std::string> contents(const TestDatabase& db, const std::string& select) {
    std::vector<Row> rows;
    EXPECT_EQ(querySql(db, select, &rows), "");
    std::vector<std::string> result;
    for (const Row& row : rows) {
      std::string text;
      for (std::size_t i = 0; i < row.size(); ++i) {
        if (i > 0) text += "|";
        text += row[i] ? *row[i] : "NULL";
      }
      result.push_back(text);
    }
    return result;
  }

  // Loads and resolves a script; the lines of the loading are dropped.
  bool load(const std::string& script) {
    const std::string file = folder_.file("script.txt");
    std::ofstream(file, std::ios::binary) << folder_.withFolderNames(script);
    model_ = std::make_unique<ScriptModel>(log_);
    ScriptReader reader(log_, &parameters_);
    reader.setFactory(&runnableDefinitions());
    reader.setModel(model_.get());
    bool loaded = reader.Load(file);
    loadLines_ = std::move(lines_);
    lines_.clear();
    return loaded;
  }

  // The loaded copy definition of that name, or nullptr (with a failure)
  // when the script was refused or holds none of that name.
  CopyDefinition* find(const std::string& name) {
    Definition* found = model_ ? model_->Find(kCopyKind, name) : nullptr;
    if (!found) ADD_FAILURE() << "no copy definition " << name << " is loaded";
    return static_cast<CopyDefinition*>(found);
  }
  // As find, for a test that goes on to read the definition: a missing one
  // ends the test here (gtest reports the exception) rather than in a crash.
  CopyDefinition& definition(const std::string& name = "C") {
    CopyDefinition* found = find(name);
    if (!found) throw std::logic_error("no copy definition " + name + " is loaded");
    return *found;
  }

  // One run of a copy definition; only its own lines stay recorded. False
  // when there is no such definition.
  bool run(const std::string& name = "C", int retryNumber = 0) {
    lines_.clear();
    CopyDefinition* found = find(name);
    return found && found->run(log_, &windows_, retryNumber);
  }

  std::vector<std::string> texts() const {
    std::vector<std::string> result;
    for (const LoggedLine& line : lines_) result.push_back(line.text);
    return result;
  }
  // The recorded lines of one kind, in order.
  std::vector<std::string> texts(int kind) const {
    std::vector<std::string> result;
    for (const LoggedLine& line : lines_) {
      if (line.kind == kind) result.push_back(line.text);
    }
    return result;
  }
  // The first recorded line starting with `prefix`, or "(none)".
  std::string line(const std::string& prefix) const {
    for (const LoggedLine& l : lines_) {
      if (l.text.rfind(prefix, 0) == 0) return l.text;
    }
    return "(none)";
  }
  bool logged(const LoggedLine& wanted) const {
    return std::find(lines_.begin(), lines_.end(), wanted) != lines_.end();
  }
  // The last `count` recorded lines, with their kinds.
  std::vector<LoggedLine> lastLines(std::size_t count) const {
    return std::vector<LoggedLine>(lines_.end() - std::min(count, lines_.size()), lines_.end());
  }

  // The temporary files left behind in the TempFile folder.
  std::vector<std::string> temporaryFiles() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(tempFolder_))
      names.push_back(entry.path().filename().string());
    return names;
  }

  OdbcTestFolder folder_;
  MemoryProfile profile_;
  ParameterFile parameters_;
  std::string tempFolder_;
  MessageLog log_;
  std::vector<LoggedLine> lines_;
  std::vector<LoggedLine> loadLines_;
  std::unique_ptr<ScriptModel> model_;
  RecordingStatusWindows windows_;
};

// The lines of a replication run that succeeds, around its counts lines.
inline std::vector<std::string> replicationLines(const std::string& name, int stored,
                                                 const std::string& counts,
                                                 const std::string& statistics) {
  return {"---------------------------------------------------------------------",
          "Starting processing copy definition " + name,
          "Starting to copy rows from A in SRC to temporary file",
          std::to_string(stored) + " rows copied to temporary file",
          "Starting to read records for update from B in DST",
          "Starting to copy new records from the temporary file",
          "Table counts: " + counts,
          "Output table statistics: " + statistics,
          "Ending processing copy definition " + name};
}

}  // namespace kestrel::test
