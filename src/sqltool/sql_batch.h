#pragma once
// wagtail's batch mode: runs a SQL source through a connection document
// without a window and prints the connection log, then the last result.

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace kestrel {

struct SqlBatchOptions {
  std::string dataSource;
  std::string user;
  std::string password;
  std::string sourceFile;  // "-" or empty: standard input
  bool continueAfterError = false;
};

// Parses the arguments after "--batch". On a command-line error returns none
// and sets `error` to the message. The password is taken only from the
// environment variable that --password-env names.
std::optional<SqlBatchOptions> parseSqlBatchArguments(const std::vector<std::string>& arguments,
                                                      std::string& error);

// Connects, executes every statement of the source, printing each log line
// to `out`, and after the last statement prints its result set as a table:
// the column titles, then one line per row, cells separated by tabs and
// formatted as the grid formats them. Exit status 0 when every statement
// succeeded, 1 when the source could not be read, the connection failed or
// a statement failed.
int runSqlBatch(const SqlBatchOptions& options, std::FILE* out);

}  // namespace kestrel
