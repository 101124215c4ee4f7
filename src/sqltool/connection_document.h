#pragma once
// The logic of one wagtail document: one ODBC connection, the statement that
// every SQL command of the document runs on, the execution loop over a
// SqlSource, and the last result as formatted rows.
//
// Threads: every call except cancel() and the atomic getters comes from one
// thread, the one that owns the document (the window's worker, or the batch
// mode's only thread), because the ODBC layer is single-threaded. Log lines go
// to the LineSink, which hands them on to wherever the log lives. cancel() may
// come from any thread: it asks the driver to stop the statement that is
// running (SQLCancel), which then fails with the driver's message.
//
// Each document has an ODBC environment of its own, silent (no message
// boxes), so that a failure on one document's thread never overwrites the
// error text another document is about to report.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "odbc/odbc.h"
#include "sqltool/sql_source.h"

namespace kestrel {

class ConnectionDocument {
 public:
  explicit ConnectionDocument(LineSink& log);
  ConnectionDocument(const ConnectionDocument&) = delete;
  ConnectionDocument& operator=(const ConnectionDocument&) = delete;
  ~ConnectionDocument();

  // Connects (disconnecting first when open). Logs "ODBC source <name>
  // connection opened." (kind 2) or the driver's message (kind 3).
  bool open(const std::string& source, const std::string& user, const std::string& password);
  // Disconnects an open connection and logs "ODBC connection closed".
  void close();
  bool isConnected() const { return connected_.load(); }
  // The name used at the last successful open.
  std::string sourceName() const;

  // Discards the last result and executes `text` directly on a fresh
  // statement handle. Logs "OK" (kind 2) or the driver's message (kind 3).
  bool execute(const std::string& text);
  const std::string& lastError() const { return environment_.lastError(); }
  // What SQLRowCount reported for the last statement: -1 before the first
  // statement and when the driver cannot tell.
  int32_t rowCount() const { return rowCount_.load(); }
  // Columns of the last statement's result set (0: none).
  int resultColumns() const { return resultColumns_.load(); }
  // Whether the last result can be shown: it has columns, or a row count
  // other than 0. (Some drivers report 0 rows for every SELECT.)
  bool hasResult() const { return resultColumns() > 0 || rowCount() != 0; }

  struct RunHooks {
    // Asked after a failed statement with the driver's message: true goes on
    // with the next statement. None: stop.
    std::function<bool(const std::string& error)> continueAfterError;
    // After every statement: whether it succeeded, its row count, seconds.
    std::function<void(bool succeeded, int32_t rowCount, double seconds)> afterStatement;
    // An empty statement (a line holding only ";") ends the run unless this
    // is set; either way a line says so.
    bool skipEmptyStatements = false;
  };
  // Runs every statement of the source from its first line. True when every
  // statement that ran succeeded and the run was not ended early by an
  // empty statement.
  bool run(SqlSource& source, const RunHooks& hooks);

  // Describes and binds the columns of the last result. Columns that cannot
  // be described or bound are left out. Titles of the bound columns.
  std::vector<std::string> bindResult();
  // Fetches up to maxRows rows and appends their formatted cells to `cells`
  // (one per bound column). `finished` is set at the end of the data and
  // after a fetch error, which is logged (kind 3); the rows read so far stay.
  size_t fetchRows(size_t maxRows, std::vector<std::string>& cells, bool& finished);
  size_t boundColumnCount() const { return bindings_.size(); }
  // Frees the result's bindings (the statement handle stays).
  void discardResult();

  // From any thread.
  void cancel();

 private:
  bool allocateStatement();

  LineSink& log_;
  OdbcEnvironment environment_;
  OdbcConnection connection_{environment_};
  OdbcStatement statement_;
  std::string sourceName_;
  mutable std::mutex mutex_;  // guards the statement handle for cancel(), and sourceName_
  std::atomic<bool> connected_{false};
  std::atomic<int32_t> rowCount_{-1};
  std::atomic<int> resultColumns_{0};
  std::vector<BoundValue*> bindings_;  // owned by statement_
  bool resultEnded_ = true;
};

}  // namespace kestrel
