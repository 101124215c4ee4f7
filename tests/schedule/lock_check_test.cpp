// The lock check against real drivers: resolve finds the accept column and
// its kind, check reads every row and lets a run proceed only when all of
// them carry the accepted value. Each test looks at the exact log lines.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "base/message_log.h"
#include "engine/copy_definition.h"
#include "engine/definition_factory.h"
#include "engine/edit_definition.h"
#include "fakes.h"
#include "odbc/odbc.h"
#include "odbc_test_folder.h"
#include "schedule/lock_definition.h"
#include "script/definitions.h"
#include "script/script_reader.h"

namespace kestrel {
namespace {

using test::DatabaseKind;
using test::OdbcTestFolder;
using test::TestDatabase;

struct Line {
  std::string text;  // without the time stamp
  int kind;
  bool operator==(const Line&) const = default;
};

void PrintTo(const Line& line, std::ostream* out) {
  *out << "{" << line.kind << ", \"" << line.text << "\"}";
}

using Lines = std::vector<Line>;

constexpr const char* kNoSuchSource = "kt_no_such_dsn";

Lines opening(const std::string& source) {
  return {{"Checking LOCKDEFINITION 'GATE'", Normal}, {"Connecting to " + source, Normal}};
}

Lines operator+(Lines a, const Lines& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const Line kFailed{"Check of LOCKDEFINITION 'GATE' failed", Note};
const Line kPassed{"LOCKDEFINITION 'GATE' checked and found OK. Processing will be initiated.",
                   Normal};

Line disconnecting(const std::string& source) { return {"Disconnecting from " + source, Normal}; }

// A lock source with a table of its own: `n` orders the rows, `status` is
// the accept column.
class LockFixture {
 protected:
  void SetUpDatabase(DatabaseKind kind) {
    db_ = folder_.database(kind);
    table_ = test::uniqueTableName("lock");
    log_.Configure(MessageLog::kMaxMaxLines, "", false);
    log_.setLineListener([this](const LogLine& line) {
      // "YYYY-MM-DD HH:MM:SS" and two blanks.
      lines_.push_back({line.text.substr(21), line.kind});
    });
    lock_.source = db_.dsn;
    lock_.userid = db_.user;
    lock_.password = db_.password;
    lock_.select = "SELECT status FROM " + table_ + " ORDER BY n";
    lock_.acceptColumn = "status";
  }

  void TearDownDatabase() {
    if (!table_.empty()) test::execSql(db_, {"DROP TABLE " + table_});
  }

  // `values` are SQL literals, inserted in this order.
  void createTable(const std::string& statusType, const std::vector<std::string>& values) {
    std::vector<std::string> statements = {"CREATE TABLE " + table_ + " (n INTEGER, status " +
                                           statusType + ")"};
    for (std::size_t i = 0; i < values.size(); ++i) {
      statements.push_back("INSERT INTO " + table_ + " VALUES (" + std::to_string(i + 1) + ", " +
                           values[i] + ")");
    }
    ASSERT_EQ(test::execSql(db_, statements), "");
  }

  // Runs one operation and returns its lines; nothing may stay connected.
  template <typename Operation>
  Lines linesOf(Operation operation, bool& result) {
    lines_.clear();
    result = operation();
    EXPECT_TRUE(odbcEnvironment().connections().empty());
    return lines_;
  }
  Lines resolve(bool& result) {
    return linesOf([this] { return lock_.resolve(log_, model_); }, result);
  }
  Lines check(bool& result) {
    return linesOf([this] { return lock_.check(log_); }, result);
  }

  std::string lastError() const { return odbcEnvironment().lastError(); }

  OdbcTestFolder folder_{{"SRC", "DST"}};
  test::RecordingMessageBox boxes_;
  TestDatabase db_;
  std::string table_;
  Lines lines_;
  MessageLog log_;
  ScriptModel model_{log_};
  LockDefinition lock_{"GATE"};
};

// One table of values checked against one accept value.
struct CheckCase {
  const char* name;
  const char* statusType;
  std::vector<std::string> values;
  const char* acceptValue;
  const char* refusal;  // the Error line of a refused check; nullptr when accepted
};

void PrintTo(const CheckCase& c, std::ostream* out) { *out << c.name; }

class CheckTest : public LockFixture,
                  public ::testing::TestWithParam<std::tuple<DatabaseKind, CheckCase>> {
 protected:
  void SetUp() override {
    KESTREL_REQUIRE_DATABASE(std::get<0>(GetParam()));
    SetUpDatabase(std::get<0>(GetParam()));
  }
  void TearDown() override { TearDownDatabase(); }
};

TEST_P(CheckTest, AcceptsOnlyWhenEveryRowCarriesTheValue) {
  const CheckCase& c = std::get<1>(GetParam());
  createTable(c.statusType, c.values);
  lock_.acceptValue = c.acceptValue;

  bool resolved = false;
  EXPECT_EQ(resolve(resolved), (opening(db_.dsn) + Lines{disconnecting(db_.dsn)}));
  ASSERT_TRUE(resolved);

  bool accepted = false;
  Lines lines = check(accepted);
  Lines expected = opening(db_.dsn) + Lines{disconnecting(db_.dsn)};
  if (c.refusal) {
    expected = expected + Lines{{c.refusal, Error}, kFailed};
  } else {
    expected.push_back(kPassed);
  }
  EXPECT_EQ(lines, expected);
  EXPECT_EQ(accepted, c.refusal == nullptr);
  EXPECT_TRUE(boxes_.boxes.empty());
}

const CheckCase kEveryDriverCases[] = {
    {"IntegerAccepted", "INTEGER", {"1", "1"}, "1", nullptr},
    {"NoRows", "INTEGER", {}, "1", "No rows read from LOCKDEFINITION 'GATE'"},
    {"OneRowOfThreeDiffers",
     "INTEGER",
     {"1", "2", "1"},
     "1",
     "1 out of 3 row(s) read from LOCKDEFINITION 'GATE' did not have status = 1"},
    {"IntegerAcceptValueReadAsNumber", "INTEGER", {"7"}, "007", nullptr},
    {"NullIntegerAfterAcceptedRowDiffers",
     "INTEGER",
     {"1", "NULL"},
     "1",
     "1 out of 2 row(s) read from LOCKDEFINITION 'GATE' did not have status = 1"},
    {"SmallintNegative", "SMALLINT", {"-2"}, "-2", nullptr},
    {"TextWithTrailingBlanksAccepted", "VARCHAR(10)", {"'DONE  '", "'DONE'"}, "DONE", nullptr},
    {"AcceptValueWithTrailingBlanks", "VARCHAR(10)", {"'DONE'"}, "DONE  ", nullptr},
    {"TextCaseCounts",
     "VARCHAR(10)",
     {"'done'"},
     "DONE",
     "1 out of 1 row(s) read from LOCKDEFINITION 'GATE' did not have status = DONE"},
    {"LongerTextDiffers",
     "VARCHAR(10)",
     {"'DONE1'", "' DONE'"},
     "DONE",
     "2 out of 2 row(s) read from LOCKDEFINITION 'GATE' did not have status = DONE"},
    {"EmptyTextEqualsEmptyValue", "VARCHAR(10)", {"''"}, "", nullptr},
    {"DoubleAccepted", "DOUBLE PRECISION", {"0.5", "0.5"}, "0.5", nullptr},
    {"DoubleDiffers",
     "DOUBLE PRECISION",
     {"0.25"},
     "0.5",
     "1 out of 1 row(s) read from LOCKDEFINITION 'GATE' did not have status = 0.5"},
};

// SQLite's driver reports DECIMAL columns as VARCHAR; the servers report
// NUMERIC (PostgreSQL) and DECIMAL (MariaDB), compared as numbers. FLOAT(4)
// is single precision (SQL REAL) on both servers.
const CheckCase kDecimalCases[] = {
    {"DecimalOneAcceptsOne", "DECIMAL(5,1)", {"1.0"}, "1", nullptr},
    {"DecimalNegative", "DECIMAL(8,3)", {"-12.5", "-12.500"}, "-12.5", nullptr},
    {"DecimalDiffers",
     "DECIMAL(5,1)",
     {"1.0", "1.5"},
     "1",
     "1 out of 2 row(s) read from LOCKDEFINITION 'GATE' did not have status = 1"},
    {"NullDecimalIsNotZero",
     "DECIMAL(5,1)",
     {"NULL"},
     "0",
     "1 out of 1 row(s) read from LOCKDEFINITION 'GATE' did not have status = 0"},
    {"SinglePrecisionAccepted", "FLOAT(4)", {"0.1"}, "0.1", nullptr},
    {"SinglePrecisionDiffers",
     "FLOAT(4)",
     {"0.1"},
     "0.11",
     "1 out of 1 row(s) read from LOCKDEFINITION 'GATE' did not have status = 0.11"},
};

std::string caseName(const ::testing::TestParamInfo<std::tuple<DatabaseKind, CheckCase>>& info) {
  return test::databaseKindName(std::get<0>(info.param)) + "_" + std::get<1>(info.param).name;
}

INSTANTIATE_TEST_SUITE_P(EveryDriver, CheckTest,
                         ::testing::Combine(::testing::ValuesIn(test::allDatabaseKinds()),
                                            ::testing::ValuesIn(kEveryDriverCases)),
                         caseName);
INSTANTIATE_TEST_SUITE_P(Servers, CheckTest,
                         ::testing::Combine(::testing::Values(DatabaseKind::PostgreSQL,
                                                              DatabaseKind::MariaDB),
                                            ::testing::ValuesIn(kDecimalCases)),
                         caseName);

class DriverLockTest : public LockFixture, public ::testing::TestWithParam<DatabaseKind> {
 protected:
  void SetUp() override {
    KESTREL_REQUIRE_DATABASE(GetParam());
    SetUpDatabase(GetParam());
  }
  void TearDown() override { TearDownDatabase(); }
};

INSTANTIATE_TEST_SUITE_P(AllDrivers, DriverLockTest, ::testing::ValuesIn(test::allDatabaseKinds()),
                         [](const ::testing::TestParamInfo<DatabaseKind>& info) {
                           return test::databaseKindName(info.param);
                         });

TEST_P(DriverLockTest, DateAndTimeAcceptColumnsAreRefusedAtResolve) {
  std::string timestamp = GetParam() == DatabaseKind::MariaDB ? "DATETIME" : "TIMESTAMP";
  ASSERT_EQ(
      test::execSql(
          db_, {"CREATE TABLE " + table_ + " (n INTEGER, d DATE, t TIME, ts " + timestamp + ")",
                "INSERT INTO " + table_ +
                    " VALUES (1, '1997-02-03', '12:30:00', '1997-01-28 13:05:00')"}),
      "");
  for (const char* column : {"d", "t", "ts"}) {
    SCOPED_TRACE(column);
    lock_.select = "SELECT n, d, t, ts FROM " + table_;
    lock_.acceptColumn = column;
    lock_.acceptValue = "1997-02-03";
    bool resolved = true;
    EXPECT_EQ(resolve(resolved),
              (opening(db_.dsn) + Lines{{"Column '" + std::string(column) +
                                             "' cannot be DATE/TIME value in LOCKDEFINITION GATE",
                                         Error},
                                        disconnecting(db_.dsn)}));
    EXPECT_FALSE(resolved);
  }
}

TEST_P(DriverLockTest, ResolveKeepsTheColumnNumberAndKind) {
  createTable("INTEGER", {"1"});
  lock_.select = "SELECT n AS first, status FROM " + table_;
  lock_.acceptValue = " 42";
  bool resolved = false;
  resolve(resolved);
  ASSERT_TRUE(resolved);
  EXPECT_EQ(lock_.acceptDescription.number, 2);
  EXPECT_EQ(lock_.acceptDescription.name, "status");
  EXPECT_TRUE(lock_.acceptAsInteger);
  EXPECT_FALSE(lock_.acceptAsNumber);
  EXPECT_FALSE(lock_.acceptAsFloat);
  EXPECT_EQ(lock_.acceptInteger, 42);
}

class PostgreSQLLockTest : public LockFixture, public ::testing::Test {
 protected:
  void SetUp() override {
    KESTREL_REQUIRE_DATABASE(DatabaseKind::PostgreSQL);
    SetUpDatabase(DatabaseKind::PostgreSQL);
  }
};

// PostgreSQL reports a uuid column as SQL_GUID, for which there is no buffer
// type: it may stand beside the accept column, but cannot be one.
TEST_F(PostgreSQLLockTest, ColumnWithoutBufferTypeIsRefusedOnlyAsAcceptColumn) {
  lock_.select = "SELECT gen_random_uuid() AS id, 1 AS status";
  lock_.acceptValue = "1";
  bool resolved = false;
  resolve(resolved);
  EXPECT_TRUE(resolved) << lastError();
  EXPECT_TRUE(lock_.acceptAsInteger);

  lock_.acceptColumn = "id";
  EXPECT_EQ(
      resolve(resolved),
      (opening(db_.dsn) + Lines{{"Column 'id' has the SQL type -11, which cannot be bound", Error},
                                disconnecting(db_.dsn)}));
  EXPECT_FALSE(resolved);
}

class LockTest : public LockFixture, public ::testing::Test {
 protected:
  void SetUp() override { SetUpDatabase(DatabaseKind::SQLite); }
  void TearDown() override { TearDownDatabase(); }

  // Resolves against a table holding one accepted row.
  void resolveAccepted() {
    createTable("VARCHAR(10)", {"'DONE'"});
    lock_.acceptValue = "DONE";
    bool resolved = false;
    resolve(resolved);
    ASSERT_TRUE(resolved) << lastError();
  }
};

TEST_F(LockTest, ResolveFailuresEndAfterDisconnecting) {
  createTable("INTEGER", {"1"});
  struct Case {
    const char* name;
    std::string select;
    const char* acceptColumn;
    const char* error;  // nullptr: the driver's message
  };
  const Case cases[] = {
      {"ColumnNotFound", "SELECT n FROM " + table_, "status",
       "Column 'status' not found in select statement in LOCKDEFINITION 'GATE'"},
      {"ColumnNameCaseCounts", "SELECT status FROM " + table_, "STATUS",
       "Column 'STATUS' not found in select statement in LOCKDEFINITION 'GATE'"},
      {"SelectFails", "SELECT status FROM no_such_table", "status", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    lock_.select = c.select;
    lock_.acceptColumn = c.acceptColumn;
    bool resolved = true;
    Lines lines = resolve(resolved);
    EXPECT_FALSE(resolved);
    std::string error = c.error ? c.error : lastError();
    EXPECT_EQ(lines, (opening(db_.dsn) + Lines{{error, Error}, disconnecting(db_.dsn)}));
    if (!c.error) {
      EXPECT_NE(error.find("no such table"), std::string::npos) << error;
    }
  }
  EXPECT_TRUE(boxes_.boxes.empty());
}

TEST_F(LockTest, ResolveCannotConnect) {
  lock_.source = kNoSuchSource;
  bool resolved = true;
  EXPECT_EQ(
      resolve(resolved),
      (opening(kNoSuchSource) +
       Lines{{"Cannot connect to ODBC source 'kt_no_such_dsn' in LOCKDEFINITION GATE", Error}}));
  EXPECT_FALSE(resolved);
}

TEST_F(LockTest, CheckCannotConnectStillWritesDisconnecting) {
  resolveAccepted();
  lock_.source = kNoSuchSource;
  bool accepted = true;
  Lines lines = check(accepted);
  EXPECT_FALSE(accepted);
  EXPECT_EQ(lines, (opening(kNoSuchSource) +
                    Lines{{lastError(), Error}, disconnecting(kNoSuchSource), kFailed}));
  EXPECT_NE(lastError().find("Data source name not found"), std::string::npos) << lastError();
}

TEST_F(LockTest, CheckFailsWhenTheSelectFailsLater) {
  resolveAccepted();
  ASSERT_EQ(test::execSql(db_, {"DROP TABLE " + table_}), "");
  bool accepted = true;
  Lines lines = check(accepted);
  EXPECT_FALSE(accepted);
  EXPECT_EQ(lines,
            (opening(db_.dsn) + Lines{{lastError(), Error}, disconnecting(db_.dsn), kFailed}));
  EXPECT_NE(lastError().find("no such table"), std::string::npos) << lastError();
  table_.clear();
}

TEST_F(LockTest, CheckBindsTheColumnByNumber) {
  createTable("VARCHAR(10)", {"'DONE'"});
  ASSERT_EQ(test::execSql(db_, {"ALTER TABLE " + table_ + " ADD COLUMN other VARCHAR(10)",
                                "UPDATE " + table_ + " SET other = 'DONE'"}),
            "");
  lock_.select = "SELECT n, status FROM " + table_;
  lock_.acceptValue = "DONE";
  bool result = false;
  resolve(result);
  ASSERT_TRUE(result);

  // The second column is read whatever its name is now.
  lock_.select = "SELECT n, other FROM " + table_;
  EXPECT_EQ(check(result).back(), kPassed);
  EXPECT_TRUE(result);

  // A result that no longer has a second column.
  lock_.select = "SELECT n FROM " + table_;
  EXPECT_EQ(check(result),
            (opening(db_.dsn) +
             Lines{{"Column status not found in result from LOCKDEFINITION 'GATE'", Error},
                   disconnecting(db_.dsn),
                   kFailed}));
  EXPECT_FALSE(result);
}

TEST_F(LockTest, RowThatCannotBeFetchedFailsTheCheck) {
  // With StepAPI the SQLite driver computes each row as it is fetched:
  // abs() of the smallest integer, in the third row, overflows. The rows
  // before it carry the accepted value.
  const std::string stepping = folder_.dsn("kt_sqlite_step");
  std::ofstream(folder_.odbcIni(), std::ios::app)
      << "[" << stepping << "]\nDriver=SQLite3\nDatabase=" << folder_.file("a.db")
      << "\nStepAPI=1\n\n";
  createTable("INTEGER", {"-1", "-1", "-9223372036854775807 - 1"});
  lock_.source = stepping;
  lock_.select = "SELECT abs(status) AS status FROM " + table_;
  lock_.acceptValue = "1";
  bool result = false;
  resolve(result);
  ASSERT_TRUE(result) << lastError();
  Lines lines = check(result);
  EXPECT_FALSE(result);
  EXPECT_EQ(lines,
            (opening(stepping) + Lines{{lastError(), Error}, disconnecting(stepping), kFailed}));
  EXPECT_NE(lastError().find("overflow"), std::string::npos) << lastError();
}

TEST_F(LockTest, NoMessageBoxAndTheSilentFlagIsKept) {
  ASSERT_TRUE(odbcEnvironment().open(false));
  lock_.source = kNoSuchSource;
  bool result = true;
  resolve(result);
  check(result);
  EXPECT_FALSE(result);
  EXPECT_TRUE(boxes_.boxes.empty());
  EXPECT_FALSE(odbcEnvironment().silent());
}

// A script whose LOCKDEFINITION is resolved while it is loaded.
class LockScriptTest : public LockTest {
 protected:
  bool load(const std::string& lockParagraph) {
    std::string file = folder_.file("script.txt");
    std::ofstream(file, std::ios::binary)
        << folder_.withFolderNames(
               "COPYDEFINITION: C\n FROM SRC TABLE=A LOCK=GATE\n TO DST TABLE=B\n COPY K KEY=YES\n")
        << lockParagraph;
    // The copy definition is resolved first and connects to its two sides.
    EXPECT_EQ(test::execSql(folder_.sqlite("SRC"), {"CREATE TABLE A (K INTEGER)"}), "");
    EXPECT_EQ(test::execSql(folder_.sqlite("DST"), {"CREATE TABLE B (K INTEGER)"}), "");
    ScriptReader reader(log_);
    reader.setFactory(&runnableDefinitions());
    reader.setModel(&model_);
    lines_.clear();
    return reader.Load(file);
  }
  std::string paragraph(const std::string& column) const {
    return "LOCKDEFINITION: GATE\n SOURCE '" + db_.dsn + "' SELECT='SELECT status FROM " + table_ +
           "'\n ACCEPT '" + column + "' VALUE=7\n";
  }
};

TEST_F(LockScriptTest, LoadingResolvesTheLock) {
  createTable("INTEGER", {"7"});
  ASSERT_TRUE(load(paragraph("status")));
  ASSERT_FALSE(model_.empty());
  auto* copy = static_cast<CopyDefinition*>(model_.first());
  ASSERT_NE(copy->lockDefinition, nullptr);
  LockDefinition& lock = *copy->lockDefinition;
  EXPECT_TRUE(lock.acceptAsInteger);
  EXPECT_EQ(lock.acceptInteger, 7);
  EXPECT_TRUE(std::find(lines_.begin(), lines_.end(), disconnecting(db_.dsn)) != lines_.end());

  lines_.clear();
  EXPECT_TRUE(lock.check(log_));
  EXPECT_EQ(lines_.back(), kPassed);
}

TEST_F(LockScriptTest, LockThatDoesNotResolveEmptiesTheModel) {
  createTable("INTEGER", {"7"});
  EXPECT_TRUE(load(paragraph("missing")));
  EXPECT_TRUE(model_.empty());
  const Line notFound{"Column 'missing' not found in select statement in LOCKDEFINITION 'GATE'",
                      Error};
  auto found = std::find(lines_.begin(), lines_.end(), notFound);
  ASSERT_NE(found, lines_.end());
  EXPECT_EQ(
      Lines(found, lines_.end()),
      (Lines{notFound,
             disconnecting(db_.dsn),
             {"No processing will be performed", Error},
             {"Ending load of script file. 7 lines read from '" + folder_.file("script.txt") + "'",
              Normal}}));
}

}  // namespace
}  // namespace kestrel
