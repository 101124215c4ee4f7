#include "sqltool/connection_document.h"

#include <sqlext.h>

#include <chrono>

#include "sqltool/grid_format.h"

namespace kestrel {

ConnectionDocument::ConnectionDocument(LineSink& log) : log_(log) {
  // The grid fetches with SQLFetch itself, into the typed buffers.
  connection_.integersAsText = false;
}

ConnectionDocument::~ConnectionDocument() {
  std::lock_guard lock(mutex_);
  statement_.drop();
  connection_.disconnect();
}

bool ConnectionDocument::open(const std::string& source, const std::string& user,
                              const std::string& password) {
  if (!environment_.isOpen() && !environment_.open(true)) {
    log_.addLine(environment_.lastError(), 3);
    return false;
  }
  {
    std::lock_guard lock(mutex_);
    bindings_.clear();
    statement_.drop();
  }
  bool connected = connection_.connect(source, user, password);
  connected_ = connection_.isConnected();
  rowCount_ = -1;
  resultColumns_ = 0;
  if (!connected) {
    log_.addLine(environment_.lastError(), 3);
    return false;
  }
  {
    std::lock_guard lock(mutex_);
    sourceName_ = source;
  }
  log_.addLine("ODBC source " + source + " connection opened.", 2);
  return true;
}

void ConnectionDocument::close() {
  if (!connection_.isConnected()) return;
  {
    std::lock_guard lock(mutex_);
    bindings_.clear();
    statement_.drop();
  }
  connection_.disconnect();
  connected_ = false;
  rowCount_ = -1;
  resultColumns_ = 0;
  log_.addLine("ODBC connection closed", 2);
}

std::string ConnectionDocument::sourceName() const {
  std::lock_guard lock(mutex_);
  return sourceName_;
}

bool ConnectionDocument::allocateStatement() {
  std::lock_guard lock(mutex_);
  bindings_.clear();
  return statement_.allocate(&connection_);
}

bool ConnectionDocument::execute(const std::string& text) {
  rowCount_ = -1;
  resultColumns_ = 0;
  resultEnded_ = true;
  if (!connection_.isConnected()) {
    environment_.setLastError("No ODBC connection is open");
    log_.addLine(environment_.lastError(), 3);
    return false;
  }
  // The statement is executed here rather than through the connection's
  // execute so that its handle is known while the driver works on it: cancel()
  // needs it from the window thread.
  bool executed = allocateStatement();
  if (executed) {
    SQLRETURN rc = SQLExecDirect(statement_.handle(),
                                 reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.c_str())),
                                 static_cast<SQLINTEGER>(text.size()));
    // A searched UPDATE or DELETE that matched no row is no failure.
    executed = rc == SQL_NO_DATA_FOUND ||
               environment_.check(rc, connection_.handle(), statement_.handle());
    if (rc == SQL_NO_DATA_FOUND) environment_.setLastError("OK");
  }
  if (!executed) {
    log_.addLine(environment_.lastError(), 3);
    return false;
  }
  resultEnded_ = false;
  rowCount_ = statement_.rowCount();
  resultColumns_ = statement_.resultColumnCount();
  log_.addLine("OK", 2);
  return true;
}

bool ConnectionDocument::run(SqlSource& source, const RunHooks& hooks) {
  source.Rewind();
  bool allSucceeded = true;
  for (;;) {
    std::optional<std::string> statement = source.NextStatement(&log_);
    if (!statement) {
      if (!source.stoppedAtEmptyStatement()) break;
      std::string where = "Empty statement in line " + std::to_string(source.lineNumber());
      if (hooks.skipEmptyStatements) {
        log_.addLine(where + " skipped", 2);
        continue;
      }
      log_.addLine(where + ": execution ended, the lines after it were not executed", 2);
      allSucceeded = false;
      break;
    }
    auto started = std::chrono::steady_clock::now();
    bool succeeded = execute(*statement);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (hooks.afterStatement) hooks.afterStatement(succeeded, rowCount(), seconds);
    if (succeeded) continue;
    allSucceeded = false;
    if (!hooks.continueAfterError || !hooks.continueAfterError(lastError())) break;
  }
  return allSucceeded;
}

std::vector<std::string> ConnectionDocument::bindResult() {
  std::vector<std::string> titles;
  bindings_.clear();
  if (!statement_.isAllocated()) return titles;
  int16_t count = statement_.resultColumnCount();
  for (int16_t number = 1; number <= count; ++number) {
    ColumnDescription description;
    if (!statement_.describeColumn(number, description)) continue;
    BoundValue* value = statement_.bindColumn(number, &description);
    if (!value) continue;
    bindings_.push_back(value);
    titles.push_back(description.name);
  }
  return titles;
}

size_t ConnectionDocument::fetchRows(size_t maxRows, std::vector<std::string>& cells,
                                     bool& finished) {
  finished = false;
  size_t fetched = 0;
  if (resultEnded_ || !statement_.isAllocated() || bindings_.empty()) {
    finished = true;
    return 0;
  }
  while (fetched < maxRows) {
    SQLRETURN rc = SQLFetch(statement_.handle());
    if (rc == SQL_NO_DATA_FOUND) {
      finished = true;
      break;
    }
    if (!environment_.check(rc, connection_.handle(), statement_.handle())) {
      log_.addLine(environment_.lastError(), 3);
      finished = true;
      break;
    }
    for (BoundValue* value : bindings_) {
      if (value->description.sqlType == SQL_DECIMAL) dropDecimalPoint(*value);
      cells.push_back(formatGridValue(*value));
    }
    ++fetched;
  }
  if (finished) resultEnded_ = true;
  return fetched;
}

void ConnectionDocument::discardResult() {
  std::lock_guard lock(mutex_);
  bindings_.clear();
  statement_.drop();
  resultEnded_ = true;
}

void ConnectionDocument::cancel() {
  std::lock_guard lock(mutex_);
  if (statement_.isAllocated()) SQLCancel(statement_.handle());
}

}  // namespace kestrel
