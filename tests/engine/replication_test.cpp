// Replication runs against SQLite with keyed updates: what happens to every
// target row (insert, update, unchanged, delete), duplicate and NULL keys, and
// the column transforms that reach the target only through a replication.

#include <sqlext.h>

#include "copy_run_fixture.h"
#include "fakes.h"

namespace kestrel::test {
namespace {

const char kColumns[] = "K INTEGER, NAME VARCHAR(20)";

// A replication of A (SRC) into B (DST) over the key K; `columns` holds the
// COPY and SET commands after the key.
std::string replication(const std::string& columns = " COPY NAME\n",
                        const std::string& keyOptions = "",
                        const std::string& orderBy = "K, NAME") {
  return "COPYDEFINITION: C\n FROM SRC TABLE=A ORDERBY='" + orderBy +
         "'\n TO DST TABLE=B UPDATE=KEYS\n COPY K KEY=YES" + keyOptions + "\n" + columns;
}

// Source rows 1 to 4, target rows 1, 2 and 5: one of each outcome.
class DecisionTableTest : public CopyRunTest {
 protected:
  void SetUp() override {
    table(source(), "A", kColumns, {"1, 'same'", "2, 'new name'", "3, 'three'", "4, 'four'"});
    table(target(), "B", kColumns, {"1, 'same'", "2, 'old name'", "5, 'gone'"});
  }
  const std::vector<std::string> replicated = {"1|same", "2|new name", "3|three", "4|four"};
};

TEST_F(DecisionTableTest, EachTargetRowIsKeptUpdatedOrDeletedAndNewRowsInserted) {
  ASSERT_TRUE(load(replication()));
  EXPECT_TRUE(run());
  EXPECT_EQ(texts(), replicationLines("C", 4, "4 read from FROM table, 3 read from TO table.",
                                      "1 deleted, 1 updated and 2 inserted."));
  EXPECT_EQ(contents(target(), "SELECT K, NAME FROM B ORDER BY K"), replicated);
  EXPECT_EQ(windows_.operations,
            (std::vector<std::string>{"Copying rows to temporary file", "Connecting to TO table",
                                      "Updating existing rows in TO table",
                                      "Writing new rows to TO table"}));
  EXPECT_TRUE(temporaryFiles().empty());

  // In line with the source: every target row is read and none changes.
  EXPECT_TRUE(run());
  EXPECT_EQ(line("Table counts:"), "Table counts: 4 read from FROM table, 4 read from TO table.");
  EXPECT_EQ(line("Output table statistics:"),
            "Output table statistics: 0 deleted, 0 updated and 0 inserted.");
  EXPECT_EQ(contents(target(), "SELECT K, NAME FROM B ORDER BY K"), replicated);
}

TEST_F(DecisionTableTest, LoggedColumnsShowEveryChange) {
  ASSERT_TRUE(load(replication(" COPY NAME LOG=YES\n", " LOG=YES")));
  EXPECT_TRUE(run());
  EXPECT_EQ(texts(Note),
            (std::vector<std::string>{"Updating row: K=2, NAME=\"old name\" to NAME=\"new name\"",
                                      "Deleting row: K=5, NAME=\"gone\"",
                                      "Inserting row: K=3, NAME=\"three\"",
                                      "Inserting row: K=4, NAME=\"four\""}));
}

TEST_F(DecisionTableTest, NoUpdateListsEveryStatementAndChangesNothing) {
  option("NoUpdate=1");
  option("ListSQL=1");
  ASSERT_TRUE(load(replication()));
  EXPECT_TRUE(run());
  EXPECT_EQ(
      texts(Note),
      (std::vector<std::string>{
          "SRC: SELECT K, NAME FROM A ORDER BY K, NAME", "DST: SELECT K, NAME, _ROWID_ FROM B",
          "DST: UPDATE B SET NAME=? WHERE _ROWID_ = ?", "DST: DELETE FROM B WHERE _ROWID_ = ?",
          "DST: INSERT INTO B (K, NAME) VALUES(?, ?)", "DST: INSERT INTO B (K, NAME) VALUES(?, ?)",
          "WARNING: No updates were performed - updates were surpressed using an option "
          "in preferences"}));
  EXPECT_EQ(line("Output table statistics:"),
            "Output table statistics: 1 deleted, 1 updated and 2 inserted.");
  EXPECT_EQ(lastLines(1),
            (std::vector<LoggedLine>{{"Ending processing copy definition C", Normal}}));
  EXPECT_EQ(contents(target(), "SELECT K, NAME FROM B ORDER BY K"),
            (std::vector<std::string>{"1|same", "2|old name", "5|gone"}));
}

TEST_F(DecisionTableTest, DebugLinesFollowEveryKey) {
  option("DebugMode=1");
  option("UpdateDebugging=1");
  log_.Configure(MessageLog::kMaxMaxLines, "", true);
  ASSERT_TRUE(load(replication()));
  EXPECT_TRUE(run());
  std::vector<std::string> keyLines;
  for (const std::string& text : texts(Note)) {
    if (text.rfind("Update debug: Copying", 0) == 0 ||
        text.rfind("Update debug: Deleting", 0) == 0 ||
        text.rfind("Update debug: Updating", 0) == 0)
      keyLines.push_back(text);
  }
  EXPECT_EQ(
      keyLines,
      (std::vector<std::string>{
          "Update debug: Copying to temp file:  K=1", "Update debug: Copying to temp file:  K=2",
          "Update debug: Copying to temp file:  K=3", "Update debug: Copying to temp file:  K=4",
          "Update debug: Updating TO row:  K=2", "Update debug: Deleting TO row:  K=5"}));
  // Three lookups: two found at the first probe, one in an empty slot.
  EXPECT_EQ(line("Debug: Hash statistics:"),
            "Debug: Hash statistics: 4 table entries used out of 8000. 4 inserted records resulted "
            "in a max search parth of 1 records (Mean value: 0)");
  EXPECT_EQ(contents(target(), "SELECT K, NAME FROM B ORDER BY K"), replicated);
}

// One replication of A into B; the columns are kColumns unless a case says
// otherwise.
struct MatchCase {
  const char* name;
  std::vector<std::string> sourceRows, targetRows;
  std::vector<std::string> replicated;  // target rows in storage order
  std::string counts, statistics;
  std::string sourceColumns = kColumns, targetColumns = kColumns;
  std::string copyCommands = " COPY NAME\n";  // after the key
};

void PrintTo(const MatchCase& c, std::ostream* out) { *out << c.name; }

class RowMatchTest : public CopyRunTest, public ::testing::WithParamInterface<MatchCase> {};

TEST_P(RowMatchTest, MatchesTargetRowsToStoredRows) {
  const MatchCase& c = GetParam();
  table(source(), "A", c.sourceColumns, c.sourceRows);
  table(target(), "B", c.targetColumns, c.targetRows);
  ASSERT_TRUE(load(replication(c.copyCommands)));
  EXPECT_TRUE(run());
  EXPECT_EQ(line("Table counts:"), "Table counts: " + c.counts);
  EXPECT_EQ(line("Output table statistics:"), "Output table statistics: " + c.statistics);
  EXPECT_EQ(contents(target(), "SELECT K, NAME FROM B ORDER BY rowid"), c.replicated);
}

INSTANTIATE_TEST_SUITE_P(Rows, RowMatchTest,
                         ::testing::Values(
                             // Both target rows find the one stored row and are updated from it.
                             MatchCase{"TwoTargetRowsUpdatedFromOneSourceRow",
                                       {"1, 'new'"},
                                       {"1, 'a'", "1, 'b'"},
                                       {"1|new", "1|new"},
                                       "1 read from FROM table, 2 read from TO table.",
                                       "0 deleted, 2 updated and 0 inserted."},
                             MatchCase{"TwoTargetRowsOfAVanishedKeyDeleted",
                                       {"2, 'b'"},
                                       {"1, 'a'", "1, 'a'"},
                                       {"2|b"},
                                       "1 read from FROM table, 2 read from TO table.",
                                       "2 deleted, 0 updated and 1 inserted."},
                             // The lookup finds the source row stored last; a key
                             // that the target has is matched for all of its rows,
                             // so none of them is inserted again.
                             MatchCase{"SeveralSourceRowsTheLastOneUpdates",
                                       {"1, 'third'", "1, 'first'", "1, 'second'"},
                                       {"1, 'old'"},
                                       {"1|third"},
                                       "3 read from FROM table, 1 read from TO table.",
                                       "0 deleted, 1 updated and 0 inserted."},
                             // Without a target row of that key, all of them are new.
                             MatchCase{"SeveralSourceRowsAllNewWithoutTheKey",
                                       {"1, 'third'", "1, 'first'", "2, 'other'"},
                                       {"2, 'other'"},
                                       {"2|other", "1|first", "1|third"},
                                       "3 read from FROM table, 1 read from TO table.",
                                       "0 deleted, 0 updated and 2 inserted."},
                             MatchCase{"NullValuesUpdatedBothWays",
                                       {"1, NULL", "2, 'set'"},
                                       {"1, 'was set'", "2, NULL"},
                                       {"1|NULL", "2|set"},
                                       "2 read from FROM table, 2 read from TO table.",
                                       "0 deleted, 2 updated and 0 inserted."},
                             // A character key feeding an integer key compares as a number:
                             // "007" is the stored row of target key 7.
                             MatchCase{"CharacterKeyMatchesIntegerKey",
                                       {"'007', 'same'", "'008', 'new'"},
                                       {"7, 'same'", "8, 'old'"},
                                       {"7|same", "8|new"},
                                       "2 read from FROM table, 2 read from TO table.",
                                       "0 deleted, 1 updated and 0 inserted.",
                                       "K VARCHAR(10), NAME VARCHAR(20)"},
                             // Nothing to compare: rows are only inserted and deleted.
                             MatchCase{"OnlyKeyColumnsAreNeverUpdated",
                                       {"1, 'x'", "2, 'y'"},
                                       {"1, 'kept'", "3, 'gone'"},
                                       {"1|kept", "2|NULL"},
                                       "2 read from FROM table, 2 read from TO table.",
                                       "1 deleted, 0 updated and 1 inserted.",
                                       kColumns,
                                       kColumns,
                                       ""}),
                         [](const ::testing::TestParamInfo<MatchCase>& info) {
                           return std::string(info.param.name);
                         });

// A key that several source rows share must not add rows to the target on
// every run.
TEST_F(CopyRunTest, SharedSourceKeysNeverMultiplyTargetRows) {
  table(source(), "A", kColumns, {"1, 'a'", "1, 'b'", "2, 'c'"});
  table(target(), "B", kColumns, {});
  ASSERT_TRUE(load(replication()));
  EXPECT_TRUE(run());
  EXPECT_EQ(line("Output table statistics:"),
            "Output table statistics: 0 deleted, 0 updated and 3 inserted.");
  // Both target rows of key 1 take the values of the row stored last, once.
  for (const char* statistics :
       {"0 deleted, 1 updated and 0 inserted.", "0 deleted, 0 updated and 0 inserted."}) {
    EXPECT_TRUE(run());
    EXPECT_EQ(line("Output table statistics:"),
              std::string("Output table statistics: ") + statistics);
  }
  std::vector<std::string> rows = contents(target(), "SELECT K, NAME FROM B ORDER BY K");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], rows[1]);
  EXPECT_EQ(rows[2], "2|c");
}

TEST_F(CopyRunTest, RowsWithANullKeyAreNeverMatched) {
  table(source(), "A", kColumns, {"NULL, 'no key'", "1, 'one'", "3, NULL"});
  table(target(), "B", kColumns, {"NULL, 'kept'", "2, 'gone'"});
  ASSERT_TRUE(load(replication()));
  EXPECT_TRUE(run());
  EXPECT_EQ(
      texts(),
      (std::vector<std::string>{
          "---------------------------------------------------------------------",
          "Starting processing copy definition C",
          "Starting to copy rows from A in SRC to temporary file",
          "Row 1 of copy definition C has a NULL key value and is not copied",
          "2 rows copied to temporary file", "Starting to read records for update from B in DST",
          "Row 1 of table B in copy definition C has a NULL key value and is neither "
          "updated nor deleted",
          "Starting to copy new records from the temporary file",
          "Table counts: 3 read from FROM table (2 actually used), 2 read from TO table.",
          "Output table statistics: 1 deleted, 0 updated and 2 inserted.",
          "Ending processing copy definition C"}));
  EXPECT_EQ(texts(Note).size(), 2u);
  const std::vector<std::string> replicated = {"NULL|kept", "1|one", "3|NULL"};
  EXPECT_EQ(contents(target(), "SELECT K, NAME FROM B ORDER BY rowid"), replicated);

  // Neither NULL-key row multiplies; the NULL name compares equal to itself.
  for (int again = 0; again < 2; ++again) {
    EXPECT_TRUE(run());
    EXPECT_EQ(line("Output table statistics:"),
              "Output table statistics: 0 deleted, 0 updated and 0 inserted.");
  }
  EXPECT_EQ(contents(target(), "SELECT K, NAME FROM B ORDER BY rowid"), replicated);
}

// A transform of the NAME column, run once by a simple copy into P and once
// by a replication into B.
struct TransformCase {
  const char* name;
  std::string columnOptions;  // on the COPY NAME command
  std::string definitions;    // the paragraphs it names
  std::string sourceValue, replicatedValue;
};

void PrintTo(const TransformCase& c, std::ostream* out) { *out << c.name; }

class TransformTest : public CopyRunTest, public ::testing::WithParamInterface<TransformCase> {};

TEST_P(TransformTest, AppliesOnlyInAReplication) {
  const TransformCase& c = GetParam();
  table(source(), "A", kColumns, {"1, '" + c.sourceValue + "'"});
  table(target(), "B", kColumns);
  table(target(), "P", kColumns);
  const std::string copyName = " COPY NAME " + c.columnOptions + "\n";
  ASSERT_TRUE(
      load("COPYDEFINITION: PLAIN\n FROM SRC TABLE=A REPLICATE=NO\n TO DST TABLE=P\n"
           " COPY K KEY=YES\n" +
           copyName + replication(copyName) + c.definitions));
  EXPECT_TRUE(run("PLAIN"));
  EXPECT_TRUE(run("C"));
  EXPECT_EQ(contents(target(), "SELECT NAME FROM P"), std::vector<std::string>{c.sourceValue});
  EXPECT_EQ(contents(target(), "SELECT NAME FROM B"), std::vector<std::string>{c.replicatedValue});

  // The stored row is compared after its transform, so it matches the target.
  EXPECT_TRUE(run("C"));
  EXPECT_EQ(line("Output table statistics:"),
            "Output table statistics: 0 deleted, 0 updated and 0 inserted.");
}

INSTANTIATE_TEST_SUITE_P(
    Columns, TransformTest,
    ::testing::Values(TransformCase{"Translate", "TRANS=T",
                                    "TRANSLATETABLE: T\n TRANS 'a' TO='o'\n TRANS X'20' TO='-'\n",
                                    "a bad cab", "o-bod-cob"},
                      TransformCase{"EditChange", "EDIT=E",
                                    "EDITDEFINITION: E\n CHANGE 'old' TO='new'\n", "old and old",
                                    "new and new"},
                      TransformCase{"EditFillsEmptyValue", "EDIT=E",
                                    "EDITDEFINITION: E\n CHANGE '' TO='none'\n", "", "none"},
                      TransformCase{"LeftTrim", "LEFTTRIM=YES", "", "ab   ", "ab"},
                      TransformCase{"LeftTrimKeepsOneBlank", "LEFTTRIM=YES", "", "   ", " "}),
    [](const ::testing::TestParamInfo<TransformCase>& info) {
      return std::string(info.param.name);
    });

// A CHANGE whose result contains its own text stops after 500 passes: the
// 501 letters do not fit the column's buffer and are never stored cut.
TEST_F(CopyRunTest, EditedValueLongerThanItsBufferStopsTheRun) {
  table(source(), "A", "K INTEGER, NAME VARCHAR(5)", {"1, 'A'"});
  table(target(), "B", kColumns);
  ASSERT_TRUE(load(replication(" COPY NAME EDIT=E\nEDITDEFINITION: E\n CHANGE A TO=AA\n")));
  const std::string buffer =
      std::to_string(definition().copyColumns.back().sourceColumn->description.bindingLength);
  EXPECT_FALSE(run());
  EXPECT_EQ(texts(Error), (std::vector<std::string>{"Edited value of column NAME is 501 bytes long "
                                                    "and does not fit its buffer of " +
                                                        buffer + " bytes",
                                                    "Processing could not be performed"}));
  EXPECT_TRUE(temporaryFiles().empty());
  EXPECT_TRUE(contents(target(), "SELECT * FROM B").empty());
}

TEST_F(CopyRunTest, CodedKeysAndValuesStayStableAcrossRuns) {
  table(source(), "A", kColumns, {"12345, 'Smith'", "678, 'Jones'"});
  table(target(), "B", kColumns);
  table(target(), "P", kColumns);
  ASSERT_TRUE(load(replication(" COPY NAME EDIT=E\nEDITDEFINITION: E\n CODED 4711\n", " EDIT=E") +
                   "COPYDEFINITION: PLAIN\n FROM SRC TABLE=A REPLICATE=NO ORDERBY=K\n"
                   " TO DST TABLE=P\n COPY K KEY=YES EDIT=E\n COPY NAME EDIT=E\n"));
  EXPECT_TRUE(run("PLAIN"));
  EXPECT_EQ(contents(target(), "SELECT K, NAME FROM P"),
            (std::vector<std::string>{"678|Jones", "12345|Smith"}));
  EXPECT_TRUE(run());
  // Stored in source order: 678 before 12345. Digits stay digits, and every
  // value keeps its length.
  std::vector<std::string> coded = contents(target(), "SELECT K, NAME FROM B ORDER BY rowid");
  ASSERT_EQ(coded.size(), 2u);
  EXPECT_EQ(
      contents(target(), "SELECT LENGTH(K), LENGTH(CAST(NAME AS BLOB)) FROM B ORDER BY rowid"),
      (std::vector<std::string>{"3|5", "5|5"}));
  EXPECT_TRUE(contents(target(),
                       "SELECT K FROM B WHERE K IN (678, 12345) OR NAME IN ('Jones', "
                       "'Smith')")
                  .empty());

  // The coded target keys are found again: nothing is deleted or inserted.
  EXPECT_TRUE(run());
  EXPECT_EQ(line("Output table statistics:"),
            "Output table statistics: 0 deleted, 0 updated and 0 inserted.");
  ASSERT_EQ(execSql(source(), {"UPDATE A SET NAME = 'Smyth' WHERE K = 12345"}), "");
  EXPECT_TRUE(run());
  EXPECT_EQ(line("Output table statistics:"),
            "Output table statistics: 0 deleted, 1 updated and 0 inserted.");
  std::vector<std::string> recoded = contents(target(), "SELECT K, NAME FROM B ORDER BY rowid");
  ASSERT_EQ(recoded.size(), 2u);
  EXPECT_EQ(recoded[0], coded[0]);
  EXPECT_EQ(recoded[1].substr(0, recoded[1].find('|')), coded[1].substr(0, coded[1].find('|')));
  EXPECT_NE(recoded[1], coded[1]);
}

TEST_F(CopyRunTest, UnchangedColumnIsInsertedButNeverUpdated) {
  table(source(), "A", "K INTEGER, NAME VARCHAR(20), X INTEGER", {"1, 'a', 10"});
  table(target(), "B", "K INTEGER, NAME VARCHAR(20), X INTEGER");
  ASSERT_TRUE(load(replication(" COPY NAME\n COPY X UNCHANGED=YES\n")));
  EXPECT_TRUE(run());
  EXPECT_EQ(contents(target(), "SELECT * FROM B"), std::vector<std::string>{"1|a|10"});

  ASSERT_EQ(execSql(source(), {"UPDATE A SET X = 20"}), "");
  EXPECT_TRUE(run());
  EXPECT_EQ(line("Output table statistics:"),
            "Output table statistics: 0 deleted, 0 updated and 0 inserted.");
  ASSERT_EQ(execSql(source(), {"UPDATE A SET NAME = 'b'"}), "");
  EXPECT_TRUE(run());
  EXPECT_EQ(line("Output table statistics:"),
            "Output table statistics: 0 deleted, 1 updated and 0 inserted.");
  EXPECT_EQ(contents(target(), "SELECT * FROM B"), std::vector<std::string>{"1|b|10"});
}

TEST_F(CopyRunTest, SetColumnsAreWrittenByEveryInsertAndUpdate) {
  FakeClock clock(localTime(2026, 3, 4, 12));
  const std::string targetColumns =
      "K INTEGER, NAME VARCHAR(20), S VARCHAR(20), N INTEGER, D VARCHAR(10), DT DATE, "
      "TS TIMESTAMP, DV DATE";
  const std::string old = "'old', 0, 'old', '2000-01-01', '2000-01-01 01:02:03', '2000-01-01'";
  table(source(), "A", kColumns, {"1, 'new'", "2, 'changed'", "3, 'same'"});
  table(target(), "B", targetColumns, {"2, 'before', " + old, "3, 'same', " + old});
  table(target(), "P", targetColumns);
  const std::string columns =
      " COPY NAME\n SET S VALUE='fixed'\n SET N VALUE=17\n SET D CURRENTDATE=YES\n"
      " SET DT CURRENTDATE=YES\n SET TS CURRENTDATE=YES\n SET DV VALUE='1999/12/31'\n";
  ASSERT_TRUE(load(replication(columns) +
                   "COPYDEFINITION: PLAIN\n FROM SRC TABLE=A REPLICATE=NO\n TO DST TABLE=P\n"
                   " COPY K KEY=YES\n" +
                   columns));
  EXPECT_TRUE(run("C"));
  EXPECT_EQ(line("Output table statistics:"),
            "Output table statistics: 0 deleted, 1 updated and 1 inserted.");
  const std::string set = "fixed|17|2026-03-04|2026-03-04|2026-03-04 00:00:00.000|1999-12-31";
  // A row that needs no update keeps its old values, SET columns included.
  EXPECT_EQ(
      contents(target(), "SELECT * FROM B ORDER BY K"),
      (std::vector<std::string>{"1|new|" + set, "2|changed|" + set,
                                "3|same|old|0|old|2000-01-01|2000-01-01 01:02:03|2000-01-01"}));
  EXPECT_TRUE(run("PLAIN"));
  EXPECT_EQ(contents(target(), "SELECT * FROM P WHERE K = 1"),
            std::vector<std::string>{"1|new|" + set});
}

TEST_F(CopyRunTest, FormatWritesIntegersIntoCharacterColumns) {
  table(source(), "A", "K INTEGER, N INTEGER, M INTEGER, L INTEGER", {"1, 42, 42, 42"});
  const std::string targetColumns = "K INTEGER, C VARCHAR(10), I INTEGER, W VARCHAR(10)";
  table(target(), "B", targetColumns);
  table(target(), "P", targetColumns);
  const std::string columns =
      " COPY N TO=C FORMAT=5IZ\n COPY M TO=I FORMAT=5IZ\n COPY L TO=W FORMAT=5I\n";
  ASSERT_TRUE(load(replication(columns, "", "K") +
                   "COPYDEFINITION: PLAIN\n FROM SRC TABLE=A REPLICATE=NO\n TO DST TABLE=P\n"
                   " COPY K KEY=YES\n" +
                   columns));
  EXPECT_TRUE(run("C"));
  EXPECT_TRUE(run("PLAIN"));
  for (const char* table : {"B", "P"}) {
    EXPECT_EQ(contents(target(), std::string("SELECT * FROM ") + table),
              std::vector<std::string>{"1|00042|42|   42"})
        << table;
  }
  // "00042" reads as 42: the formatted target is equal to its source.
  EXPECT_TRUE(run("C"));
  EXPECT_EQ(line("Output table statistics:"),
            "Output table statistics: 0 deleted, 0 updated and 0 inserted.");
  ASSERT_EQ(execSql(source(), {"UPDATE A SET N = 7"}), "");
  EXPECT_TRUE(run("C"));
  EXPECT_EQ(contents(target(), "SELECT C FROM B"), std::vector<std::string>{"00007"});
}

// A SELECT statement's columns are bound at their place in its result,
// whatever the order of the COPY commands.
TEST_F(CopyRunTest, SourceSelectStatementFeedsAReplication) {
  table(source(), "A", kColumns, {"1, 'one'", "2, 'two'"});
  table(target(), "B", kColumns, {"2, 'old'", "3, 'gone'"});
  ASSERT_TRUE(
      load("COPYDEFINITION: C\n FROM SRC SELECT='SELECT UPPER(NAME) AS NAME, K FROM A'\n"
           " TO DST TABLE=B UPDATE=KEYS\n COPY K KEY=YES\n COPY NAME\n"));
  EXPECT_TRUE(run());
  EXPECT_EQ(line("Output table statistics:"),
            "Output table statistics: 1 deleted, 1 updated and 1 inserted.");
  EXPECT_EQ(contents(target(), "SELECT K, NAME FROM B ORDER BY K"),
            (std::vector<std::string>{"1|ONE", "2|TWO"}));
}

TEST_F(CopyRunTest, QuotedNamesReachEveryStatement) {
  const std::string columns = "K INTEGER, \"first name\" VARCHAR(20)";
  table(source(), "A", columns, {"1, 'one'", "2, 'two'"});
  table(target(), "B", columns, {"2, 'old'", "3, 'gone'"});
  option("ListSQL=1");
  ASSERT_TRUE(
      load("COPYDEFINITION: C\n FROM SRC TABLE=A QUOTE=DOUBLE\n"
           " TO DST TABLE=B UPDATE=KEYS QUOTE=DOUBLE\n COPY K KEY=YES\n"
           " COPY 'first name'\n"));
  EXPECT_TRUE(run());
  EXPECT_EQ(texts(Note), (std::vector<std::string>{
                             "SRC: SELECT \"K\", \"first name\" FROM \"A\"",
                             "DST: SELECT \"K\", \"first name\", _ROWID_ FROM \"B\"",
                             "DST: UPDATE \"B\" SET \"first name\"=? WHERE _ROWID_ = ?",
                             "DST: DELETE FROM \"B\" WHERE _ROWID_ = ?",
                             "DST: INSERT INTO \"B\" (\"K\", \"first name\") VALUES(?, ?)"}));
  EXPECT_EQ(contents(target(), "SELECT * FROM B ORDER BY K"),
            (std::vector<std::string>{"1|one", "2|two"}));
}

// Both sides disconnect after every run and connect again for the next one.
TEST_F(CopyRunTest, DisconnectAfterEveryRun) {
  table(source(), "A", kColumns, {"1, 'one'"});
  table(target(), "B", kColumns);
  ASSERT_TRUE(
      load("COPYDEFINITION: C\n FROM SRC TABLE=A DISCONNECT=YES\n"
           " TO DST TABLE=B UPDATE=KEYS DISCONNECT=YES\n COPY K KEY=YES\n COPY NAME\n"));
  for (int runNumber = 1; runNumber <= 2; ++runNumber) {
    ASSERT_EQ(execSql(source(), {"UPDATE A SET NAME = 'run " + std::to_string(runNumber) + "'"}),
              "");
    EXPECT_TRUE(run());
    EXPECT_EQ(lastLines(3),
              (std::vector<LoggedLine>{{"Ending processing copy definition C", Normal},
                                       {"Disconnecting from SRC", Normal},
                                       {"Disconnecting from DST", Normal}}));
    EXPECT_FALSE(definition().sourceEndpoint->isConnected());
    EXPECT_FALSE(definition().targetEndpoint->isConnected());
    EXPECT_EQ(contents(target(), "SELECT K, NAME FROM B"),
              std::vector<std::string>{"1|run " + std::to_string(runNumber)});
  }
  EXPECT_TRUE(logged({"Connecting to SRC", Normal}));
  EXPECT_TRUE(logged({"Connecting to DST", Normal}));
}

// Rows changing different columns get different UPDATE statements; a row
// must never take the previous row's values.
TEST_F(CopyRunTest, EachUpdateSetsTheColumnsOfItsRow) {
  const std::string columns = "K INTEGER, NAME VARCHAR(20), X INTEGER";
  table(source(), "A", columns, {"1, 'one new', 1", "2, 'two', 22", "3, 'three new', 3"});
  table(target(), "B", columns, {"1, 'one', 1", "2, 'two', 2", "3, 'three', 3"});
  option("ListSQL=1");
  ASSERT_TRUE(load(replication(" COPY NAME\n COPY X\n")));
  EXPECT_TRUE(run());
  std::vector<std::string> updates;
  for (const std::string& text : texts(Note)) {
    if (text.rfind("DST: UPDATE", 0) == 0) updates.push_back(text);
  }
  EXPECT_EQ(updates, (std::vector<std::string>{"DST: UPDATE B SET NAME=? WHERE _ROWID_ = ?",
                                               "DST: UPDATE B SET X=? WHERE _ROWID_ = ?",
                                               "DST: UPDATE B SET NAME=? WHERE _ROWID_ = ?"}));
  EXPECT_EQ(contents(target(), "SELECT * FROM B ORDER BY K"),
            (std::vector<std::string>{"1|one new|1", "2|two|22", "3|three new|3"}));
}

// Long texts travel whole through the temporary file; a row too large for
// its record buffer stops the run instead of being cut.
TEST_F(CopyRunTest, LongTextsAreCopiedWholeOrNotAtAll) {
  const std::string columns = "K INTEGER, NAME TEXT, X TEXT";
  const std::string longText(20000, 'a');
  table(source(), "A", columns, {"1, '" + longText + "', 'short'"});
  table(target(), "B", columns);
  ASSERT_TRUE(load(replication(" COPY NAME\n COPY X\n")));
  EXPECT_TRUE(run());
  EXPECT_EQ(contents(target(), "SELECT LENGTH(NAME), X FROM B"),
            std::vector<std::string>{"20000|short"});
  EXPECT_TRUE(run());
  EXPECT_EQ(line("Output table statistics:"),
            "Output table statistics: 0 deleted, 0 updated and 0 inserted.");

  ASSERT_EQ(execSql(source(), {"UPDATE A SET X = NAME"}), "");
  EXPECT_FALSE(run());
  EXPECT_EQ(texts(Error),
            (std::vector<std::string>{
                "Error writing to temporary file",
                "Record of 40044 bytes exceeds the temporary file's record buffer of 32000 bytes",
                "Processing could not be performed"}));
  EXPECT_TRUE(temporaryFiles().empty());
  EXPECT_EQ(contents(target(), "SELECT LENGTH(NAME), X FROM B"),
            std::vector<std::string>{"20000|short"});
}

// Rows are matched on every key column; a DELETE or UPDATE names the one
// row the walk fetched by its rowid.
TEST_F(CopyRunTest, CompositeKeysMatchOnEveryKeyColumn) {
  const std::string columns = "K INTEGER, K2 VARCHAR(5), NAME VARCHAR(20)";
  table(source(), "A", columns, {"1, 'a', 'new'", "1, 'b', 'added'"});
  table(target(), "B", columns,
        {"1, 'a', 'old'", "1, 'c', 'gone'", "2, 'a', 'gone'", "1, NULL, 'no key'"});
  option("ListSQL=1");
  ASSERT_TRUE(load(replication(" COPY K2 KEY=YES\n COPY NAME\n")));
  EXPECT_TRUE(run());
  EXPECT_TRUE(logged({"DST: DELETE FROM B WHERE _ROWID_ = ?", Note}));
  EXPECT_TRUE(logged({"DST: UPDATE B SET NAME=? WHERE _ROWID_ = ?", Note}));
  EXPECT_TRUE(
      logged({"Row 4 of table B in copy definition C has a NULL key value and is neither "
              "updated nor deleted",
              Note}));
  EXPECT_EQ(line("Output table statistics:"),
            "Output table statistics: 2 deleted, 1 updated and 1 inserted.");
  EXPECT_EQ(contents(target(), "SELECT * FROM B ORDER BY rowid"),
            (std::vector<std::string>{"1|a|new", "1|NULL|no key", "1|b|added"}));
}

// FROM WHERE narrows the source, so that target rows of the rows left out are
// deleted; TO WHERE narrows the target, whose other rows are left alone: the
// walk reads only its rows, and every DELETE and UPDATE holds the condition.
TEST_F(CopyRunTest, WhereConditionsNarrowEachSide) {
  table(source(), "A", kColumns, {"1, 'one'", "2, 'two'", "3, 'three'"});
  table(target(), "B", kColumns, {"1, 'one'", "2, 'two'", "50, 'outside'"});
  option("ListSQL=1");
  ASSERT_TRUE(
      load("COPYDEFINITION: C\n FROM SRC TABLE=A WHERE='K > 1' ORDERBY=K\n"
           " TO DST TABLE=B UPDATE=KEYS WHERE='K < 10'\n COPY K KEY=YES\n COPY NAME\n"));
  EXPECT_TRUE(run());
  EXPECT_TRUE(logged({"SRC: SELECT K, NAME FROM A WHERE K > 1 ORDER BY K", Note}));
  EXPECT_TRUE(logged({"DST: SELECT K, NAME, _ROWID_ FROM B WHERE K < 10", Note}));
  EXPECT_TRUE(logged({"DST: DELETE FROM B WHERE _ROWID_ = ? AND (K < 10)", Note}));
  EXPECT_EQ(line("Table counts:"), "Table counts: 2 read from FROM table, 2 read from TO table.");
  EXPECT_EQ(contents(target(), "SELECT K, NAME FROM B ORDER BY K"),
            (std::vector<std::string>{"2|two", "3|three", "50|outside"}));
}

// Values of every kind, also converted to another kind on the way, compare
// equal to their source once copied: a second run changes nothing. SQLite
// keeps a timestamp as the text its driver writes, with milliseconds.
TEST_F(CopyRunTest, CopiedValuesOfEveryKindCompareEqual) {
  table(source(), "A",
        "K INTEGER, I INTEGER, R DOUBLE, D DATE, T TIMESTAMP, TM TIME, TX VARCHAR(10), "
        "IX INTEGER, DX DATE, BL BLOB",
        {"1, 12, 2.5, '2020-01-02', '2020-01-02 03:04:05', '12:30:15', '34', 56, '1999-12-31', "
         "X'00FF1000'",
         "2, -7, -0.125, '1900-01-01', '2021-06-30 23:59:59.5', '00:00:00', ' 8', 0, '2000-02-29', "
         "X''",
         "3, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL"});
  table(target(), "B",
        "K INTEGER, I INTEGER, R DOUBLE, D DATE, T TIMESTAMP, TM TIME, TX INTEGER, "
        "IX VARCHAR(10), DX VARCHAR(10), BL BLOB");
  ASSERT_TRUE(load(replication(
      " COPY I\n COPY R\n COPY D\n COPY T\n COPY TM\n COPY TX\n COPY IX\n COPY DX\n COPY BL\n", "",
      "K")));
  EXPECT_TRUE(run());
  EXPECT_EQ(contents(target(), "SELECT K, I, R, D, T, TM, TX, IX, DX, HEX(BL) FROM B ORDER BY K"),
            (std::vector<std::string>{
                "1|12|2.5|2020-01-02|2020-01-02 03:04:05.000|12:30:15|34|56|1999-12-31|00FF1000",
                "2|-7|-0.125|1900-01-01|2021-06-30 23:59:59.500|00:00:00|8|0|2000-02-29|",
                "3|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|"}));
  EXPECT_TRUE(run());
  EXPECT_EQ(line("Output table statistics:"),
            "Output table statistics: 0 deleted, 0 updated and 0 inserted.");
}

}  // namespace
}  // namespace kestrel::test
