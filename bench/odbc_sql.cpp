// odbc_sql DSN USER PASSWORD FILE [--autocommit]
//
// Runs the SQL statements of FILE through ODBC, in file order. A statement ends
// at a line whose last non-blank character is ";"; lines starting with "--" are
// comments. Without --autocommit every statement runs in one transaction that is
// committed at the end, so the file is applied whole or not at all; with it each
// statement commits on its own (needed for statements such as VACUUM).
//
// The rows of any statement that returns a result are printed, one line per row,
// values separated by tabs (NULL as an empty field). The benchmark uses this for
// generating and restoring its tables, for the set-based sync and for the checks.
// Exit 0 on success, 1 on the first failing statement.

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "odbc_bench.h"

using kestrel::bench::Connection;
using kestrel::bench::DataSource;
using kestrel::bench::Statement;

namespace {

std::vector<std::string> splitStatements(std::istream& in) {
  std::vector<std::string> statements;
  std::string line, current;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t first = line.find_first_not_of(' ');
    if (first == std::string::npos || line.compare(first, 2, "--") == 0) continue;
    size_t last = line.find_last_not_of(' ');
    bool ends = line[last] == ';';
    current += line.substr(0, ends ? last : last + 1);
    current += '\n';
    if (ends) {
      statements.push_back(current);
      current.clear();
    }
  }
  if (current.find_first_not_of(" \n") != std::string::npos) statements.push_back(current);
  return statements;
}

bool printResult(Connection& connection, Statement& statement) {
  SQLSMALLINT count = 0;
  if (!connection.check(SQLNumResultCols(statement.handle(), &count), statement.handle(),
                        "count result columns"))
    return false;
  if (count == 0) return true;
  for (;;) {
    SQLRETURN rc = SQLFetch(statement.handle());
    if (rc == SQL_NO_DATA) return true;
    if (!connection.check(rc, statement.handle(), "fetch")) return false;
    std::string line;
    for (SQLUSMALLINT c = 1; c <= count; ++c) {
      char buffer[4096];
      SQLLEN indicator = 0;
      rc = SQLGetData(statement.handle(), c, SQL_C_CHAR, buffer, sizeof buffer, &indicator);
      if (!connection.check(rc, statement.handle(), "get data")) return false;
      if (c > 1) line += '\t';
      if (indicator != SQL_NULL_DATA) line += buffer;
    }
    std::printf("%s\n", line.c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  DataSource source;
  bool autocommit = argc == 6 && std::string(argv[5]) == "--autocommit";
  if (!kestrel::bench::dataSourceFromArguments(argc, argv, &source) || (argc != 5 && !autocommit)) {
    std::fprintf(stderr, "usage: odbc_sql DSN USER PASSWORD FILE [--autocommit]\n");
    return 2;
  }
  std::ifstream file(argv[4]);
  if (!file) {
    std::fprintf(stderr, "odbc_sql: cannot open %s\n", argv[4]);
    return 1;
  }
  Connection connection;
  bool ok = connection.open(source) && connection.setAutoCommit(autocommit);
  for (const std::string& sql : splitStatements(file)) {
    if (!ok) break;
    Statement statement;
    ok = connection.allocate(&statement) && connection.execute(statement, sql) &&
         printResult(connection, statement);
  }
  if (ok && !autocommit) ok = connection.commit();
  if (!ok) {
    std::fprintf(stderr, "odbc_sql: %s\n", connection.lastError().c_str());
    return 1;
  }
  return 0;
}
