// odbc_reload DSN USER PASSWORD SOURCE TARGET
//
// The naive full reload: in one transaction, delete every row of TARGET and
// insert every row of SOURCE through one prepared INSERT whose parameters are the
// very buffers the source rows are fetched into. Both tables must have the same
// columns in the same order. This is what a replication has to beat: it rewrites
// every row although only a few have changed.
//
// Prints the counts. Exit 0 on success, 1 on any failure (nothing is committed).

#include <cstdio>
#include <string>
#include <vector>

#include "odbc_bench.h"

using kestrel::bench::BoundColumn;
using kestrel::bench::Connection;
using kestrel::bench::DataSource;
using kestrel::bench::Statement;

namespace {

bool reload(Connection& connection, const std::string& source, const std::string& target,
            long* inserted) {
  if (!connection.setAutoCommit(false) || !connection.execute("DELETE FROM " + target))
    return false;

  Statement select, insert;
  std::vector<BoundColumn> columns;
  if (!connection.allocate(&select) || !connection.allocate(&insert) ||
      !connection.execute(select, "SELECT * FROM " + source) ||
      !kestrel::bench::bindResultColumns(connection, select, &columns))
    return false;

  std::string names, markers;
  for (const BoundColumn& column : columns) {
    names += (names.empty() ? "" : ", ") + column.name;
    markers += markers.empty() ? "?" : ", ?";
  }
  if (!connection.prepare(insert,
                          "INSERT INTO " + target + " (" + names + ") VALUES (" + markers + ")"))
    return false;
  for (size_t i = 0; i < columns.size(); ++i) {
    BoundColumn& column = columns[i];
    SQLRETURN rc =
        SQLSetParam(insert.handle(), static_cast<SQLUSMALLINT>(i + 1), column.cType, column.sqlType,
                    column.precision, column.scale, column.buffer.data(), &column.indicator);
    if (!connection.check(rc, insert.handle(), "bind parameter " + column.name)) return false;
  }

  *inserted = 0;
  for (;;) {
    SQLRETURN rc = SQLFetch(select.handle());
    if (rc == SQL_NO_DATA) break;
    if (!connection.check(rc, select.handle(), "fetch from " + source)) return false;
    std::string error;
    if (!kestrel::bench::checkFetchedLengths(columns, &error)) return connection.fail(error);
    if (!connection.executePrepared(insert)) return false;
    ++*inserted;
  }
  return connection.commit();
}

}  // namespace

int main(int argc, char** argv) {
  DataSource source;
  if (!kestrel::bench::dataSourceFromArguments(argc, argv, &source) || argc != 6) {
    std::fprintf(stderr, "usage: odbc_reload DSN USER PASSWORD SOURCE TARGET\n");
    return 2;
  }
  Connection connection;
  long inserted = 0;
  if (!connection.open(source) || !reload(connection, argv[4], argv[5], &inserted)) {
    std::fprintf(stderr, "odbc_reload: %s\n", connection.lastError().c_str());
    return 1;
  }
  std::printf("%s: %ld rows inserted after deleting all rows\n", argv[5], inserted);
  return 0;
}
