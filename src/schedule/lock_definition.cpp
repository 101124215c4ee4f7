// The lock check of a LockDefinition: resolve, run once after the script has
// been read, and check, run before every copy run that names the lock. Each
// call opens a connection and a statement of its own and closes both before
// it returns, so a lock source that goes away between runs fails the next
// check, not the program.

#include "schedule/lock_definition.h"

#include <sqlext.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "odbc/column_value.h"
#include "odbc/odbc.h"
#include "script/script_numbers.h"

namespace kestrel {

namespace {
namespace k = keyword_id;
namespace c = command_id;
}  // namespace

bool LockDefinition::setCommand(int commandId, const std::string& argument) {
  if (argument.empty()) return false;
  if (commandId == c::Source) {
    source = argument;
    return true;
  }
  if (commandId == c::Accept) {
    acceptColumn = argument;
    return true;
  }
  return false;
}

bool LockDefinition::setKeyword(int commandId, int keywordId, const std::string& value) {
  if (commandId == c::Source) {
    switch (keywordId) {
      case k::Select:
        if (value.empty()) return false;
        select = value;
        return true;
      case k::Userid:
        userid = value;
        return true;
      case k::Password:
        password = value;
        return true;
    }
    return false;
  }
  if (commandId == c::Accept && keywordId == k::Value) {
    acceptValue = value;
    return true;
  }
  return false;
}

LockDefinition* findLockDefinition(const ScriptModel& model, const std::string& name) {
  return static_cast<LockDefinition*>(model.Find(kLockKind, name));
}

namespace {

// The program's environment, opened silent when nothing has opened it yet.
// The lock check's own connection is silent (every failure is written to the
// log; a box would stop an unattended timer run until someone answered it),
// so the environment's own flag is left as its opener set it.
class QuietEnvironment {
 public:
  QuietEnvironment() : environment_(odbcEnvironment()) {
    ready_ = environment_.isOpen() || environment_.open(true);
  }
  QuietEnvironment(const QuietEnvironment&) = delete;
  QuietEnvironment& operator=(const QuietEnvironment&) = delete;

  // False when the environment could not be opened; lastError says why.
  bool ready() const { return ready_; }
  OdbcEnvironment& environment() const { return environment_; }

 private:
  OdbcEnvironment& environment_;
  bool ready_ = false;
};

// Text read as a number independently of the process locale: leading blanks,
// a sign, digits with decimals and an exponent, as the copy engine reads
// numeric keys.
double textToNumber(std::string_view text) {
  return keyTextToNumber(text.data(),
                         static_cast<std::int32_t>(std::min<std::size_t>(text.size(), INT32_MAX)));
}

std::string_view withoutTrailingBlanks(std::string_view text) {
  std::size_t end = text.find_last_not_of(' ');
  return end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1);
}

}  // namespace

bool LockDefinition::resolve(MessageLog& log, ScriptModel& /*definitions*/) {
  acceptDescription = ColumnDescription();
  acceptAsNumber = acceptAsInteger = acceptAsFloat = false;
  acceptInteger = 0;
  acceptNumber = 0.0;

  log.AddLine("Checking LOCKDEFINITION '" + name + "'", Normal);
  log.AddLine("Connecting to " + source, Normal);
  QuietEnvironment quiet;
  OdbcConnection connection(quiet.environment());
  connection.silent = true;
  if (!quiet.ready() || !connection.connect(source, userid, password)) {
    log.AddLine("Cannot connect to ODBC source '" + source + "' in LOCKDEFINITION " + name, Error);
    return false;
  }
  OdbcStatement statement;
  auto disconnect = [&] {
    log.AddLine("Disconnecting from " + source, Normal);
    statement.drop();
    connection.disconnect();
  };

  SqlRequest request;
  request.text = select;
  if (!connection.execute(request, statement)) {
    log.AddLine(quiet.environment().lastError(), Error);
    disconnect();
    return false;
  }

  const std::int16_t columnCount = statement.resultColumnCount();
  bool found = false;
  for (std::int16_t number = 1; number <= columnCount && !found; ++number) {
    ColumnDescription description;
    const bool described = statement.describeColumn(number, description);
    // The number is filled only once the driver has described the column; a
    // column of a type that has no binding still has its name.
    if (description.number != number || description.name != acceptColumn) continue;
    found = true;
    if (!described) {
      // The accept column's SQL type has no buffer type: it could never be
      // fetched, so the lock could never be checked.
      log.AddLine(quiet.environment().lastError(), Error);
      disconnect();
      return false;
    }
    acceptDescription = description;
  }
  if (!found) {
    log.AddLine("Column '" + acceptColumn + "' not found in select statement in LOCKDEFINITION '" +
                    name + "'",
                Error);
    disconnect();
    return false;
  }

  switch (valueClassOf(acceptDescription.bindingType)) {
    case ValueClass::Text:
      if (acceptDescription.bindingType == SQL_C_CHAR &&
          (acceptDescription.sqlType == SQL_NUMERIC || acceptDescription.sqlType == SQL_DECIMAL)) {
        acceptAsNumber = true;
        acceptNumber = textToNumber(acceptValue);
      }
      break;
    case ValueClass::Integer:
      acceptAsInteger = true;
      acceptInteger = leadingNumber(acceptValue);
      break;
    case ValueClass::Floating:
      acceptAsFloat = true;
      acceptNumber = textToNumber(acceptValue);
      break;
    case ValueClass::Date:
    case ValueClass::Time:
    case ValueClass::Timestamp:
      log.AddLine(
          "Column '" + acceptColumn + "' cannot be DATE/TIME value in LOCKDEFINITION " + name,
          Error);
      disconnect();
      return false;
    case ValueClass::Other:
      break;
  }
  disconnect();
  return true;
}

bool LockDefinition::check(MessageLog& log) {
  const std::string failed = "Check of LOCKDEFINITION '" + name + "' failed";
  log.AddLine("Checking LOCKDEFINITION '" + name + "'", Normal);
  log.AddLine("Connecting to " + source, Normal);
  QuietEnvironment quiet;
  OdbcEnvironment& environment = quiet.environment();
  OdbcConnection connection(environment);
  connection.silent = true;
  if (!quiet.ready() || !connection.connect(source, userid, password)) {
    log.AddLine(environment.lastError(), Error);
    log.AddLine("Disconnecting from " + source, Normal);
    log.AddLine(failed, Note);
    return false;
  }
  OdbcStatement statement;
  auto disconnect = [&] {
    log.AddLine("Disconnecting from " + source, Normal);
    statement.drop();
    connection.disconnect();
  };

  SqlRequest request;
  request.text = select;
  if (!connection.execute(request, statement)) {
    log.AddLine(environment.lastError(), Error);
    disconnect();
    log.AddLine(failed, Note);
    return false;
  }
  // Some drivers bind a column number beyond the result without complaint and
  // then leave the buffer alone, so the number is checked against the result.
  const std::int16_t columnNumber = acceptDescription.number;
  const BoundValue* value = columnNumber >= 1 && columnNumber <= statement.resultColumnCount()
                                ? statement.bindColumn(columnNumber, &acceptDescription)
                                : nullptr;
  if (!value) {
    log.AddLine(
        "Column " + acceptColumn + " not found in result from LOCKDEFINITION '" + name + "'",
        Error);
    disconnect();
    log.AddLine(failed, Note);
    return false;
  }

  const ValueClass valueClass = valueClassOf(acceptDescription.bindingType);
  const std::string_view acceptedText = withoutTrailingBlanks(acceptValue);
  long rows = 0;
  long differing = 0;
  FetchResult fetched = FetchResult::EndOfData;
  while ((fetched = statement.fetch())) {
    ++rows;
    // NULL is never the accepted value of a number: its buffer still holds
    // the previous row's value. A NULL text reads as the empty text.
    bool same = false;
    if (valueClass == ValueClass::Text) {
      std::string text;
      value->getText(text);
      // A value cut at the buffer's end is longer than the column was
      // described to hold and counts as differing.
      if (!value->truncated()) {
        same = acceptAsNumber ? !value->isNull() && textToNumber(text) == acceptNumber
                              : withoutTrailingBlanks(text) == acceptedText;
      }
    } else if (valueClass == ValueClass::Integer && acceptAsInteger) {
      std::int32_t number = 0;
      same = !value->isNull() && value->getLong(number) && number == acceptInteger;
    } else if (valueClass == ValueClass::Floating && acceptAsFloat) {
      double number = 0.0;
      same = !value->isNull() && value->getDouble(number) &&
             (acceptDescription.bindingType == SQL_C_FLOAT
                  // A REAL holds the accepted value only as precisely as a
                  // float can: 0.1 there is not the double 0.1.
                  ? static_cast<float>(number) == static_cast<float>(acceptNumber)
                  : number == acceptNumber);
    }
    if (!same) ++differing;
  }
  if (fetched.failed()) {
    // A row that could not be read is not a row that carries the accepted
    // value: the lock is not known to be released.
    log.AddLine(environment.lastError(), Error);
    disconnect();
    log.AddLine(failed, Note);
    return false;
  }
  disconnect();

  if (rows == 0) {
    log.AddLine("No rows read from LOCKDEFINITION '" + name + "'", Error);
    log.AddLine(failed, Note);
    return false;
  }
  if (differing > 0) {
    log.AddLine(std::to_string(differing) + " out of " + std::to_string(rows) +
                    " row(s) read from LOCKDEFINITION '" + name + "' did not have " + acceptColumn +
                    " = " + acceptValue,
                Error);
    log.AddLine(failed, Note);
    return false;
  }
  log.AddLine("LOCKDEFINITION '" + name + "' checked and found OK. Processing will be initiated.",
              Normal);
  return true;
}

}  // namespace kestrel
