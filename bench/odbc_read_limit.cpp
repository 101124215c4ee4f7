// odbc_read_limit DSN USER PASSWORD TABLE...
//
// The read limit of the benchmark: fetches every row of each table through ODBC
// with bound columns (SQLBindCol, SQLFetch) and does nothing else with them. No
// copy or replication can be faster than reading its two tables once, so every
// other measurement is reported as a ratio to this one.
//
// Prints "TABLE: N rows" per table. Exit 0 on success, 1 on any failure.

#include <cstdio>
#include <string>
#include <vector>

#include "odbc_bench.h"

using kestrel::bench::BoundColumn;
using kestrel::bench::Connection;
using kestrel::bench::DataSource;
using kestrel::bench::Statement;

namespace {

bool readTable(Connection& connection, const std::string& table, long* rows) {
  Statement statement;
  std::vector<BoundColumn> columns;
  if (!connection.allocate(&statement) ||
      !connection.execute(statement, "SELECT * FROM " + table) ||
      !kestrel::bench::bindResultColumns(connection, statement, &columns))
    return false;
  *rows = 0;
  for (;;) {
    SQLRETURN rc = SQLFetch(statement.handle());
    if (rc == SQL_NO_DATA) return true;
    if (!connection.check(rc, statement.handle(), "fetch from " + table)) return false;
    std::string error;
    if (!kestrel::bench::checkFetchedLengths(columns, &error)) return connection.fail(error);
    ++*rows;
  }
}

}  // namespace

int main(int argc, char** argv) {
  DataSource source;
  if (!kestrel::bench::dataSourceFromArguments(argc, argv, &source) || argc < 5) {
    std::fprintf(stderr, "usage: odbc_read_limit DSN USER PASSWORD TABLE...\n");
    return 2;
  }
  Connection connection;
  if (!connection.open(source)) {
    std::fprintf(stderr, "odbc_read_limit: %s\n", connection.lastError().c_str());
    return 1;
  }
  for (int i = 4; i < argc; ++i) {
    long rows = 0;
    if (!readTable(connection, argv[i], &rows)) {
      std::fprintf(stderr, "odbc_read_limit: %s\n", connection.lastError().c_str());
      return 1;
    }
    std::printf("%s: %ld rows\n", argv[i], rows);
  }
  return 0;
}
