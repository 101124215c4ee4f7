// The paths of a copy definition run against SQLite: simple copy, skipped and
// retried runs, input limits, the zero-rows guard, cancel, values that do not
// fit their buffers, refused statements, and what stays in the target when a
// run stops early.

#include "copy_run_fixture.h"

namespace kestrel::test {
namespace {

const char kColumns[] = "K INTEGER, NAME VARCHAR(20)";
const char kProcessingFailed[] = "Processing could not be performed";

// A copy definition C of table A (SRC) into B (DST). `from` holds extra FROM
// keywords.
std::string definitionC(const std::string& from = "") {
  return "COPYDEFINITION: C\n FROM SRC TABLE=A ORDERBY=K" + from +
         "\n TO DST TABLE=B UPDATE=KEYS\n COPY K KEY=YES\n COPY NAME\n";
}

// INSERT values for keys first..last, each with the name "n<key>".
std::vector<std::string> numberedRows(int first, int last) {
  std::vector<std::string> rows;
  for (int k = first; k <= last; ++k)
    rows.push_back(std::to_string(k) + ", 'n" + std::to_string(k) + "'");
  return rows;
}

TEST_F(CopyRunTest, SimpleCopyInsertsEveryRowWithoutATemporaryFile) {
  table(source(), "A", kColumns, {"1, 'one'", "2, 'two'", "3, 'three'"});
  table(target(), "B", kColumns, {"1, 'old'"});
  // A simple copy never creates the temporary file, so its folder may be missing.
  option("TempFile=" + folder_.file("missing/k.tmp"));
  ASSERT_TRUE(load(definitionC(" REPLICATE=NO")));
  EXPECT_TRUE(run());
  EXPECT_EQ(texts(),
            (std::vector<std::string>{
                "---------------------------------------------------------------------",
                "Starting processing copy definition C", "Starting copying records to B in DST",
                "Table counts: 3 rows copied", "Ending processing copy definition C"}));
  EXPECT_EQ(contents(target(), "SELECT K, NAME FROM B ORDER BY rowid"),
            (std::vector<std::string>{"1|old", "1|one", "2|two", "3|three"}));
  EXPECT_EQ(windows_.operations, std::vector<std::string>{"Copying rows directly to target table"});
}

TEST_F(CopyRunTest, SimpleCopyWithNoUpdateInsertsNothing) {
  table(source(), "A", kColumns, {"1, 'one'", "2, 'two'"});
  table(target(), "B", kColumns);
  option("NoUpdate=1");
  option("ListSQL=1");
  ASSERT_TRUE(load(definitionC(" REPLICATE=NO")));
  EXPECT_TRUE(run());
  EXPECT_EQ(texts(Note), (std::vector<std::string>{
                             "SRC: SELECT K, NAME FROM A ORDER BY K",
                             "DST: INSERT INTO B (K, NAME) VALUES(?, ?)",
                             "DST: INSERT INTO B (K, NAME) VALUES(?, ?)",
                             "WARNING: No updates were performed - updates were surpressed using "
                             "an option in preferences"}));
  EXPECT_EQ(line("Table counts:"), "Table counts: 2 rows copied");
  EXPECT_TRUE(contents(target(), "SELECT * FROM B").empty());
}

TEST_F(CopyRunTest, RetryNumberIsAddedToTheStartLine) {
  table(source(), "A", kColumns);
  table(target(), "B", kColumns);
  ASSERT_TRUE(load(definitionC()));
  EXPECT_TRUE(run("C", 0));
  EXPECT_EQ(texts()[1], "Starting processing copy definition C");
  EXPECT_TRUE(run("C", 2));
  EXPECT_EQ(texts()[1], "Starting processing copy definition C (retry number 2)");
}

TEST_F(CopyRunTest, InactiveDefinitionWritesOneNoteAndConnectsNowhere) {
  // NOWHERE is no data source at all: any connection attempt would fail.
  ASSERT_TRUE(
      load("COPYDEFINITION: C\n FROM NOWHERE TABLE=A INACTIVE=YES\n"
           " TO NOWHERE TABLE=B UPDATE=KEYS\n COPY K KEY=YES\n"));
  EXPECT_TRUE(run());
  EXPECT_EQ(lines_, (std::vector<LoggedLine>{
                        {"Copy definition C ignored due to INACTIVE flag in FROM command", Note}}));
  EXPECT_FALSE(definition().busy);
}

struct LimitCase {
  const char* name;
  std::string from;                  // FROM keywords
  std::vector<std::string> written;  // target keys after the run
  std::string counts;
};

void PrintTo(const LimitCase& c, std::ostream* out) { *out << c.name; }

class InputLimitTest : public CopyRunTest, public ::testing::WithParamInterface<LimitCase> {};

TEST_P(InputLimitTest, LimitsTheRowsStored) {
  const LimitCase& c = GetParam();
  table(source(), "A", kColumns, numberedRows(1, 10));
  table(target(), "B", kColumns);
  ASSERT_TRUE(load(definitionC(c.from)));
  EXPECT_TRUE(run());
  EXPECT_EQ(contents(target(), "SELECT K FROM B ORDER BY K"), c.written);
  EXPECT_EQ(line("Table counts:"), "Table counts: " + c.counts);
}

INSTANTIATE_TEST_SUITE_P(
    EveryAndFirst, InputLimitTest,
    ::testing::Values(
        // One row in n + 2, the first taken being row n + 2.
        LimitCase{"Every3",
                  " EVERY=3",
                  {"5", "10"},
                  "10 read from FROM table (2 actually used), 0 read from TO table."},
        LimitCase{"Every1TakesAll",
                  " EVERY=1",
                  {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"},
                  "10 read from FROM table, 0 read from TO table."},
        // Reading stops once the file holds FIRST rows.
        LimitCase{
            "First3", " FIRST=3", {"1", "2", "3"}, "3 read from FROM table, 0 read from TO table."},
        LimitCase{
            "First0StoresOne", " FIRST=0", {"1"}, "1 read from FROM table, 0 read from TO table."},
        LimitCase{"IgnoredInASimpleCopy",
                  " EVERY=3 FIRST=3 REPLICATE=NO",
                  {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"},
                  "10 rows copied"}),
    [](const ::testing::TestParamInfo<LimitCase>& info) { return std::string(info.param.name); });

TEST_F(CopyRunTest, ZeroSourceRowsAbortOnlyWithCheckForZeroRows) {
  table(source(), "A", kColumns);
  table(target(), "B", kColumns, {"1, 'a'", "2, 'b'"});
  option("CheckForZeroRows=1");
  ASSERT_TRUE(load(definitionC()));
  EXPECT_FALSE(run());
  EXPECT_EQ(lastLines(3),
            (std::vector<LoggedLine>{{"0 rows copied to temporary file", Normal},
                                     {"Operation aborted due to CheckForZeroRows preferences "
                                      "option and zero rows read from input table",
                                      Error},
                                     {kProcessingFailed, Error}}));
  EXPECT_EQ(contents(target(), "SELECT K FROM B ORDER BY K"), (std::vector<std::string>{"1", "2"}));
  EXPECT_TRUE(temporaryFiles().empty());
  EXPECT_FALSE(definition().busy);

  option("CheckForZeroRows=0");
  EXPECT_TRUE(run());
  EXPECT_EQ(line("Output table statistics:"),
            "Output table statistics: 2 deleted, 0 updated and 0 inserted.");
  EXPECT_TRUE(contents(target(), "SELECT K FROM B").empty());
}

// Where a run is stopped: at the first pump that finds the status display
// showing this operation and row number.
struct CancelCase {
  const char* name;
  std::string from;  // FROM keywords
  std::string operation, rowNumber;
  bool byProgramStop;             // the program is asked to end instead of the operator cancelling
  std::vector<std::string> kept;  // target rows after the run, "key|name"
  bool rolledBack;                // uncommitted changes were rolled back
  std::string option = {};        // set before the run
};

void PrintTo(const CancelCase& c, std::ostream* out) { *out << c.name; }

const char kRolledBack[] = "Changes not committed to B in DST were rolled back";

// Plays the operator: confirms Cancel once the status display shows the
// operation and row number.
class CancellingPump final : public MessagePump {
 public:
  CancellingPump(const RecordingStatusWindows& windows, const CancelCase& when)
      : windows_(windows), when_(when) {
    setProgramMessagePump(this);
  }
  ~CancellingPump() override {
    setProgramMessagePump(nullptr);
    clearProgramStop();
  }
  void pumpMessages() override {
    if (!windows_.display() || windows_.value("Current operation:") != when_.operation ||
        windows_.value("Processing row number:") != when_.rowNumber)
      return;
    if (when_.byProgramStop)
      requestProgramStop();
    else
      windows_.display()->RequestCancel();
  }

 private:
  const RecordingStatusWindows& windows_;
  const CancelCase& when_;
};

class CancelTest : public CopyRunTest, public ::testing::WithParamInterface<CancelCase> {};

// Source rows 1 to 6 all differ from target rows 1 to 6 ("old"), so that a
// replication updates every target row.
TEST_P(CancelTest, StopsAtTheNextRowKeepingWhatWasCommitted) {
  const CancelCase& c = GetParam();
  table(source(), "A", kColumns, numberedRows(1, 6));
  std::vector<std::string> old;
  for (int k = 1; k <= 6; ++k) old.push_back(std::to_string(k) + ", 'old'");
  table(target(), "B", kColumns, old);
  if (!c.option.empty()) option(c.option);
  ASSERT_TRUE(load(definitionC(c.from)));
  {
    CancellingPump pump(windows_, c);
    EXPECT_FALSE(run());
  }
  const std::string stopLine = c.byProgramStop ? "Run stopped: the program was asked to end"
                                               : "CANCEL pressed by operator...";
  std::vector<LoggedLine> ending = {{stopLine, Error}, {kProcessingFailed, Error}};
  if (c.rolledBack) ending.insert(ending.begin() + 1, {kRolledBack, Error});
  EXPECT_EQ(lastLines(ending.size()), ending);
  EXPECT_TRUE(temporaryFiles().empty());
  EXPECT_FALSE(definition().busy);
  EXPECT_EQ(contents(target(), "SELECT K, NAME FROM B ORDER BY rowid"), c.kept);

  // The cursors left open by the stop do not hinder the next run.
  EXPECT_TRUE(run());
  if (c.from.empty()) {
    EXPECT_EQ(contents(target(), "SELECT K, NAME FROM B ORDER BY K"),
              (std::vector<std::string>{"1|n1", "2|n2", "3|n3", "4|n4", "5|n5", "6|n6"}));
  }
}

// A run is one transaction on the target: a stopped run leaves it as it was,
// except for the batches that MaxBeforeCommit committed before the stop.
const std::vector<std::string> kAllOld = {"1|old", "2|old", "3|old", "4|old", "5|old", "6|old"};

INSTANTIATE_TEST_SUITE_P(
    Runs, CancelTest,
    ::testing::Values(
        CancelCase{"SimpleCopy", " REPLICATE=NO", "Copying rows directly to target table", "3",
                   false, kAllOld, true},
        CancelCase{"SimpleCopyInBatches",
                   " REPLICATE=NO",
                   "Copying rows directly to target table",
                   "3",
                   false,
                   {"1|old", "2|old", "3|old", "4|old", "5|old", "6|old", "1|n1", "2|n2"},
                   true,
                   "MaxBeforeCommit=2"},
        CancelCase{"WhileFillingTheTemporaryFile", "", "Copying rows to temporary file", "3", false,
                   kAllOld, false},
        CancelCase{"WhileUpdating", "", "Updating existing rows in TO table", "5", false, kAllOld,
                   true},
        CancelCase{"WhileUpdatingInBatches",
                   "",
                   "Updating existing rows in TO table",
                   "5",
                   false,
                   {"1|n1", "2|n2", "3|n3", "4|old", "5|old", "6|old"},
                   true,
                   "MaxBeforeCommit=3"},
        CancelCase{"ByProgramStop", "", "Updating existing rows in TO table", "2", true, kAllOld,
                   true}),
    [](const ::testing::TestParamInfo<CancelCase>& info) { return std::string(info.param.name); });

TEST_F(CopyRunTest, CancelIsIgnoredWhenNotActive) {
  table(source(), "A", kColumns, numberedRows(1, 3));
  table(target(), "B", kColumns);
  option("CancelActive=0");
  ASSERT_TRUE(load(definitionC()));
  CancelCase when{"", "", "Copying rows to temporary file", "1", false, {}};
  CancellingPump pump(windows_, when);
  EXPECT_TRUE(run());
  EXPECT_EQ(contents(target(), "SELECT K FROM B ORDER BY K"),
            (std::vector<std::string>{"1", "2", "3"}));
}

class LongValueTest : public CopyRunTest, public ::testing::WithParamInterface<const char*> {};

// SQLite keeps a text of any length in a VARCHAR(5) column; its fetch into
// the column's buffer then reports the value cut.
TEST_P(LongValueTest, StopsTheRunNamingTheColumn) {
  table(source(), "A", "K INTEGER, NAME VARCHAR(5)",
        {"1, 'short'", "2, '" + std::string(50, 'x') + "'", "3, 'after'"});
  table(target(), "B", kColumns, {"9, 'kept'"});
  ASSERT_TRUE(load(definitionC(GetParam())));
  const std::string buffer =
      std::to_string(definition().copyColumns.back().sourceColumn->description.bindingLength);
  EXPECT_FALSE(run());
  std::vector<LoggedLine> ending = {{"Value of column NAME in table A in data source SRC is "
                                     "longer than its buffer of " +
                                         buffer + " bytes; it is not copied cut short",
                                     Error},
                                    {kProcessingFailed, Error}};
  // The simple copy had inserted the row before: rolled back.
  if (std::string(GetParam()).find("REPLICATE=NO") != std::string::npos)
    ending.insert(ending.begin() + 1, {kRolledBack, Error});
  EXPECT_EQ(lastLines(ending.size()), ending);
  EXPECT_TRUE(temporaryFiles().empty());
  EXPECT_EQ(contents(target(), "SELECT K, NAME FROM B ORDER BY rowid"),
            std::vector<std::string>{"9|kept"});

  // Nothing of the failed run stays in the way of the next one.
  ASSERT_EQ(execSql(source(), {"UPDATE A SET NAME = 'fixed' WHERE K = 2"}), "");
  EXPECT_TRUE(run());
  EXPECT_EQ(contents(target(), "SELECT COUNT(*) FROM B WHERE NAME = 'fixed'"),
            std::vector<std::string>{"1"});
}

INSTANTIATE_TEST_SUITE_P(Runs, LongValueTest, ::testing::Values(" REPLICATE=NO", ""),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           return std::string(*info.param ? "SimpleCopy" : "Replication");
                         });

// The target refuses one kind of statement (a trigger raising an error).
// Source 1 and 2 against target 2 and 3: the walk updates 2 and deletes 3,
// then 1 is inserted. Whichever statement is refused, the run stops there,
// fails, and leaves the target as it was.
struct RefusalCase {
  const char* name;
  std::string event;                  // INSERT, UPDATE or DELETE
  std::vector<LoggedLine> lastLines;  // after the driver's message
};

void PrintTo(const RefusalCase& c, std::ostream* out) { *out << c.name; }

class RefusedStatementTest : public CopyRunTest,
                             public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(RefusedStatementTest, FailsTheRunAndLeavesTheTargetAsItWas) {
  const RefusalCase& c = GetParam();
  table(source(), "A", kColumns, {"1, 'one'", "2, 'two new'"});
  table(target(), "B", kColumns, {"2, 'two'", "3, 'three'"});
  ASSERT_EQ(execSql(target(), {"CREATE TRIGGER REFUSE BEFORE " + c.event +
                               " ON B BEGIN SELECT RAISE(ABORT, 'refused'); END"}),
            "");
  ASSERT_TRUE(load(definitionC()));
  EXPECT_FALSE(run());
  std::vector<std::string> errors = texts(Error);
  ASSERT_FALSE(errors.empty());
  EXPECT_NE(errors.front().find("refused"), std::string::npos) << errors.front();
  EXPECT_EQ(lastLines(c.lastLines.size()), c.lastLines);
  EXPECT_EQ(line("Output table statistics:"), "(none)");
  EXPECT_TRUE(temporaryFiles().empty());
  EXPECT_EQ(contents(target(), "SELECT K, NAME FROM B ORDER BY rowid"),
            (std::vector<std::string>{"2|two", "3|three"}));

  // The next run completes the work.
  ASSERT_EQ(execSql(target(), {"DROP TRIGGER REFUSE"}), "");
  EXPECT_TRUE(run());
  EXPECT_EQ(contents(target(), "SELECT K, NAME FROM B ORDER BY K"),
            (std::vector<std::string>{"1|one", "2|two new"}));
}

INSTANTIATE_TEST_SUITE_P(
    Target, RefusedStatementTest,
    ::testing::Values(
        // A refused DELETE keeps the connection: the walk's update is rolled back on it.
        RefusalCase{"Delete", "DELETE", {{kRolledBack, Error}, {kProcessingFailed, Error}}},
        // The first statement of the run: nothing to roll back.
        RefusalCase{
            "Update", "UPDATE", {{"Disconnecting from DST", Normal}, {kProcessingFailed, Error}}},
        RefusalCase{"Insert",
                    "INSERT",
                    {{kRolledBack, Error},
                     {"Disconnecting from DST", Normal},
                     {kProcessingFailed, Error}}}),
    [](const ::testing::TestParamInfo<RefusalCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kestrel::test
