#include "engine/table_endpoint.h"

#include <sqlext.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "base/parameter_file.h"
#include "engine/copy_definition.h"
#include "engine/edit_definition.h"
#include "engine/value_transforms.h"
#include "odbc/database_format.h"

namespace kestrel {

namespace {

bool startsWithWord(const std::string& text, const char* word) {
  std::size_t n = std::char_traits<char>::length(word);
  if (text.size() < n) return false;
  for (std::size_t i = 0; i < n; ++i) {
    if (std::toupper(static_cast<unsigned char>(text[i])) != word[i]) return false;
  }
  return true;
}

// Statements that change data; SELECT and DECLARE (a cursor) do not.
bool isChangingStatement(const std::string& text) {
  return !startsWithWord(text, "SELECT") && !startsWithWord(text, "DECLARE");
}

std::string trimBlanks(const std::string& text) {
  std::size_t begin = text.find_first_not_of(' ');
  if (begin == std::string::npos) return {};
  return text.substr(begin, text.find_last_not_of(' ') - begin + 1);
}

bool isDecimalSqlType(int sqlType) { return sqlType == SQL_NUMERIC || sqlType == SQL_DECIMAL; }

// A parameter's description: the column's, with a usable declared size for
// character columns whose size the catalog does not know (reported as 0),
// and for timestamps whose catalog size is shorter than "yyyy-mm-dd hh:mm:ss".
// SQLite reports the digits of the fraction (3) as a timestamp's size, and a
// driver given a size under 19 writes the seconds as 00.
ColumnDescription parameterDescription(const ColumnDescription& column, std::int16_t number) {
  ColumnDescription d = column;
  d.number = number;
  if (isCharacterSqlType(d.sqlType) && d.precision <= 0) d.precision = d.bindingLength;
  // Drivers format a date, time or timestamp parameter to the column size
  // they are given (a size below 19 drops the seconds of a timestamp, one
  // below 20 its fraction). The catalogs' figures for these types are not
  // sizes in that sense (SQLite reports a timestamp column as 3), so the
  // parameter carries the full value the buffer holds and the database
  // rounds it to its column.
  switch (d.sqlType) {
    case SQL_DATE:
      d.precision = 10;
      d.scale = 0;
      break;
    case SQL_TIME:
      d.precision = 8;
      d.scale = 0;
      break;
    case SQL_TIMESTAMP:
      d.precision = 29;
      d.scale = 9;
      break;
    default:
      break;
  }
  return d;
}

// The digits p of a type name "DECIMAL(p...)" or "NUMERIC(p...)", 0 for any
// other name.
std::int32_t declaredDecimalDigits(const std::string& typeName) {
  std::string name = trimBlanks(typeName);
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (name.rfind("DECIMAL", 0) != 0 && name.rfind("NUMERIC", 0) != 0) return 0;
  std::size_t at = 7;
  while (at < name.size() && name[at] == ' ') ++at;
  if (at >= name.size() || name[at] != '(') return 0;
  ++at;
  while (at < name.size() && name[at] == ' ') ++at;
  std::int32_t digits = 0;
  for (; at < name.size() && name[at] >= '0' && name[at] <= '9' && digits < 1000; ++at)
    digits = digits * 10 + (name[at] - '0');
  return digits;
}

// A column whose catalog reports it as characters while its type name declares
// DECIMAL(p,s) (SQLite's catalog does so, with the scale as its size) gets a
// buffer for p digits, sign and point; its reported size stays as it is.
void widenDecimalText(EndpointColumn& column) {
  ColumnDescription& d = column.description;
  if (!isCharacterSqlType(d.sqlType)) return;
  const std::int32_t digits = declaredDecimalDigits(column.typeName);
  if (digits <= 0) return;
  d.decimalText = true;
  if (digits + 2 <= d.precision) return;
  ColumnDescription wide = d;
  wide.precision = digits + 2;
  if (completeBinding(wide) && wide.bindingLength > d.bindingLength)
    d.bindingLength = wide.bindingLength;
}

}  // namespace

bool isWellFormedNumber(const std::string& text) {
  std::string t = trimBlanks(text);
  std::size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
  bool digits = false, point = false;
  for (; i < t.size(); ++i) {
    if (t[i] >= '0' && t[i] <= '9') {
      digits = true;
    } else if (t[i] == '.' && !point) {
      point = true;
    } else {
      return false;
    }
  }
  return digits;
}

TableEndpoint::TableEndpoint() {
  // Every failure of a copy run is written to the log; a box would stop an
  // unattended run until someone answered it.
  connection_.silent = true;
  // A run ends its transaction at the first failed change.
  connection_.rollBackTransactionOnError = true;
}

TableEndpoint::~TableEndpoint() {
  readStatement_.drop();
  insertStatement_.drop();
  deleteStatement_.drop();
  updateStatement_.drop();
  connection_.disconnect();
}

void TableEndpoint::setOptions(const RunOptions& options) {
  doUpdate_ = !options.noUpdate;
  listSql_ = options.listSql;
  updateDebugging_ = options.updateDebugging;
  listColumns_ = options.listColumns;
  maxBeforeCommit_ = options.maxBeforeCommit;
}

void TableEndpoint::setTable(const std::string& dataSource, const std::string& qualifier,
                             const std::string& creator, const std::string& table,
                             const std::string& userId, const std::string& password,
                             MessageLog& log) {
  dataSource_ = dataSource;
  qualifier_ = qualifier;
  creator_ = creator;
  table_ = table;
  userId_ = userId;
  password_ = password;
  log_ = &log;
  selectMode_ = false;
  qualifiedTable_ = qualifiedTableName(qualifier, creator, table);
}

void TableEndpoint::setSelect(const std::string& dataSource, const std::string& selectStatement,
                              const std::string& userId, const std::string& password,
                              MessageLog& log) {
  dataSource_ = dataSource;
  selectStatement_ = selectStatement;
  userId_ = userId;
  password_ = password;
  log_ = &log;
  selectMode_ = true;
}

void TableEndpoint::applyQuote(const std::string& quote) {
  quote_ = quote;
  for (EndpointColumn& column : columns_)
    column.sqlName = quoteIdentifier(column.description.name, quote);
  if (!selectMode_) {
    qualifiedTable_ =
        qualifiedTableName(quoteIdentifier(qualifier_, quote), quoteIdentifier(creator_, quote),
                           quoteIdentifier(table_, quote));
  }
}

bool TableEndpoint::connect() {
  OdbcEnvironment& environment = odbcEnvironment();
  // The engine reports through the log; no ODBC message box may wait for a
  // click in the middle of an unattended run.
  if (!environment.isOpen() && !environment.open(true)) {
    log_->AddLine("Cannot open ODBC program interface", Error);
    return false;
  }
  if (connection_.isConnected()) return true;
  log_->AddLine("Connecting to " + dataSource_, Normal);
  if (!connection_.connect(dataSource_, userId_, password_)) return fail();
  // A connection made during the run's transaction joins it.
  if (inTransaction_ && !startConnectionTransaction()) return fail();
  return true;
}

void TableEndpoint::disconnect() {
  if (!connection_.isConnected()) return;
  // Closing would drop the uncommitted changes anyway (or, with some
  // drivers, refuse); they are rolled back first, and the log says so.
  if (inTransaction_) rollBack();
  log_->AddLine("Disconnecting from " + dataSource_, Normal);
  connection_.disconnect();
}

bool TableEndpoint::fail() {
  log_->AddLine(odbcEnvironment().lastError(), Error);
  disconnect();
  return false;
}

void TableEndpoint::closeCursor() {
  if (readStatement_.isAllocated()) SQLFreeStmt(readStatement_.handle(), SQL_CLOSE);
}

bool TableEndpoint::executeKeepingConnection(SqlRequest& request, OdbcStatement& statement) {
  keepConnection_ = true;
  bool ok = execute(request, statement);
  keepConnection_ = false;
  return ok;
}

bool TableEndpoint::execute(SqlRequest& request, OdbcStatement& statement) {
  if (!connect()) return false;
  if (listSql_) log_->AddLine(dataSource_ + ": " + request.text, Note);
  const bool changing = isChangingStatement(request.text);
  if (changing && !doUpdate_) return true;
  bool ok = connection_.execute(request, statement);
  if (!ok) {
    if (keepConnection_ && !connectionLost())
      log_->AddLine(odbcEnvironment().lastError(), Error);
    else
      fail();
    return false;
  }
  // A change is committed by commitWhenDue once the caller has checked it:
  // a DELETE or UPDATE that changed the wrong number of rows must never be
  // committed.
  if (changing) {
    ++pendingChanges_;
    ++uncommitted_;
  }
  return true;
}

bool TableEndpoint::commitWhenDue() {
  if (maxBeforeCommit_ <= 0 || pendingChanges_ < maxBeforeCommit_) return true;
  pendingChanges_ = 0;
  if (!connection_.isConnected()) return true;
  if (!commitConnection(true)) return fail();
  uncommitted_ = 0;
  return true;
}

bool TableEndpoint::beginTransaction() {
  inTransaction_ = true;
  uncommitted_ = 0;
  pendingChanges_ = 0;
  // A connection kept from an earlier run that refuses is closed; the next
  // statement connects anew (and reports what still fails).
  if (connection_.isConnected() && !startConnectionTransaction()) disconnect();
  return true;
}

bool TableEndpoint::endTransaction(bool success) {
  if (!inTransaction_) return true;
  bool ok = true;
  if (connection_.isConnected()) {
    if (!success) {
      rollBack();
    } else if (commitConnection(false)) {
      uncommitted_ = 0;
    } else {
      log_->AddLine(odbcEnvironment().lastError(), Error);
      rollBack();
      ok = false;
    }
  }
  inTransaction_ = false;
  uncommitted_ = 0;
  pendingChanges_ = 0;
  // Back to the driver's autocommit, so that nothing stays open in a
  // transaction until the next run; a connection that refuses is closed.
  if (connection_.isConnected() && !leaveConnectionTransaction()) disconnect();
  return ok;
}

bool TableEndpoint::sqliteConnection() const {
  return connection_.dbmsName().rfind("SQLite", 0) == 0;
}

bool TableEndpoint::executeOnConnection(const char* text) {
  SqlRequest request;
  request.text = text;
  OdbcStatement statement;
  return connection_.execute(request, statement);
}

bool TableEndpoint::startConnectionTransaction() {
  if (sqliteConnection()) return executeOnConnection("BEGIN");
  return connection_.setOption(SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF);
}

bool TableEndpoint::commitConnection(bool again) {
  if (!sqliteConnection()) return connection_.transact(SQL_COMMIT);
  return executeOnConnection("COMMIT") && (!again || executeOnConnection("BEGIN"));
}

bool TableEndpoint::rollBackConnection() {
  if (sqliteConnection()) return executeOnConnection("ROLLBACK");
  return connection_.transact(SQL_ROLLBACK);
}

bool TableEndpoint::leaveConnectionTransaction() {
  // SQLite's transaction has ended with its COMMIT or ROLLBACK.
  if (sqliteConnection()) return true;
  return connection_.setOption(SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_ON);
}

void TableEndpoint::rollBack() {
  if (connection_.isConnected()) rollBackConnection();
  if (uncommitted_ > 0)
    log_->AddLine("Changes not committed to " + table_ + " in " + dataSource_ + " were rolled back",
                  Error);
  uncommitted_ = 0;
  pendingChanges_ = 0;
}

bool TableEndpoint::connectionLost() {
  if (!connection_.isConnected()) return true;
  // Asked only after a failed statement: drivers that cannot tell answer
  // with an error, and the connection then counts as alive.
  SQLUINTEGER dead = SQL_CD_FALSE;
  SQLRETURN rc =
      SQLGetConnectAttr(connection_.handle(), SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr);
  return SQL_SUCCEEDED(rc) && dead == SQL_CD_TRUE;
}

void TableEndpoint::executeCommitStatement() {
  if (!connection_.isConnected()) return;
  SqlRequest request;
  request.text = "COMMIT";
  OdbcStatement statement;
  connection_.execute(request, statement);
}

void TableEndpoint::commitPending() {
  if (pendingChanges_ <= 0) return;
  pendingChanges_ = 0;
  if (connection_.isConnected() &&
      (inTransaction_ ? commitConnection(true) : connection_.transact(SQL_COMMIT)))
    uncommitted_ = 0;
}

bool TableEndpoint::loadColumns() {
  OdbcStatement statement;
  if (selectMode_) {
    SqlRequest request;
    request.text = selectStatement_;
    if (!execute(request, statement)) return false;
    std::int16_t count = statement.resultColumnCount();
    for (std::int16_t number = 1; number <= count; ++number) {
      EndpointColumn column;
      if (!statement.describeColumn(number, column.description)) continue;
      column.typeName = "<unknown>";
      column.sqlName = column.description.name;
      columns_.push_back(std::move(column));
    }
    return true;
  }
  if (!connect()) return false;
  if (!connection_.queryColumns(statement, qualifier_, creator_, table_, "%")) return fail();
  auto describe = [](std::int16_t number, std::int16_t sqlType, std::int32_t precision) {
    ColumnDescription d;
    d.number = number;
    d.sqlType = sqlType;
    d.precision = precision;
    completeBinding(d);
    return d;
  };
  BoundValue* name = statement.bindColumn(
      4, &static_cast<const ColumnDescription&>(describe(4, SQL_VARCHAR, 128)));
  BoundValue* type =
      statement.bindColumn(5, &static_cast<const ColumnDescription&>(describe(5, SQL_INTEGER, 10)));
  BoundValue* typeName = statement.bindColumn(
      6, &static_cast<const ColumnDescription&>(describe(6, SQL_VARCHAR, 128)));
  BoundValue* precision =
      statement.bindColumn(7, &static_cast<const ColumnDescription&>(describe(7, SQL_INTEGER, 10)));
  BoundValue* scale =
      statement.bindColumn(9, &static_cast<const ColumnDescription&>(describe(9, SQL_INTEGER, 10)));
  BoundValue* nullable = statement.bindColumn(
      11, &static_cast<const ColumnDescription&>(describe(11, SQL_INTEGER, 10)));
  if (!name || !type || !typeName || !precision || !scale || !nullable) return fail();
  std::int16_t rowNumber = 0;
  while (statement.fetch()) {
    EndpointColumn column;
    std::int32_t number = 0;
    column.description.number = ++rowNumber;
    name->getText(column.description.name);
    column.description.name = trimBlanks(column.description.name);
    type->getLong(number);
    column.description.sqlType = static_cast<std::int16_t>(number);
    typeName->getText(column.typeName);
    column.typeName = trimBlanks(column.typeName);
    number = 0;
    if (!precision->isNull()) precision->getLong(number);
    column.description.precision = number;
    number = 0;
    if (!scale->isNull()) scale->getLong(number);
    column.description.scale = static_cast<std::int16_t>(number);
    number = 0;
    nullable->getLong(number);
    column.description.nullable = number == 1;
    column.supported = completeBinding(column.description);
    if (column.supported) widenDecimalText(column);
    int bindingClass = column.description.bindingType;
    if (bindingClass == SQL_C_CHAR && !isDecimalSqlType(column.description.sqlType))
      column.description.scale = 0;
    if (bindingClass == SQL_C_BINARY) column.description.scale = 0;
    column.sqlName = column.description.name;
    columns_.push_back(std::move(column));
  }
  return true;
}

EndpointColumn* TableEndpoint::addColumn(const std::string& name, bool key, bool logged, bool hex,
                                         EndpointColumn* sourceColumn,
                                         const std::string& formatPattern,
                                         const SetColumn* setColumn, const CopyColumn* transforms,
                                         bool leftTrim, bool unchanged) {
  if (columns_.empty() && !loadColumns()) return nullptr;
  const std::string tableText = selectMode_ ? std::string() : table_;
  if (columns_.empty()) {
    log_->AddLine("Table " + tableText + " in data source " + dataSource_ + " not found", Error);
    return nullptr;
  }
  auto found = std::find_if(columns_.begin(), columns_.end(), [&](const EndpointColumn& column) {
    return column.description.name == name;
  });
  if (found == columns_.end()) {
    log_->AddLine(
        "Column " + name + " not found in table " + tableText + " in data source " + dataSource_,
        Error);
    return nullptr;
  }
  EndpointColumn& column = *found;
  if (column.inUse) {
    log_->AddLine("Column " + name + " already used in other COPY or SET command in table " +
                      tableText + " in data source " + dataSource_,
                  Error);
    return nullptr;
  }
  if (!column.supported) {
    log_->AddLine("Column " + name + " in table " + tableText + " in data source " + dataSource_ +
                      " has a data type that cannot be copied (" + column.typeName + ", SQL type " +
                      std::to_string(column.description.sqlType) + ")",
                  Error);
    return nullptr;
  }
  column.inUse = true;
  column.key = key;
  column.logged = logged;
  column.hex = hex;
  column.sourceColumn = sourceColumn;
  column.setColumn = setColumn;
  column.transforms = transforms;
  column.leftTrim = leftTrim;
  column.unchanged = unchanged;
  column.formatPattern = formatPattern;
  column.formatted = !formatPattern.empty();
  if (listColumns_) {
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, "(%ld,%d)",
                  static_cast<long>(column.description.precision), column.description.scale);
    log_->AddLine("Column definition read: " + name + " (in " + tableText + "/" + dataSource_ +
                      ") " + column.typeName + numbers,
                  Note);
  }
  return &column;
}

std::string TableEndpoint::sourceSelectText(const std::string& where,
                                            const std::string& orderBy) const {
  if (selectMode_) return selectStatement_;
  std::string text = "SELECT ";
  bool firstColumn = true;
  for (const EndpointColumn& column : columns_) {
    if (!column.inUse || column.setColumn) continue;
    if (!firstColumn) text += ", ";
    text += selectExpression(column);
    firstColumn = false;
  }
  text += " FROM " + qualifiedTable_;
  if (!where.empty()) text += " WHERE " + where;
  if (!orderBy.empty()) text += " ORDER BY " + orderBy;
  return text;
}

bool TableEndpoint::bindReadColumns(bool includeSet) {
  int position = 0;
  for (EndpointColumn& column : columns_) {
    column.value = nullptr;
    if (!column.inUse || (column.setColumn && !includeSet)) continue;
    // A SELECT statement's columns keep their place in its result; a
    // generated SELECT lists the columns in use in list order.
    column.selectPosition = selectMode_ ? column.description.number : ++position;
    column.value = readStatement_.bindColumn(static_cast<std::int16_t>(column.selectPosition),
                                             &column.description);
    if (!column.value) return fail();
    column.storedLength = 0;
  }
  return true;
}

bool TableEndpoint::executeSourceSelect(const std::string& where, const std::string& orderBy) {
  pendingChanges_ = 0;
  readFailed_ = false;
  SqlRequest request;
  // The select list depends on the database.
  if (!connect()) return false;
  request.text = sourceSelectText(where, orderBy);
  if (!execute(request, readStatement_)) return false;
  return bindReadColumns(false);
}

bool TableEndpoint::openSourceSelect(const std::string& where, const std::string& orderBy) {
  if (!executeSourceSelect(where, orderBy)) return false;
  rowsFetched = 0;
  return true;
}

bool TableEndpoint::checkFetched(FetchResult fetched) {
  OdbcEnvironment& environment = odbcEnvironment();
  if (!fetched) {
    readFailed_ = fetched.failed();
    if (readFailed_) {
      // lastError was cleared before the fetch: a failure without a message
      // of its own is a statement lost with its connection.
      std::string reason = environment.lastError().empty()
                               ? "Connection to " + dataSource_ + " lost while reading"
                               : environment.lastError();
      log_->AddLine(reason, Error);
      // As after every ODBC failure: the next statement reconnects rather
      // than reuse a connection that may be lost.
      disconnect();
    } else {
      environment.setLastError("OK");
    }
    return false;
  }
  for (const EndpointColumn& column : columns_) {
    if (column.value && column.value->truncated()) {
      readFailed_ = true;
      log_->AddLine("Value of column " + column.description.name + " in table " + table_ +
                        " in data source " + dataSource_ + " is longer than its buffer of " +
                        std::to_string(column.description.bindingLength) +
                        " bytes; it is not copied cut short",
                    Error);
      return false;
    }
  }
  if (identifierTruncated()) {
    readFailed_ = true;
    log_->AddLine("The row identifier of a row of table " + table_ + " in data source " +
                      dataSource_ + " is longer than its buffer; no row is changed by it",
                  Error);
    return false;
  }
  return true;
}

bool TableEndpoint::identifierTruncated() const {
  return std::any_of(rowIdentifierValues_.begin(), rowIdentifierValues_.end(),
                     [](const BoundValue* value) { return value && value->truncated(); });
}

bool TableEndpoint::fetchRow() {
  odbcEnvironment().setLastError("");
  return checkFetched(readStatement_.fetch());
}

bool TableEndpoint::fetchSource() {
  if (!fetchRow()) return false;
  ++rowsFetched;
  return true;
}

bool TableEndpoint::openForUpdate(UpdateMode updateMode, const std::string& where) {
  cursorName_.clear();
  rowIdentifierValues_.clear();
  toWhere_ = where;
  readFailed_ = false;
  updateMode_ = updateMode;
  insertRequest_.clear();
  updateRequest_.clear();
  UpdateMode mode = updateMode;
  std::string columnList;
  std::vector<std::string> nonKeys, keys;
  for (const EndpointColumn& column : columns_) {
    if (!column.inUse) continue;
    if (!columnList.empty()) columnList += ", ";
    columnList += selectExpression(column);
    (column.key ? keys : nonKeys).push_back(column.sqlName);
  }
  if (mode == UpdateMode::OpenCursor) cursorName_ = fixedCursorName(mode);
  targetRowsRead = deletedCount = updatedCount = insertedCount = 0;
  const int inUse = static_cast<int>(std::count_if(
      columns_.begin(), columns_.end(), [](const EndpointColumn& c) { return c.inUse; }));
  if (mode == UpdateMode::Keys) {
    if (!connect()) return false;
    findRowIdentifier(keys);
    for (const std::string& name : rowIdentifierNames_) columnList += ", " + name;
  }
  SqlRequest request;
  request.text = targetSelectText(mode, columnList, qualifiedTable_, where, nonKeys);
  if (!execute(request, readStatement_)) return false;
  if (!bindReadColumns(true)) return false;
  for (std::size_t i = 0; i < rowIdentifierDescriptions_.size(); ++i) {
    ColumnDescription& d = rowIdentifierDescriptions_[i];
    d.number = static_cast<std::int16_t>(inUse + 1 + static_cast<int>(i));
    BoundValue* value = readStatement_.bindColumn(d.number, &d);
    if (!value) return fail();
    rowIdentifierValues_.push_back(value);
  }

  deleteRequest_.clear();
  deleteRequest_.text = "DELETE FROM " + qualifiedTable_;
  if (mode == UpdateMode::Keys) {
    deleteRequest_.text += rowConditionText_;
    deleteRequest_.prepare = true;
  } else if (!cursorName_.empty()) {
    deleteRequest_.text += " WHERE CURRENT OF " + cursorName_;
  } else if (!readStatement_.appendWhereCurrentOf(deleteRequest_.text)) {
    // Without a cursor name no row could be addressed: nothing is changed.
    deleteRequest_.clear();
    return fail();
  }
  return true;
}

// What names exactly the fetched row, in this order: the database's own row
// identifier (SQLite's rowid, PostgreSQL's ctid) where the table has one,
// else the driver's best row identifier (a primary key or a unique index
// without NULLs, whose uniqueness the database keeps under its own
// collation), else the key columns. The identifying values are fetched as
// text (bytes for binary columns) and sent back unchanged, so they match
// what the database stored even where its notion of the type is not ours
// (SQLite keeps a TIMESTAMP as the text it was given). The condition
// always holds the run's TO condition as well.
void TableEndpoint::findRowIdentifier(const std::vector<std::string>& keys) {
  rowIdentifierNames_.clear();
  rowIdentifierDescriptions_.clear();
  const std::string dbms = connection_.dbmsName();
  bool found = (dbms == "SQLite" && tryRowIdentifier("_ROWID_")) ||
               (dbms == "PostgreSQL" && tryRowIdentifier("ctid"));
  if (!found) {
    OdbcStatement statement;
    if (connection_.querySpecialColumns(statement, qualifier_, creator_, table_)) {
      ColumnDescription nameColumn;
      nameColumn.number = 2;
      nameColumn.sqlType = SQL_VARCHAR;
      nameColumn.precision = 128;
      completeBinding(nameColumn);
      ColumnDescription numberColumn;
      numberColumn.sqlType = SQL_INTEGER;
      numberColumn.precision = 10;
      completeBinding(numberColumn);
      numberColumn.number = 3;
      BoundValue* name = statement.bindColumn(2, &nameColumn);
      BoundValue* type = statement.bindColumn(3, &numberColumn);
      numberColumn.number = 5;
      BoundValue* size = statement.bindColumn(5, &numberColumn);
      while (name && type && size && statement.fetch()) {
        std::string columnName;
        name->getText(columnName);
        columnName = trimBlanks(columnName);
        std::int32_t sqlType = SQL_VARCHAR, columnSize = 0;
        type->getLong(sqlType);
        if (!size->isNull()) size->getLong(columnSize);
        const bool isColumn =
            std::any_of(columns_.begin(), columns_.end(),
                        [&](const EndpointColumn& c) { return c.description.name == columnName; });
        ColumnDescription d;
        d.name = columnName;
        const bool binary =
            sqlType == SQL_BINARY || sqlType == SQL_VARBINARY || sqlType == SQL_LONGVARBINARY;
        d.sqlType = binary ? SQL_VARBINARY : SQL_VARCHAR;
        // Room for up to four bytes per character of a text, and for the
        // sign, point and exponent of a number shown as text.
        d.precision = columnSize > 0 ? std::min<std::int32_t>(columnSize, 1 << 20) * 4 + 40 : 0;
        if (columnName.empty() || !completeBinding(d)) {
          found = false;
          break;
        }
        rowIdentifierNames_.push_back(isColumn ? quoteIdentifier(columnName, quote_) : columnName);
        rowIdentifierDescriptions_.push_back(d);
        found = true;
      }
    }
    if (!found) {
      rowIdentifierNames_.clear();
      rowIdentifierDescriptions_.clear();
    }
  }
  rowConditionText_ = rowCondition(keys);
}

bool TableEndpoint::tryRowIdentifier(const std::string& expression) {
  SqlRequest probe;
  probe.text = "SELECT " + expression + " FROM " + qualifiedTable_ + " WHERE 1=0";
  OdbcStatement statement;
  if (!connection_.execute(probe, statement)) {
    // A table without one (a SQLite table WITHOUT ROWID, a view). Inside a
    // transaction PostgreSQL refuses everything after a failed statement;
    // nothing has been changed yet, so it is rolled back (and, on SQLite,
    // whose failed statement leaves the transaction as it was, begun anew).
    if (inTransaction_) {
      rollBackConnection();
      if (sqliteConnection()) executeOnConnection("BEGIN");
    }
    return false;
  }
  ColumnDescription d;
  d.name = expression;
  d.sqlType = SQL_VARCHAR;
  d.precision = 64;
  completeBinding(d);
  rowIdentifierNames_ = {expression};
  rowIdentifierDescriptions_ = {d};
  return true;
}

std::string TableEndpoint::rowCondition(const std::vector<std::string>& keys) const {
  std::string text = keyCondition(rowIdentifierNames_.empty() ? keys : rowIdentifierNames_);
  if (!toWhere_.empty()) text += " AND (" + toWhere_ + ")";
  return text;
}

void TableEndpoint::fillRowParameters(SqlRequest& request, std::int16_t& number) {
  if (!rowIdentifierValues_.empty()) {
    for (std::size_t i = 0; i < rowIdentifierValues_.size(); ++i) {
      ++number;
      if (static_cast<std::size_t>(number) > request.parameters().size()) {
        ColumnDescription d = rowIdentifierDescriptions_[i];
        d.number = number;
        if (d.precision <= 0) d.precision = d.bindingLength;
        request.addParameter(number, d);
      }
      // The fetched bytes, exactly.
      const BoundValue& from = *rowIdentifierValues_[i];
      BoundValue& to = *request.parameters()[number - 1];
      std::copy(from.data(), from.data() + std::min(from.bufferSize(), to.bufferSize()), to.data());
      to.setIndicator(from.indicator());
    }
    return;
  }
  for (const EndpointColumn& column : columns_) {
    if (!column.inUse || !column.key) continue;
    ++number;
    if (static_cast<std::size_t>(number) > request.parameters().size())
      request.addParameter(number, parameterDescription(column.description, number));
    convertValue(*column.value, *request.parameters()[number - 1], "");
  }
}

bool TableEndpoint::fetchTarget() {
  if (!fetchRow()) return false;
  ++targetRowsRead;
  return true;
}

bool TableEndpoint::currentKeyIsNull() const {
  for (const EndpointColumn& column : columns_) {
    if (column.inUse && column.key && column.value && column.value->isNull()) return true;
  }
  return false;
}

std::string TableEndpoint::renderColumns(bool keysOnly, bool loggedOnly) const {
  std::string text;
  bool firstColumn = true;
  for (const EndpointColumn& column : columns_) {
    if (!column.inUse || !column.value) continue;
    if (keysOnly && !column.key) continue;
    if (loggedOnly && !column.logged) continue;
    if (!firstColumn) text += ",";
    renderValue(text, *column.value, column.hex,
                column.sourceColumn ? column.sourceColumn->value : nullptr);
    firstColumn = false;
  }
  return text;
}

bool TableEndpoint::deleteCurrent() {
  bool anyLogged = std::any_of(columns_.begin(), columns_.end(),
                               [](const EndpointColumn& c) { return c.inUse && c.logged; });
  if (anyLogged) log_->AddLine("Deleting row:" + renderColumns(false, true), Note);
  if (updateDebugging_)
    log_->AddLine("Update debug: Deleting TO row: " + renderColumns(true, false), Note);
  if (deleteRequest_.text.empty()) {
    log_->AddLine("No cursor position for DELETE in table " + table_ + " in data source " +
                      dataSource_ + "; the row is not deleted",
                  Error);
    return false;
  }
  if (updateMode_ == UpdateMode::Keys) {
    std::int16_t number = 0;
    fillRowParameters(deleteRequest_, number);
  }
  if (!executeKeepingConnection(deleteRequest_, deleteStatement_)) return false;
  if (!changedOneRow(deleteStatement_, "DELETE", "deleted")) return false;
  ++deletedCount;
  return commitWhenDue();
}

bool TableEndpoint::changedOneRow(OdbcStatement& statement, const char* statementName,
                                  const char* verb) {
  // A suppressed statement was never sent. Otherwise anything but one row
  // means the statement did not address the fetched row alone: a driver
  // that emulates the cursor position by the row's values finds none when
  // one of them is NULL; a key compared under a case-insensitive collation
  // finds two.
  if (!doUpdate_) return true;
  const std::int32_t count = statement.rowCount();
  if (count == 1) return true;
  std::string line = std::string(statementName) + " of the row" + renderColumns(true, false) +
                     " in table " + table_ + " in data source " + dataSource_ + " " + verb + " ";
  if (count == 0)
    line += "no row";
  else if (count < 0)
    line += "an unknown number of rows";
  else
    line += std::to_string(count) + " rows";
  log_->AddLine(line, Error);
  return false;
}

bool TableEndpoint::fillParameter(BoundValue& parameter, EndpointColumn& column) {
  if (column.setColumn) return setColumnValue(*column.setColumn, parameter);
  if (column.sourceColumn && column.sourceColumn->value) {
    // What the database keeps is known once connected.
    if (!connect()) return false;
    std::string shown;
    if (!convertFitting(*column.sourceColumn->value, parameter,
                        column.formatted ? column.formatPattern : std::string(),
                        connection_.valueLimits(), shown)) {
      log_->AddLine(valueRefusedText(shown, column), Error);
      return false;
    }
  } else {
    parameter.setNull();
  }
  return true;
}

std::string TableEndpoint::valueRefusedText(const std::string& shown,
                                            const EndpointColumn& column) const {
  std::string from = column.sourceColumn ? column.sourceColumn->description.name : std::string();
  return "Value " + shown + " of column " + from + " does not fit and cannot be written to the " +
         sqlTypeName(column.description.sqlType) + " column " + column.description.name +
         " of table " + table_ + " in data source " + dataSource_;
}

bool TableEndpoint::appendValuePart(std::string& text, EndpointColumn& column, SqlRequest& request,
                                    std::int16_t& parameterNumber) {
  EndpointColumn* source = column.sourceColumn;
  if (!column.setColumn && source && source->value &&
      isDecimalSqlType(column.description.sqlType) &&
      source->value->description.bindingType == SQL_C_CHAR) {
    // The decimal text goes into the statement as it came from the source.
    // It comes from another database, so only a plain number may pass.
    if (source->value->isNull()) {
      text += "NULL";
      return true;
    }
    std::string literal;
    source->value->getText(literal);
    literal = trimBlanks(literal);
    if (!isWellFormedNumber(literal)) {
      log_->AddLine("Value '" + literal + "' of column " + source->description.name +
                        " is not a number and cannot be written to the DECIMAL column " +
                        column.description.name + " of table " + table_ + " in data source " +
                        dataSource_,
                    Error);
      return false;
    }
    text += literal;
    return true;
  }
  text += "?";
  ++parameterNumber;
  if (static_cast<std::size_t>(parameterNumber) > request.parameters().size())
    request.addParameter(parameterNumber,
                         parameterDescription(column.description, parameterNumber));
  return fillParameter(*request.parameters()[parameterNumber - 1], column);
}

bool TableEndpoint::updateCurrent() {
  bool anyChanged = false, loggedChanged = false;
  for (EndpointColumn& column : columns_) {
    column.changed = false;
    if (!column.inUse || column.setColumn || column.key || column.unchanged) continue;
    if (!column.sourceColumn || !column.sourceColumn->value || !column.value) continue;
    column.changed = !valuesEqual(*column.value, *column.sourceColumn->value);
    anyChanged = anyChanged || column.changed;
    loggedChanged = loggedChanged || (column.changed && column.logged);
  }
  if (!anyChanged) return true;

  // The statement text is built afresh for every row, but the request is only
  // prepared again when the text differs from the last one.
  std::string text = "UPDATE " + qualifiedTable_ + " SET ";
  SqlRequest request;
  std::int16_t parameters = 0;
  bool firstColumn = true;
  for (EndpointColumn& column : columns_) {
    if (!column.inUse || column.key || !(column.changed || column.setColumn)) continue;
    if (!firstColumn) text += ", ";
    text += column.sqlName + "=";
    if (!appendValuePart(text, column, request, parameters)) return false;
    firstColumn = false;
  }
  if (updateDebugging_)
    log_->AddLine("Update debug: Updating TO row: " + renderColumns(true, false), Note);
  if (loggedChanged) {
    std::string line = "Updating row:";
    bool firstLogged = true;
    for (EndpointColumn& column : columns_) {
      if (!column.inUse || column.setColumn || !column.logged || !(column.changed || column.key))
        continue;
      if (!firstLogged) line += ",";
      const BoundValue* source = column.sourceColumn ? column.sourceColumn->value : nullptr;
      renderValue(line, *column.value, column.hex, source);
      if (!column.key && source) {
        line += " to";
        BoundValue converted(column.description);
        convertValue(*source, converted, column.formatted ? column.formatPattern : std::string());
        renderValue(line, converted, column.hex, source);
      }
      firstLogged = false;
    }
    log_->AddLine(line, Note);
  }
  const bool keyed = updateMode_ == UpdateMode::Keys;
  if (keyed) {
    fillRowParameters(request, parameters);
    text += rowConditionText_;
  } else if (!cursorName_.empty()) {
    text += " WHERE CURRENT OF " + cursorName_;
  } else if (!readStatement_.appendWhereCurrentOf(text)) {
    // Never an UPDATE without its WHERE clause.
    return fail();
  }
  if (keyed && updateRequest_.prepared && updateRequest_.text == text &&
      updateRequest_.parameters().size() == request.parameters().size()) {
    for (std::size_t i = 0; i < request.parameters().size(); ++i) {
      BoundValue& from = *request.parameters()[i];
      BoundValue& to = *updateRequest_.parameters()[i];
      std::copy(from.data(), from.data() + from.bufferSize(), to.data());
      to.setIndicator(from.indicator());
    }
  } else {
    updateRequest_ = std::move(request);
    updateRequest_.text = text;
    updateRequest_.prepare = keyed;
  }
  if (!execute(updateRequest_, updateStatement_)) return false;
  if (keyed && doUpdate_ && updateStatement_.rowCount() == 0 && keyedRowUnchanged()) {
    // MariaDB counts only rows whose stored values changed: the row is there
    // and already holds what was sent as the database keeps it (a CHAR's
    // trailing blanks, a number rounded to the column). Nothing changed, so
    // nothing is counted.
    if (updateDebugging_)
      log_->AddLine("Update debug: The database holds the TO row unchanged", Note);
    return true;
  }
  if (!changedOneRow(updateStatement_, "UPDATE", "updated")) return false;
  ++updatedCount;
  return commitWhenDue();
}

bool TableEndpoint::keyedRowUnchanged() {
  SqlRequest request;
  request.text = "SELECT COUNT(*) FROM " + qualifiedTable_ + rowConditionText_;
  std::int16_t number = 0;
  fillRowParameters(request, number);
  OdbcStatement statement;
  if (!connection_.execute(request, statement)) return false;
  ColumnDescription d;
  d.number = 1;
  d.sqlType = SQL_INTEGER;
  d.precision = 10;
  completeBinding(d);
  BoundValue* value = statement.bindColumn(1, &d);
  std::int32_t count = 0;
  if (!value || !statement.fetch() || value->isNull() || !value->getLong(count)) return false;
  return count == 1;
}

bool TableEndpoint::prepareInsert() {
  pendingChanges_ = 0;
  insertRequest_.clear();
  return true;
}

bool TableEndpoint::insertRow() {
  std::string text = "INSERT INTO " + qualifiedTable_ + " (";
  bool firstColumn = true;
  for (const EndpointColumn& column : columns_) {
    if (!column.inUse) continue;
    if (!firstColumn) text += ", ";
    text += column.sqlName;
    firstColumn = false;
  }
  text += ") VALUES(";
  // Parameters are filled in place while the text is built; a text equal to
  // the previous row's keeps its prepared statement.
  const bool sameShape = insertRequest_.prepared;
  SqlRequest fresh;
  SqlRequest& request = sameShape ? insertRequest_ : fresh;
  std::int16_t parameters = 0;
  firstColumn = true;
  for (EndpointColumn& column : columns_) {
    if (!column.inUse) continue;
    if (!firstColumn) text += ", ";
    if (!appendValuePart(text, column, request, parameters)) return false;
    firstColumn = false;
  }
  text += ")";
  if (sameShape && text != insertRequest_.text) {
    // A decimal literal changed the text: build the request anew.
    insertRequest_.clear();
    return insertRow();
  }
  if (!sameShape) {
    insertRequest_ = std::move(fresh);
    // Preparing costs the server a round trip and a plan of its own (the
    // PostgreSQL driver drops and prepares it again for the next text), which
    // only pays when the text is executed again: a text seen once is executed
    // directly; its second execution in a row prepares it for the rows after.
    insertRequest_.prepare = text == lastInsertText_;
    lastInsertText_ = text;
    insertRequest_.text = std::move(text);
  }
  bool anyLogged = std::any_of(columns_.begin(), columns_.end(), [](const EndpointColumn& c) {
    return c.inUse && !c.setColumn && c.logged;
  });
  if (anyLogged) {
    std::string line = "Inserting row:";
    bool firstLogged = true;
    std::size_t parameterIndex = 0;
    for (EndpointColumn& column : columns_) {
      if (!column.inUse) continue;
      const BoundValue* source = column.sourceColumn ? column.sourceColumn->value : nullptr;
      bool literal = !column.setColumn && source && isDecimalSqlType(column.description.sqlType) &&
                     source->description.bindingType == SQL_C_CHAR;
      const BoundValue* inserted =
          literal ? nullptr : insertRequest_.parameters()[parameterIndex++].get();
      if (column.setColumn || !column.logged) continue;
      if (!firstLogged) line += ",";
      if (inserted) {
        renderValue(line, *inserted, column.hex, source);
      } else {
        BoundValue shown(column.description);
        shown.description.name = column.description.name;
        if (source->isNull()) shown.setNull();
        renderValue(line, shown, column.hex, source);
      }
      firstLogged = false;
    }
    log_->AddLine(line, Note);
  }
  if (!execute(insertRequest_, insertStatement_)) {
    insertRequest_.clear();
    return false;
  }
  ++insertedCount;
  return commitWhenDue();
}

}  // namespace kestrel
