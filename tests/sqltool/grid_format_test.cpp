// How the grid shows values: the formats by buffer type, the decimal point
// rule, and what the three drivers deliver for the types they report
// differently.

#include "sqltool/grid_format.h"

#include <gtest/gtest.h>
#include <sqlext.h>

#include <functional>
#include <string>
#include <vector>

#include "odbc_test_folder.h"
#include "sqltool/connection_document.h"

namespace kestrel {
namespace {

BoundValue valueOf(int16_t sqlType, int32_t precision = 10) {
  ColumnDescription description;
  description.name = "c";
  description.sqlType = sqlType;
  description.precision = precision;
  EXPECT_TRUE(completeBinding(description));
  return BoundValue(description);
}

struct FormatCase {
  const char* name;
  int16_t sqlType;
  std::function<void(BoundValue&)> set;
  std::string shown;
};

class GridFormat : public testing::TestWithParam<FormatCase> {};

TEST_P(GridFormat, ShowsTheValue) {
  BoundValue value = valueOf(GetParam().sqlType);
  GetParam().set(value);
  EXPECT_EQ(formatGridValue(value), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GridFormat,
    testing::Values(
        FormatCase{"Null", SQL_INTEGER, [](BoundValue& v) { v.setNull(); }, "[NULL]"},
        FormatCase{"NullText", SQL_VARCHAR, [](BoundValue& v) { v.setNull(); }, "[NULL]"},
        FormatCase{"Text", SQL_VARCHAR, [](BoundValue& v) { v.setText("a b "); }, "a b "},
        FormatCase{"Integer", SQL_INTEGER, [](BoundValue& v) { v.setLong(-42); }, "-42"},
        FormatCase{"Short", SQL_SMALLINT, [](BoundValue& v) { v.setLong(7); }, "7"},
        FormatCase{"Double", SQL_DOUBLE, [](BoundValue& v) { v.setDouble(1234.5); },
                   "            1.234500E+03"},
        FormatCase{"NegativeReal", SQL_REAL, [](BoundValue& v) { v.setDouble(-0.25); },
                   "           -2.500000E-01"},
        FormatCase{"Date", SQL_DATE,
                   [](BoundValue& v) {
                     v.setDate({999, 2, 3});
                   },
                   "0999-02-03"},
        FormatCase{"Time", SQL_TIME,
                   [](BoundValue& v) {
                     v.setTime({7, 8, 9});
                   },
                   "07:08:09"},
        FormatCase{"TimestampNineDigits", SQL_TIMESTAMP,
                   [](BoundValue& v) {
                     v.setTimestamp({2024, 1, 2, 3, 4, 5, 120});
                   },
                   "2024-01-02 03:04:05.000000120"}),
    [](const testing::TestParamInfo<FormatCase>& info) { return info.param.name; });

TEST(GridFormat, CutsTextToTheCellLimit) {
  BoundValue value = valueOf(SQL_VARCHAR, 2000);
  value.setText(std::string(1500, 'y'));
  EXPECT_EQ(formatGridValue(value), std::string(kMaxGridCellLength, 'y'));
}

TEST(DecimalPoint, MovesATrailingPointOutAndLeavesSignsAlone) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"123.", " 123"}, {"-12.", " -12"}, {"12.5", "12.5"}, {"  -3.", "   -3"}, {".", " "}};
  for (const auto& [fetched, shown] : cases) {
    BoundValue value = valueOf(SQL_DECIMAL, 8);
    value.setText(fetched);
    dropDecimalPoint(value);
    EXPECT_EQ(formatGridValue(value), shown) << "fetched '" << fetched << "'";
  }
}

struct NullSink final : LineSink {
  std::vector<std::string> errors;
  void addLine(const std::string& message, int kind) override {
    if (kind == 3) errors.push_back(message);
  }
};

class DriverTypes : public testing::TestWithParam<test::DatabaseKind> {};

// Wide character types (MariaDB reports them), DECIMAL (a character column to
// SQLite, NUMERIC to PostgreSQL, DECIMAL to MariaDB), BIT and timestamp
// fractions, each as the grid shows it.
TEST_P(DriverTypes, ShowTheValuesAsTheGridDoes) {
  KESTREL_REQUIRE_DATABASE(GetParam());
  test::OdbcTestFolder folder;
  test::TestDatabase db = folder.database(GetParam());
  if (GetParam() == test::DatabaseKind::SQLite) db = folder.sqlite(folder.kSqliteA);
  const std::string table = test::uniqueTableName("wgt_types");
  const bool postgres = GetParam() == test::DatabaseKind::PostgreSQL;
  const bool mariadb = GetParam() == test::DatabaseKind::MariaDB;
  ASSERT_EQ(
      test::execSql(db, {"CREATE TABLE " + table + " (n " +
                             (postgres ? "VARCHAR(10)" : "NVARCHAR(10)") + ", d DECIMAL(8,3), b " +
                             (postgres  ? "BOOLEAN"
                              : mariadb ? "BIT(1)"
                                        : "BIT") +
                             ", ts " +
                             (mariadb    ? "DATETIME(6)"
                              : postgres ? "TIMESTAMP(6)"
                                         : "TIMESTAMP") +
                             ")",
                         "INSERT INTO " + table +
                             " VALUES ('Ünï', -12.5, TRUE, '2024-01-02 03:04:05.123456')",
                         "INSERT INTO " + table + " VALUES (NULL, NULL, NULL, NULL)"}),
      "");
  NullSink sink;
  ConnectionDocument document(sink);
  ASSERT_TRUE(document.open(db.dsn, db.user, db.password)) << document.lastError();
  ASSERT_TRUE(document.execute("SELECT n, d, b, ts FROM " + table + " ORDER BY n DESC"))
      << document.lastError();
  EXPECT_EQ(document.bindResult(), (std::vector<std::string>{"n", "d", "b", "ts"}));
  std::vector<std::string> cells;
  bool finished = false;
  EXPECT_EQ(document.fetchRows(10, cells, finished), 2u);
  EXPECT_TRUE(finished);
  // SQLite keeps the decimal as the text it was given.
  const std::string decimal = GetParam() == test::DatabaseKind::SQLite ? "-12.5" : "-12.500";
  const std::vector<std::string> nulls(4, "[NULL]");
  std::vector<std::string> first(cells.begin(), cells.begin() + 4);
  std::vector<std::string> second(cells.begin() + 4, cells.end());
  if (first == nulls) std::swap(first, second);  // NULLs sort first or last by database
  EXPECT_EQ(first,
            (std::vector<std::string>{"Ünï", decimal, "1", "2024-01-02 03:04:05.123456000"}));
  EXPECT_EQ(second, nulls);
  EXPECT_TRUE(sink.errors.empty()) << sink.errors.front();
  test::execSql(db, {"DROP TABLE " + table});
}

INSTANTIATE_TEST_SUITE_P(AllDrivers, DriverTypes, testing::ValuesIn(test::allDatabaseKinds()),
                         [](const auto& info) { return test::databaseKindName(info.param); });

}  // namespace
}  // namespace kestrel
