// Small ODBC helpers shared by the benchmark programs. They talk to the driver
// manager directly (ODBC 2.x calls) and never use the kestrel core, so that the
// baselines they measure do not depend on the code being measured.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>
#include <vector>

namespace kestrel::bench {

// Connection arguments every program takes: DSN, user, password.
struct DataSource {
  std::string dsn;
  std::string user;
  std::string password;
};

// One statement handle; freed with its owner.
class Statement {
 public:
  Statement() = default;
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  SQLHSTMT handle() const { return stmt_; }

 private:
  friend class Connection;
  SQLHSTMT stmt_ = SQL_NULL_HSTMT;
};

// One environment and one connection. Every call reports failure as false with
// the driver's diagnostic in lastError().
class Connection {
 public:
  Connection() = default;
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  bool open(const DataSource& source);
  // Off: every change waits for commit(); on: the driver commits each statement.
  bool setAutoCommit(bool on);
  bool allocate(Statement* statement);
  // SQLExecDirect; SQL_NO_DATA (a searched DELETE or UPDATE that hit no row) is success.
  bool execute(Statement& statement, const std::string& sql);
  bool execute(const std::string& sql);
  bool prepare(Statement& statement, const std::string& sql);
  bool executePrepared(Statement& statement);
  bool commit();

  // Checks one return code; on failure stores the diagnostic with `what` in front.
  bool check(SQLRETURN rc, SQLHSTMT stmt, const std::string& what);
  // Records a failure found outside the driver; returns false.
  bool fail(const std::string& message) {
    lastError_ = message;
    return false;
  }
  const std::string& lastError() const { return lastError_; }

 private:
  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  bool connected_ = false;
  std::string lastError_;
};

// A result column bound the way the copy engine binds it: the C type and buffer
// length follow from the SQL type and precision the driver describes.
struct BoundColumn {
  std::string name;
  SQLSMALLINT sqlType = 0;
  SQLULEN precision = 0;
  SQLSMALLINT scale = 0;
  SQLSMALLINT cType = 0;
  SQLLEN bufferLength = 0;
  std::vector<char> buffer;
  SQLLEN indicator = 0;

  // True for the C types whose value length the indicator gives (text, bytes).
  bool variableLength() const { return cType == SQL_C_CHAR || cType == SQL_C_BINARY; }
};

// Describes every column of the executed statement and binds it with SQLBindCol.
bool bindResultColumns(Connection& connection, Statement& statement,
                       std::vector<BoundColumn>* columns);

// After a fetch: false, with the column named in `error`, when a value did not fit
// its buffer. Such a value would be copied cut off, so the programs stop instead.
bool checkFetchedLengths(const std::vector<BoundColumn>& columns, std::string* error);

// Reads the three arguments every program starts with: DSN, user, password
// (either may be empty: ""). False when fewer than three are given.
bool dataSourceFromArguments(int argc, char** argv, DataSource* source);

}  // namespace kestrel::bench
