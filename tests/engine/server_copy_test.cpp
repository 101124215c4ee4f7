// Copy and replication runs against the real drivers: the positioned update
// modes on MariaDB and their clean failure where a driver has no positioned
// statements, the keyed mode on PostgreSQL, values converted between
// PostgreSQL and SQLite, and decimal literals written into statements.

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "engine_run_fixture.h"

namespace kestrel::test {
namespace {

const char kFailed[] = "Processing could not be performed";

// Texts the engine writes itself: an error line that is none of these
// carries the driver's message.
bool isDriverMessage(const std::string& text) {
  for (const char* own : {"Value of column", "No cursor position", "DELETE of the row",
                          "UPDATE of the row", "Changes not committed"})
    if (text.rfind(own, 0) == 0) return false;
  return text != kFailed && !text.empty();
}

std::string replicationScript(const TestDatabase& from, const std::string& fromTable,
                              const TestDatabase& to, const std::string& toTable,
                              const std::string& toOptions) {
  std::string script = "COPYDEFINITION: REPL\n";
  script += "  FROM " + connectionPart(from) + " TABLE='" + fromTable + "'\n";
  script += "  TO " + connectionPart(to) + " TABLE='" + toTable + "' " + toOptions + "\n";
  return script + "  COPY K KEY=YES\n  COPY NAME\n  COPY X\n";
}

// One source table A in SQLite and a target table on the database under test,
// both with the columns K (key), NAME and X.
class PositionedModeTest : public ::testing::Test {
 protected:
  void createTables(const TestDatabase& target) {
    target_ = target;
    toTable_ = target.kind == DatabaseKind::SQLite ? "B" : uniqueTableName("KT_POS");
    ASSERT_EQ(execSql(source_, {"CREATE TABLE A (K INTEGER, NAME VARCHAR(20), X INTEGER)"}), "");
    ASSERT_EQ(execSql(target_, {"CREATE TABLE " + toTable_ +
                                " (K INTEGER PRIMARY KEY, NAME VARCHAR(20), X INTEGER)"}),
              "");
  }
  void TearDown() override {
    if (target_.kind != DatabaseKind::SQLite && !toTable_.empty())
      execSql(target_, {"DROP TABLE " + toTable_});
  }
  void fill(const TestDatabase& db, const std::string& table, const std::string& values) {
    ASSERT_EQ(execSql(db, {"INSERT INTO " + table + " (K, NAME, X) VALUES " + values}), "");
  }
  std::string targetImage() {
    return tableImage(target_, "SELECT K, NAME, X FROM " + toTable_ + " ORDER BY K");
  }

  OdbcTestFolder folder_;
  TestDatabase source_ = folder_.sqlite(OdbcTestFolder::kSqliteA);
  TestDatabase target_;
  std::string toTable_;
  EngineRun engine_{folder_};
};

// Key 1 is only in the target, 2 is equal, 3 and 4 differ (4 to NULL), 5 is
// only in the source.
const char kTargetRows[] = "(1, 'one', 1), (2, 'two', 2), (3, 'three', 3), (4, 'four', 4)";
const char kSourceRows[] = "(2, 'two', 2), (3, 'THREE', 33), (4, 'four', NULL), (5, 'five', 5)";
const char kOriginalImage[] = "1|one|1\n2|two|2\n3|three|3\n4|four|4";
const char kReplicatedImage[] = "2|two|2\n3|THREE|33\n4|four|NULL\n5|five|5";

struct WorkingMode {
  const char* mode;
  const char* selectEnd;  // how the listed target SELECT ends
};

class MariaDbPositionedTest : public PositionedModeTest,
                              public ::testing::WithParamInterface<WorkingMode> {};

TEST_P(MariaDbPositionedTest, UpdatesAndDeletesThroughTheCursorPosition) {
  KESTREL_REQUIRE_DATABASE(DatabaseKind::MariaDB);
  createTables(folder_.database(DatabaseKind::MariaDB));
  fill(source_, "A", kSourceRows);
  fill(target_, toTable_, kTargetRows);
  engine_.option("ListSQL=1");
  ASSERT_TRUE(engine_.load(replicationScript(source_, "A", target_, toTable_,
                                             std::string("UPDATE=") + GetParam().mode)));
  ASSERT_TRUE(engine_.runAll()) << engine_.transcript();

  EXPECT_EQ(targetImage(), kReplicatedImage);
  EXPECT_TRUE(
      engine_.hasLine("Table counts: 4 read from FROM table, 4 read from TO table.", Normal))
      << engine_.transcript();
  EXPECT_TRUE(
      engine_.hasLine("Output table statistics: 1 deleted, 2 updated and 1 inserted.", Normal))
      << engine_.transcript();
  const std::string prefix = target_.dsn + ": ";
  EXPECT_TRUE(
      engine_.hasLine(prefix + "SELECT K, NAME, X FROM " + toTable_ + GetParam().selectEnd, Note))
      << engine_.transcript();
  // Both changes address the row under the cursor, never a row found by value.
  auto deleteLine = engine_.lineContaining(prefix + "DELETE FROM " + toTable_, Note);
  ASSERT_TRUE(deleteLine);
  EXPECT_NE(deleteLine->find(" WHERE CURRENT OF "), std::string::npos) << *deleteLine;
  auto updateLine = engine_.lineContaining(prefix + "UPDATE " + toTable_ + " SET ", Note);
  ASSERT_TRUE(updateLine);
  EXPECT_NE(updateLine->find(" WHERE CURRENT OF "), std::string::npos) << *updateLine;

  // A second run finds the target in line and changes nothing.
  ASSERT_TRUE(engine_.runAll()) << engine_.transcript();
  EXPECT_TRUE(
      engine_.hasLine("Output table statistics: 0 deleted, 0 updated and 0 inserted.", Normal))
      << engine_.transcript();
  EXPECT_EQ(targetImage(), kReplicatedImage);
}

INSTANTIATE_TEST_SUITE_P(Modes, MariaDbPositionedTest,
                         ::testing::Values(WorkingMode{"FORUPDATE", " FOR UPDATE"},
                                           WorkingMode{"NONE", ""}),
                         [](const auto& info) { return std::string(info.param.mode); });

// The MariaDB driver finds the row under the cursor by its values, and a
// NULL among them matches nothing: such a DELETE or UPDATE changes no row,
// and says so only in its row count. The run fails with a line naming the
// row, and what it changed before (the DELETE of key 0) is rolled back.
struct NoRowCase {
  const char* name;
  const char* sourceRows;
  const char* errorLine;  // after "<STATEMENT> of the row K=1 in table <T> in data source <D> "
  const char* statement;
};

class MariaDbNoRowTest : public PositionedModeTest,
                         public ::testing::WithParamInterface<NoRowCase> {};

TEST_P(MariaDbNoRowTest, FailsTheRunAndLeavesTheTargetAsItWas) {
  KESTREL_REQUIRE_DATABASE(DatabaseKind::MariaDB);
  createTables(folder_.database(DatabaseKind::MariaDB));
  fill(source_, "A", GetParam().sourceRows);
  fill(target_, toTable_, "(0, 'zero', 0), (1, 'one', NULL), (2, 'two', 2)");
  ASSERT_TRUE(engine_.load(replicationScript(source_, "A", target_, toTable_, "UPDATE=FORUPDATE")));
  EXPECT_FALSE(engine_.runAll());
  EXPECT_TRUE(engine_.hasLine(std::string(GetParam().statement) + " of the row K=1 in table " +
                                  toTable_ + " in data source " + target_.dsn + " " +
                                  GetParam().errorLine,
                              Error))
      << engine_.transcript();
  EXPECT_TRUE(engine_.hasLine(
      "Changes not committed to " + toTable_ + " in " + target_.dsn + " were rolled back", Error))
      << engine_.transcript();
  EXPECT_FALSE(engine_.lineContaining("Output table statistics:", Normal));
  EXPECT_EQ(targetImage(), "0|zero|0\n1|one|NULL\n2|two|2");
}

INSTANTIATE_TEST_SUITE_P(Statements, MariaDbNoRowTest,
                         ::testing::Values(NoRowCase{"Delete", "(2, 'two', 2)", "deleted no row",
                                                     "DELETE"},
                                           NoRowCase{"Update", "(1, 'uno', 1), (2, 'two', 2)",
                                                     "updated no row", "UPDATE"}),
                         [](const auto& info) { return std::string(info.param.name); });

struct FailingMode {
  DatabaseKind target;
  const char* mode;
};

class PositionedModeFailureTest : public PositionedModeTest,
                                  public ::testing::WithParamInterface<FailingMode> {};

// Where the driver has no positioned statements (or no such SELECT), the run
// fails with the driver's message and leaves every target row as it was.
TEST_P(PositionedModeFailureTest, FailsWithTheDriverMessageAndChangesNoRow) {
  KESTREL_REQUIRE_DATABASE(GetParam().target);
  createTables(GetParam().target == DatabaseKind::SQLite ? folder_.sqlite(OdbcTestFolder::kSqliteB)
                                                         : folder_.database(GetParam().target));
  fill(source_, "A", kSourceRows);
  fill(target_, toTable_, kTargetRows);
  ASSERT_TRUE(engine_.load(replicationScript(source_, "A", target_, toTable_,
                                             std::string("UPDATE=") + GetParam().mode)));
  EXPECT_FALSE(engine_.runAll());

  EXPECT_TRUE(engine_.hasLine(kFailed, Error)) << engine_.transcript();
  bool driverMessage = false;
  for (const EngineLine& line : engine_.lines)
    driverMessage = driverMessage || (line.kind == Error && isDriverMessage(line.text));
  EXPECT_TRUE(driverMessage) << engine_.transcript();
  EXPECT_FALSE(engine_.lineContaining("Ending processing copy definition", Normal));
  EXPECT_FALSE(engine_.temporaryFileExists());
  EXPECT_EQ(targetImage(), kOriginalImage);
}

INSTANTIATE_TEST_SUITE_P(Drivers, PositionedModeFailureTest,
                         ::testing::Values(FailingMode{DatabaseKind::SQLite, "FORUPDATE"},
                                           FailingMode{DatabaseKind::SQLite, "FORUPDATEOF"},
                                           FailingMode{DatabaseKind::SQLite, "NONE"},
                                           FailingMode{DatabaseKind::SQLite, "OPENCURSOR"},
                                           FailingMode{DatabaseKind::MariaDB, "FORUPDATEOF"},
                                           FailingMode{DatabaseKind::MariaDB, "OPENCURSOR"}),
                         [](const auto& info) {
                           return databaseKindName(info.param.target) + "_" + info.param.mode;
                         });

// A failed DELETE ends a replication: on SQLite, whose driver cannot delete
// at a cursor position, the run fails with the driver's message before it
// inserts anything, and the target stays as it was.
TEST_F(PositionedModeTest, FailedPositionedDeleteFailsTheRunAndChangesNothing) {
  createTables(folder_.sqlite(OdbcTestFolder::kSqliteB));
  fill(source_, "A", "(2, 'two', 2), (3, 'three', 3), (5, 'five', 5)");
  fill(target_, toTable_, "(1, 'one', 1), (2, 'two', 2), (3, 'three', 3)");
  ASSERT_TRUE(engine_.load(replicationScript(source_, "A", target_, toTable_, "UPDATE=NONE")));
  EXPECT_FALSE(engine_.runAll());

  bool driverMessage = false;
  for (const EngineLine& line : engine_.lines)
    driverMessage = driverMessage || (line.kind == Error && isDriverMessage(line.text));
  EXPECT_TRUE(driverMessage) << engine_.transcript();
  EXPECT_FALSE(engine_.lineContaining("Output table statistics:", Normal));
  EXPECT_EQ(targetImage(), "1|one|1\n2|two|2\n3|three|3");
}

// The keyed mode on PostgreSQL, with a key of two columns, upper-case quoted
// names and NULL values: a full replication, then a second run with nothing
// left to do.
TEST(KeyedReplicationTest, PostgreSqlEndToEnd) {
  KESTREL_REQUIRE_DATABASE(DatabaseKind::PostgreSQL);
  OdbcTestFolder folder;
  EngineRun engine(folder);
  const TestDatabase db = folder.database(DatabaseKind::PostgreSQL);
  const std::string from = uniqueTableName("KT_FROM"), to = uniqueTableName("KT_TO");
  const std::string columns =
      " (\"K1\" integer NOT NULL, \"K2\" varchar(10) NOT NULL, \"NAME\" varchar(20), "
      "\"AMOUNT\" numeric(10,2), PRIMARY KEY (\"K1\", \"K2\"))";
  ASSERT_EQ(execSql(db, {"CREATE TABLE \"" + from + "\"" + columns,
                         "CREATE TABLE \"" + to + "\"" + columns,
                         "INSERT INTO \"" + from +
                             "\" VALUES (1, 'a', 'same', 1.50), "
                             "(1, 'b', 'new name', 2.00), (2, 'a', NULL, -3.25), "
                             "(3, 'x', 'inserted', NULL)",
                         "INSERT INTO \"" + to +
                             "\" VALUES (1, 'a', 'same', 1.50), "
                             "(1, 'b', 'old name', 2.00), (2, 'a', 'was set', 4.00), "
                             "(2, 'b', 'deleted', 0), (9, 'a', 'deleted too', NULL)"}),
            "");
  DropTablesAtEnd drop(db, {"\"" + from + "\"", "\"" + to + "\""});

  engine.option("ListSQL=1");
  std::string script = "COPYDEFINITION: KEYED\n";
  script += "  FROM " + connectionPart(db) + " TABLE='" + from + "' QUOTE=DOUBLE\n";
  script += "  TO " + connectionPart(db) + " TABLE='" + to + "' QUOTE=DOUBLE UPDATE=KEYS\n";
  script += "  COPY K1 KEY=YES\n  COPY K2 KEY=YES\n  COPY NAME\n  COPY AMOUNT\n";
  ASSERT_TRUE(engine.load(script)) << engine.transcript();
  ASSERT_TRUE(engine.runAll()) << engine.transcript();
  const std::string select =
      "SELECT \"K1\", \"K2\", \"NAME\", \"AMOUNT\" FROM \"%\" ORDER BY \"K1\", \"K2\"";
  auto image = [&](const std::string& table) {
    std::string text = select;
    text.replace(text.find('%'), 1, table);
    return tableImage(db, text);
  };
  EXPECT_EQ(image(to), "1|a|same|1.50\n1|b|new name|2.00\n2|a|NULL|-3.25\n3|x|inserted|NULL");
  EXPECT_EQ(image(to), image(from));
  EXPECT_TRUE(
      engine.hasLine("Output table statistics: 2 deleted, 2 updated and 1 inserted.", Normal))
      << engine.transcript();
  // The keyed statements name the fetched row by its row identifier, never by
  // position.
  EXPECT_TRUE(engine.hasLine(db.dsn + ": DELETE FROM \"" + to + "\" WHERE ctid = ?", Note))
      << engine.transcript();
  EXPECT_FALSE(engine.lineContaining("CURRENT OF", Note));

  ASSERT_TRUE(engine.runAll()) << engine.transcript();
  EXPECT_TRUE(
      engine.hasLine("Output table statistics: 0 deleted, 0 updated and 0 inserted.", Normal))
      << engine.transcript();
  EXPECT_EQ(image(to), image(from));
}

// Dates, timestamps, decimals, doubles and big integers from PostgreSQL into
// SQLite and back again arrive as they left.
TEST(TypeConversionTest, PostgreSqlToSqliteAndBack) {
  KESTREL_REQUIRE_DATABASE(DatabaseKind::PostgreSQL);
  OdbcTestFolder folder;
  EngineRun engine(folder);
  const TestDatabase pg = folder.database(DatabaseKind::PostgreSQL);
  const TestDatabase lite = folder.sqlite(OdbcTestFolder::kSqliteA);
  const std::string from = uniqueTableName("KT_TYPES"), back = uniqueTableName("KT_BACK");
  const std::string pgColumns =
      " (\"K\" integer PRIMARY KEY, \"D\" date, \"TS\" timestamp, \"N\" numeric(14,3), "
      "\"F\" double precision, \"B\" bigint, \"V\" varchar(30))";
  ASSERT_EQ(execSql(pg, {"CREATE TABLE \"" + from + "\"" + pgColumns,
                         "CREATE TABLE \"" + back + "\"" + pgColumns,
                         "INSERT INTO \"" + from +
                             "\" VALUES "
                             "(1, '1997-01-28', '1997-01-28 13:05:00.5', 12345678901.125, 3.25, "
                             "9007199254740993, 'text'), "
                             "(2, '2026-12-31', '2000-02-29 23:59:59', -0.5, -1.0E-5, "
                             "-9223372036854775808, ''), "
                             "(3, NULL, NULL, NULL, NULL, NULL, NULL)"}),
            "");
  DropTablesAtEnd drop(pg, {"\"" + from + "\"", "\"" + back + "\""});
  ASSERT_EQ(execSql(lite, {"CREATE TABLE T (K INTEGER, D DATE, TS TIMESTAMP, N NUMERIC(14,3), "
                           "F DOUBLE, B BIGINT, V VARCHAR(30))"}),
            "");

  const std::string copyColumns =
      "  COPY K KEY=YES\n  COPY D\n  COPY TS\n  COPY N\n  COPY F\n  COPY B\n  COPY V\n";
  std::string script = "COPYDEFINITION: THERE\n";
  script += "  FROM " + connectionPart(pg) + " TABLE='" + from + "' QUOTE=DOUBLE\n";
  script += "  TO " + connectionPart(lite) + " TABLE=T UPDATE=KEYS\n" + copyColumns;
  script += "COPYDEFINITION: BACK\n";
  script += "  FROM " + connectionPart(lite) + " TABLE=T\n";
  script += "  TO " + connectionPart(pg) + " TABLE='" + back + "' QUOTE=DOUBLE UPDATE=KEYS\n";
  ASSERT_TRUE(engine.load(script + copyColumns)) << engine.transcript();
  ASSERT_TRUE(engine.runAll()) << engine.transcript();

  EXPECT_EQ(tableImage(lite, "SELECT K, D, TS, N, F, B, V FROM T ORDER BY K"),
            "1|1997-01-28|1997-01-28 13:05:00.500|12345678901.125|3.25|9007199254740993|text\n"
            "2|2026-12-31|2000-02-29 23:59:59.000|-0.5|-1.0e-05|-9223372036854775808|\n"
            "3|NULL|NULL|NULL|NULL|NULL|NULL");
  const std::string select = "SELECT \"K\", \"D\", \"TS\", \"N\", \"F\", \"B\", \"V\" FROM ";
  EXPECT_EQ(tableImage(pg, select + "\"" + back + "\" ORDER BY 1"),
            "1|1997-01-28|1997-01-28 13:05:00.5|12345678901.125|3.25|9007199254740993|text\n"
            "2|2026-12-31|2000-02-29 23:59:59|-0.500|-1e-05|-9223372036854775808|\n"
            "3|NULL|NULL|NULL|NULL|NULL|NULL");
  EXPECT_EQ(tableImage(pg, select + "\"" + back + "\" ORDER BY 1"),
            tableImage(pg, select + "\"" + from + "\" ORDER BY 1"));

  // Nothing differs on a second pass in either direction.
  ASSERT_TRUE(engine.runAll()) << engine.transcript();
  int unchanged = 0;
  for (const EngineLine& line : engine.lines)
    unchanged += line.text == "Output table statistics: 0 deleted, 0 updated and 0 inserted.";
  EXPECT_EQ(unchanged, 2) << engine.transcript();
}

// A character source feeding a DECIMAL or NUMERIC target puts its text into
// the statement; only a plain number may get there.
struct DecimalCase {
  const char* text;
  bool accepted;
  const char* stored;  // the target's value when accepted
};

// The second parameter: the row is inserted by a simple copy (false), or
// written by a replication that updates an existing target row (true).
class DecimalLiteralTest
    : public ::testing::TestWithParam<std::tuple<DatabaseKind, bool, DecimalCase>> {};

TEST_P(DecimalLiteralTest, OnlyAWellFormedNumberReachesTheStatement) {
  const auto [kind, update, value] = GetParam();
  KESTREL_REQUIRE_DATABASE(kind);
  OdbcTestFolder folder;
  EngineRun engine(folder);
  const TestDatabase lite = folder.sqlite(OdbcTestFolder::kSqliteA);
  const TestDatabase db = folder.database(kind);
  // PostgreSQL keeps the upper-case names only when they are quoted.
  const std::string quote = kind == DatabaseKind::PostgreSQL ? "\"" : "";
  auto named = [&](const std::string& name) { return quote + name + quote; };
  const std::string table = uniqueTableName("KT_DEC"), canary = uniqueTableName("KT_CANARY");
  // The canary is the table that a crafted value would drop.
  std::string text = value.text;
  if (std::size_t at = text.find("{canary}"); at != std::string::npos)
    text.replace(at, 8, named(canary));
  ASSERT_EQ(execSql(lite, {"CREATE TABLE A (K INTEGER, V VARCHAR(40))",
                           "INSERT INTO A VALUES (1, '" + text + "')"}),
            "");
  ASSERT_EQ(execSql(db, {"CREATE TABLE " + named(table) + " (" + named("K") + " INTEGER, " +
                             named("V") + " DECIMAL(10,2))",
                         "CREATE TABLE " + named(canary) + " (" + named("K") + " INTEGER)"}),
            "");
  DropTablesAtEnd drop(db, {named(table), named(canary)});
  if (update) {
    ASSERT_EQ(execSql(db, {"INSERT INTO " + named(table) + " VALUES (1, 1)"}), "");
  }

  engine.option("ListSQL=1");
  std::string script = "COPYDEFINITION: DEC\n  FROM " + connectionPart(lite) + " TABLE=A";
  if (!update) script += " REPLICATE=NO";
  script += "\n  TO " + connectionPart(db) + " TABLE='" + table + "' UPDATE=KEYS";
  if (!quote.empty()) script += " QUOTE=DOUBLE";
  script += "\n  COPY K KEY=YES\n  COPY V\n";
  ASSERT_TRUE(engine.load(script)) << engine.transcript();
  const bool ok = engine.runAll();
  EXPECT_EQ(ok, value.accepted) << engine.transcript();
  const std::string rows =
      tableImage(db, "SELECT " + named("K") + ", " + named("V") + " FROM " + named(table));
  if (value.accepted) {
    EXPECT_EQ(rows, std::string("1|") + value.stored) << engine.transcript();
  } else {
    EXPECT_TRUE(engine.hasLine(kFailed, Error)) << engine.transcript();
    EXPECT_TRUE(engine.lineContaining("is not a number", Error)) << engine.transcript();
    // The statement was never listed, so never sent.
    EXPECT_FALSE(engine.lineContaining("INSERT INTO", Note)) << engine.transcript();
    EXPECT_FALSE(engine.lineContaining("UPDATE ", Note)) << engine.transcript();
    EXPECT_EQ(rows, update ? "1|1.00" : "");
    EXPECT_EQ(tableImage(db, "SELECT " + named("K") + " FROM " + named(canary)), "");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Values, DecimalLiteralTest,
    ::testing::Combine(
        ::testing::Values(DatabaseKind::PostgreSQL, DatabaseKind::MariaDB), ::testing::Bool(),
        ::testing::Values(DecimalCase{"12.5", true, "12.50"}, DecimalCase{" -3.25 ", true, "-3.25"},
                          DecimalCase{"1; DROP TABLE {canary}", false, ""},
                          DecimalCase{"1) ; DROP TABLE {canary} --", false, ""},
                          DecimalCase{"1e5", false, ""}, DecimalCase{"0x10", false, ""},
                          DecimalCase{"1,5", false, ""})),
    [](const auto& info) {
      return databaseKindName(std::get<0>(info.param)) +
             (std::get<1>(info.param) ? "_Update_" : "_Insert_") + std::to_string(info.index);
    });

}  // namespace
}  // namespace kestrel::test
