#include "odbc/odbc.h"

#include <odbcinst.h>
#include <sqlext.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "base/platform.h"

namespace kestrel {

namespace detail {

void EnvironmentHandleTraits::free(Handle handle) noexcept { SQLFreeEnv(handle); }
void ConnectionHandleTraits::free(Handle handle) noexcept { SQLFreeConnect(handle); }
void StatementHandleTraits::free(Handle handle) noexcept { SQLFreeStmt(handle, SQL_DROP); }

}  // namespace detail

namespace {

SQLCHAR* textOrNull(const std::string& text) {
  return text.empty() ? nullptr : reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.c_str()));
}

SQLCHAR* sqlText(const std::string& text) {
  return reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.c_str()));
}

SQLINTEGER sqlLength(const std::string& text) {
  return static_cast<SQLINTEGER>(
      std::min<size_t>(text.size(), std::numeric_limits<SQLINTEGER>::max()));
}

std::string profileString(const std::string& section, const char* key, const char* file) {
  char value[1024] = {};
  if (SQLGetPrivateProfileString(section.c_str(), key, "", value, sizeof value, file) <= 0)
    return {};
  return value;
}

// The connection string that opens the data source with psqlODBC's rollback
// of the whole transaction on an error, or empty where that does not apply:
// another driver, a DSN that sets its own level, or a name or credential
// that a connection string could not carry unquoted.
std::string transactionRollbackConnectString(const std::string& dataSource,
                                             const std::string& userId,
                                             const std::string& password) {
  std::string library = profileString(dataSource, "Driver", "odbc.ini");
  // The DSN names a registered driver or gives its library.
  if (!library.empty() && library.find('/') == std::string::npos) {
    std::string registered = profileString(library, "Driver", "odbcinst.ini");
    if (!registered.empty()) library = registered;
  }
  const std::string::size_type slash = library.rfind('/');
  if (library.find("psqlodbc", slash == std::string::npos ? 0 : slash) == std::string::npos)
    return {};
  if (!profileString(dataSource, "Protocol", "odbc.ini").empty()) return {};
  for (const std::string* text : {&dataSource, &userId, &password}) {
    if (text->find_first_of(";{}") != std::string::npos) return {};
    if (!text->empty() && (text->front() == ' ' || text->back() == ' ')) return {};
  }
  // Level 1 of "Protocol": roll back the transaction; the version before it
  // is not used by current drivers.
  return "DSN=" + dataSource + ";UID=" + userId + ";PWD=" + password + ";Protocol=7.4-1";
}

std::string bufferText(const SQLCHAR* buffer, size_t capacity) {
  const char* chars = reinterpret_cast<const char*>(buffer);
  return std::string(chars, strnlen(chars, capacity));
}

uint64_t nextAllocation() {
  static uint64_t counter = 0;
  return ++counter;
}

template <typename T>
void removeFrom(std::vector<T*>& list, T* item) {
  list.erase(std::remove(list.begin(), list.end(), item), list.end());
}

template <typename T>
void addTo(std::vector<T*>& list, T* item) {
  if (std::find(list.begin(), list.end(), item) == list.end()) list.push_back(item);
}

}  // namespace

std::string tableTypeList(unsigned typeFlags) {
  if (typeFlags & kTableTypeAll) return {};
  static const std::pair<unsigned, const char*> kTypes[] = {
      {kTableTypeTable, "'TABLE'"},
      {kTableTypeView, "'VIEW'"},
      {kTableTypeSystemTable, "'SYSTEM TABLE'"},
      {kTableTypeAlias, "'ALIAS'"},
      {kTableTypeSynonym, "'SYNONYM'"},
  };
  std::string list;
  for (const auto& [bit, name] : kTypes) {
    if (!(typeFlags & bit)) continue;
    if (!list.empty()) list += ",";
    list += name;
  }
  return list;
}

SQLULEN parameterColumnSize(const ColumnDescription& d) {
  SQLULEN precision = static_cast<SQLULEN>(std::max<int32_t>(d.precision, 0));
  if (isCharacterSqlType(d.sqlType)) return precision + 1;
  if (d.sqlType == SQL_NUMERIC || d.sqlType == SQL_DECIMAL) return std::min<SQLULEN>(precision, 15);
  return precision;
}

// The text that a double or timestamp parameter is sent as where the
// driver's own conversion would cut it: doubles with 17 significant digits
// (the infinities as a number too large for a double, which SQLite reads as
// one), timestamps with every digit of the fraction (at least three). False
// for NULL and for every other type, which are sent as they are.
static bool fullTextForm(const BoundValue& value, std::string& text) {
  if (value.isNull()) return false;
  char buffer[64];
  double number = 0;
  TimestampValue t;
  if (value.getDouble(number)) {
    if (std::isinf(number))
      text = number > 0 ? "9e999" : "-9e999";
    else
      text.assign(buffer,
                  static_cast<size_t>(std::snprintf(buffer, sizeof buffer, "%.17g", number)));
    return true;
  }
  if (value.getTimestamp(t)) {
    int n = std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d.%09lu", t.year,
                          t.month, t.day, t.hour, t.minute, t.second,
                          static_cast<unsigned long>(t.fraction % 1000000000u));
    text.assign(buffer, static_cast<size_t>(n));
    while (text.size() > 23 && text.back() == '0') text.pop_back();
    return true;
  }
  return false;
}

// Room for any 64-bit integer or a real written out by SQLite.
constexpr size_t kIntegerTextBytes = 64;

OdbcEnvironment& odbcEnvironment() {
  static OdbcEnvironment environment;
  return environment;
}

bool OdbcEnvironment::open(bool silent) {
  close();
  silent_ = silent;
  SQLRETURN rc = SQLAllocEnv(handle_.receive());
  if (!check(rc, SQL_NULL_HDBC, SQL_NULL_HSTMT)) {
    handle_.reset();
    return false;
  }
  return true;
}

bool OdbcEnvironment::close() {
  while (!connections_.empty()) connections_.back()->disconnect();
  if (!handle_) return true;
  return SQLFreeEnv(handle_.release()) == SQL_SUCCESS;
}

bool OdbcEnvironment::openImplicitly() { return isOpen() || open(false); }

std::optional<std::string> OdbcEnvironment::nextDataSource() {
  if (!openImplicitly()) return std::nullopt;
  SQLCHAR name[33] = {0};
  SQLCHAR description[256] = {0};
  SQLSMALLINT nameLength = 0;
  SQLSMALLINT descriptionLength = 0;
  SQLRETURN rc = SQLDataSources(handle_.get(), SQL_FETCH_NEXT, name, sizeof name, &nameLength,
                                description, sizeof description, &descriptionLength);
  if (rc == SQL_NO_DATA_FOUND) {
    dataSourceName_.clear();
    dataSourceDescription_.clear();
    return std::nullopt;
  }
  if (!check(rc, SQL_NULL_HDBC, SQL_NULL_HSTMT)) return std::nullopt;
  dataSourceName_ = bufferText(name, sizeof name);
  dataSourceDescription_ = bufferText(description, sizeof description);
  return dataSourceName_;
}

bool OdbcEnvironment::check(SQLRETURN rc, SQLHDBC hdbc, SQLHSTMT hstmt, bool callerSilent) {
  if (rc == SQL_SUCCESS) {
    lastError_ = "OK";
    return true;
  }
  SQLCHAR state[6] = {0};
  SQLINTEGER nativeError = 0;
  SQLCHAR message[513] = {0};
  SQLSMALLINT length = 0;
  SQLRETURN errorRc =
      SQLError(handle_.get(), hdbc, hstmt, state, &nativeError, message, sizeof message, &length);
  if (errorRc == SQL_SUCCESS || errorRc == SQL_SUCCESS_WITH_INFO)
    lastError_ = bufferText(message, sizeof message - 1);
  else
    lastError_ = "Undefined error";
  if (!silent_ && !callerSilent)
    programMessageBox().show(lastError_, "ODBC error", BoxIcon::Warning);
  return rc == SQL_SUCCESS_WITH_INFO;
}

void OdbcEnvironment::registerConnection(OdbcConnection* connection) {
  addTo(connections_, connection);
}

void OdbcEnvironment::unregisterConnection(OdbcConnection* connection) {
  removeFrom(connections_, connection);
}

void SqlRequest::clear() {
  text.clear();
  prepare = false;
  prepared = false;
  maxRows = 0;
  queryTimeout = 0;
  maxLength = 0;
  parameters_.clear();
  preparedAllocation_ = 0;
}

BoundValue& SqlRequest::addParameter(int16_t number, const ColumnDescription& description) {
  ColumnDescription d = description;
  d.number = number;
  parameters_.push_back(std::make_unique<BoundValue>(d));
  return *parameters_.back();
}

bool OdbcConnection::connect(const std::string& dataSource, const std::string& userId,
                             const std::string& password) {
  if (!environment_->openImplicitly()) return false;
  if (isConnected()) disconnect();
  OdbcEnvironment& env = *environment_;
  SQLRETURN rc = SQLAllocConnect(env.handle(), handle_.receive());
  if (!env.check(rc, SQL_NULL_HDBC, SQL_NULL_HSTMT, silent)) {
    handle_.reset();
    return false;
  }
  if ((setLoginTimeout && !setOption(SQL_LOGIN_TIMEOUT, static_cast<uint32_t>(loginTimeout))) ||
      (setAccessMode && !setOption(SQL_ACCESS_MODE, SQL_MODE_READ_WRITE)) ||
      (setAutocommit && !setOption(SQL_AUTOCOMMIT, autocommit ? 1 : 0))) {
    handle_.reset();
    return false;
  }
  const std::string connectString =
      rollBackTransactionOnError ? transactionRollbackConnectString(dataSource, userId, password)
                                 : std::string();
  rc = SQL_ERROR;
  if (!connectString.empty()) {
    rc = SQLDriverConnect(handle_.get(), nullptr, sqlText(connectString), SQL_NTS, nullptr, 0,
                          nullptr, SQL_DRIVER_NOPROMPT);
  }
  // Where the string does not connect, the plain connect reports why.
  if (!SQL_SUCCEEDED(rc)) {
    rc = SQLConnect(handle_.get(), sqlText(dataSource), SQL_NTS, sqlText(userId), SQL_NTS,
                    sqlText(password), SQL_NTS);
  }
  if (!env.check(rc, handle_.get(), SQL_NULL_HSTMT, silent)) {
    SQLDisconnect(handle_.get());
    handle_.reset();
    return false;
  }
  env.registerConnection(this);
  char name[128] = {0};
  SQLSMALLINT length = 0;
  rc = SQLGetInfo(handle_.get(), SQL_DBMS_NAME, name, sizeof name, &length);
  dbmsName_ = SQL_SUCCEEDED(rc) ? std::string(name) : std::string();
  numbersAsText_ = dbmsName_.rfind("SQLite", 0) == 0;
  return true;
}

std::string columnSelectText(const OdbcConnection& connection, const std::string& name,
                             const ColumnDescription& description) {
  bool floating = description.bindingType == SQL_C_DOUBLE || description.bindingType == SQL_C_FLOAT;
  if (!floating || connection.dbmsName().rfind("SQLite", 0) != 0) return name;
  return "CASE WHEN typeof(" + name + ")='real' THEN quote(" + name + ") ELSE " + name + " END";
}

ValueLimits OdbcConnection::valueLimits() const {
  ValueLimits limits;
  // SQLite stores NaN as NULL; MariaDB and MySQL refuse NaN and the
  // infinities; PostgreSQL keeps them all.
  // SQLite keeps a decimal with a fraction, or beyond 64-bit integers, as a
  // double: 15 significant digits survive.
  if (dbmsName_.rfind("SQLite", 0) == 0) {
    limits.holdsNaN = false;
    limits.decimalDigits = 15;
  }
  if (dbmsName_.rfind("MariaDB", 0) == 0 || dbmsName_.rfind("MySQL", 0) == 0)
    limits.holdsNaN = limits.holdsInfinity = false;
  return limits;
}

void OdbcConnection::disconnect() {
  if (!handle_) return;
  environment_->unregisterConnection(this);
  while (!statements_.empty()) statements_.back()->drop();
  // With autocommit off, a driver refuses to disconnect inside an open
  // transaction and the handle could then never be freed; the uncommitted
  // work is rolled back, as closing the connection would do anyway.
  if (SQLDisconnect(handle_.get()) == SQL_ERROR) {
    SQLTransact(environment_->handle(), handle_.get(), SQL_ROLLBACK);
    SQLDisconnect(handle_.get());
  }
  handle_.reset();
}

bool OdbcConnection::setOption(int option, uint32_t value) {
  SQLRETURN rc = SQLSetConnectOption(handle_.get(), static_cast<SQLUSMALLINT>(option),
                                     static_cast<SQLULEN>(value));
  return environment_->check(rc, handle_.get(), SQL_NULL_HSTMT, silent);
}

bool OdbcConnection::queryTables(OdbcStatement& statement, const std::string& qualifier,
                                 const std::string& owner, const std::string& tableName,
                                 unsigned typeFlags) {
  if (!statement.allocate(this)) return false;
  std::string types = tableTypeList(typeFlags);
  SQLRETURN rc = SQLTables(statement.handle(), textOrNull(qualifier), SQL_NTS, textOrNull(owner),
                           SQL_NTS, textOrNull(tableName), SQL_NTS, textOrNull(types), SQL_NTS);
  if (!environment_->check(rc, handle_.get(), statement.handle(), silent)) return false;
  statement.noResult_ = false;
  return true;
}

bool OdbcConnection::queryColumns(OdbcStatement& statement, const std::string& qualifier,
                                  const std::string& owner, const std::string& tableName,
                                  const std::string& columnName) {
  if (!statement.allocate(this)) return false;
  SQLRETURN rc =
      SQLColumns(statement.handle(), textOrNull(qualifier), SQL_NTS, textOrNull(owner), SQL_NTS,
                 textOrNull(tableName), SQL_NTS, textOrNull(columnName), SQL_NTS);
  if (!environment_->check(rc, handle_.get(), statement.handle(), silent)) return false;
  statement.noResult_ = false;
  return true;
}

bool OdbcConnection::querySpecialColumns(OdbcStatement& statement, const std::string& qualifier,
                                         const std::string& owner, const std::string& tableName) {
  if (!statement.allocate(this)) return false;
  SQLRETURN rc = SQLSpecialColumns(statement.handle(), SQL_BEST_ROWID, textOrNull(qualifier),
                                   SQL_NTS, textOrNull(owner), SQL_NTS, textOrNull(tableName),
                                   SQL_NTS, SQL_SCOPE_CURROW, SQL_NO_NULLS);
  if (!environment_->check(rc, handle_.get(), statement.handle(), silent)) return false;
  statement.noResult_ = false;
  return true;
}

std::string OdbcConnection::dbmsName() {
  if (!isConnected()) return {};
  char name[256] = {};
  SQLSMALLINT length = 0;
  SQLRETURN rc = SQLGetInfo(handle_.get(), SQL_DBMS_NAME, name, sizeof name, &length);
  if (!SQL_SUCCEEDED(rc)) return {};
  return name;
}

bool OdbcConnection::bindRequest(SqlRequest& request, OdbcStatement& statement) {
  if (request.maxRows > 0 && !statement.setOption(SQL_MAX_ROWS, request.maxRows)) return false;
  if (request.queryTimeout > 0 && !statement.setOption(SQL_QUERY_TIMEOUT, request.queryTimeout))
    return false;
  if (request.maxLength > 0 && !statement.setOption(SQL_MAX_LENGTH, request.maxLength))
    return false;
  for (const auto& parameter : request.parameters_) {
    const ColumnDescription& d = parameter->description;
    SQLRETURN rc;
    if (numbersAsText_ && fullTextForm(*parameter, parameter->sentText())) {
      *parameter->sentIndicator() = static_cast<SQLLEN>(parameter->sentText().size());
      rc = SQLSetParam(statement.handle(), static_cast<SQLUSMALLINT>(d.number), SQL_C_CHAR,
                       d.sqlType, parameterColumnSize(d), d.scale, parameter->sentText().data(),
                       parameter->sentIndicator());
    } else {
      rc = SQLSetParam(statement.handle(), static_cast<SQLUSMALLINT>(d.number), d.bindingType,
                       d.sqlType, parameterColumnSize(d), d.scale, parameter->data(),
                       parameter->odbcIndicator());
    }
    if (!environment_->check(rc, handle_.get(), statement.handle(), silent)) return false;
  }
  return true;
}

bool OdbcConnection::execute(SqlRequest& request, OdbcStatement& statement) {
  if (!isConnected()) return false;
  if (!environment_->openImplicitly()) return false;
  OdbcEnvironment& env = *environment_;
  SQLRETURN rc;
  if (request.prepare) {
    bool current = request.prepared && statement.connection_ == this && statement.isAllocated() &&
                   request.preparedAllocation_ == statement.allocation_;
    if (current) {
      // A result set left open by the previous execution would make the
      // driver refuse to execute again; closing it keeps the bindings.
      SQLFreeStmt(statement.handle(), SQL_CLOSE);
      // A driver may take a parameter's length when the parameter is bound
      // rather than when the statement runs (the SQLite driver does so for
      // binary values): the parameters are bound again for every execution.
      if (!bindRequest(request, statement)) return false;
    } else {
      request.prepared = false;
      if (!statement.allocate(this)) return false;
      rc = SQLPrepare(statement.handle(), sqlText(request.text), sqlLength(request.text));
      if (!env.check(rc, handle_.get(), statement.handle(), silent)) return false;
      if (!bindRequest(request, statement)) return false;
      request.prepared = true;
      request.preparedAllocation_ = statement.allocation_;
    }
    rc = SQLExecute(statement.handle());
  } else {
    if (!statement.allocate(this)) return false;
    if (!bindRequest(request, statement)) return false;
    rc = SQLExecDirect(statement.handle(), sqlText(request.text), sqlLength(request.text));
  }
  if (!env.check(rc, handle_.get(), statement.handle(), silent)) return false;
  statement.noResult_ = false;
  return true;
}

bool OdbcConnection::transact(int kind) {
  if (!isConnected()) return false;
  if (!environment_->openImplicitly()) return false;
  SQLRETURN rc =
      SQLTransact(environment_->handle(), handle_.get(), static_cast<SQLUSMALLINT>(kind));
  return environment_->check(rc, handle_.get(), SQL_NULL_HSTMT, silent);
}

void OdbcConnection::registerStatement(OdbcStatement* statement) { addTo(statements_, statement); }

void OdbcConnection::unregisterStatement(OdbcStatement* statement) {
  removeFrom(statements_, statement);
}

bool OdbcStatement::allocate(OdbcConnection* connection) {
  if (connection == nullptr || !connection->isConnected()) return false;
  drop();
  SQLRETURN rc = SQLAllocStmt(connection->handle(), handle_.receive());
  if (!connection->environment().check(rc, connection->handle(), SQL_NULL_HSTMT,
                                       connection->silent)) {
    handle_.reset();
    return false;
  }
  connection->registerStatement(this);
  connection_ = connection;
  noResult_ = true;
  allocation_ = nextAllocation();
  return true;
}

void OdbcStatement::drop() {
  if (!handle_) return;
  if (connection_) connection_->unregisterStatement(this);
  // The handle goes before the buffers that it may still write into.
  handle_.reset();
  columns_.clear();
  connection_ = nullptr;
  noResult_ = true;
  integerTexts_ = false;
}

int16_t OdbcStatement::resultColumnCount() {
  if (!handle_) return 0;
  SQLSMALLINT count = 0;
  SQLRETURN rc = SQLNumResultCols(handle_.get(), &count);
  if (!environment().check(rc, connectionHandle(), handle_.get(), connectionSilent())) return 0;
  return count;
}

bool OdbcStatement::describeColumn(int16_t number, ColumnDescription& description) {
  if (!handle_) return false;
  SQLCHAR name[128] = {0};
  SQLSMALLINT nameLength = 0;
  SQLSMALLINT sqlType = 0;
  SQLULEN precision = 0;
  SQLSMALLINT scale = 0;
  SQLSMALLINT nullable = 0;
  SQLRETURN rc = SQLDescribeCol(handle_.get(), static_cast<SQLUSMALLINT>(number), name, sizeof name,
                                &nameLength, &sqlType, &precision, &scale, &nullable);
  if (!environment().check(rc, connectionHandle(), handle_.get(), connectionSilent())) return false;
  description.number = number;
  description.name = bufferText(name, sizeof name - 1);
  description.sqlType = sqlType;
  description.precision = static_cast<int32_t>(
      std::min<SQLULEN>(precision, static_cast<SQLULEN>(std::numeric_limits<int32_t>::max())));
  description.scale = scale;
  description.nullable = nullable == SQL_NULLABLE;
  description.bindingType = 0;
  description.bindingLength = 0;
  if (!completeBinding(description)) {
    environment().setLastError("Column '" + description.name + "' has the SQL type " +
                               std::to_string(sqlType) + ", which cannot be bound");
    return false;
  }
  return true;
}

BoundValue* OdbcStatement::bindColumn(int16_t number, const ColumnDescription* description) {
  if (!handle_) return nullptr;
  ColumnDescription d;
  if (description)
    d = *description;
  else if (!describeColumn(number, d))
    return nullptr;
  d.number = number;
  auto value = std::make_unique<BoundValue>(d);
  SQLRETURN rc;
  if (connection_ && connection_->numbersAsText_ && connection_->integersAsText &&
      valueClassOf(d.bindingType) == ValueClass::Integer) {
    // SQLite keeps any integer in any column, and its driver narrows what
    // does not fit the buffer without a word (4294967296 reads as 0): the
    // value is fetched as text and checked.
    value->sentText().assign(kIntegerTextBytes, '\0');
    rc = SQLBindCol(handle_.get(), static_cast<SQLUSMALLINT>(number), SQL_C_CHAR,
                    value->sentText().data(), static_cast<SQLLEN>(value->sentText().size()),
                    value->sentIndicator());
    integerTexts_ = true;
  } else {
    rc = SQLBindCol(handle_.get(), static_cast<SQLUSMALLINT>(number), d.bindingType, value->data(),
                    value->bufferSize(), value->odbcIndicator());
  }
  if (!environment().check(rc, connectionHandle(), handle_.get(), connectionSilent()))
    return nullptr;
  columns_.push_back(std::move(value));
  return columns_.back().get();
}

FetchResult OdbcStatement::fetch() {
  if (!handle_) return FetchResult::Error;
  if (noResult_) return FetchResult::EndOfData;
  for (const auto& column : columns_) {
    if (column->description.bindingType == SQL_C_CHAR && column->description.bindingLength > 0)
      std::memset(column->data(), ' ', static_cast<size_t>(column->description.bindingLength));
  }
  SQLRETURN rc = SQLFetch(handle_.get());
  if (rc == SQL_NO_DATA_FOUND) {
    noResult_ = true;
    return FetchResult::EndOfData;
  }
  if (!environment().check(rc, connectionHandle(), handle_.get(), connectionSilent())) {
    noResult_ = true;
    return FetchResult::Error;
  }
  for (const auto& column : columns_) {
    if (column->description.sqlType == SQL_DECIMAL) normaliseDecimalText(*column);
  }
  if (integerTexts_ && !readIntegerTexts()) {
    noResult_ = true;
    return FetchResult::Error;
  }
  return FetchResult::Row;
}

bool OdbcStatement::readIntegerTexts() {
  for (const auto& column : columns_) {
    std::string& text = column->sentText();
    if (text.empty() || valueClassOf(column->description.bindingType) != ValueClass::Integer)
      continue;
    SQLLEN length = *column->sentIndicator();
    if (length == SQL_NULL_DATA) {
      column->setNull();
      continue;
    }
    std::string_view fetched(
        text.data(), length < 0 ? 0 : std::min(static_cast<size_t>(length), text.size() - 1));
    if (!readIntegerText(*column, fetched)) {
      environment().setLastError("Value " + std::string(fetched) + " of column " +
                                 column->description.name + " does not fit its " +
                                 sqlTypeName(column->description.sqlType) +
                                 " type; it is not copied narrowed");
      return false;
    }
  }
  return true;
}

bool OdbcStatement::setOption(int option, uint32_t value) {
  if (!handle_) return false;
  SQLRETURN rc = SQLSetStmtOption(handle_.get(), static_cast<SQLUSMALLINT>(option),
                                  static_cast<SQLULEN>(value));
  return environment().check(rc, connectionHandle(), handle_.get(), connectionSilent());
}

bool OdbcStatement::appendWhereCurrentOf(std::string& text) {
  if (!handle_) return false;
  std::vector<SQLCHAR> name(24, 0);
  SQLSMALLINT length = 0;
  SQLRETURN rc =
      SQLGetCursorName(handle_.get(), name.data(), static_cast<SQLSMALLINT>(name.size()), &length);
  if (!environment().check(rc, connectionHandle(), handle_.get(), connectionSilent())) return false;
  // A cut cursor name would address no cursor or another one: a longer name
  // is read again in full.
  if (length >= static_cast<SQLSMALLINT>(name.size())) {
    name.assign(static_cast<size_t>(length) + 1, 0);
    rc = SQLGetCursorName(handle_.get(), name.data(), static_cast<SQLSMALLINT>(name.size()),
                          &length);
    if (!environment().check(rc, connectionHandle(), handle_.get(), connectionSilent()))
      return false;
  }
  size_t size = std::min(static_cast<size_t>(std::max<SQLSMALLINT>(length, 0)), name.size() - 1);
  text += " WHERE CURRENT OF ";
  text += bufferText(name.data(), size);
  return true;
}

int32_t OdbcStatement::rowCount() {
  if (!handle_) return -1;
  SQLLEN count = 0;
  SQLRETURN rc = SQLRowCount(handle_.get(), &count);
  if (!environment().check(rc, connectionHandle(), handle_.get(), connectionSilent())) return -1;
  return static_cast<int32_t>(std::clamp<SQLLEN>(count, -1, std::numeric_limits<int32_t>::max()));
}

}  // namespace kestrel
