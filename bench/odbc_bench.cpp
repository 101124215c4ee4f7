#include "odbc_bench.h"

#include <algorithm>

namespace kestrel::bench {

namespace {

SQLCHAR* text(const std::string& value) {
  return reinterpret_cast<SQLCHAR*>(const_cast<char*>(value.c_str()));
}

// The copy engine's binding rule: C type and buffer length from SQL type and
// precision. A character or byte column whose precision is 0 or does not fit a
// 16-bit length is bound at the largest length the engine allows.
bool chooseBinding(BoundColumn* column) {
  constexpr SQLLEN kLargestBinding = 32767;
  auto fitted = [&](SQLULEN precision) {
    return precision == 0 || precision > static_cast<SQLULEN>(kLargestBinding)
               ? kLargestBinding
               : static_cast<SQLLEN>(precision);
  };
  switch (column->sqlType) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR:
      column->cType = SQL_C_CHAR;
      column->bufferLength = fitted(column->precision);
      return true;
    case SQL_NUMERIC:
    case SQL_DECIMAL:
      column->cType = SQL_C_CHAR;
      column->bufferLength = fitted(column->precision + 2);
      return true;
    case SQL_INTEGER:
      column->cType = SQL_C_LONG;
      column->bufferLength = 4;
      return true;
    case SQL_SMALLINT:
      column->cType = SQL_C_SHORT;
      column->bufferLength = 2;
      return true;
    case SQL_FLOAT:
    case SQL_DOUBLE:
      column->cType = SQL_C_DOUBLE;
      column->bufferLength = sizeof(double);
      return true;
    case SQL_REAL:
      column->cType = SQL_C_FLOAT;
      column->bufferLength = sizeof(float);
      return true;
    case SQL_DATE:
      column->cType = SQL_C_DATE;
      column->bufferLength = sizeof(DATE_STRUCT);
      return true;
    case SQL_TIME:
      column->cType = SQL_C_TIME;
      column->bufferLength = sizeof(TIME_STRUCT);
      return true;
    case SQL_TIMESTAMP:
      column->cType = SQL_C_TIMESTAMP;
      column->bufferLength = sizeof(TIMESTAMP_STRUCT);
      return true;
    case SQL_BIT:
      column->cType = SQL_C_BIT;
      column->bufferLength = 1;
      return true;
    case SQL_TINYINT:
      column->cType = SQL_C_TINYINT;
      column->bufferLength = 1;
      return true;
    case SQL_BIGINT:
      column->cType = SQL_C_CHAR;
      column->bufferLength = 20;
      return true;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
      column->cType = SQL_C_BINARY;
      column->bufferLength = fitted(column->precision);
      return true;
    default:
      return false;
  }
}

}  // namespace

Statement::~Statement() {
  if (stmt_ != SQL_NULL_HSTMT) SQLFreeStmt(stmt_, SQL_DROP);
}

Connection::~Connection() {
  if (connected_) {
    // Whatever was not committed is given up, never committed by the disconnect.
    SQLTransact(env_, dbc_, SQL_ROLLBACK);
    SQLDisconnect(dbc_);
  }
  if (dbc_ != SQL_NULL_HDBC) SQLFreeConnect(dbc_);
  if (env_ != SQL_NULL_HENV) SQLFreeEnv(env_);
}

bool Connection::check(SQLRETURN rc, SQLHSTMT stmt, const std::string& what) {
  if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) return true;
  SQLCHAR state[6] = {0};
  SQLCHAR message[1024] = {0};
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  lastError_ = what + ": ";
  if (SQLError(env_, dbc_, stmt, state, &native, message, sizeof message, &length) == SQL_SUCCESS) {
    lastError_ +=
        std::string(reinterpret_cast<char*>(state)) + " " + reinterpret_cast<char*>(message);
  } else {
    lastError_ += "return code " + std::to_string(rc);
  }
  return false;
}

bool Connection::open(const DataSource& source) {
  if (SQLAllocEnv(&env_) != SQL_SUCCESS) {
    lastError_ = "cannot allocate an ODBC environment";
    return false;
  }
  if (!check(SQLAllocConnect(env_, &dbc_), SQL_NULL_HSTMT, "allocate connection")) return false;
  SQLRETURN rc = SQLConnect(dbc_, text(source.dsn), SQL_NTS, text(source.user), SQL_NTS,
                            text(source.password), SQL_NTS);
  if (!check(rc, SQL_NULL_HSTMT, "connect to " + source.dsn)) return false;
  connected_ = true;
  return true;
}

bool Connection::setAutoCommit(bool on) {
  return check(
      SQLSetConnectOption(dbc_, SQL_AUTOCOMMIT, on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF),
      SQL_NULL_HSTMT, "set autocommit");
}

bool Connection::allocate(Statement* statement) {
  return check(SQLAllocStmt(dbc_, &statement->stmt_), SQL_NULL_HSTMT, "allocate statement");
}

bool Connection::execute(Statement& statement, const std::string& sql) {
  SQLRETURN rc = SQLExecDirect(statement.handle(), text(sql), SQL_NTS);
  return rc == SQL_NO_DATA || check(rc, statement.handle(), sql);
}

bool Connection::execute(const std::string& sql) {
  Statement statement;
  return allocate(&statement) && execute(statement, sql);
}

bool Connection::prepare(Statement& statement, const std::string& sql) {
  return check(SQLPrepare(statement.handle(), text(sql), SQL_NTS), statement.handle(), sql);
}

bool Connection::executePrepared(Statement& statement) {
  SQLRETURN rc = SQLExecute(statement.handle());
  return rc == SQL_NO_DATA || check(rc, statement.handle(), "execute");
}

bool Connection::commit() {
  return check(SQLTransact(env_, dbc_, SQL_COMMIT), SQL_NULL_HSTMT, "commit");
}

bool bindResultColumns(Connection& connection, Statement& statement,
                       std::vector<BoundColumn>* columns) {
  SQLSMALLINT count = 0;
  if (!connection.check(SQLNumResultCols(statement.handle(), &count), statement.handle(),
                        "count result columns"))
    return false;
  columns->clear();
  columns->resize(count);
  for (SQLSMALLINT i = 0; i < count; ++i) {
    BoundColumn& column = (*columns)[i];
    SQLCHAR name[256] = {0};
    SQLSMALLINT nameLength = 0, nullable = 0;
    SQLUSMALLINT number = static_cast<SQLUSMALLINT>(i + 1);
    if (!connection.check(
            SQLDescribeCol(statement.handle(), number, name, sizeof name, &nameLength,
                           &column.sqlType, &column.precision, &column.scale, &nullable),
            statement.handle(), "describe column " + std::to_string(number)))
      return false;
    column.name = reinterpret_cast<char*>(name);
    if (!chooseBinding(&column)) {
      return connection.fail("column " + column.name + " has SQL type " +
                             std::to_string(column.sqlType) + ", which is not supported");
    }
    // One byte more than the binding length for the terminating zero of texts.
    column.buffer.assign(column.bufferLength + 1, '\0');
    if (!connection.check(SQLBindCol(statement.handle(), number, column.cType, column.buffer.data(),
                                     static_cast<SQLLEN>(column.buffer.size()), &column.indicator),
                          statement.handle(), "bind column " + column.name))
      return false;
  }
  return true;
}

bool checkFetchedLengths(const std::vector<BoundColumn>& columns, std::string* error) {
  for (const BoundColumn& column : columns) {
    if (column.variableLength() && column.indicator > column.bufferLength) {
      *error = "value of column " + column.name + " is " + std::to_string(column.indicator) +
               " bytes long, longer than its binding of " + std::to_string(column.bufferLength) +
               " bytes";
      return false;
    }
  }
  return true;
}

bool dataSourceFromArguments(int argc, char** argv, DataSource* source) {
  if (argc < 4) return false;
  source->dsn = argv[1];
  source->user = argv[2];
  source->password = argv[3];
  return true;
}

}  // namespace kestrel::bench
