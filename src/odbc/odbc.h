#pragma once
// The object layer over the ODBC 2.x call level interface through which every
// database access goes: the program-wide environment, connections, statements
// and SQL requests with parameters.
//
// Every ODBC call except the freeing ones and SQLDisconnect goes through
// OdbcEnvironment::check, the one place where return codes become results:
// SQL_SUCCESS and SQL_SUCCESS_WITH_INFO succeed, anything else fails, and the
// driver's message is kept in lastError (and shown in an "ODBC error" box
// unless the environment is silent). Nothing here throws.
//
// Connections and statements register themselves with their parent while
// they hold a handle; the parent never owns them. They are neither copied nor
// moved, since their parents and ODBC itself refer to them by address.
// Destroying a connection disconnects it; destroying a statement drops it.

#include <sql.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "odbc/column_value.h"

namespace kestrel {

class OdbcConnection;
class OdbcStatement;

// What one fetch found: a row, the end of the data, or an error (whose
// message is in lastError). Tests true only for a row, so
// `while (statement.fetch())` reads every row; afterwards `failed()` tells an
// error from the end of the data.
class FetchResult {
 public:
  enum Status { Row, EndOfData, Error };
  constexpr FetchResult(Status status) : status_(status) {}
  constexpr explicit operator bool() const { return status_ == Row; }
  constexpr Status status() const { return status_; }
  constexpr bool endOfData() const { return status_ == EndOfData; }
  constexpr bool failed() const { return status_ == Error; }

 private:
  Status status_;
};

namespace detail {

// The one owner of an ODBC handle: move-only, freed by its destructor, which
// never throws (the freeing calls' results are of no use at that point).
template <typename Traits>
class UniqueOdbcHandle {
 public:
  using Handle = typename Traits::Handle;

  UniqueOdbcHandle() = default;
  UniqueOdbcHandle(const UniqueOdbcHandle&) = delete;
  UniqueOdbcHandle& operator=(const UniqueOdbcHandle&) = delete;
  UniqueOdbcHandle(UniqueOdbcHandle&& other) noexcept : handle_(other.handle_) {
    other.handle_ = nullptr;
  }
  UniqueOdbcHandle& operator=(UniqueOdbcHandle&& other) noexcept {
    if (this != &other) {
      reset();
      handle_ = other.handle_;
      other.handle_ = nullptr;
    }
    return *this;
  }
  ~UniqueOdbcHandle() { reset(); }

  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  // For the allocating call; the owner must be empty.
  Handle* receive() { return &handle_; }
  void reset() noexcept {
    if (handle_) Traits::free(handle_);
    handle_ = nullptr;
  }
  // Gives up ownership without freeing.
  Handle release() noexcept {
    Handle handle = handle_;
    handle_ = nullptr;
    return handle;
  }

 private:
  Handle handle_ = nullptr;
};

struct EnvironmentHandleTraits {
  using Handle = SQLHENV;
  static void free(Handle handle) noexcept;
};
struct ConnectionHandleTraits {
  using Handle = SQLHDBC;
  static void free(Handle handle) noexcept;  // frees only; disconnecting is the owner's
};
struct StatementHandleTraits {
  using Handle = SQLHSTMT;
  static void free(Handle handle) noexcept;  // SQL_DROP
};

}  // namespace detail

using EnvironmentHandle = detail::UniqueOdbcHandle<detail::EnvironmentHandleTraits>;
using ConnectionHandle = detail::UniqueOdbcHandle<detail::ConnectionHandleTraits>;
using StatementHandle = detail::UniqueOdbcHandle<detail::StatementHandleTraits>;

// Table type bits of a catalog table query.
enum TableTypeFlags : unsigned {
  kTableTypeTable = 0x01,
  kTableTypeView = 0x02,
  kTableTypeSystemTable = 0x04,
  kTableTypeAlias = 0x08,
  kTableTypeSynonym = 0x10,
  kTableTypeAll = 0x20,
};

// The table type list handed to SQLTables for a set of bits: "'TABLE','VIEW'"
// and so on in bit order; empty (meaning no list) for 0 or whenever the
// all-types bit is set.
std::string tableTypeList(unsigned typeFlags);

// The column size a parameter is declared with: precision + 1 for the
// character types, the precision limited to 15 for NUMERIC and DECIMAL, the
// precision otherwise.
SQLULEN parameterColumnSize(const ColumnDescription& description);

class OdbcEnvironment {
 public:
  OdbcEnvironment() = default;
  OdbcEnvironment(const OdbcEnvironment&) = delete;
  OdbcEnvironment& operator=(const OdbcEnvironment&) = delete;
  ~OdbcEnvironment() { close(); }

  // Closes an open handle first (which disconnects every connection).
  bool open(bool silent);
  // Disconnects every registered connection and frees the handle. False when
  // the driver manager refused to free it, which it does while any
  // connection handle on it is still allocated (a leaked handle).
  bool close();
  bool isOpen() const { return static_cast<bool>(handle_); }
  SQLHENV handle() const { return handle_.get(); }

  // The next data source name, or none after the last one; the enumeration
  // then starts again from the first. Opens the environment when needed.
  std::optional<std::string> nextDataSource();
  const std::string& dataSourceName() const { return dataSourceName_; }
  const std::string& dataSourceDescription() const { return dataSourceDescription_; }

  // The one return-code check; see the file comment. `callerSilent` keeps
  // the box away for this call whatever the environment's setting.
  bool check(SQLRETURN rc, SQLHDBC hdbc, SQLHSTMT hstmt, bool callerSilent = false);

  bool silent() const { return silent_; }
  void setSilent(bool silent) { silent_ = silent; }
  const std::string& lastError() const { return lastError_; }
  // For failures that no ODBC call reports (an unsupported column type).
  void setLastError(std::string text) { lastError_ = std::move(text); }

  const std::vector<OdbcConnection*>& connections() const { return connections_; }

 private:
  friend class OdbcConnection;
  bool openImplicitly();
  void registerConnection(OdbcConnection* connection);
  void unregisterConnection(OdbcConnection* connection);

  EnvironmentHandle handle_;
  bool silent_ = false;
  std::string lastError_ = "OK";
  std::string dataSourceName_;
  std::string dataSourceDescription_;
  std::vector<OdbcConnection*> connections_;
};

// The program's one environment, closed when the program ends.
OdbcEnvironment& odbcEnvironment();

// One SQL statement to execute, with its parameters.
class SqlRequest {
 public:
  SqlRequest() = default;
  SqlRequest(const SqlRequest&) = delete;
  SqlRequest& operator=(const SqlRequest&) = delete;
  // Moving keeps the parameters where ODBC may have them bound.
  SqlRequest(SqlRequest&&) = default;
  SqlRequest& operator=(SqlRequest&&) = default;

  std::string text;
  bool prepare = false;
  bool prepared = false;
  int32_t maxRows = 0;
  int32_t queryTimeout = 0;
  int32_t maxLength = 0;

  // Empties the text, frees the parameters and resets flags and options.
  void clear();
  // A parameter with the description's name, types, lengths, precision,
  // scale and nullability under `number`; its indicator starts at the
  // binding length. The reference stays valid until clear().
  BoundValue& addParameter(int16_t number, const ColumnDescription& description);
  const std::vector<std::unique_ptr<BoundValue>>& parameters() const { return parameters_; }

 private:
  friend class OdbcConnection;
  std::vector<std::unique_ptr<BoundValue>> parameters_;
  // The statement allocation the text was prepared on: a prepared request is
  // only re-executed on that very allocation, never on one that has since
  // been dropped or re-allocated for another statement text.
  uint64_t preparedAllocation_ = 0;
};

class OdbcConnection {
 public:
  // A connection on the program's environment.
  OdbcConnection() : OdbcConnection(odbcEnvironment()) {}
  explicit OdbcConnection(OdbcEnvironment& environment) : environment_(&environment) {}

  // Failures on this connection and its statements never show the "ODBC
  // error" box, whoever opened the environment and how: for callers that
  // write every failure to the log themselves (copy runs, lock checks), so
  // that an unattended timer run never waits for someone to answer a box.
  bool silent = false;
  OdbcConnection(const OdbcConnection&) = delete;
  OdbcConnection& operator=(const OdbcConnection&) = delete;
  ~OdbcConnection() { disconnect(); }

  // On SQLite, integer result columns are fetched as text and checked by
  // OdbcStatement::fetch (the driver narrows them silently); off for callers
  // that call SQLFetch themselves.
  bool integersAsText = true;

  // Set by callers that end their transaction at its first failed statement
  // (a copy run). psqlODBC, unless its DSN sets a level of rollback on errors
  // ("Protocol"), wraps every statement inside a transaction in a savepoint so
  // that a failed statement alone is undone: one more round trip for every
  // statement. Such a connection asks it to undo the whole transaction on an
  // error instead (as the caller does anyway); other drivers are unaffected.
  bool rollBackTransactionOnError = false;

  bool setAccessMode = false;
  bool setLoginTimeout = false;
  bool autocommit = false;
  bool setAutocommit = false;
  int32_t loginTimeout = 60;

  bool connect(const std::string& dataSource, const std::string& userId,
               const std::string& password);
  // Drops every statement allocated here, then disconnects.
  void disconnect();
  bool isConnected() const { return static_cast<bool>(handle_); }
  SQLHDBC handle() const { return handle_.get(); }
  // The database's product name as the driver reports it (empty when the
  // driver does not say), and what that database keeps of non-finite
  // floating point values.
  const std::string& dbmsName() const { return dbmsName_; }
  ValueLimits valueLimits() const;
  OdbcEnvironment& environment() const { return *environment_; }
  const std::vector<OdbcStatement*>& statements() const { return statements_; }

  bool setOption(int option, uint32_t value);

  // Catalog queries into `statement`, which is (re)allocated here. Empty
  // texts are passed as null pointers, meaning "any".
  bool queryTables(OdbcStatement& statement, const std::string& qualifier, const std::string& owner,
                   const std::string& tableName, unsigned typeFlags);
  bool queryColumns(OdbcStatement& statement, const std::string& qualifier,
                    const std::string& owner, const std::string& tableName,
                    const std::string& columnName);
  // The columns that best identify a row of the table (SQLSpecialColumns,
  // SQL_BEST_ROWID, valid for the current row, never NULL).
  bool querySpecialColumns(OdbcStatement& statement, const std::string& qualifier,
                           const std::string& owner, const std::string& tableName);
  // The database product's name (SQL_DBMS_NAME), empty when the driver
  // does not tell.
  std::string dbmsName();

  // Executes the request on `statement`. Direct execution (re)allocates the
  // statement, so result columns are bound after executing. A prepared
  // request is prepared and bound once and afterwards only re-executed.
  bool execute(SqlRequest& request, OdbcStatement& statement);

  // 0 commit, 1 rollback.
  bool transact(int kind);

 private:
  friend class OdbcStatement;
  bool bindRequest(SqlRequest& request, OdbcStatement& statement);
  void registerStatement(OdbcStatement* statement);
  void unregisterStatement(OdbcStatement* statement);

  OdbcEnvironment* environment_;
  ConnectionHandle handle_;
  std::vector<OdbcStatement*> statements_;
  std::string dbmsName_;
  // The SQLite driver cuts numbers: it writes a double parameter as 15-digit
  // text and a timestamp with milliseconds (such parameters are sent as full
  // text), and narrows integers it reads (they are fetched as text).
  bool numbersAsText_ = false;
};

// A column as a SELECT on the connection lists it: its name, except where
// the driver would read the value cut. The SQLite driver reads a REAL through
// SQLite's 15-digit text, so a real value is selected as quote(), which
// gives every digit; NULLs and values of other types stay as they are.
std::string columnSelectText(const OdbcConnection& connection, const std::string& name,
                             const ColumnDescription& description);

class OdbcStatement {
 public:
  OdbcStatement() = default;
  OdbcStatement(const OdbcStatement&) = delete;
  OdbcStatement& operator=(const OdbcStatement&) = delete;
  ~OdbcStatement() { drop(); }

  // Drops the statement first when allocated.
  bool allocate(OdbcConnection* connection);
  // Frees the handle and every bound column.
  void drop();
  bool isAllocated() const { return static_cast<bool>(handle_); }
  SQLHSTMT handle() const { return handle_.get(); }
  OdbcConnection* connection() const { return connection_; }
  // True when there is nothing to fetch.
  bool noResult() const { return noResult_; }

  int16_t resultColumnCount();
  // Fills number, name, SQL type, precision, scale and nullability of a
  // result column and completes its binding; false for a column type that
  // has no binding.
  bool describeColumn(int16_t number, ColumnDescription& description);
  // Binds result column `number` with the given description, or with its own
  // when none is given. The value belongs to the statement (until the next
  // allocation or drop); null on failure.
  BoundValue* bindColumn(int16_t number, const ColumnDescription* description = nullptr);
  const std::vector<std::unique_ptr<BoundValue>>& columns() const { return columns_; }

  // The next row into the bound columns. At the end of the data lastError
  // is untouched; a failure (also: no statement handle any more, as after a
  // lost connection) is an Error. Both leave noResult set.
  FetchResult fetch();
  bool setOption(int option, uint32_t value);
  // Appends " WHERE CURRENT OF " and the driver's cursor name.
  bool appendWhereCurrentOf(std::string& text);
  // Rows affected by the last statement, or -1 when not allocated or unknown.
  int32_t rowCount();

 private:
  friend class OdbcConnection;
  // The environment of the connection; only called while allocated.
  OdbcEnvironment& environment() const { return connection_->environment(); }
  SQLHDBC connectionHandle() const { return connection_ ? connection_->handle() : SQL_NULL_HDBC; }
  bool connectionSilent() const { return connection_ && connection_->silent; }

  // Integer columns fetched as text (see bindColumn) into their values.
  bool readIntegerTexts();

  StatementHandle handle_;
  OdbcConnection* connection_ = nullptr;
  bool noResult_ = true;
  bool integerTexts_ = false;
  uint64_t allocation_ = 0;  // unique among all allocations of the program
  std::vector<std::unique_ptr<BoundValue>> columns_;
};

}  // namespace kestrel
