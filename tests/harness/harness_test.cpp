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
  TestDatabase db = OdbcTestFolder::database(GetParam());
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
    EXPECT_EQ(execSql(OdbcTestFolder::database(DatabaseKind::SQLite), {"CREATE TABLE t (a INT)"}),
              "");
    EXPECT_TRUE(std::filesystem::exists(folder.file("a.db")));
  }
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(HarnessFolder, ReportsTheDriverMessageForABadStatement) {
  OdbcTestFolder folder;
  std::string error = execSql(OdbcTestFolder::database(DatabaseKind::SQLite), {"SELEC nonsense"});
  EXPECT_NE(error.find("SELEC nonsense"), std::string::npos) << error;
}

}  // namespace
}  // namespace kestrel::test
