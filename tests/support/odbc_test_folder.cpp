#include "odbc_test_folder.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sql.h>
#include <sqlext.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace kestrel::test {

namespace {

constexpr int kPostgreSQLPort = 55432;
constexpr int kMariaDBPort = 53306;
constexpr const char* kServerUser = "kestrel";
constexpr const char* kServerPassword = "kestrel_pw";

int portFromEnvironment(const char* variable, int fallback) {
  const char* value = std::getenv(variable);
  return value && *value ? std::atoi(value) : fallback;
}

bool portOpen(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool open = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return open;
}

std::string diagnostic(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt) {
  SQLCHAR state[6] = {0}, text[1024] = {0};
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  if (SQLError(env, dbc, stmt, state, &native, text, sizeof text, &length) == SQL_SUCCESS)
    return std::string(reinterpret_cast<char*>(state)) + " " + reinterpret_cast<char*>(text);
  return "Undefined error";
}

// One connection for one helper call; every handle freed on every path.
class RawConnection {
 public:
  explicit RawConnection(const TestDatabase& db) {
    SQLAllocEnv(&env_);
    SQLAllocConnect(env_, &dbc_);
    auto s = [](const std::string& t) { return (SQLCHAR*)(t.c_str()); };
    SQLRETURN rc =
        SQLConnect(dbc_, s(db.dsn), SQL_NTS, s(db.user), SQL_NTS, s(db.password), SQL_NTS);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
      error_ = "connect to " + db.dsn + ": " + diagnostic(env_, dbc_, SQL_NULL_HSTMT);
      return;
    }
    connected_ = true;
  }
  ~RawConnection() {
    if (connected_) SQLDisconnect(dbc_);
    SQLFreeConnect(dbc_);
    SQLFreeEnv(env_);
  }
  const std::string& error() const { return error_; }

  std::string run(const std::string& sql, std::vector<Row>* rows) {
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    SQLAllocStmt(dbc_, &stmt);
    std::string result;
    SQLRETURN rc = SQLExecDirect(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO && rc != SQL_NO_DATA) {
      result = diagnostic(env_, dbc_, stmt) + " [" + sql + "]";
    } else if (rows) {
      SQLSMALLINT columns = 0;
      SQLNumResultCols(stmt, &columns);
      while ((rc = SQLFetch(stmt)) == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
        Row row;
        for (SQLUSMALLINT c = 1; c <= columns; ++c) {
          std::string value;
          char buffer[4096];
          SQLLEN indicator = 0;
          bool isNull = false;
          for (;;) {
            rc = SQLGetData(stmt, c, SQL_C_CHAR, buffer, sizeof buffer, &indicator);
            if (rc == SQL_NO_DATA) break;
            if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
              result = diagnostic(env_, dbc_, stmt);
              break;
            }
            if (indicator == SQL_NULL_DATA) {
              isNull = true;
              break;
            }
            value += buffer;
            if (rc == SQL_SUCCESS) break;
          }
          row.push_back(isNull ? std::nullopt : std::optional<std::string>(value));
        }
        rows->push_back(std::move(row));
      }
    }
    SQLFreeStmt(stmt, SQL_DROP);
    return result;
  }

 private:
  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  bool connected_ = false;
  std::string error_;
};

// Replaces every whole-word `from` in `text` by `to`; a word is a run of
// letters, digits and underscores, so "SRC" is found in "FROM SRC TABLE" and
// "SRC: SELECT" but not in "SRC2" or "SRC_7".
std::string replaceWord(const std::string& text, const std::string& from, const std::string& to) {
  auto wordChar = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
  std::string result;
  std::size_t at = 0;
  for (;;) {
    std::size_t found = text.find(from, at);
    if (found == std::string::npos) break;
    std::size_t end = found + from.size();
    bool whole =
        (found == 0 || !wordChar(text[found - 1])) && (end == text.size() || !wordChar(text[end]));
    result.append(text, at, found - at);
    result += whole ? to : from;
    at = end;
  }
  result.append(text, at, std::string::npos);
  return result;
}

}  // namespace

OdbcTestFolder::OdbcTestFolder(const std::vector<std::string>& extraSqlite) {
  static std::atomic<int> folders{0};
  suffix_ = "_" + std::to_string(++folders);
  plainNames_ = {kSqliteA, kSqliteB, kSqliteC, kPostgreSQL, kMariaDB};
  plainNames_.insert(plainNames_.end(), extraSqlite.begin(), extraSqlite.end());

  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/kestrel-test-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (!::mkdtemp(buffer.data())) ADD_FAILURE() << "cannot create a temporary folder";
  path_ = buffer.data();

  std::ofstream ini(odbcIni());
  for (auto [dsn, file] : {std::pair{kSqliteA, "a.db"}, {kSqliteB, "b.db"}, {kSqliteC, "c.db"}}) {
    ini << "[" << this->dsn(dsn) << "]\nDriver=SQLite3\nDatabase=" << this->file(file)
        << "\nTimeout=5000\n\n";
  }
  for (const std::string& dsn : extraSqlite) {
    ini << "[" << this->dsn(dsn) << "]\nDriver=SQLite3\nDatabase=" << file(dsn + ".db")
        << "\nTimeout=5000\n\n";
  }
  ini << "[" << dsn(kPostgreSQL) << "]\nDriver=PostgreSQL ANSI\nServername=127.0.0.1\nPort="
      << portFromEnvironment("KESTREL_PG_PORT", kPostgreSQLPort) << "\nDatabase=kestrel_test\n\n";
  ini << "[" << dsn(kMariaDB) << "]\nDriver=MariaDB Unicode\nServer=127.0.0.1\nPort="
      << portFromEnvironment("KESTREL_MARIADB_PORT", kMariaDBPort) << "\nDatabase=kestrel_test\n\n";
  ini.close();

  if (const char* previous = std::getenv("ODBCINI")) {
    hadOdbcIni_ = true;
    previousOdbcIni_ = previous;
  }
  ::setenv("ODBCINI", odbcIni().c_str(), 1);
}

OdbcTestFolder::~OdbcTestFolder() {
  if (hadOdbcIni_)
    ::setenv("ODBCINI", previousOdbcIni_.c_str(), 1);
  else
    ::unsetenv("ODBCINI");
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

TestDatabase OdbcTestFolder::database(DatabaseKind kind) const {
  switch (kind) {
    case DatabaseKind::SQLite:
      return {kind, "SQLite", dsn(kSqliteA), "", ""};
    case DatabaseKind::PostgreSQL:
      return {kind, "PostgreSQL", dsn(kPostgreSQL), kServerUser, kServerPassword};
    case DatabaseKind::MariaDB:
      return {kind, "MariaDB", dsn(kMariaDB), kServerUser, kServerPassword};
  }
  return {};
}

std::string OdbcTestFolder::withFolderNames(const std::string& text) const {
  std::string result = text;
  for (const std::string& name : plainNames_) result = replaceWord(result, name, dsn(name));
  return result;
}

std::string OdbcTestFolder::withPlainNames(const std::string& text) const {
  std::string result = text;
  for (const std::string& name : plainNames_) result = replaceWord(result, dsn(name), name);
  return result;
}

std::vector<DatabaseKind> allDatabaseKinds() {
  return {DatabaseKind::SQLite, DatabaseKind::PostgreSQL, DatabaseKind::MariaDB};
}

std::string databaseKindName(DatabaseKind kind) {
  switch (kind) {
    case DatabaseKind::SQLite:
      return "SQLite";
    case DatabaseKind::PostgreSQL:
      return "PostgreSQL";
    case DatabaseKind::MariaDB:
      return "MariaDB";
  }
  return {};
}

bool databaseAvailable(DatabaseKind kind, std::string* reason) {
  int port = 0;
  if (kind == DatabaseKind::PostgreSQL)
    port = portFromEnvironment("KESTREL_PG_PORT", kPostgreSQLPort);
  if (kind == DatabaseKind::MariaDB)
    port = portFromEnvironment("KESTREL_MARIADB_PORT", kMariaDBPort);
  if (port == 0 || portOpen(port)) return true;
  if (reason) {
    *reason = databaseKindName(kind) +
              " test server is not running on 127.0.0.1:" + std::to_string(port) +
              " (start it with tests/servers/servers.sh start)";
  }
  return false;
}

bool serversRequired() {
  const char* value = std::getenv("KESTREL_REQUIRE_SERVERS");
  return value && std::string(value) == "1";
}

std::string execSql(const TestDatabase& db, const std::vector<std::string>& statements) {
  RawConnection connection(db);
  if (!connection.error().empty()) return connection.error();
  for (const std::string& sql : statements) {
    std::string error = connection.run(sql, nullptr);
    if (!error.empty()) return error;
  }
  return {};
}

std::string querySql(const TestDatabase& db, const std::string& select, std::vector<Row>* rows) {
  RawConnection connection(db);
  if (!connection.error().empty()) return connection.error();
  return connection.run(select, rows);
}

std::string uniqueTableName(const std::string& prefix) {
  static int counter = 0;
  return prefix + "_" + std::to_string(::getpid()) + "_" + std::to_string(++counter);
}

}  // namespace kestrel::test
