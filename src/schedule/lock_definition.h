#pragma once
// A lock definition: the record of one LOCKDEFINITION paragraph and the check
// that allows or forbids the runs of the copy definitions naming it
// (lock_definition.cpp).

#include <cstdint>
#include <string>

#include "odbc/column_value.h"
#include "script/definitions.h"

namespace kestrel {

class LockDefinition : public Definition {
 public:
  explicit LockDefinition(std::string name) : Definition(std::move(name)) {}

  int kind() const override { return kLockKind; }
  bool setCommand(int commandId, const std::string& argument) override;
  bool setKeyword(int commandId, int keywordId, const std::string& value) override;

  std::string source;
  std::string select;
  std::string acceptColumn;
  std::string acceptValue;
  std::string userid;
  std::string password;

  // Connects to `source`, runs `select` and finds the result column named
  // acceptColumn (case counts); fills the run state below from its
  // description. False, after an Error line, when the source cannot be
  // reached, the SELECT fails, the column is missing or holds dates or times.
  // Nothing stays connected afterwards.
  bool resolve(MessageLog& log, ScriptModel& definitions) override;
  // Runs `select` again on a connection of its own and binds the column
  // found by resolve, by its number. True only when at least one row came
  // back and every row holds acceptValue in that column; every other
  // outcome is logged and ends with the "Check of LOCKDEFINITION" note.
  bool check(MessageLog& log);

  // Run state, set by resolve and read by every check.
  ColumnDescription acceptDescription;  // the accept column as resolve described it
  bool acceptAsNumber = false;          // bound as characters, SQL NUMERIC or DECIMAL
  bool acceptAsInteger = false;         // bound as an integer
  bool acceptAsFloat = false;           // bound as floating point
  std::int32_t acceptInteger = 0;
  double acceptNumber = 0.0;
};

// The first lock definition of that name in the model, or nullptr.
LockDefinition* findLockDefinition(const ScriptModel& model, const std::string& name);

}  // namespace kestrel
