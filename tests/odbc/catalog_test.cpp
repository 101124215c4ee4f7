// The catalog service of the editor's dialogs against the real drivers: the
// answers differ per driver (case of names, qualifiers, type names), the
// shape of the answer does not.

#include "odbc/catalog.h"

#include <gtest/gtest.h>
#include <sqlext.h>

#include <algorithm>
#include <cctype>

#include "fakes.h"
#include "odbc/odbc.h"
#include "odbc_test_folder.h"

namespace kestrel {
namespace {

using test::DatabaseKind;
using test::OdbcTestFolder;
using test::TestDatabase;

std::string lower(std::string text) {
  for (char& ch : text) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return text;
}

class CatalogTest : public ::testing::TestWithParam<DatabaseKind> {
 protected:
  void SetUp() override {
    KESTREL_REQUIRE_DATABASE(GetParam());
    db_ = folder_.database(GetParam());
    table_ = lower(test::uniqueTableName("cat"));
    ASSERT_TRUE(environment_.open(false));
    ASSERT_EQ(
        test::execSql(db_, {"CREATE TABLE " + table_ +
                                " (id INTEGER NOT NULL, name VARCHAR(40), price DECIMAL(8,3))",
                            "CREATE VIEW " + table_ + "_v AS SELECT id FROM " + table_}),
        "");
  }
  void TearDown() override {
    if (db_.dsn.empty()) return;
    test::execSql(db_, {"DROP VIEW " + table_ + "_v", "DROP TABLE " + table_});
  }
  CatalogSource source() const { return {db_.dsn, db_.user, db_.password}; }

  OdbcTestFolder folder_;
  // Every failure is returned, never shown: a box here would be a fault.
  test::RecordingMessageBox boxes_;
  TestDatabase db_;
  std::string table_;
  OdbcEnvironment environment_;
  Catalog catalog_{environment_};
};

INSTANTIATE_TEST_SUITE_P(AllDrivers, CatalogTest, ::testing::ValuesIn(test::allDatabaseKinds()),
                         [](const auto& info) { return test::databaseKindName(info.param); });

TEST_P(CatalogTest, ListsDataSourcesSorted) {
  std::vector<std::string> names = catalog_.dataSourceNames();
  EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
  EXPECT_NE(std::find(names.begin(), names.end(), db_.dsn), names.end()) << db_.dsn;
}

TEST_P(CatalogTest, FindsTablesByMaskAndType) {
  std::vector<CatalogTable> found;
  ASSERT_TRUE(catalog_.tables(source(), "", "", table_ + "%", kTableTypeTable, found))
      << catalog_.lastError();
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(lower(found[0].name), table_);
  EXPECT_EQ(found[0].type, "TABLE");

  ASSERT_TRUE(
      catalog_.tables(source(), "", "", table_ + "%", kTableTypeTable | kTableTypeView, found));
  EXPECT_EQ(found.size(), 2u);
  EXPECT_TRUE(boxes_.boxes.empty());
}

TEST_P(CatalogTest, DescribesTheColumnsOfATableAndOfASelect) {
  std::vector<CatalogColumn> columns;
  ASSERT_TRUE(catalog_.columns(source(), "", "", table_, columns)) << catalog_.lastError();
  ASSERT_EQ(columns.size(), 3u);
  EXPECT_EQ(lower(columns[0].name), "id");
  EXPECT_EQ(lower(columns[1].name), "name");
  EXPECT_EQ(columns[1].precision, 40);
  EXPECT_EQ(lower(columns[2].name), "price");
  // SQLite's driver reports a DECIMAL column as text with a scale of its own.
  if (GetParam() != DatabaseKind::SQLite) EXPECT_EQ(columns[2].scale, 3);

  ASSERT_TRUE(catalog_.selectColumns(source(), "SELECT name, id FROM " + table_, columns))
      << catalog_.lastError();
  ASSERT_EQ(columns.size(), 2u);
  EXPECT_EQ(lower(columns[0].name), "name");
  EXPECT_EQ(lower(columns[1].name), "id");
}

TEST_P(CatalogTest, FailuresReturnTheDriverMessageWithoutABox) {
  std::vector<CatalogColumn> columns;
  EXPECT_FALSE(catalog_.selectColumns(source(), "SELECT nosuchcolumn FROM " + table_, columns));
  EXPECT_NE(lower(catalog_.lastError()).find("nosuchcolumn"), std::string::npos)
      << catalog_.lastError();
  std::vector<CatalogTable> tables;
  EXPECT_FALSE(
      catalog_.tables({"kt_no_such_source", "", ""}, "", "", "%", kTableTypeTable, tables));
  EXPECT_FALSE(catalog_.lastError().empty());
  EXPECT_TRUE(boxes_.boxes.empty());
}

}  // namespace
}  // namespace kestrel
