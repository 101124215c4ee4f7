// The test fixtures themselves: every later test relies on them reaching the
// right database, so a broken harness must show here first.

#include <gtest/gtest.h>

#include <filesystem>

#include "odbc_test_folder.h"

namespace kestrel::test {
namespace {

class HarnessTest : public ::testing::TestWithParam<DatabaseKind> {};

TEST_P(HarnessTest, CreatesWritesAndReadsBackATable) {
  OdbcTestFolder folder;
  KESTREL_REQUIRE_DATABASE(GetParam());
  TestDatabase db = folder.database(GetParam());
  std::string table = uniqueTableName("harness");
  ASSERT_EQ(execSql(db, {"CREATE TABLE " + table + " (id INTEGER, name VARCHAR(20))",
                         "INSERT INTO " + table + " VALUES (1, 'one')",
                         "INSERT INTO " + table + " VALUES (2, NULL)"}),
            "");
  std::vector<Row> rows;
  EXPECT_EQ(querySql(db, "SELECT id, name FROM " + table + " ORDER BY id", &rows), "");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][1], "one");
  EXPECT_EQ(rows[1][1], std::nullopt);
  EXPECT_EQ(execSql(db, {"DROP TABLE " + table}), "");
}

INSTANTIATE_TEST_SUITE_P(AllDrivers, HarnessTest, ::testing::ValuesIn(allDatabaseKinds()),
                         [](const auto& info) { return databaseKindName(info.param); });

TEST(HarnessFolder, PointsOdbcIniAtItsFolderAndRemovesIt) {
  std::string path;
  {
    OdbcTestFolder folder;
    path = folder.path();
    EXPECT_EQ(std::string(std::getenv("ODBCINI")), folder.odbcIni());
    EXPECT_EQ(execSql(folder.database(DatabaseKind::SQLite), {"CREATE TABLE t (a INT)"}), "");
    EXPECT_TRUE(std::filesystem::exists(folder.file("a.db")));
  }
  EXPECT_FALSE(std::filesystem::exists(path));
}

// Folders one after another in one process, as when a test program runs all
// its tests: each one's data sources lead to its own databases. Once the
// MariaDB driver has connected, the driver manager answers from what it read
// of an earlier odbc.ini, so a name used again would lead to a folder that
// is gone.
TEST(HarnessFolder, EachFolderReachesItsOwnDatabasesAfterAServerConnection) {
  KESTREL_REQUIRE_DATABASE(DatabaseKind::MariaDB);
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    OdbcTestFolder folder({"SRC"});
    if (round == 0) {
      ASSERT_EQ(execSql(folder.database(DatabaseKind::MariaDB), {"SELECT 1"}), "");
    }
    EXPECT_EQ(execSql(folder.database(DatabaseKind::SQLite), {"CREATE TABLE t (a INT)"}), "");
    EXPECT_EQ(execSql(folder.sqlite("SRC"), {"CREATE TABLE t (a INT)"}), "");
    EXPECT_TRUE(std::filesystem::exists(folder.file("a.db")));
    EXPECT_TRUE(std::filesystem::exists(folder.file("SRC.db")));
  }
}

// Scripts and expected lines are written with the plain names; only whole
// words are names, so a table or a longer name that starts alike is kept.
TEST(HarnessFolder, TurnsPlainNamesIntoTheFolderNamesAndBack) {
  OdbcTestFolder folder({"SRC", "S"});
  const std::string plain = "FROM SRC TABLE=SRCX\n TO S TABLE=S_1X\nSRC: SELECT kt_sqlite_a";
  const std::string named = folder.withFolderNames(plain);
  EXPECT_EQ(named, "FROM " + folder.dsn("SRC") + " TABLE=SRCX\n TO " + folder.dsn("S") +
                       " TABLE=S_1X\n" + folder.dsn("SRC") + ": SELECT " +
                       folder.dsn(OdbcTestFolder::kSqliteA));
  EXPECT_EQ(folder.withPlainNames(named), plain);
}

TEST(HarnessFolder, ReportsTheDriverMessageForABadStatement) {
  OdbcTestFolder folder;
  std::string error = execSql(folder.database(DatabaseKind::SQLite), {"SELEC nonsense"});
  EXPECT_NE(error.find("SELEC nonsense"), std::string::npos) << error;
}

}  // namespace
}  // namespace kestrel::test
