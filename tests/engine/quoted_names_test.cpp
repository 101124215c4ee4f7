// QUOTE=DOUBLE on names that hold a double quote themselves: the quote inside
// the name is doubled, so that replication reads, updates, deletes and
// inserts through such a table and column on every driver.

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <string>

#include "engine_run_fixture.h"

namespace kestrel::test {
namespace {

class QuotedNameTest : public ::testing::TestWithParam<DatabaseKind> {
 protected:
  void TearDown() override {
    if (!table_.empty()) execSql(target_, {"DROP TABLE " + quoted(table_)});
  }
  // The name as the database under test quotes it for the set-up statements.
  std::string quoted(const std::string& name) const {
    const char quote = target_.kind == DatabaseKind::MariaDB ? '`' : '"';
    std::string text(1, quote);
    for (char ch : name) {
      if (ch == quote) text += ch;
      text += ch;
    }
    return text + quote;
  }

  OdbcTestFolder folder_;
  TestDatabase source_ = folder_.sqlite(OdbcTestFolder::kSqliteA);
  TestDatabase target_;
  std::string table_;
};

TEST_P(QuotedNameTest, ANameWithADoubleQuoteWorksWithQuoteDouble) {
  KESTREL_REQUIRE_DATABASE(GetParam());
  target_ = folder_.database(GetParam());
  if (GetParam() == DatabaseKind::MariaDB) {
    // MariaDB reads double quotes as identifier quotes in ANSI_QUOTES mode,
    // set here for the sessions of a data source of this test's own.
    const std::string dsn = target_.dsn + "_ansi";
    std::ifstream in(folder_.odbcIni());
    std::string ini((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t start = ini.find("[" + target_.dsn + "]");
    ASSERT_NE(start, std::string::npos);
    std::string section = ini.substr(start, ini.find("\n\n", start) - start);
    section.replace(0, target_.dsn.size() + 2, "[" + dsn + "]");
    std::ofstream(folder_.odbcIni(), std::ios::app)
        << "\n"
        << section << "\nInitStmt=SET SESSION sql_mode=CONCAT(@@sql_mode, ',ANSI_QUOTES')\n\n";
    target_.dsn = dsn;
  }
  std::string unique = uniqueTableName("kt_q");
  for (char& c : unique) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  table_ = "kt\"" + unique;
  ASSERT_EQ(execSql(source_, {"CREATE TABLE A (K INTEGER, NAME VARCHAR(20))",
                              "INSERT INTO A VALUES (2, 'TWO'), (3, 'three')"}),
            "");
  ASSERT_EQ(execSql(target_, {"CREATE TABLE " + quoted(table_) + " (k INTEGER PRIMARY KEY, " +
                                  quoted("na\"me") + " VARCHAR(20))",
                              "INSERT INTO " + quoted(table_) + " VALUES (1, 'one'), (2, 'two')"}),
            "");

  EngineRun engine(folder_);
  ASSERT_TRUE(
      engine.load("COPYDEFINITION: Q\n"
                  "  FROM " +
                  connectionPart(source_) +
                  " TABLE=A\n"
                  "  TO " +
                  connectionPart(target_) + " TABLE='" + table_ +
                  "' QUOTE=DOUBLE UPDATE=KEYS\n"
                  "  COPY K TO='k' KEY=YES\n"
                  "  COPY NAME TO='na\"me'\n"))
      << engine.transcript();
  ASSERT_TRUE(engine.runAll()) << engine.transcript();
  EXPECT_TRUE(
      engine.hasLine("Output table statistics: 1 deleted, 1 updated and 1 inserted.", Normal))
      << engine.transcript();
  EXPECT_EQ(tableImage(target_,
                       "SELECT k, " + quoted("na\"me") + " FROM " + quoted(table_) + " ORDER BY k"),
            "2|TWO\n3|three");
}

INSTANTIATE_TEST_SUITE_P(Drivers, QuotedNameTest,
                         ::testing::Values(DatabaseKind::SQLite, DatabaseKind::PostgreSQL,
                                           DatabaseKind::MariaDB),
                         [](const ::testing::TestParamInfo<DatabaseKind>& info) {
                           switch (info.param) {
                             case DatabaseKind::SQLite:
                               return std::string("SQLite");
                             case DatabaseKind::PostgreSQL:
                               return std::string("PostgreSQL");
                             case DatabaseKind::MariaDB:
                               return std::string("MariaDB");
                           }
                           return std::string();
                         });

}  // namespace
}  // namespace kestrel::test
