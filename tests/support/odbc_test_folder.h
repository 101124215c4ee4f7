#pragma once
// Test fixtures for real databases.
//
// OdbcTestFolder makes a temporary folder with an odbc.ini naming three SQLite
// databases in that folder and the two loopback servers started by
// tests/servers/servers.sh, points ODBCINI at it before any ODBC call of the
// test, and removes the folder afterwards. The drivers stay registered in
// /etc/odbcinst.ini.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace kestrel::test {

enum class DatabaseKind { SQLite, PostgreSQL, MariaDB };

struct TestDatabase {
  DatabaseKind kind;
  std::string name;  // "SQLite", "PostgreSQL", "MariaDB": usable as a test name suffix
  std::string dsn;
  std::string user;
  std::string password;
};

class OdbcTestFolder {
 public:
  // DSN names written into every folder's odbc.ini.
  static constexpr const char* kSqliteA = "kt_sqlite_a";  // database file a.db
  static constexpr const char* kSqliteB = "kt_sqlite_b";  // b.db
  static constexpr const char* kSqliteC = "kt_sqlite_c";  // c.db
  static constexpr const char* kPostgreSQL = "kt_postgresql";
  static constexpr const char* kMariaDB = "kt_mariadb";

  // extraSqlite: further SQLite data source names, each with its own
  // database file "<name>.db" in the folder.
  explicit OdbcTestFolder(const std::vector<std::string>& extraSqlite = {});
  // A SQLite data source of this folder as the tests reach it.
  static TestDatabase sqlite(const std::string& dsn) {
    return {DatabaseKind::SQLite, "SQLite", dsn, "", ""};
  }
  OdbcTestFolder(const OdbcTestFolder&) = delete;
  OdbcTestFolder& operator=(const OdbcTestFolder&) = delete;
  ~OdbcTestFolder();

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  std::string odbcIni() const { return file("odbc.ini"); }

  // The database as the tests reach it: DSN, user and password.
  static TestDatabase database(DatabaseKind kind);

 private:
  std::string path_;
  std::string previousOdbcIni_;
  bool hadOdbcIni_ = false;
};

// All three kinds, for tests with one body run against every driver.
std::vector<DatabaseKind> allDatabaseKinds();
std::string databaseKindName(DatabaseKind kind);
// So that parameterised test names read "... = PostgreSQL" rather than bytes.
inline void PrintTo(DatabaseKind kind, std::ostream* out) { *out << databaseKindName(kind); }

// True when the database can be reached. SQLite always can; a server only when
// servers.sh started it. Otherwise `reason` says why.
bool databaseAvailable(DatabaseKind kind, std::string* reason);

// Skips the current test with a clear reason when a server is not running, or
// fails it instead when KESTREL_REQUIRE_SERVERS=1 (as CI sets it): a missing
// server must never let a test pass unseen.
#define KESTREL_REQUIRE_DATABASE(kind)                                   \
  do {                                                                   \
    std::string kestrel_reason_;                                         \
    if (!::kestrel::test::databaseAvailable((kind), &kestrel_reason_)) { \
      if (::kestrel::test::serversRequired()) FAIL() << kestrel_reason_; \
      GTEST_SKIP() << kestrel_reason_;                                   \
    }                                                                    \
  } while (0)

bool serversRequired();

// Raw ODBC, independent of the code under test, for setting up and checking
// tables. Each returns the driver's message on failure, an empty text on success.
std::string execSql(const TestDatabase& db, const std::vector<std::string>& statements);
using Row = std::vector<std::optional<std::string>>;
std::string querySql(const TestDatabase& db, const std::string& select, std::vector<Row>* rows);

// A table name unique to this process and call, so that tests running in
// parallel against one server never collide ("prefix_<pid>_<n>").
std::string uniqueTableName(const std::string& prefix);

}  // namespace kestrel::test
