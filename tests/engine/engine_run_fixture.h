#pragma once
// Running copy definitions the way the program does: a script file read by
// the ScriptReader into a ScriptModel (which resolves every definition), then
// RunAll, with the program's options on an in-memory profile and every log
// line recorded with its kind.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/message_log.h"
#include "base/parameter_file.h"
#include "engine/copy_definition.h"
#include "engine/definition_factory.h"
#include "engine/edit_definition.h"
#include "odbc/odbc.h"
#include "odbc_test_folder.h"
#include "schedule/lock_definition.h"
#include "script/definitions.h"
#include "script/script_reader.h"

namespace kestrel::test {

struct EngineLine {
  std::string text;  // without the time stamp
  int kind;
};

class EngineRun {
 public:
  // `folder` holds the script file and the temporary file of the runs.
  explicit EngineRun(const OdbcTestFolder& folder) : folder_(folder), parameters_(profile_) {
    DefineKestrelOptions(parameters_);
    EXPECT_TRUE(parameters_.Assign("TempFile=" + temporaryFile()));
    log_.Configure(MessageLog::kMaxMaxLines, "", false);
    log_.setLineListener([this](const LogLine& line) {
      // "YYYY-MM-DD HH:MM:SS" and two blanks.
      lines.push_back({line.text.substr(21), line.kind});
    });
    setProgramOptions(&parameters_);
    setProgramLog(&log_);
    odbcEnvironment().open(true);
  }
  ~EngineRun() {
    model_.reset();
    odbcEnvironment().close();
    setProgramLog(nullptr);
    setProgramOptions(nullptr);
  }

  // An option assignment as on the command line, e.g. "ListSQL=1".
  void option(const std::string& assignment) { EXPECT_TRUE(parameters_.Assign(assignment)); }

  // Reads the script (resolving its copy definitions); false when the script
  // or a definition was refused (the reader then leaves the model empty).
  bool load(const std::string& script) {
    model_.reset();
    const std::string file = folder_.file("script.txt");
    std::ofstream(file, std::ios::binary) << script;
    model_ = std::make_unique<ScriptModel>(log_);
    ScriptReader reader(log_, &parameters_);
    reader.setFactory(&runnableDefinitions());
    reader.setModel(model_.get());
    return reader.Load(file) && model_->HasCopyDefinition();
  }
  // Runs every copy definition of the loaded script once; the lines of this
  // run only are in `lines` afterwards.
  bool runAll() {
    lines.clear();
    return model_ && model_->RunAll(nullptr);
  }

  std::string temporaryFile() const { return folder_.file("kestrel.tmp"); }
  bool temporaryFileExists() const { return std::filesystem::exists(temporaryFile()); }

  bool hasLine(const std::string& text, int kind) const {
    for (const EngineLine& line : lines)
      if (line.text == text && line.kind == kind) return true;
    return false;
  }
  // The first line of the kind that contains `part`, if any.
  std::optional<std::string> lineContaining(const std::string& part, int kind) const {
    for (const EngineLine& line : lines)
      if (line.kind == kind && line.text.find(part) != std::string::npos) return line.text;
    return std::nullopt;
  }
  // All lines, for failure messages.
  std::string transcript() const {
    std::string text;
    for (const EngineLine& line : lines)
      text += std::to_string(line.kind) + "  " + line.text + "\n";
    return text;
  }

  std::vector<EngineLine> lines;

 private:
  const OdbcTestFolder& folder_;
  MemoryProfile profile_;
  ParameterFile parameters_;
  MessageLog log_;
  std::unique_ptr<ScriptModel> model_;
};

// The rows of a query as one text, "a|b|NULL" per row, rows joined by "\n";
// the driver's message when the query fails.
inline std::string tableImage(const TestDatabase& db, const std::string& select) {
  std::vector<Row> rows;
  std::string error = querySql(db, select, &rows);
  if (!error.empty()) return "error: " + error;
  std::string image;
  for (const Row& row : rows) {
    if (!image.empty()) image += "\n";
    for (std::size_t i = 0; i < row.size(); ++i) {
      if (i > 0) image += "|";
      image += row[i] ? *row[i] : "NULL";
    }
  }
  return image;
}

// Drops tables of a server database when the test ends, however it ends;
// the names as the statement needs them (quoted where necessary).
class DropTablesAtEnd {
 public:
  DropTablesAtEnd(TestDatabase db, std::vector<std::string> tables)
      : db_(std::move(db)), tables_(std::move(tables)) {}
  ~DropTablesAtEnd() {
    for (const std::string& table : tables_) execSql(db_, {"DROP TABLE IF EXISTS " + table});
  }

 private:
  TestDatabase db_;
  std::vector<std::string> tables_;
};

// The connection part of a FROM or TO command for a database of the tests:
// the data source and, for a server, its user and password, all quoted so
// that the script keeps their case.
inline std::string connectionPart(const TestDatabase& db) {
  std::string text = "'" + db.dsn + "'";
  if (!db.user.empty()) text += " USERID='" + db.user + "' PASSWORD='" + db.password + "'";
  return text;
}

}  // namespace kestrel::test
