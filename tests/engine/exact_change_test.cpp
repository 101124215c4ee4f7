// Every change of a replication hits exactly the target row its walk fetched,
// inside the TO condition, and a run is one transaction on the target: a
// failed run leaves the target as it was, or with the batches that
// MaxBeforeCommit committed before the failure; the next run converges. Each
// case runs against every driver it applies to, with a SQLite source.

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "engine_run_fixture.h"

namespace kestrel::test {
namespace {

const char kFailed[] = "Processing could not be performed";

std::string lowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// A source table a in SQLite and target tables on the database under test.
// Names are in lower case, which every database keeps as written without
// quotes.
class TargetTest : public ::testing::Test {
 protected:
  // The target database of `kind`; call after KESTREL_REQUIRE_DATABASE.
  void useTarget(DatabaseKind kind) {
    target_ = kind == DatabaseKind::SQLite ? folder_.sqlite(OdbcTestFolder::kSqliteB)
                                           : folder_.database(kind);
    toTable_ = kind == DatabaseKind::SQLite ? "b" : lowerCase(uniqueTableName("KT_EXACT"));
    childTable_ = kind == DatabaseKind::SQLite ? "c" : lowerCase(uniqueTableName("KT_CHILD"));
  }
  void TearDown() override {
    if (target_.kind == DatabaseKind::SQLite || toTable_.empty()) return;
    // One at a time: a statement that fails (a view's drop on a table) must
    // not keep the others from running.
    for (const std::string& statement :
         {"DROP VIEW IF EXISTS " + toTable_, "DROP TABLE IF EXISTS " + childTable_,
          "DROP TABLE IF EXISTS " + toTable_})
      execSql(target_, {statement});
  }
  // The target's columns, and the source's when not given.
  void create(const std::string& columns, const std::string& sourceRows,
              const std::string& targetRows, const std::string& sourceColumns = "") {
    ASSERT_EQ(execSql(source_, {"CREATE TABLE a (" +
                                (sourceColumns.empty() ? columns : sourceColumns) + ")"}),
              "");
    ASSERT_EQ(execSql(target_, {"CREATE TABLE " + toTable_ + " (" + columns + ")"}), "");
    if (!sourceRows.empty())
      ASSERT_EQ(execSql(source_, {"INSERT INTO a VALUES " + sourceRows}), "");
    if (!targetRows.empty())
      ASSERT_EQ(execSql(target_, {"INSERT INTO " + toTable_ + " VALUES " + targetRows}), "");
  }
  // A replication from A into the target table; `copies` are the COPY lines.
  bool load(const std::string& toOptions, const std::string& copies) {
    std::string script =
        "COPYDEFINITION: EXACT\n  FROM " + connectionPart(source_) + " TABLE='a'\n";
    script += "  TO " + connectionPart(target_) + " TABLE='" + toTable_ + "' " + toOptions + "\n";
    return engine_.load(script + copies);
  }
  std::string image(const std::string& columns, const std::string& order) {
    return tableImage(target_, "SELECT " + columns + " FROM " + toTable_ + " ORDER BY " + order);
  }
  std::string statistics(const std::string& counts) {
    return "Output table statistics: " + counts + ".";
  }

  OdbcTestFolder folder_;
  TestDatabase source_ = folder_.sqlite(OdbcTestFolder::kSqliteA);
  TestDatabase target_;
  std::string toTable_, childTable_;
  EngineRun engine_{folder_};
};

class ToConditionTest : public TargetTest, public ::testing::WithParamInterface<DatabaseKind> {};

// Keys repeat across regions and the target has no primary key: the keyed
// DELETE and UPDATE change the region A row the walk read and never the
// region B row with the same key (SQLite and PostgreSQL name the row by its
// rowid or ctid, MariaDB by the key within the TO condition).
TEST_P(ToConditionTest, ChangesOnlyTheFetchedRowsInsideTheCondition) {
  KESTREL_REQUIRE_DATABASE(GetParam());
  useTarget(GetParam());
  create("k VARCHAR(10), region VARCHAR(2), name VARCHAR(20)",
         "('k1', 'A', 'new'), ('k3', 'A', 'add')",
         "('k1', 'A', 'old'), ('k1', 'B', 'keep'), ('k2', 'A', 'gone'), ('k2', 'B', 'keep')");
  engine_.option("ListSQL=1");
  ASSERT_TRUE(load("UPDATE=KEYS WHERE=\"region = 'A'\"",
                   "  COPY 'k' KEY=YES\n  COPY 'region'\n  COPY 'name'\n"))
      << engine_.transcript();
  ASSERT_TRUE(engine_.runAll()) << engine_.transcript();
  const char kExpected[] = "k1|A|new\nk1|B|keep\nk2|B|keep\nk3|A|add";
  EXPECT_EQ(image("k, region, name", "k, region"), kExpected);
  EXPECT_TRUE(engine_.hasLine(statistics("1 deleted, 1 updated and 1 inserted"), Normal))
      << engine_.transcript();
  auto deleteLine = engine_.lineContaining("DELETE FROM " + toTable_ + " WHERE ", Note);
  ASSERT_TRUE(deleteLine) << engine_.transcript();
  EXPECT_NE(deleteLine->find(" AND (region = 'A')"), std::string::npos) << *deleteLine;
  // The run's connection stays open and holds no transaction: another session
  // can change the row the run updated (a lock left behind would refuse it).
  std::vector<std::string> touch = {"UPDATE " + toTable_ +
                                    " SET name = 'new' WHERE k = 'k1' AND region = 'A'"};
  if (GetParam() == DatabaseKind::PostgreSQL)
    touch.insert(touch.begin(), "SET lock_timeout = 5000");
  if (GetParam() == DatabaseKind::MariaDB)
    touch.insert(touch.begin(), "SET innodb_lock_wait_timeout = 5");
  EXPECT_EQ(execSql(target_, touch), "");

  ASSERT_TRUE(engine_.runAll()) << engine_.transcript();
  EXPECT_TRUE(engine_.hasLine(statistics("0 deleted, 0 updated and 0 inserted"), Normal))
      << engine_.transcript();
  EXPECT_EQ(image("k, region, name", "k, region"), kExpected);
}

INSTANTIATE_TEST_SUITE_P(Drivers, ToConditionTest, ::testing::ValuesIn(allDatabaseKinds()),
                         [](const auto& info) { return databaseKindName(info.param); });

// Keys that the target's collation takes for equal while the run does not.
struct CollationCase {
  const char* name;
  DatabaseKind kind;
  const char* columns;
  const char* sourceRows;
  const char* targetRows;
  bool succeeds;
  const char* expected;  // the target after the run, ordered by X, then K
};

void PrintTo(const CollationCase& c, std::ostream* out) { *out << c.name; }

class CaseInsensitiveKeyTest : public TargetTest,
                               public ::testing::WithParamInterface<CollationCase> {};

// Either the target ends right, or the run fails with the target as it was:
// a keyed statement that would change both rows reports two rows and fails.
TEST_P(CaseInsensitiveKeyTest, EndsWithTheRightTargetOrChangesNothing) {
  const CollationCase& c = GetParam();
  KESTREL_REQUIRE_DATABASE(c.kind);
  useTarget(c.kind);
  create(c.columns, c.sourceRows, c.targetRows);
  const std::string before = image("k, x", "x, k");
  ASSERT_TRUE(load("UPDATE=KEYS", "  COPY 'k' KEY=YES\n  COPY 'x'\n")) << engine_.transcript();
  EXPECT_EQ(engine_.runAll(), c.succeeds) << engine_.transcript();
  if (c.succeeds) {
    EXPECT_EQ(image("k, x", "x, k"), c.expected);
    // Stable: a second run finds nothing to do.
    ASSERT_TRUE(engine_.runAll()) << engine_.transcript();
    EXPECT_TRUE(engine_.hasLine(statistics("0 deleted, 0 updated and 0 inserted"), Normal))
        << engine_.transcript();
  } else {
    EXPECT_TRUE(engine_.lineContaining(" in data source " + target_.dsn + " updated 2 rows", Error))
        << engine_.transcript();
    EXPECT_TRUE(engine_.hasLine(kFailed, Error));
  }
  EXPECT_EQ(image("k, x", "x, k"), c.succeeds ? c.expected : before);
}

INSTANTIATE_TEST_SUITE_P(
    Collations, CaseInsensitiveKeyTest,
    ::testing::Values(CollationCase{"SqliteNocaseBothInSource", DatabaseKind::SQLite,
                                    "k VARCHAR(10) COLLATE NOCASE, x INTEGER",
                                    "('abc', 5), ('ABC', 6)", "('abc', 1), ('ABC', 2)", true,
                                    "abc|5\nABC|6"},
                      CollationCase{"SqliteNocaseOneInSource", DatabaseKind::SQLite,
                                    "k VARCHAR(10) COLLATE NOCASE, x INTEGER", "('abc', 1)",
                                    "('abc', 1), ('ABC', 2)", true, "abc|1"},
                      // Without a unique key the row can only be named by its key value,
                      // which the collation finds twice.
                      CollationCase{"MariaDbWithoutPrimaryKey", DatabaseKind::MariaDB,
                                    "k VARCHAR(10), x INTEGER", "('abc', 5), ('ABC', 6)",
                                    "('abc', 1), ('ABC', 2)", false, ""},
                      // The primary key keeps the values unique under the collation.
                      CollationCase{"MariaDbPrimaryKey", DatabaseKind::MariaDB,
                                    "k VARCHAR(10) PRIMARY KEY, x INTEGER", "('ABC', 1)",
                                    "('abc', 1)", true, "ABC|1"}),
    [](const auto& info) { return std::string(info.param.name); });

// MariaDB counts only the rows whose values an UPDATE changed. A CHAR column
// drops trailing blanks, so the source's 'ab ' compares unequal to the 'ab'
// read back every run, and the UPDATE changes nothing the database can see:
// the row is there, so the run succeeds and counts no update.
TEST_F(TargetTest, MariaDbUpdateThatChangesNoStoredValueSucceeds) {
  KESTREL_REQUIRE_DATABASE(DatabaseKind::MariaDB);
  useTarget(DatabaseKind::MariaDB);
  create("k INTEGER, c CHAR(5)", "(1, 'ab ')", "(1, 'ab')", "k INTEGER, c VARCHAR(5)");
  ASSERT_TRUE(load("UPDATE=KEYS", "  COPY 'k' KEY=YES\n  COPY 'c'\n")) << engine_.transcript();
  for (int run = 0; run < 2; ++run) {
    ASSERT_TRUE(engine_.runAll()) << engine_.transcript();
    EXPECT_TRUE(engine_.hasLine(statistics("0 deleted, 0 updated and 0 inserted"), Normal))
        << engine_.transcript();
  }
  EXPECT_EQ(image("k, c", "k"), "1|ab");
}

// SQLite keeps a TIMESTAMP as the text it was given; the driver hands it out
// as a timestamp and would send it back with a fraction the stored text does
// not have. The rowid names the row instead.
TEST_F(TargetTest, SqliteTimestampKeysChangeTheirRows) {
  useTarget(DatabaseKind::SQLite);
  create("k TIMESTAMP, x INTEGER", "('2021-01-02 03:04:05', 10)",
         "('2021-01-02 03:04:05', 1), ('2021-01-03 00:00:00', 2)");
  ASSERT_TRUE(load("UPDATE=KEYS", "  COPY 'k' KEY=YES\n  COPY 'x'\n")) << engine_.transcript();
  ASSERT_TRUE(engine_.runAll()) << engine_.transcript();
  EXPECT_TRUE(engine_.hasLine(statistics("1 deleted, 1 updated and 0 inserted"), Normal))
      << engine_.transcript();
  EXPECT_EQ(image("k, x", "k"), "2021-01-02 03:04:05|10");
  ASSERT_TRUE(engine_.runAll()) << engine_.transcript();
  EXPECT_TRUE(engine_.hasLine(statistics("0 deleted, 0 updated and 0 inserted"), Normal))
      << engine_.transcript();
}

// Tables without the database's own row identifier: the keyed statements
// name the row by the key the driver reports as the best row identifier, or
// by the key columns, with the value exactly as fetched.
struct IdentifierCase {
  const char* name;
  DatabaseKind kind;
  const char* keyType;
  const char* tableEnd;  // after the column list of the table holding the rows
  bool view;             // the target is a view over that table
  const char* deleteCondition;
};

void PrintTo(const IdentifierCase& c, std::ostream* out) { *out << c.name; }

class RowIdentifierTest : public TargetTest,
                          public ::testing::WithParamInterface<IdentifierCase> {};

TEST_P(RowIdentifierTest, NamesTheFetchedRowByItsKey) {
  const IdentifierCase& c = GetParam();
  KESTREL_REQUIRE_DATABASE(c.kind);
  useTarget(c.kind);
  const std::string columns = std::string("k ") + c.keyType + ", x INTEGER";
  const std::string base = c.view ? childTable_ : toTable_;
  ASSERT_EQ(execSql(source_, {"CREATE TABLE a (" + columns + ")",
                              "INSERT INTO a VALUES ('2021-01-02 03:04:05', 10)"}),
            "");
  std::vector<std::string> setup = {
      "CREATE TABLE " + base + " (" + columns + ")" + c.tableEnd,
      "INSERT INTO " + base + " VALUES ('2021-01-02 03:04:05', 1), ('2021-01-03 00:00:00', 2)"};
  if (c.view) setup.push_back("CREATE VIEW " + toTable_ + " AS SELECT k, x FROM " + base);
  ASSERT_EQ(execSql(target_, setup), "");
  engine_.option("ListSQL=1");
  ASSERT_TRUE(load("UPDATE=KEYS", "  COPY 'k' KEY=YES\n  COPY 'x'\n")) << engine_.transcript();
  ASSERT_TRUE(engine_.runAll()) << engine_.transcript();
  EXPECT_TRUE(engine_.hasLine(
      target_.dsn + ": DELETE FROM " + toTable_ + " WHERE " + c.deleteCondition, Note))
      << engine_.transcript();
  EXPECT_TRUE(engine_.hasLine(statistics("1 deleted, 1 updated and 0 inserted"), Normal))
      << engine_.transcript();
  EXPECT_EQ(tableImage(target_, "SELECT k, x FROM " + base), "2021-01-02 03:04:05|10");
}

INSTANTIATE_TEST_SUITE_P(
    Tables, RowIdentifierTest,
    ::testing::Values(
        // The key keeps the text it was given; sent back as fetched, it matches.
        IdentifierCase{"SqliteWithoutRowid", DatabaseKind::SQLite, "TIMESTAMP PRIMARY KEY",
                       " WITHOUT ROWID", false, "k = ?"},
        // A view has no ctid: the key within the (empty) TO condition.
        IdentifierCase{"PostgreSqlView", DatabaseKind::PostgreSQL, "VARCHAR(20)", "", true,
                       "k = ?"},
        IdentifierCase{"MariaDbPrimaryKey", DatabaseKind::MariaDB, "VARCHAR(20) PRIMARY KEY", "",
                       false, "k = ?"}),
    [](const auto& info) { return std::string(info.param.name); });

// Where the run fails: an insert refused by a NOT NULL column, or a delete
// refused by a foreign key. Before it, the walk updates keys 1 and 2 and
// (for the insert) deletes key 3.
enum class Refused { Insert, Delete };

class FailureTest : public TargetTest,
                    public ::testing::WithParamInterface<std::tuple<DatabaseKind, Refused, int>> {};

TEST_P(FailureTest, LeavesOnlyCommittedBatchesAndTheNextRunConverges) {
  const auto [kind, refused, maxBeforeCommit] = GetParam();
  KESTREL_REQUIRE_DATABASE(kind);
  useTarget(kind);
  create("k INTEGER PRIMARY KEY, name VARCHAR(20) NOT NULL, x INTEGER",
         refused == Refused::Insert ? "(1, 'new 1', 1), (2, 'new 2', 2), (4, NULL, 4)"
                                    : "(1, 'new 1', 1), (2, 'new 2', 2), (4, 'four', 4)",
         "(1, 'old 1', 1), (2, 'old 2', 2), (3, 'three', 3)",
         "k INTEGER, name VARCHAR(20), x INTEGER");
  if (refused == Refused::Delete) {
    ASSERT_EQ(execSql(target_, {"CREATE TABLE " + childTable_ +
                                    " (p INTEGER, FOREIGN KEY (p) "
                                    "REFERENCES " +
                                    toTable_ + " (k))",
                                "INSERT INTO " + childTable_ + " VALUES (3)"}),
              "");
  }
  const std::string before = image("k, name, x", "k");
  engine_.option("MaxBeforeCommit=" + std::to_string(maxBeforeCommit));
  ASSERT_TRUE(load("UPDATE=KEYS", "  COPY 'k' KEY=YES\n  COPY 'name'\n  COPY 'x'\n"))
      << engine_.transcript();
  EXPECT_FALSE(engine_.runAll());
  EXPECT_TRUE(engine_.hasLine(kFailed, Error)) << engine_.transcript();
  // Nothing was left to roll back when the refused delete came right after
  // a committed batch.
  const bool rolledBack = maxBeforeCommit == 0 || refused == Refused::Insert;
  EXPECT_EQ(engine_.hasLine(
                "Changes not committed to " + toTable_ + " in " + target_.dsn + " were rolled back",
                Error),
            rolledBack)
      << engine_.transcript();
  EXPECT_FALSE(engine_.lineContaining("Output table statistics:", Normal));
  // With batches of two, the two updates were committed; the delete was not.
  EXPECT_EQ(image("k, name, x", "k"),
            maxBeforeCommit == 0 ? before : "1|new 1|1\n2|new 2|2\n3|three|3");

  if (refused == Refused::Insert)
    ASSERT_EQ(execSql(source_, {"UPDATE a SET name = 'four' WHERE k = 4"}), "");
  else
    ASSERT_EQ(execSql(target_, {"DELETE FROM " + childTable_}), "");
  ASSERT_TRUE(engine_.runAll()) << engine_.transcript();
  EXPECT_EQ(image("k, name, x", "k"), "1|new 1|1\n2|new 2|2\n4|four|4");
}

// A SQLite target read step by step (StepAPI=1), as the README advises for
// large tables: the walk reads the target on the connection that changes
// it, and a batch committed in the middle of the walk leaves its cursor
// reading on. A refused insert rolls back what was not committed.
class SteppingTargetTest : public TargetTest, public ::testing::WithParamInterface<int> {};

TEST_P(SteppingTargetTest, CommitsBatchesMidWalkAndRollsBackTheRest) {
  const int maxBeforeCommit = GetParam();
  useTarget(DatabaseKind::SQLite);
  {
    std::ofstream ini(folder_.odbcIni(), std::ios::app);
    ini << "[" << target_.dsn << "_step]\nDriver=SQLite3\nDatabase=" << folder_.file("b.db")
        << "\nTimeout=5000\nStepAPI=1\n\n";
  }
  target_.dsn += "_step";
  create("k INTEGER PRIMARY KEY, name VARCHAR(20) NOT NULL",
         "(1, 'new 1'), (2, 'new 2'), (3, 'new 3'), (4, 'new 4'), (9, NULL)",
         "(1, 'old 1'), (2, 'old 2'), (3, 'old 3'), (4, 'old 4'), (5, 'five')",
         "k INTEGER, name VARCHAR(20)");
  const std::string before = image("k, name", "k");
  engine_.option("MaxBeforeCommit=" + std::to_string(maxBeforeCommit));
  ASSERT_TRUE(load("UPDATE=KEYS", "  COPY 'k' KEY=YES\n  COPY 'name'\n")) << engine_.transcript();
  EXPECT_FALSE(engine_.runAll()) << engine_.transcript();
  // Batches of two: four updates committed, the delete of 5 rolled back.
  EXPECT_EQ(image("k, name", "k"),
            maxBeforeCommit == 0 ? before : "1|new 1\n2|new 2\n3|new 3\n4|new 4\n5|five");
  ASSERT_EQ(execSql(source_, {"UPDATE a SET name = 'nine' WHERE k = 9"}), "");
  ASSERT_TRUE(engine_.runAll()) << engine_.transcript();
  EXPECT_EQ(image("k, name", "k"), "1|new 1\n2|new 2\n3|new 3\n4|new 4\n9|nine");
}

INSTANTIATE_TEST_SUITE_P(MaxBeforeCommit, SteppingTargetTest, ::testing::Values(0, 2));

// The SQLite driver leaves foreign keys unchecked; a refused delete on SQLite
// is in RefusedStatementTest.
INSTANTIATE_TEST_SUITE_P(Phases, FailureTest,
                         ::testing::Values(std::tuple{DatabaseKind::SQLite, Refused::Insert, 0},
                                           std::tuple{DatabaseKind::SQLite, Refused::Insert, 2},
                                           std::tuple{DatabaseKind::PostgreSQL, Refused::Insert, 0},
                                           std::tuple{DatabaseKind::PostgreSQL, Refused::Insert, 2},
                                           std::tuple{DatabaseKind::PostgreSQL, Refused::Delete, 0},
                                           std::tuple{DatabaseKind::PostgreSQL, Refused::Delete, 2},
                                           std::tuple{DatabaseKind::MariaDB, Refused::Insert, 0},
                                           std::tuple{DatabaseKind::MariaDB, Refused::Insert, 2},
                                           std::tuple{DatabaseKind::MariaDB, Refused::Delete, 0},
                                           std::tuple{DatabaseKind::MariaDB, Refused::Delete, 2}),
                         [](const auto& info) {
                           return databaseKindName(std::get<0>(info.param)) +
                                  (std::get<1>(info.param) == Refused::Insert ? "_Insert_"
                                                                              : "_Delete_") +
                                  std::to_string(std::get<2>(info.param));
                         });

class DecimalNullTest : public TargetTest, public ::testing::WithParamInterface<DatabaseKind> {};

// A NULL from a character source reaches a DECIMAL column as the literal
// NULL, and the logged line says NULL.
TEST_P(DecimalNullTest, InsertingRowShowsNull) {
  KESTREL_REQUIRE_DATABASE(GetParam());
  useTarget(GetParam());
  ASSERT_EQ(execSql(source_, {"CREATE TABLE a (k INTEGER, price VARCHAR(20))",
                              "INSERT INTO a VALUES (1, NULL)"}),
            "");
  ASSERT_EQ(execSql(target_, {"CREATE TABLE " + toTable_ + " (k INTEGER, price DECIMAL(8,2))"}),
            "");
  ASSERT_TRUE(load("", "  COPY 'k' KEY=YES\n  COPY 'price' LOG=YES\n")) << engine_.transcript();
  ASSERT_TRUE(engine_.runAll()) << engine_.transcript();
  EXPECT_TRUE(engine_.hasLine("Inserting row: price=NULL", Note)) << engine_.transcript();
  EXPECT_EQ(image("k, price", "k"), "1|NULL");
}

INSTANTIATE_TEST_SUITE_P(Drivers, DecimalNullTest,
                         ::testing::Values(DatabaseKind::PostgreSQL, DatabaseKind::MariaDB),
                         [](const auto& info) { return databaseKindName(info.param); });

}  // namespace
}  // namespace kestrel::test
