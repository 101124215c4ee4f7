// Values between the three drivers: a replication copies each edge value
// unchanged (or fails the row where the target cannot hold it), and a second
// run over unchanged data changes nothing; a value that a target column's
// type cannot hold is never narrowed on its way.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "engine_run_fixture.h"

namespace kestrel::test {
namespace {

const char kFailed[] = "Processing could not be performed";
const char kNothingChanged[] = "Output table statistics: 0 deleted, 0 updated and 0 inserted.";

// PostgreSQL keeps upper-case names only when they are quoted.
std::string named(DatabaseKind kind, const std::string& name) {
  return kind == DatabaseKind::PostgreSQL ? "\"" + name + "\"" : name;
}

std::string quoteOption(DatabaseKind kind) {
  return kind == DatabaseKind::PostgreSQL ? " QUOTE=DOUBLE" : "";
}

// A table of the database under test, dropped at the end of the test (the
// SQLite files go with their folder).
class TestTable {
 public:
  TestTable(TestDatabase db, const std::string& prefix)
      : db_(std::move(db)),
        name_(db_.kind == DatabaseKind::SQLite ? prefix : uniqueTableName(prefix)),
        drop_(db_, db_.kind == DatabaseKind::SQLite ? std::vector<std::string>{}
                                                    : std::vector<std::string>{sqlName()}) {}
  const TestDatabase& db() const { return db_; }
  const std::string& name() const { return name_; }
  std::string sqlName() const { return named(db_.kind, name_); }

 private:
  TestDatabase db_;
  std::string name_;
  DropTablesAtEnd drop_;
};

std::string roundTripColumns(DatabaseKind kind) {
  switch (kind) {
    case DatabaseKind::SQLite:
      return "(K INTEGER PRIMARY KEY, F DOUBLE, TS TIMESTAMP, N DECIMAL(38,10), V VARCHAR(20))";
    case DatabaseKind::PostgreSQL:
      return "(\"K\" integer PRIMARY KEY, \"F\" double precision, \"TS\" timestamp, "
             "\"N\" numeric(38,10), \"V\" varchar(20))";
    case DatabaseKind::MariaDB:
      return "(K INTEGER PRIMARY KEY, F DOUBLE, TS DATETIME(6), N DECIMAL(38,10), V VARCHAR(20))";
  }
  return "";
}

// One row per edge value; the other columns are NULL.
const std::vector<std::string> kRoundTripRows = {
    "1, 1.7976931348623157e308, NULL, NULL, NULL",
    "2, 123456789.123456789, NULL, NULL, NULL",
    "3, -4.9406564584124654e-324, NULL, NULL, NULL",
    "4, NULL, '1997-01-28 13:05:00.123456', NULL, NULL",
    "5, NULL, '2000-02-29 23:59:59', NULL, NULL",
    "6, NULL, NULL, 1.5, NULL",
    "7, NULL, NULL, -1234.5678901234, NULL",
    "8, NULL, NULL, NULL, 'text'"};

// The values as the test reads them back: the doubles with every digit
// (SQLite's own text has 15), everything else as text.
std::string roundTripSelect(const TestTable& table) {
  const DatabaseKind kind = table.db().kind;
  auto c = [&](const char* name) { return named(kind, name); };
  std::string f = kind == DatabaseKind::SQLite    ? "CASE WHEN typeof(F)='real' THEN quote(F) END"
                  : kind == DatabaseKind::MariaDB ? "CAST(F AS CHAR)"
                                                  : c("F");
  return "SELECT " + c("K") + ", " + f + ", " + c("TS") + ", " + c("N") + ", " + c("V") + " FROM " +
         table.sqlName() + " ORDER BY 1";
}

// Whether two cells read from different databases hold one value: numbers
// as numbers (each database writes its own digits and zeros), timestamps
// without the zeros that end a fraction, texts as they are.
bool sameCell(const std::optional<std::string>& a, const std::optional<std::string>& b,
              std::size_t column) {
  if (!a || !b) return !a && !b;
  if (column == 1 || column == 3) {
    char* endA = nullptr;
    char* endB = nullptr;
    double x = std::strtod(a->c_str(), &endA), y = std::strtod(b->c_str(), &endB);
    if (*endA != '\0' || *endB != '\0') return *a == *b;
    return (std::isnan(x) && std::isnan(y)) || x == y;
  }
  if (column == 2) {
    auto trimmed = [](std::string t) {
      if (t.find('.') == std::string::npos) t += ".";
      while (t.back() == '0') t.pop_back();
      if (t.back() == '.') t.pop_back();
      return t;
    };
    return trimmed(*a) == trimmed(*b);
  }
  return *a == *b;
}

std::string image(const std::vector<Row>& rows) {
  std::string text;
  for (const Row& row : rows) {
    for (std::size_t i = 0; i < row.size(); ++i) text += (i ? "|" : "") + row[i].value_or("NULL");
    text += "\n";
  }
  return text;
}

class RoundTripTest : public ::testing::TestWithParam<std::tuple<DatabaseKind, DatabaseKind>> {};

TEST_P(RoundTripTest, ValuesArriveUnchangedAndASecondRunChangesNothing) {
  const auto [fromKind, toKind] = GetParam();
  KESTREL_REQUIRE_DATABASE(fromKind);
  KESTREL_REQUIRE_DATABASE(toKind);
  OdbcTestFolder folder;
  EngineRun engine(folder);
  auto database = [&](DatabaseKind kind, const char* sqlite) {
    return kind == DatabaseKind::SQLite ? folder.sqlite(sqlite) : folder.database(kind);
  };
  TestTable from(database(fromKind, OdbcTestFolder::kSqliteA), "KT_RT_FROM");
  TestTable to(database(toKind, OdbcTestFolder::kSqliteB), "KT_RT_TO");
  std::vector<std::string> statements = {"CREATE TABLE " + from.sqlName() + " " +
                                         roundTripColumns(fromKind)};
  std::vector<std::string> rows = kRoundTripRows;
  // Only PostgreSQL keeps NaN; into the others it is refused (see below).
  if (fromKind == DatabaseKind::PostgreSQL && toKind == DatabaseKind::PostgreSQL)
    rows.push_back("9, 'NaN', NULL, NULL, NULL");
  // MariaDB keeps no infinity; SQLite reads one from a number too large.
  if (fromKind != DatabaseKind::MariaDB && toKind != DatabaseKind::MariaDB)
    rows.push_back(fromKind == DatabaseKind::SQLite ? "10, -9e999, NULL, NULL, NULL"
                                                    : "10, '-Infinity', NULL, NULL, NULL");
  for (const std::string& row : rows)
    statements.push_back("INSERT INTO " + from.sqlName() + " VALUES (" + row + ")");
  ASSERT_EQ(execSql(from.db(), statements), "");
  ASSERT_EQ(execSql(to.db(), {"CREATE TABLE " + to.sqlName() + " " + roundTripColumns(toKind)}),
            "");

  std::string script = "COPYDEFINITION: RT\n";
  script += "  FROM " + connectionPart(from.db()) + " TABLE='" + from.name() + "'" +
            quoteOption(fromKind) + "\n";
  script += "  TO " + connectionPart(to.db()) + " TABLE='" + to.name() + "' UPDATE=KEYS" +
            quoteOption(toKind) + "\n";
  script += "  COPY K KEY=YES\n  COPY F\n  COPY TS\n  COPY N\n  COPY V\n";
  ASSERT_TRUE(engine.load(script)) << engine.transcript();
  ASSERT_TRUE(engine.runAll()) << engine.transcript();

  std::vector<Row> sent, arrived;
  ASSERT_EQ(querySql(from.db(), roundTripSelect(from), &sent), "");
  ASSERT_EQ(querySql(to.db(), roundTripSelect(to), &arrived), "");
  ASSERT_EQ(arrived.size(), sent.size()) << image(arrived);
  for (std::size_t r = 0; r < sent.size(); ++r) {
    for (std::size_t c = 0; c < sent[r].size(); ++c)
      EXPECT_TRUE(sameCell(sent[r][c], arrived[r][c], c))
          << "row " << r + 1 << " column " << c << "\nsent:\n"
          << image(sent) << "arrived:\n"
          << image(arrived);
  }

  // And the doubles are the very ones the rows were written with.
  for (std::size_t r = 0; r < 3; ++r) {
    const std::string& row = kRoundTripRows[r];
    ASSERT_TRUE(arrived[r][1]) << row;
    EXPECT_EQ(std::strtod(arrived[r][1]->c_str(), nullptr),
              std::strtod(row.c_str() + row.find(',') + 1, nullptr))
        << row;
  }

  ASSERT_TRUE(engine.runAll()) << engine.transcript();
  EXPECT_TRUE(engine.hasLine(kNothingChanged, Normal)) << engine.transcript();
}

INSTANTIATE_TEST_SUITE_P(Drivers, RoundTripTest,
                         ::testing::Combine(::testing::ValuesIn(allDatabaseKinds()),
                                            ::testing::ValuesIn(allDatabaseKinds())),
                         [](const auto& info) {
                           return databaseKindName(std::get<0>(info.param)) + "_to_" +
                                  databaseKindName(std::get<1>(info.param));
                         });

// A timestamp kept at fewer fraction digits than its source has counts as
// unchanged: MariaDB's DATETIME keeps whole seconds.
TEST(KeptPrecisionTest, TimestampCutByTheTargetIsNotUpdatedAgain) {
  KESTREL_REQUIRE_DATABASE(DatabaseKind::PostgreSQL);
  KESTREL_REQUIRE_DATABASE(DatabaseKind::MariaDB);
  OdbcTestFolder folder;
  EngineRun engine(folder);
  TestTable from(folder.database(DatabaseKind::PostgreSQL), "KT_KP_FROM");
  TestTable to(folder.database(DatabaseKind::MariaDB), "KT_KP_TO");
  ASSERT_EQ(
      execSql(from.db(), {"CREATE TABLE " + from.sqlName() + " (\"K\" integer, \"TS\" timestamp)",
                          "INSERT INTO " + from.sqlName() +
                              " VALUES (1, '1997-01-28 13:05:00.123456'), "
                              "(2, '1997-01-28 13:05:00.654321')"}),
      "");
  ASSERT_EQ(execSql(to.db(), {"CREATE TABLE " + to.sqlName() + " (K INTEGER, TS DATETIME)"}), "");
  std::string script = "COPYDEFINITION: KP\n  FROM " + connectionPart(from.db()) + " TABLE='" +
                       from.name() + "' QUOTE=DOUBLE\n  TO " + connectionPart(to.db()) +
                       " TABLE='" + to.name() + "' UPDATE=KEYS\n  COPY K KEY=YES\n  COPY TS\n";
  ASSERT_TRUE(engine.load(script)) << engine.transcript();
  ASSERT_TRUE(engine.runAll()) << engine.transcript();
  const std::string kept = tableImage(to.db(), "SELECT K, TS FROM " + to.sqlName() + " ORDER BY K");
  ASSERT_TRUE(engine.runAll()) << engine.transcript();
  EXPECT_TRUE(engine.hasLine(kNothingChanged, Normal)) << kept << "\n" << engine.transcript();

  // A real change still is one.
  ASSERT_EQ(execSql(from.db(), {"UPDATE " + from.sqlName() +
                                " SET \"TS\" = '1997-01-28 13:05:01.5' WHERE \"K\" = 1"}),
            "");
  ASSERT_TRUE(engine.runAll()) << engine.transcript();
  EXPECT_TRUE(
      engine.hasLine("Output table statistics: 0 deleted, 1 updated and 0 inserted.", Normal))
      << engine.transcript();
}

// Decimal keys match as numbers in the temporary file: a key kept as
// 1.5000000000 by one database is the key 1.5 of another.
class DecimalKeyTest : public ::testing::TestWithParam<std::tuple<DatabaseKind, DatabaseKind>> {};

TEST_P(DecimalKeyTest, SecondRunFindsEveryKey) {
  const auto [fromKind, toKind] = GetParam();
  KESTREL_REQUIRE_DATABASE(fromKind);
  KESTREL_REQUIRE_DATABASE(toKind);
  OdbcTestFolder folder;
  EngineRun engine(folder);
  auto database = [&](DatabaseKind kind, const char* sqlite) {
    return kind == DatabaseKind::SQLite ? folder.sqlite(sqlite) : folder.database(kind);
  };
  TestTable from(database(fromKind, OdbcTestFolder::kSqliteA), "KT_DK_FROM");
  TestTable to(database(toKind, OdbcTestFolder::kSqliteB), "KT_DK_TO");
  auto columns = [](DatabaseKind kind) {
    return " (" + named(kind, "N") + " DECIMAL(38,10), " + named(kind, "V") + " VARCHAR(10))";
  };
  ASSERT_EQ(execSql(from.db(), {"CREATE TABLE " + from.sqlName() + columns(fromKind),
                                "INSERT INTO " + from.sqlName() +
                                    " VALUES (1.5, 'a'), (-2.25, 'b'), (3, 'c')"}),
            "");
  ASSERT_EQ(execSql(to.db(), {"CREATE TABLE " + to.sqlName() + columns(toKind)}), "");
  std::string script = "COPYDEFINITION: DK\n  FROM " + connectionPart(from.db()) + " TABLE='" +
                       from.name() + "'" + quoteOption(fromKind) + "\n  TO " +
                       connectionPart(to.db()) + " TABLE='" + to.name() + "' UPDATE=KEYS" +
                       quoteOption(toKind) + "\n  COPY N KEY=YES\n  COPY V\n";
  ASSERT_TRUE(engine.load(script)) << engine.transcript();
  ASSERT_TRUE(engine.runAll()) << engine.transcript();
  ASSERT_TRUE(
      engine.hasLine("Output table statistics: 0 deleted, 0 updated and 3 inserted.", Normal))
      << engine.transcript();
  ASSERT_TRUE(engine.runAll()) << engine.transcript();
  EXPECT_TRUE(engine.hasLine(kNothingChanged, Normal)) << engine.transcript();
}

INSTANTIATE_TEST_SUITE_P(
    Drivers, DecimalKeyTest,
    ::testing::Values(std::tuple{DatabaseKind::PostgreSQL, DatabaseKind::SQLite},
                      std::tuple{DatabaseKind::SQLite, DatabaseKind::PostgreSQL},
                      std::tuple{DatabaseKind::MariaDB, DatabaseKind::SQLite},
                      std::tuple{DatabaseKind::SQLite, DatabaseKind::MariaDB}),
    [](const auto& info) {
      return databaseKindName(std::get<0>(info.param)) + "_to_" +
             databaseKindName(std::get<1>(info.param));
    });

// A target key that the source key's type cannot hold matches no source
// row: narrowed to 16 bits, 70000 would be the source's 4464.
TEST(KeyFitTest, TargetKeyBeyondTheSourceTypeIsNoSourceKey) {
  OdbcTestFolder folder;
  EngineRun engine(folder);
  const TestDatabase from = folder.sqlite(OdbcTestFolder::kSqliteA);
  const TestDatabase to = folder.sqlite(OdbcTestFolder::kSqliteB);
  ASSERT_EQ(execSql(from, {"CREATE TABLE A (K SMALLINT, V VARCHAR(10))",
                           "INSERT INTO A VALUES (4464, 'source')"}),
            "");
  ASSERT_EQ(execSql(to, {"CREATE TABLE B (K INTEGER, V VARCHAR(10))",
                         "INSERT INTO B VALUES (70000, 'target')"}),
            "");
  ASSERT_TRUE(engine.load("COPYDEFINITION: KF\n  FROM " + connectionPart(from) + " TABLE=A\n  TO " +
                          connectionPart(to) +
                          " TABLE=B UPDATE=KEYS\n  COPY K KEY=YES\n  COPY V\n"))
      << engine.transcript();
  ASSERT_TRUE(engine.runAll()) << engine.transcript();
  EXPECT_TRUE(
      engine.hasLine("Output table statistics: 1 deleted, 0 updated and 1 inserted.", Normal))
      << engine.transcript();
  EXPECT_EQ(tableImage(to, "SELECT K, V FROM B"), "4464|source");
}

// SQLite keeps any integer in any column; its driver would read 4294967296
// from an INTEGER column as 0 and 70000 from a SMALLINT as 4464. Such a
// source value stops the run with a line naming the column and the value.
struct SqliteReadCase {
  const char* type;
  const char* value;
  const char* typeName;
};

void PrintTo(const SqliteReadCase& c, std::ostream* out) { *out << c.type; }

class SqliteReadTest : public ::testing::TestWithParam<SqliteReadCase> {};

TEST_P(SqliteReadTest, IntegerBeyondTheColumnTypeIsNeverReadNarrowed) {
  OdbcTestFolder folder;
  EngineRun engine(folder);
  const TestDatabase from = folder.sqlite(OdbcTestFolder::kSqliteA);
  const TestDatabase to = folder.sqlite(OdbcTestFolder::kSqliteB);
  const SqliteReadCase& c = GetParam();
  ASSERT_EQ(execSql(from, {"CREATE TABLE A (K INTEGER, S " + std::string(c.type) + ")",
                           std::string("INSERT INTO A VALUES (1, 7), (2, ") + c.value + ")"}),
            "");
  ASSERT_EQ(execSql(to, {"CREATE TABLE B (K INTEGER, S INTEGER)"}), "");
  ASSERT_TRUE(engine.load("COPYDEFINITION: SR\n  FROM " + connectionPart(from) + " TABLE=A\n  TO " +
                          connectionPart(to) +
                          " TABLE=B UPDATE=KEYS\n  COPY K KEY=YES\n  COPY S\n"))
      << engine.transcript();
  EXPECT_FALSE(engine.runAll()) << engine.transcript();
  EXPECT_TRUE(engine.hasLine(std::string("Value ") + c.value + " of column S does not fit its " +
                                 c.typeName + " type; it is not copied narrowed",
                             Error))
      << engine.transcript();
  EXPECT_EQ(tableImage(to, "SELECT K, S FROM B"), "");
}

INSTANTIATE_TEST_SUITE_P(Types, SqliteReadTest,
                         ::testing::Values(SqliteReadCase{"INTEGER", "4294967296", "INTEGER"},
                                           SqliteReadCase{"SMALLINT", "-70000", "SMALLINT"},
                                           SqliteReadCase{"TINYINT", "300", "TINYINT"}),
                         [](const auto& info) { return std::string(info.param.type); });

// A value the target column's type cannot hold fails the row with a line
// naming the column and the value; nothing narrowed reaches the target.
struct NarrowingCase {
  const char* name;
  DatabaseKind from;
  DatabaseKind to;
  const char* sourceType;  // the source column S, in the source's words
  const char* sourceValue;
  const char* targetType;  // the target column X, in the target's words
  const char* typeName;    // as the error line names the target's type
  const char* shown;       // the value as the error line shows it
};

void PrintTo(const NarrowingCase& c, std::ostream* out) { *out << c.name; }

class NarrowingTest : public ::testing::TestWithParam<NarrowingCase> {};

TEST_P(NarrowingTest, ValueBeyondTheTargetTypeFailsTheRow) {
  const NarrowingCase& c = GetParam();
  KESTREL_REQUIRE_DATABASE(c.from);
  KESTREL_REQUIRE_DATABASE(c.to);
  OdbcTestFolder folder;
  EngineRun engine(folder);
  auto database = [&](DatabaseKind kind, const char* sqlite) {
    return kind == DatabaseKind::SQLite ? folder.sqlite(sqlite) : folder.database(kind);
  };
  TestTable from(database(c.from, OdbcTestFolder::kSqliteA), "KT_NW_FROM");
  TestTable to(database(c.to, OdbcTestFolder::kSqliteB), "KT_NW_TO");
  auto n = [&](DatabaseKind kind, const char* name) { return named(kind, name); };
  ASSERT_EQ(execSql(from.db(), {"CREATE TABLE " + from.sqlName() + " (" + n(c.from, "K") +
                                    " INTEGER, " + n(c.from, "S") + " " + c.sourceType + ")",
                                "INSERT INTO " + from.sqlName() + " VALUES (1, " + c.sourceValue +
                                    "), (2, 1)"}),
            "");
  ASSERT_EQ(execSql(to.db(), {"CREATE TABLE " + to.sqlName() + " (" + n(c.to, "K") + " INTEGER, " +
                              n(c.to, "X") + " " + c.targetType + ")"}),
            "");
  std::string script = "COPYDEFINITION: NW\n  FROM " + connectionPart(from.db()) + " TABLE='" +
                       from.name() + "'" + quoteOption(c.from) + "\n  TO " +
                       connectionPart(to.db()) + " TABLE='" + to.name() + "' UPDATE=KEYS" +
                       quoteOption(c.to) + "\n  COPY K KEY=YES\n  COPY S TO=X\n";
  ASSERT_TRUE(engine.load(script)) << engine.transcript();
  EXPECT_FALSE(engine.runAll()) << engine.transcript();
  EXPECT_TRUE(engine.hasLine(
      std::string("Value ") + c.shown + " of column S does not fit and cannot be written to the " +
          c.typeName + " column X of table " + to.name() + " in data source " + to.db().dsn,
      Error))
      << engine.transcript();
  EXPECT_TRUE(engine.hasLine(kFailed, Error)) << engine.transcript();
  EXPECT_EQ(tableImage(to.db(), "SELECT " + n(c.to, "X") + " FROM " + to.sqlName()), "")
      << engine.transcript();
}

// A target already holding what narrowing would have left of the source
// value (from an earlier version's run) is no equal value: the update is
// tried and refused, and the run says so.
class NarrowedTargetTest : public ::testing::TestWithParam<DatabaseKind> {};

TEST_P(NarrowedTargetTest, IsUpdatedAndTheValueRefused) {
  KESTREL_REQUIRE_DATABASE(GetParam());
  OdbcTestFolder folder;
  EngineRun engine(folder);
  const DatabaseKind kind = GetParam();
  const TestDatabase from = folder.sqlite(OdbcTestFolder::kSqliteA);
  TestTable to(kind == DatabaseKind::SQLite ? folder.sqlite(OdbcTestFolder::kSqliteB)
                                            : folder.database(kind),
               "KT_NT_TO");
  ASSERT_EQ(execSql(from, {"CREATE TABLE A (K INTEGER, S BIGINT)",
                           "INSERT INTO A VALUES (1, 4294967296)"}),
            "");
  ASSERT_EQ(execSql(to.db(), {"CREATE TABLE " + to.sqlName() + " (" + named(kind, "K") +
                                  " INTEGER, " + named(kind, "X") + " INTEGER)",
                              "INSERT INTO " + to.sqlName() + " VALUES (1, 2147483647)"}),
            "");
  ASSERT_TRUE(engine.load("COPYDEFINITION: NT\n  FROM " + connectionPart(from) + " TABLE=A\n  TO " +
                          connectionPart(to.db()) + " TABLE='" + to.name() + "' UPDATE=KEYS" +
                          quoteOption(kind) + "\n  COPY K KEY=YES\n  COPY S TO=X\n"))
      << engine.transcript();
  EXPECT_FALSE(engine.runAll()) << engine.transcript();
  EXPECT_TRUE(
      engine.hasLine("Value 4294967296 of column S does not fit and cannot be written to "
                     "the INTEGER column X of table " +
                         to.name() + " in data source " + to.db().dsn,
                     Error))
      << engine.transcript();
  EXPECT_EQ(tableImage(to.db(), "SELECT " + named(kind, "X") + " FROM " + to.sqlName()),
            "2147483647");
}

INSTANTIATE_TEST_SUITE_P(Drivers, NarrowedTargetTest, ::testing::ValuesIn(allDatabaseKinds()),
                         [](const auto& info) { return databaseKindName(info.param); });

using K = DatabaseKind;
INSTANTIATE_TEST_SUITE_P(
    Targets, NarrowingTest,
    ::testing::Values(NarrowingCase{"SQLite_Integer", K::SQLite, K::SQLite, "BIGINT", "4294967296",
                                    "INTEGER", "INTEGER", "4294967296"},
                      NarrowingCase{"SQLite_Smallint", K::SQLite, K::SQLite, "INTEGER", "70000",
                                    "SMALLINT", "SMALLINT", "70000"},
                      NarrowingCase{"SQLite_Tinyint", K::SQLite, K::SQLite, "INTEGER", "300",
                                    "TINYINT", "TINYINT", "300"},
                      NarrowingCase{"SQLite_NaN", K::PostgreSQL, K::SQLite, "double precision",
                                    "'NaN'", "DOUBLE", "DOUBLE", "NaN"},
                      // SQLite keeps a decimal as a double: 15 significant digits.
                      NarrowingCase{"SQLite_Decimal", K::PostgreSQL, K::SQLite, "numeric(38,10)",
                                    "1234567890.123456789", "DECIMAL(38,10)", "VARCHAR",
                                    "1234567890.1234567890"},
                      NarrowingCase{"PostgreSQL_Integer", K::SQLite, K::PostgreSQL, "BIGINT",
                                    "4294967296", "integer", "INTEGER", "4294967296"},
                      NarrowingCase{"PostgreSQL_Smallint", K::SQLite, K::PostgreSQL, "INTEGER",
                                    "-70000", "smallint", "SMALLINT", "-70000"},
                      NarrowingCase{"PostgreSQL_Real", K::SQLite, K::PostgreSQL, "DOUBLE", "1e39",
                                    "real", "REAL", "1e+39"},
                      NarrowingCase{"MariaDB_Integer", K::SQLite, K::MariaDB, "BIGINT",
                                    "-4294967296", "INT", "INTEGER", "-4294967296"},
                      NarrowingCase{"MariaDB_Smallint", K::SQLite, K::MariaDB, "INTEGER", "70000",
                                    "SMALLINT", "SMALLINT", "70000"},
                      NarrowingCase{"MariaDB_Tinyint", K::SQLite, K::MariaDB, "INTEGER", "300",
                                    "TINYINT", "TINYINT", "300"},
                      NarrowingCase{"MariaDB_Float", K::SQLite, K::MariaDB, "DOUBLE", "1e39",
                                    "FLOAT", "REAL", "1e+39"},
                      NarrowingCase{"MariaDB_Infinity", K::PostgreSQL, K::MariaDB,
                                    "double precision", "'-Infinity'", "DOUBLE", "DOUBLE",
                                    "-Infinity"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kestrel::test
