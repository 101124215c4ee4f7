#pragma once
// Test fixtures for real databases.
//
// OdbcTestFolder makes a temporary folder with an odbc.ini naming three SQLite
// databases in that folder and the two loopback servers started by
// tests/servers/servers.sh, points ODBCINI at it before any ODBC call of the
// test, and removes the folder afterwards. The drivers stay registered in
// /etc/odbcinst.ini.
//
// Once the MariaDB driver has connected in a process, the driver manager
// answers later odbc.ini reads from what it read before, by data source
// name, so a name written by an earlier folder would still lead to that
// folder's database (or to the port of a server long gone).
// Every folder therefore gives its data sources names of their own: the
// plain name and a suffix unique in the process ("SRC" becomes "SRC_7").
// Tests ask the folder for the names (dsn, sqlite, database), or write their
// scripts and expected lines with the plain names and let the folder turn
// them into its own (withFolderNames) and back (withPlainNames).

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
  // The plain data source names of every folder's odbc.ini.
  static constexpr const char* kSqliteA = "kt_sqlite_a";  // database file a.db
  static constexpr const char* kSqliteB = "kt_sqlite_b";  // b.db
  static constexpr const char* kSqliteC = "kt_sqlite_c";  // c.db
  static constexpr const char* kPostgreSQL = "kt_postgresql";
  static constexpr const char* kMariaDB = "kt_mariadb";

  // extraSqlite: further plain SQLite data source names, each with its own
  // database file "<name>.db" in the folder.
  explicit OdbcTestFolder(const std::vector<std::string>& extraSqlite = {});
  OdbcTestFolder(const OdbcTestFolder&) = delete;
  OdbcTestFolder& operator=(const OdbcTestFolder&) = delete;
  ~OdbcTestFolder();

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  std::string odbcIni() const { return file("odbc.ini"); }

  // This folder's name of the data source with the plain name `name`.
  std::string dsn(const std::string& name) const { return name + suffix_; }
  // A SQLite data source of this folder (by plain name) as the tests reach it.
  TestDatabase sqlite(const std::string& name) const {
    return {DatabaseKind::SQLite, "SQLite", dsn(name), "", ""};
  }
  // The database as the tests reach it: this folder's DSN, user and password.
  TestDatabase database(DatabaseKind kind) const;

  // `text` with every plain data source name of this folder, as a whole word,
  // replaced by the folder's name for it; withPlainNames does the reverse.
  std::string withFolderNames(const std::string& text) const;
  std::string withPlainNames(const std::string& text) const;

 private:
  std::string suffix_;
  std::vector<std::string> plainNames_;
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
