#pragma once
// One side of a copy definition: the source (FROM) or the target (TO) table in
// an ODBC data source, with its connection, its columns and every statement it
// sends. The run of a copy definition decides which operation comes when; the
// endpoint builds and executes the SQL and writes its own log lines.
//
// Every ODBC failure goes through fail(): the driver's message as an error
// line, then the connection is closed, so the next statement reconnects.
// Changing statements (anything not starting with SELECT or DECLARE) are not
// executed while the option NoUpdate is set. Inside a run's transaction
// (beginTransaction to endTransaction) the connection has autocommit off and
// the changes are committed every MaxBeforeCommit statements when that
// option is above 0, else once at the end; whatever is not committed when
// the run fails or the connection is closed is rolled back, with a line
// saying so.
//
// A DELETE or UPDATE is only ever executed with its WHERE clause: WHERE
// CURRENT OF the read cursor, or, in the KEYS update mode, the condition that
// names the fetched row (its row identifier where the database has one,
// else its key values, and always inside the run's TO condition), with the
// values as the walk fetched them as parameters. Each must change exactly
// one row; any other count is an error line and a failure.

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "base/message_log.h"
#include "engine/run_options.h"
#include "odbc/column_value.h"
#include "odbc/database_format.h"
#include "odbc/odbc.h"

namespace kestrel {

struct CopyColumn;
struct SetColumn;

struct EndpointColumn {
  std::string typeName;           // "<unknown>" for a column of a SELECT statement
  ColumnDescription description;  // its name is the column name as the data source gives it
  std::string sqlName;            // the name in statements, quoted by applyQuote
  bool supported = true;          // the binding rule has a buffer type for its SQL type
  bool inUse = false;
  bool key = false;
  bool logged = false;
  bool hex = false;
  bool leftTrim = false;
  bool unchanged = false;
  bool formatted = false;
  std::string formatPattern;
  const SetColumn* setColumn = nullptr;
  EndpointColumn* sourceColumn = nullptr;  // target side: where its value comes from
  const CopyColumn* transforms = nullptr;  // source side: TRANS, EDIT and LEFTTRIM
  bool compareAsNumber = false;
  int selectPosition = 0;
  BoundValue* value = nullptr;  // bound in the read statement; owned by it
  bool changed = false;
  // The length the temporary file reads and writes for this column: the
  // value's indicator as a 32-bit count, -1 for NULL.
  std::int32_t storedLength = 0;
};

// The status of a source record in a replication's temporary file: New until
// a target row with its key is found, then Matched (never inserted).
enum class RecordStatus : std::int16_t { New = 1, Matched = 2 };

class TableEndpoint {
 public:
  // Reads the options NoUpdate, ListSQL and UpdateDebugging.
  TableEndpoint();
  TableEndpoint(const TableEndpoint&) = delete;
  TableEndpoint& operator=(const TableEndpoint&) = delete;
  ~TableEndpoint();

  void setTable(const std::string& dataSource, const std::string& qualifier,
                const std::string& creator, const std::string& table, const std::string& userId,
                const std::string& password, MessageLog& log);
  void setSelect(const std::string& dataSource, const std::string& selectStatement,
                 const std::string& userId, const std::string& password, MessageLog& log);
  // Quotes the identifiers ("" for none) and builds the qualified table name.
  // Called after the columns have been added.
  void applyQuote(const std::string& quote);

  bool connect();
  void disconnect();
  bool isConnected() const { return connection_.isConnected(); }
  // Writes the environment's lastError as an error line, disconnects, false.
  bool fail();

  bool execute(SqlRequest& request, OdbcStatement& statement);
  // The same, but a failure only writes the driver's message: the connection
  // and the cursor being walked stay (a failed DELETE does not end a run).
  // Unless the driver reports the connection lost: then, as in execute, the
  // endpoint disconnects, and isConnected() tells the caller that nothing
  // more can be done on this side.
  bool executeKeepingConnection(SqlRequest& request, OdbcStatement& statement);
  void executeCommitStatement();
  void commitPending();

  // The run's transaction on this side: autocommit off from here on (also
  // for a connection made later in the run). False after an error line when
  // the driver refuses.
  bool beginTransaction();
  // Commits when `success`, else rolls back what is not committed (with the
  // line saying so when there was anything); then autocommit is on again, so
  // that a connection kept for the next run holds no open transaction. False
  // when the commit failed.
  bool endTransaction(bool success);
  bool inTransaction() const { return inTransaction_; }
  // How the keyed mode names the fetched row: the SQL of the identifying
  // columns in the last walk (empty before one).
  const std::vector<std::string>& rowIdentifierColumns() const { return rowIdentifierNames_; }

  // Finds the column (loading the column list first when it is empty), marks
  // it in use and stores its flags and links; nullptr after an error line.
  EndpointColumn* addColumn(const std::string& name, bool key, bool logged, bool hex,
                            EndpointColumn* sourceColumn, const std::string& formatPattern,
                            const SetColumn* setColumn, const CopyColumn* transforms, bool leftTrim,
                            bool unchanged);

  // The options of the run (or of loading the columns) in hand; until the
  // first call every option has its default.
  void setOptions(const RunOptions& options);

  // Source side.
  // The SELECT of the source: the statement given, or the columns in use
  // from the table with the condition and the order.
  std::string sourceSelectText(const std::string& where, const std::string& orderBy) const;
  bool openSourceSelect(const std::string& where, const std::string& orderBy);
  // The next source row into the bound values; counts rowsFetched. False at
  // the end and on failure (readFailed() tells which).
  bool fetchSource();
  // Executes the source SELECT and binds its columns (for filling the
  // temporary file); the caller fetches with fetchRow().
  bool executeSourceSelect(const std::string& where, const std::string& orderBy);
  bool fetchRow();
  // Ends the source read but keeps the bound buffers, which the temporary
  // file reads records into afterwards.
  void closeCursor();

  // Target side.
  bool openForUpdate(UpdateMode updateMode, const std::string& where);
  bool fetchTarget();
  bool deleteCurrent();
  bool updateCurrent();
  bool prepareInsert();
  bool insertRow();

  // True when the last fetch ended on an error rather than at the end of the
  // data; the error line has then been written.
  bool readFailed() const { return readFailed_; }
  // True when a key of the current target row holds NULL: such a row is
  // never updated or deleted.
  bool currentKeyIsNull() const;

  std::list<EndpointColumn>& columns() { return columns_; }
  const std::string& dataSource() const { return dataSource_; }
  const std::string& table() const { return table_; }
  const std::string& qualifiedTable() const { return qualifiedTable_; }
  bool selectMode() const { return selectMode_; }
  bool updateDebugging() const { return updateDebugging_; }
  bool doUpdate() const { return doUpdate_; }
  MessageLog& log() const { return *log_; }

  std::int32_t rowsFetched = 0;
  std::int32_t targetRowsRead = 0;
  std::int32_t deletedCount = 0;
  std::int32_t updatedCount = 0;
  std::int32_t insertedCount = 0;
  // Counters of a replication's source side (kept here, reported by the run).
  std::int32_t rowsRead = 0;
  std::int32_t rowsUsed = 0;
  // The record status of the row in the source buffers, as the temporary
  // file stores it with the record (it reads and writes `recordStatusWord`).
  RecordStatus recordStatus() const { return static_cast<RecordStatus>(recordStatusWord); }
  void setRecordStatus(RecordStatus status) {
    recordStatusWord = static_cast<std::int16_t>(status);
  }
  std::int16_t recordStatusWord = static_cast<std::int16_t>(RecordStatus::New);

 private:
  bool loadColumns();
  // Whether the driver reports the connection as lost (SQL_ATTR_CONNECTION_DEAD).
  bool connectionLost();
  bool bindReadColumns(bool includeSet);
  bool checkFetched(FetchResult fetched);
  // The value part of a column in an INSERT or UPDATE: the literal text of a
  // decimal fed from characters, or "?" with a new parameter. False (after an
  // error line) when such a literal is not a well-formed number.
  bool appendValuePart(std::string& text, EndpointColumn& column, SqlRequest& request,
                       std::int16_t& parameterNumber);
  bool fillParameter(BoundValue& parameter, EndpointColumn& column);
  // After an executed DELETE or UPDATE of the current row: false, after an
  // error line naming the table, the row's key and the count, unless the
  // driver reports exactly one changed row.
  bool changedOneRow(OdbcStatement& statement, const char* statementName, const char* verb);
  // Whether the row a keyed UPDATE addressed is there, exactly once: for a
  // driver that counts only the rows whose values changed.
  bool keyedRowUnchanged();
  // Keyed mode: what identifies a fetched row (row identifier, else the key
  // columns), the condition naming it, and its parameters.
  void findRowIdentifier(const std::vector<std::string>& keys);
  bool tryRowIdentifier(const std::string& expression);
  std::string rowCondition(const std::vector<std::string>& keys) const;
  // Commits when MaxBeforeCommit changing statements have been executed
  // since the last commit; false (after fail()) when the commit fails.
  bool commitWhenDue();
  // Appends the row's parameters from `number` + 1 on (adding them when the
  // request has fewer) and fills them with the fetched values.
  void fillRowParameters(SqlRequest& request, std::int16_t& number);
  bool identifierTruncated() const;
  // Rolls back what is not committed, with the line saying so.
  void rollBack();
  // The run's transaction on the connection. The SQLite driver reads a whole
  // result set into memory as soon as autocommit is off (measured: 80 MB for
  // 300,000 rows of 200 bytes, against 6 MB with autocommit on, StepAPI=1),
  // so on SQLite autocommit stays on and the transaction is the database's
  // own BEGIN, COMMIT and ROLLBACK; elsewhere autocommit goes off and the
  // driver ends the transaction. `again` begins the next one at once.
  bool sqliteConnection() const;
  bool executeOnConnection(const char* text);
  bool startConnectionTransaction();
  bool commitConnection(bool again);
  bool rollBackConnection();
  bool leaveConnectionTransaction();
  // The error line for a source value that the column cannot hold.
  std::string valueRefusedText(const std::string& shown, const EndpointColumn& column) const;
  // The column as the SELECT lists it (see columnSelectText).
  std::string selectExpression(const EndpointColumn& column) const {
    return columnSelectText(connection_, column.sqlName, column.description);
  }
  std::string renderColumns(bool keysOnly, bool loggedOnly) const;

  std::string dataSource_, qualifier_, creator_, table_, userId_, password_;
  bool selectMode_ = false;
  std::string selectStatement_;
  std::string qualifiedTable_;
  std::string cursorName_;
  MessageLog* log_ = nullptr;
  OdbcConnection connection_;
  std::list<EndpointColumn> columns_;
  OdbcStatement readStatement_, insertStatement_, deleteStatement_, updateStatement_;
  SqlRequest deleteRequest_;
  SqlRequest insertRequest_, updateRequest_;
  // The text of the INSERT executed last: a text is prepared only when it
  // repeats, so one that holds a changing decimal literal is sent directly.
  std::string lastInsertText_;
  UpdateMode updateMode_ = kDefaultUpdateMode;
  bool readFailed_ = false;
  bool keepConnection_ = false;
  std::int32_t pendingChanges_ = 0;
  // Changing statements executed since the last commit or rollback.
  std::int32_t uncommitted_ = 0;
  bool inTransaction_ = false;
  std::string quote_;
  std::string toWhere_;
  std::string rowConditionText_;  // keyed mode: " WHERE ..." naming the fetched row
  // Keyed mode: the identifying expressions of a fetched row (empty: the
  // key columns), their SQL names as selected, and their fetched values,
  // bound after the columns in use.
  std::vector<std::string> rowIdentifierNames_;
  std::vector<ColumnDescription> rowIdentifierDescriptions_;
  std::vector<BoundValue*> rowIdentifierValues_;
  std::int32_t maxBeforeCommit_ = 0;
  bool doUpdate_ = true;
  bool listSql_ = false;
  bool updateDebugging_ = false;
  bool listColumns_ = false;
};

// Whether a text is a plain decimal number (optional sign, digits with at most
// one decimal point, blanks around): the only text a source value may put into
// a statement.
bool isWellFormedNumber(const std::string& text);

}  // namespace kestrel
