// The ODBC layer against the real drivers: the embedded SQLite3 driver and
// the loopback PostgreSQL and MariaDB servers. One body runs for every driver
// the behaviour applies to; driver differences are stated where they are
// expected.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sqlext.h>
#include <sqlucode.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <map>

#include "base/platform.h"
#include "fakes.h"
#include "odbc/database_format.h"
#include "odbc/odbc.h"
#include "odbc_test_folder.h"

namespace kestrel {
namespace {

using test::DatabaseKind;
using test::OdbcTestFolder;
using test::Row;
using test::TestDatabase;

// Answers the "ODBC error" boxes for the test and remembers them.
using test::RecordingMessageBox;

ColumnDescription described(int sqlType, int precision = 0, int scale = 0) {
  ColumnDescription d;
  d.sqlType = static_cast<int16_t>(sqlType);
  d.precision = precision;
  d.scale = static_cast<int16_t>(scale);
  d.nullable = true;
  EXPECT_TRUE(completeBinding(d));
  return d;
}

std::string textOf(const BoundValue* value) {
  std::string text;
  EXPECT_TRUE(value && value->getText(text));
  return text;
}

int32_t longOf(const BoundValue* value) {
  int32_t n = -999;
  EXPECT_TRUE(value && value->getLong(n));
  return n;
}

// A port on the loopback interface on which nothing listens.
int closedPort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

class DriverTest : public ::testing::TestWithParam<DatabaseKind> {
 protected:
  void SetUp() override {
    KESTREL_REQUIRE_DATABASE(GetParam());
    db_ = folder_.database(GetParam());
    table_ = test::uniqueTableName("odbc");
    ASSERT_TRUE(env_.open(true));
    ASSERT_TRUE(connection_.connect(db_.dsn, db_.user, db_.password)) << env_.lastError();
  }

  void TearDown() override {
    // SQLite would refuse to drop a table that an open result still reads.
    connection_.disconnect();
    if (db_.dsn.empty()) return;
    for (const std::string& view : views_) test::execSql(db_, {"DROP VIEW " + view});
    test::execSql(db_, {"DROP TABLE " + table_});
  }

  bool kind(DatabaseKind k) const { return GetParam() == k; }

  void create(const std::string& columns, const std::vector<std::string>& rows = {}) {
    std::vector<std::string> statements = {"CREATE TABLE " + table_ + " (" + columns + ")"};
    for (const std::string& row : rows)
      statements.push_back("INSERT INTO " + table_ + " VALUES (" + row + ")");
    ASSERT_EQ(test::execSql(db_, statements), "");
  }

  bool run(const std::string& sql, OdbcStatement& statement) {
    SqlRequest request;
    request.text = sql;
    return connection_.execute(request, statement);
  }
  bool run(const std::string& sql) { return run(sql, statement_); }

  std::vector<Row> rows(const std::string& select) {
    std::vector<Row> result;
    EXPECT_EQ(test::querySql(db_, select, &result), "");
    return result;
  }

  // MariaDB gives a TIMESTAMP column automatic update semantics.
  std::string timestampType() const {
    return GetParam() == DatabaseKind::MariaDB ? "DATETIME(6)" : "TIMESTAMP";
  }

  OdbcTestFolder folder_;
  RecordingMessageBox boxes_;
  TestDatabase db_;
  std::string table_;
  std::vector<std::string> views_;
  OdbcEnvironment env_;
  OdbcConnection connection_{env_};
  OdbcStatement statement_;
};

std::string kindName(const ::testing::TestParamInfo<DatabaseKind>& info) {
  return test::databaseKindName(info.param);
}

INSTANTIATE_TEST_SUITE_P(AllDrivers, DriverTest, ::testing::ValuesIn(test::allDatabaseKinds()),
                         kindName);

TEST_P(DriverTest, FetchesEveryValueClassAndStopsAtTheEnd) {
  create("i INTEGER, s SMALLINT, v VARCHAR(20), d DECIMAL(8,3), f DOUBLE PRECISION, dt DATE, ts " +
             timestampType(),
         {"1, -2, 'one', 12.5, 0.25, '1997-02-03', '1997-01-28 13:05:00'",
          "2, NULL, NULL, NULL, NULL, NULL, NULL"});
  ASSERT_TRUE(run("SELECT i, s, v, d, f, dt, ts FROM " + table_ + " ORDER BY i"))
      << env_.lastError();
  EXPECT_FALSE(statement_.noResult());
  ASSERT_EQ(statement_.resultColumnCount(), 7);
  std::vector<BoundValue*> c;
  for (int16_t n = 1; n <= 7; ++n) {
    c.push_back(statement_.bindColumn(n));
    ASSERT_NE(c.back(), nullptr) << n << ": " << env_.lastError();
  }
  EXPECT_EQ(c[0]->description.name, "i");

  ASSERT_TRUE(statement_.fetch()) << env_.lastError();
  EXPECT_EQ(longOf(c[0]), 1);
  EXPECT_EQ(longOf(c[1]), -2);
  EXPECT_EQ(textOf(c[2]), "one");
  EXPECT_EQ(std::stod(textOf(c[3])), 12.5);
  double f = 0;
  ASSERT_TRUE(c[4]->getDouble(f));
  EXPECT_EQ(f, 0.25);
  DateValue date;
  ASSERT_TRUE(c[5]->getDate(date));
  EXPECT_EQ(date, (DateValue{1997, 2, 3}));
  TimestampValue stamp;
  ASSERT_TRUE(c[6]->getTimestamp(stamp));
  EXPECT_EQ(stamp, (TimestampValue{1997, 1, 28, 13, 5, 0, 0}));

  ASSERT_TRUE(statement_.fetch()) << env_.lastError();
  EXPECT_EQ(longOf(c[0]), 2);
  for (size_t i = 1; i < c.size(); ++i) EXPECT_TRUE(c[i]->isNull()) << i;

  env_.setLastError("before the end");
  EXPECT_FALSE(statement_.fetch());
  EXPECT_EQ(env_.lastError(), "before the end");
  EXPECT_TRUE(statement_.noResult());
  EXPECT_FALSE(statement_.fetch());
  EXPECT_TRUE(boxes_.boxes.empty());
}

TEST_P(DriverTest, ReportsItsCatalogTypesAndTheBindingRuleTakesThem) {
  create("t TEXT, v VARCHAR(10), d DECIMAL(8,3)");
  OdbcStatement catalog;
  ASSERT_TRUE(connection_.queryColumns(catalog, "", "", table_, "")) << env_.lastError();
  ColumnDescription text = described(SQL_VARCHAR, 128);
  BoundValue* name = catalog.bindColumn(4, &text);
  ColumnDescription smallint = described(SQL_SMALLINT);
  ColumnDescription integer = described(SQL_INTEGER);
  BoundValue* type = catalog.bindColumn(5, &smallint);
  BoundValue* precision = catalog.bindColumn(7, &integer);
  ASSERT_TRUE(name && type && precision) << env_.lastError();
  std::map<std::string, std::pair<int, int>> reported;
  while (catalog.fetch()) reported[textOf(name)] = {longOf(type), longOf(precision)};

  // What each driver reports for the same declarations.
  std::map<std::string, std::pair<int, int>> expected;
  switch (GetParam()) {
    case DatabaseKind::SQLite:
      expected = {{"t", {SQL_LONGVARCHAR, 0}}, {"v", {SQL_VARCHAR, 10}}, {"d", {SQL_VARCHAR, 3}}};
      break;
    case DatabaseKind::PostgreSQL:
      expected = {
          {"t", {SQL_LONGVARCHAR, 8190}}, {"v", {SQL_VARCHAR, 10}}, {"d", {SQL_NUMERIC, 8}}};
      break;
    case DatabaseKind::MariaDB:
      expected = {
          {"t", {SQL_WLONGVARCHAR, 65535}}, {"v", {SQL_WVARCHAR, 10}}, {"d", {SQL_DECIMAL, 8}}};
      break;
  }
  EXPECT_EQ(reported, expected);
  for (const auto& [column, typeAndPrecision] : reported) {
    ColumnDescription d;
    d.sqlType = static_cast<int16_t>(typeAndPrecision.first);
    d.precision = typeAndPrecision.second;
    ASSERT_TRUE(completeBinding(d)) << column;
    EXPECT_EQ(d.bindingType, SQL_C_CHAR) << column;
    EXPECT_GT(d.bindingLength, 0) << column;
  }
}

TEST_P(DriverTest, FindsTablesAndViewsThroughTheTypeList) {
  create("a INTEGER");
  std::string view = table_ + "_v";
  ASSERT_EQ(test::execSql(db_, {"CREATE VIEW " + view + " AS SELECT a FROM " + table_}), "");
  views_.push_back(view);

  struct Case {
    std::string name;
    unsigned flags;
    std::string foundType;  // empty: not found
  };
  std::vector<Case> cases = {
      {table_, kTableTypeTable, "TABLE"},
      {table_, kTableTypeTable | kTableTypeView, "TABLE"},
      {table_, kTableTypeView, ""},
      {view, kTableTypeView, "VIEW"},
      {view, kTableTypeTable, ""},
      {table_, kTableTypeAll | kTableTypeView, "TABLE"},
      {view, 0, "VIEW"},
  };
  for (const Case& c : cases) {
    OdbcStatement tables;
    ASSERT_TRUE(connection_.queryTables(tables, "", "", c.name, c.flags)) << env_.lastError();
    ColumnDescription text = described(SQL_VARCHAR, 128);
    BoundValue* name = tables.bindColumn(3, &text);
    BoundValue* type = tables.bindColumn(4, &text);
    ASSERT_TRUE(name && type) << env_.lastError();
    std::vector<std::string> found;
    while (tables.fetch()) found.push_back(textOf(name) + " " + textOf(type));
    std::vector<std::string> expected;
    if (!c.foundType.empty()) expected.push_back(c.name + " " + c.foundType);
    EXPECT_EQ(found, expected) << c.name << " flags " << c.flags;
  }
}

TEST_P(DriverTest, CountsAWarningAsSuccessAndShowsItUnlessSilent) {
  create("v VARCHAR(20)", {"'abcdefgh'"});
  env_.setSilent(false);
  ASSERT_TRUE(run("SELECT v FROM " + table_));
  ColumnDescription tooShort = described(SQL_VARCHAR, 1);  // 4 bytes
  BoundValue* v = statement_.bindColumn(1, &tooShort);
  ASSERT_NE(v, nullptr);

  EXPECT_TRUE(statement_.fetch());
  EXPECT_NE(env_.lastError(), "OK");
  EXPECT_FALSE(env_.lastError().empty());
  EXPECT_TRUE(v->truncated());
  EXPECT_EQ(v->indicator(), 8);
  EXPECT_EQ(textOf(v), "abcd");
  ASSERT_EQ(boxes_.boxes.size(), 1u);
  EXPECT_EQ(boxes_.boxes[0].text, env_.lastError());
  EXPECT_EQ(boxes_.boxes[0].caption, "ODBC error");
  EXPECT_EQ(boxes_.boxes[0].icon, BoxIcon::Warning);
}

TEST_P(DriverTest, DisconnectDropsEveryStatementOnTheConnection) {
  create("a INTEGER", {"1", "2"});
  OdbcStatement second;
  ASSERT_TRUE(run("SELECT a FROM " + table_));
  ASSERT_TRUE(run("SELECT a FROM " + table_, second));
  ASSERT_NE(statement_.bindColumn(1), nullptr);
  EXPECT_EQ(connection_.statements().size(), 2u);
  EXPECT_EQ(env_.connections().size(), 1u);

  connection_.disconnect();
  EXPECT_FALSE(connection_.isConnected());
  EXPECT_TRUE(connection_.statements().empty());
  EXPECT_TRUE(env_.connections().empty());
  for (OdbcStatement* s : {&statement_, &second}) {
    EXPECT_FALSE(s->isAllocated());
    EXPECT_EQ(s->connection(), nullptr);
    EXPECT_TRUE(s->columns().empty());
    EXPECT_FALSE(s->fetch());
  }
}

TEST_P(DriverTest, BindsParametersOfEveryClassAndReexecutesPrepared) {
  create(
      "i INTEGER, s SMALLINT, v VARCHAR(10), d DECIMAL(20,2), f DOUBLE PRECISION, dt DATE, "
      "tm TIME, ts " +
      timestampType());
  SqlRequest insert;
  insert.text = "INSERT INTO " + table_ + " VALUES (?, ?, ?, ?, ?, ?, ?, ?)";
  insert.prepare = true;
  BoundValue& i = insert.addParameter(1, described(SQL_INTEGER));
  BoundValue& s = insert.addParameter(2, described(SQL_SMALLINT));
  BoundValue& v = insert.addParameter(3, described(SQL_VARCHAR, 10));
  BoundValue& d = insert.addParameter(4, described(SQL_DECIMAL, 20, 2));
  BoundValue& f = insert.addParameter(5, described(SQL_DOUBLE));
  BoundValue& dt = insert.addParameter(6, described(SQL_DATE));
  BoundValue& tm = insert.addParameter(7, described(SQL_TIME));
  BoundValue& ts = insert.addParameter(8, described(SQL_TIMESTAMP));
  EXPECT_EQ(v.indicator(), 40);  // starts at the binding length

  i.setLong(1);
  s.setLong(-2);
  v.setText("abc");
  d.setText("123456789012345678.91");  // beyond the column size of 15 it is declared with
  f.setDouble(0.25);
  dt.setDate({1997, 2, 3});
  tm.setTime({13, 5, 7});
  ts.setTimestamp({1997, 1, 28, 13, 5, 0, 500000000});
  ASSERT_TRUE(connection_.execute(insert, statement_)) << env_.lastError();
  EXPECT_TRUE(insert.prepared);

  i.setLong(2);
  for (BoundValue* p : {&s, &v, &d, &f, &dt, &tm, &ts}) p->setNull();
  ASSERT_TRUE(connection_.execute(insert, statement_)) << env_.lastError();

  std::vector<Row> stored = rows("SELECT i, s, v, d, f, dt, tm, ts FROM " + table_ + " ORDER BY i");
  ASSERT_EQ(stored.size(), 2u);
  const Row& first = stored[0];
  EXPECT_EQ(first[0], "1");
  EXPECT_EQ(first[1], "-2");
  EXPECT_EQ(first[2], "abc");
  if (!kind(DatabaseKind::SQLite)) {  // SQLite keeps DECIMAL as a double
    EXPECT_EQ(first[3], "123456789012345678.91");
  }
  EXPECT_EQ(std::stod(first[4].value_or("")), 0.25);
  EXPECT_EQ(first[5], "1997-02-03");
  EXPECT_EQ(first[6], "13:05:07");
  EXPECT_EQ(readTimestampFields(first[7].value_or("")),
            (TimestampValue{1997, 1, 28, 13, 5, 0, 500000000}))
      << first[7].value_or("NULL");
  const Row& second = stored[1];
  EXPECT_EQ(second[0], "2");
  for (size_t c = 1; c < second.size(); ++c) EXPECT_EQ(second[c], std::nullopt) << c;
}

TEST_P(DriverTest, TextParameterDescribedByTheCatalogKeepsItsLength) {
  create("t TEXT");
  OdbcStatement catalog;
  ASSERT_TRUE(connection_.queryColumns(catalog, "", "", table_, "t")) << env_.lastError();
  ColumnDescription smallint = described(SQL_SMALLINT);
  ColumnDescription integer = described(SQL_INTEGER);
  BoundValue* type = catalog.bindColumn(5, &smallint);
  BoundValue* precision = catalog.bindColumn(7, &integer);
  ASSERT_TRUE(type && precision && catalog.fetch()) << env_.lastError();
  ColumnDescription t;
  t.sqlType = static_cast<int16_t>(longOf(type));
  t.precision = longOf(precision);  // 0 for SQLite
  ASSERT_TRUE(completeBinding(t));

  SqlRequest insert;
  insert.text = "INSERT INTO " + table_ + " VALUES (?)";
  insert.addParameter(1, t).setText(std::string(5000, 'y'));
  ASSERT_TRUE(connection_.execute(insert, statement_)) << env_.lastError();
  EXPECT_EQ(rows("SELECT t FROM " + table_), (std::vector<Row>{{std::string(5000, 'y')}}));
}

TEST_P(DriverTest, AccentedTextOfTheFullDeclaredWidthFitsBothWays) {
  std::string accented;
  for (int i = 0; i < 10; ++i) accented += "\xC3\xA9";  // ten characters, twenty bytes
  create("v VARCHAR(10)");
  SqlRequest insert;
  insert.text = "INSERT INTO " + table_ + " VALUES (?)";
  insert.addParameter(1, described(SQL_VARCHAR, 10)).setText(accented);
  ASSERT_TRUE(connection_.execute(insert, statement_)) << env_.lastError();

  ASSERT_TRUE(run("SELECT v FROM " + table_));
  BoundValue* v = statement_.bindColumn(1);
  ASSERT_NE(v, nullptr);
  ASSERT_TRUE(statement_.fetch());
  EXPECT_EQ(env_.lastError(), "OK");
  EXPECT_FALSE(v->truncated());
  EXPECT_EQ(textOf(v), accented);
}

TEST_P(DriverTest, PreparedRequestIsPreparedAgainOnAReallocatedStatement) {
  create("a INTEGER");
  SqlRequest insert;
  insert.text = "INSERT INTO " + table_ + " VALUES (?)";
  insert.prepare = true;
  BoundValue& a = insert.addParameter(1, described(SQL_INTEGER));
  a.setLong(1);
  ASSERT_TRUE(connection_.execute(insert, statement_)) << env_.lastError();

  // Direct execution re-allocates the statement under the prepared request.
  ASSERT_TRUE(run("SELECT COUNT(*) FROM " + table_));
  a.setLong(2);
  ASSERT_TRUE(connection_.execute(insert, statement_)) << env_.lastError();
  // Moved, a prepared request still executes with its bound parameters.
  SqlRequest moved = std::move(insert);
  a.setLong(3);
  ASSERT_TRUE(connection_.execute(moved, statement_)) << env_.lastError();
  // A prepared SELECT re-executed while its result is still open.
  SqlRequest select;
  select.text = "SELECT a FROM " + table_;
  select.prepare = true;
  ASSERT_TRUE(connection_.execute(select, statement_)) << env_.lastError();
  ASSERT_TRUE(connection_.execute(select, statement_)) << env_.lastError();

  EXPECT_EQ(rows("SELECT a FROM " + table_ + " ORDER BY a"),
            (std::vector<Row>{{"1"}, {"2"}, {"3"}}));
}

TEST_P(DriverTest, DirectExecutionDiscardsColumnsBoundBefore) {
  create("a INTEGER", {"1"});
  ASSERT_TRUE(run("SELECT a FROM " + table_));
  ASSERT_NE(statement_.bindColumn(1), nullptr);
  ASSERT_EQ(statement_.columns().size(), 1u);
  ASSERT_TRUE(run("SELECT a, a FROM " + table_));
  EXPECT_TRUE(statement_.columns().empty());
  EXPECT_EQ(statement_.resultColumnCount(), 2);
}

TEST_P(DriverTest, RowCountOfChangesAndStatementsThatChangeNothing) {
  create("a INTEGER", {"1", "2", "3"});
  ASSERT_TRUE(run("UPDATE " + table_ + " SET a = a + 10 WHERE a < 3"));
  EXPECT_EQ(statement_.rowCount(), 2);
  ASSERT_TRUE(run("DELETE FROM " + table_ + " WHERE 1 = 0")) << env_.lastError();
  EXPECT_EQ(statement_.rowCount(), 0);
  OdbcStatement unallocated;
  EXPECT_EQ(unallocated.rowCount(), -1);
}

TEST_P(DriverTest, CommitsAndRollsBackWithAutocommitOff) {
  create("a INTEGER");
  OdbcConnection manual(env_);
  manual.setAutocommit = true;
  manual.autocommit = false;
  manual.setLoginTimeout = true;
  manual.loginTimeout = 10;
  manual.setAccessMode = true;
  ASSERT_TRUE(manual.connect(db_.dsn, db_.user, db_.password)) << env_.lastError();
  OdbcStatement s;
  SqlRequest insert;
  insert.text = "INSERT INTO " + table_ + " VALUES (1)";
  ASSERT_TRUE(manual.execute(insert, s)) << env_.lastError();
  ASSERT_TRUE(manual.transact(SQL_ROLLBACK)) << env_.lastError();
  EXPECT_TRUE(rows("SELECT a FROM " + table_).empty());

  ASSERT_TRUE(manual.execute(insert, s));
  ASSERT_TRUE(manual.transact(SQL_COMMIT)) << env_.lastError();
  EXPECT_EQ(rows("SELECT a FROM " + table_).size(), 1u);

  // Disconnecting inside an open transaction still frees the connection,
  // and the uncommitted row is gone.
  insert.text = "INSERT INTO " + table_ + " VALUES (2)";
  ASSERT_TRUE(manual.execute(insert, s));
  manual.disconnect();
  EXPECT_FALSE(manual.isConnected());
  EXPECT_FALSE(s.isAllocated());
  EXPECT_EQ(rows("SELECT a FROM " + table_).size(), 1u);
  EXPECT_FALSE(manual.transact(SQL_COMMIT));
  EXPECT_TRUE(env_.close());
}

TEST_P(DriverTest, PositionedUpdateAndDeleteWhereTheDriverSupportsThem) {
  create("k INTEGER, v VARCHAR(10)", {"1, 'a'", "2, 'b'"});
  // SQLite knows no FOR UPDATE clause at all.
  UpdateMode mode = kind(DatabaseKind::SQLite) ? UpdateMode::None : UpdateMode::ForUpdate;
  ASSERT_TRUE(run(targetSelectText(mode, "k, v", table_, "", {"v"}))) << env_.lastError();
  BoundValue* k = statement_.bindColumn(1);
  ASSERT_NE(k, nullptr);

  ASSERT_TRUE(statement_.fetch());
  int32_t updatedKey = longOf(k);
  std::string update = "UPDATE " + table_ + " SET v = 'x'";
  ASSERT_TRUE(statement_.appendWhereCurrentOf(update)) << env_.lastError();
  EXPECT_EQ(update.find(" WHERE CURRENT OF "), update.find(" WHERE"));
  OdbcStatement change;
  bool updated = run(update, change);
  if (!kind(DatabaseKind::MariaDB)) {
    // The others have no positioned updates through the driver's cursor name
    // (hence the KEYS update mode): a failure with the driver's message.
    EXPECT_FALSE(updated);
    EXPECT_NE(env_.lastError(), "OK");
    return;
  }
  ASSERT_TRUE(updated) << env_.lastError() << " [" << update << "]";
  ASSERT_TRUE(statement_.fetch());
  std::string remove = "DELETE FROM " + table_;
  ASSERT_TRUE(statement_.appendWhereCurrentOf(remove));
  ASSERT_TRUE(run(remove, change)) << env_.lastError();

  EXPECT_EQ(rows("SELECT k, v FROM " + table_),
            (std::vector<Row>{{std::to_string(updatedKey), "x"}}));
}

TEST_P(DriverTest, FailingSelectGivesTheDriverMessage) {
  create("a INTEGER");
  EXPECT_FALSE(run("SELECT nosuchcolumn FROM " + table_));
  EXPECT_NE(env_.lastError().find("nosuchcolumn"), std::string::npos) << env_.lastError();
  EXPECT_TRUE(statement_.noResult());
  FetchResult fetched = statement_.fetch();
  EXPECT_FALSE(fetched);
  EXPECT_TRUE(fetched.endOfData()) << "nothing to fetch is no new failure";
  EXPECT_TRUE(env_.close());
}

// A connection marked silent keeps its failures out of message boxes even
// when the environment shows them (as a window program's does); the message
// is still there for the caller's log.
TEST_P(DriverTest, SilentConnectionShowsNoBoxWhateverTheEnvironment) {
  create("a INTEGER");
  env_.setSilent(false);
  for (bool silent : {true, false}) {
    connection_.silent = silent;
    boxes_.boxes.clear();
    EXPECT_FALSE(run("SELECT nosuchcolumn FROM " + table_));
    EXPECT_NE(env_.lastError().find("nosuchcolumn"), std::string::npos) << env_.lastError();
    EXPECT_EQ(boxes_.boxes.size(), silent ? 0u : 1u) << "silent=" << silent;
  }
}

// A fetch tells a row, the end of the data and a failure apart.
TEST_P(DriverTest, FetchTellsRowEndAndFailureApart) {
  create("a INTEGER");
  ASSERT_TRUE(run("INSERT INTO " + table_ + " VALUES (1)"));
  ASSERT_TRUE(run("SELECT a FROM " + table_));
  ASSERT_NE(statement_.bindColumn(1), nullptr);
  EXPECT_EQ(statement_.fetch().status(), FetchResult::Row);
  EXPECT_EQ(statement_.fetch().status(), FetchResult::EndOfData);
  connection_.disconnect();
  EXPECT_EQ(statement_.fetch().status(), FetchResult::Error)
      << "a statement lost with its connection";
}

TEST_P(DriverTest, OverlongTextIsRefusedOrDetectedNeverCutSilently) {
  create("v VARCHAR(10)");
  std::string longText(100000, 'x');
  bool inserted = run("INSERT INTO " + table_ + " VALUES ('" + longText + "')");
  if (!kind(DatabaseKind::SQLite)) {
    EXPECT_FALSE(inserted);
    EXPECT_NE(env_.lastError().find("too long"), std::string::npos) << env_.lastError();
    EXPECT_TRUE(env_.close());
    return;
  }
  // SQLite keeps any length whatever the declaration: the fetch into the
  // declared width says the value did not fit.
  ASSERT_TRUE(inserted) << env_.lastError();
  ASSERT_TRUE(run("SELECT v FROM " + table_));
  BoundValue* v = statement_.bindColumn(1);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->description.bindingLength, 40);
  EXPECT_TRUE(statement_.fetch());
  EXPECT_NE(env_.lastError(), "OK");
  EXPECT_TRUE(v->truncated());
  EXPECT_EQ(v->indicator(), 100000);
  EXPECT_EQ(textOf(v), std::string(40, 'x'));
  EXPECT_TRUE(env_.close());
}

class ServerTest : public DriverTest {};

INSTANTIATE_TEST_SUITE_P(Servers, ServerTest,
                         ::testing::Values(DatabaseKind::PostgreSQL, DatabaseKind::MariaDB),
                         kindName);

TEST_P(ServerTest, WrongPasswordFailsWithTheServerMessage) {
  OdbcConnection other(env_);
  EXPECT_FALSE(other.connect(db_.dsn, db_.user, "not-the-password"));
  EXPECT_FALSE(other.isConnected());
  std::string expected =
      kind(DatabaseKind::PostgreSQL) ? "password authentication failed" : "Access denied";
  EXPECT_NE(env_.lastError().find(expected), std::string::npos) << env_.lastError();
  EXPECT_EQ(env_.connections().size(), 1u);
  EXPECT_TRUE(env_.close());
}

TEST_P(ServerTest, ServerThatIsDownFailsWithTheDriverMessage) {
  std::string driver = kind(DatabaseKind::PostgreSQL) ? "PostgreSQL ANSI" : "MariaDB Unicode";
  std::string server = kind(DatabaseKind::PostgreSQL) ? "Servername" : "Server";
  std::ofstream(folder_.odbcIni(), std::ios::app)
      << "[kt_down]\nDriver=" << driver << "\n"
      << server << "=127.0.0.1\nPort=" << closedPort() << "\nDatabase=kestrel_test\n\n";
  OdbcConnection down(env_);
  down.setLoginTimeout = true;
  down.loginTimeout = 5;
  EXPECT_FALSE(down.connect("kt_down", db_.user, db_.password));
  EXPECT_FALSE(down.isConnected());
  EXPECT_NE(env_.lastError(), "OK");
  EXPECT_NE(env_.lastError(), "Undefined error");
  EXPECT_EQ(env_.connections().size(), 1u);
  EXPECT_TRUE(env_.close());
}

TEST(PostgreSQL, NoticeIsAWarningThatCountsAsSuccess) {
  OdbcTestFolder folder;
  KESTREL_REQUIRE_DATABASE(DatabaseKind::PostgreSQL);
  TestDatabase db = folder.database(DatabaseKind::PostgreSQL);
  OdbcEnvironment env;
  ASSERT_TRUE(env.open(true));
  OdbcConnection connection(env);
  ASSERT_TRUE(connection.connect(db.dsn, db.user, db.password)) << env.lastError();
  OdbcStatement statement;
  SqlRequest request;
  request.text = "DROP TABLE IF EXISTS " + test::uniqueTableName("absent");
  EXPECT_TRUE(connection.execute(request, statement));
  EXPECT_NE(env.lastError().find("does not exist"), std::string::npos) << env.lastError();
  EXPECT_FALSE(statement.noResult());
}

TEST(PostgreSQL, ColumnTypeWithoutBindingFailsToDescribe) {
  OdbcTestFolder folder;
  KESTREL_REQUIRE_DATABASE(DatabaseKind::PostgreSQL);
  TestDatabase db = folder.database(DatabaseKind::PostgreSQL);
  OdbcEnvironment env;
  ASSERT_TRUE(env.open(true));
  OdbcConnection connection(env);
  ASSERT_TRUE(connection.connect(db.dsn, db.user, db.password)) << env.lastError();
  OdbcStatement statement;
  SqlRequest request;
  request.text = "SELECT CAST('a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11' AS uuid) AS id, 1 AS n";
  ASSERT_TRUE(connection.execute(request, statement)) << env.lastError();
  ColumnDescription d;
  EXPECT_FALSE(statement.describeColumn(1, d));
  EXPECT_NE(env.lastError().find("'id'"), std::string::npos) << env.lastError();
  EXPECT_EQ(statement.bindColumn(1), nullptr);
  EXPECT_NE(statement.bindColumn(2), nullptr);
  EXPECT_EQ(statement.columns().size(), 1u);
  EXPECT_TRUE(env.close());
}

TEST(Connection, UnknownDataSourceFailsWithTheDriverManagerMessage) {
  OdbcTestFolder folder;
  RecordingMessageBox boxes;
  OdbcEnvironment env;
  OdbcConnection connection(env);  // opens the environment, not silent
  EXPECT_FALSE(connection.connect("kt_no_such_dsn", "", ""));
  EXPECT_TRUE(env.isOpen());
  EXPECT_FALSE(connection.isConnected());
  EXPECT_TRUE(env.connections().empty());
  EXPECT_NE(env.lastError().find("Data source name not found"), std::string::npos)
      << env.lastError();
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text, env.lastError());
  EXPECT_TRUE(env.close());  // no connection handle left behind
}

TEST(Connection, ObjectsWithoutHandlesRefuseEverything) {
  OdbcTestFolder folder;
  OdbcEnvironment env;
  ASSERT_TRUE(env.open(true));
  OdbcConnection connection(env);
  OdbcStatement statement;
  SqlRequest request;
  request.text = "SELECT 1";
  std::string text = "DELETE FROM T";
  ColumnDescription d;
  EXPECT_FALSE(connection.execute(request, statement));
  EXPECT_FALSE(connection.transact(SQL_COMMIT));
  EXPECT_FALSE(statement.allocate(nullptr));
  EXPECT_FALSE(statement.allocate(&connection));
  EXPECT_EQ(statement.resultColumnCount(), 0);
  EXPECT_FALSE(statement.describeColumn(1, d));
  EXPECT_EQ(statement.bindColumn(1), nullptr);
  EXPECT_FALSE(statement.fetch());
  EXPECT_FALSE(statement.appendWhereCurrentOf(text));
  EXPECT_EQ(text, "DELETE FROM T");
  EXPECT_EQ(statement.rowCount(), -1);
  EXPECT_TRUE(statement.noResult());
  EXPECT_EQ(env.lastError(), "OK");
}

TEST(Connection, ClosingTheEnvironmentDisconnectsEveryConnection) {
  OdbcTestFolder folder;
  OdbcEnvironment env;
  ASSERT_TRUE(env.open(true));
  auto first = std::make_unique<OdbcConnection>(env);
  OdbcConnection second(env);
  ASSERT_TRUE(first->connect(folder.dsn(OdbcTestFolder::kSqliteA), "", "")) << env.lastError();
  ASSERT_TRUE(second.connect(folder.dsn(OdbcTestFolder::kSqliteB), "", "")) << env.lastError();
  EXPECT_EQ(env.connections().size(), 2u);
  OdbcStatement statement;
  ASSERT_TRUE(statement.allocate(first.get()));
  // Connecting again disconnects first; destroying a connection drops its
  // statements.
  ASSERT_TRUE(second.connect(folder.dsn(OdbcTestFolder::kSqliteC), "", ""));
  EXPECT_EQ(env.connections().size(), 2u);
  first.reset();
  EXPECT_FALSE(statement.isAllocated());
  EXPECT_EQ(env.connections().size(), 1u);

  ASSERT_TRUE(statement.allocate(&second));
  EXPECT_TRUE(env.close());
  EXPECT_FALSE(env.isOpen());
  EXPECT_FALSE(second.isConnected());
  EXPECT_FALSE(statement.isAllocated());
  EXPECT_TRUE(env.connections().empty());
}

TEST(Connection, DefaultConnectionOpensTheProgramEnvironment) {
  OdbcTestFolder folder;
  RecordingMessageBox boxes;
  OdbcEnvironment& program = odbcEnvironment();
  EXPECT_FALSE(program.isOpen());
  {
    OdbcConnection connection;
    ASSERT_TRUE(connection.connect(folder.dsn(OdbcTestFolder::kSqliteA), "", ""))
        << program.lastError();
    EXPECT_TRUE(program.isOpen());
    EXPECT_FALSE(program.silent());
    EXPECT_EQ(program.connections(), std::vector<OdbcConnection*>{&connection});
  }
  EXPECT_TRUE(program.connections().empty());
  EXPECT_TRUE(program.close());
}

TEST(Connection, ClosingReportsAConnectionHandleLeftAllocated) {
  OdbcTestFolder folder;
  OdbcEnvironment env;
  ASSERT_TRUE(env.open(true));
  SQLHENV henv = env.handle();
  SQLHDBC leaked = SQL_NULL_HDBC;
  ASSERT_EQ(SQLAllocConnect(henv, &leaked), SQL_SUCCESS);
  EXPECT_FALSE(env.close());
  EXPECT_FALSE(env.isOpen());
  SQLFreeConnect(leaked);
  EXPECT_EQ(SQLFreeEnv(henv), SQL_SUCCESS);
}

TEST(Environment, EnumeratesDataSourcesAndStartsAgain) {
  OdbcTestFolder folder;
  OdbcEnvironment env;
  std::vector<std::string> names;
  std::string sqliteDescription;
  while (auto name = env.nextDataSource()) {
    names.push_back(*name);
    EXPECT_EQ(env.dataSourceName(), *name);
    if (*name == folder.dsn(OdbcTestFolder::kSqliteA))
      sqliteDescription = env.dataSourceDescription();
    ASSERT_LT(names.size(), 100u);
  }
  EXPECT_TRUE(env.isOpen());
  for (const char* plain : {OdbcTestFolder::kSqliteA, OdbcTestFolder::kSqliteB,
                            OdbcTestFolder::kPostgreSQL, OdbcTestFolder::kMariaDB}) {
    const std::string dsn = folder.dsn(plain);
    EXPECT_NE(std::find(names.begin(), names.end(), dsn), names.end()) << dsn;
  }
  EXPECT_EQ(sqliteDescription, "SQLite3");
  ASSERT_FALSE(names.empty());
  EXPECT_EQ(env.nextDataSource(), names.front());
}

struct CheckCase {
  const char* name;
  SQLRETURN rc;
  bool result;
};

void PrintTo(const CheckCase& c, std::ostream* out) { *out << c.name; }

class CheckTest : public ::testing::TestWithParam<CheckCase> {};

TEST_P(CheckTest, OnlySuccessAndSuccessWithInfoSucceed) {
  RecordingMessageBox boxes;
  OdbcEnvironment env;
  ASSERT_TRUE(env.open(false));
  EXPECT_EQ(env.check(GetParam().rc, SQL_NULL_HDBC, SQL_NULL_HSTMT), GetParam().result);
  if (GetParam().rc == SQL_SUCCESS) {
    EXPECT_EQ(env.lastError(), "OK");
    EXPECT_TRUE(boxes.boxes.empty());
  } else {
    // No diagnostic record stands behind a made-up return code.
    EXPECT_EQ(env.lastError(), "Undefined error");
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].caption, "ODBC error");
  }
  env.setSilent(true);
  env.check(GetParam().rc, SQL_NULL_HDBC, SQL_NULL_HSTMT);
  EXPECT_LE(boxes.boxes.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(ReturnCodes, CheckTest,
                         ::testing::Values(CheckCase{"Success", SQL_SUCCESS, true},
                                           CheckCase{"SuccessWithInfo", SQL_SUCCESS_WITH_INFO,
                                                     true},
                                           CheckCase{"Error", SQL_ERROR, false},
                                           CheckCase{"InvalidHandle", SQL_INVALID_HANDLE, false},
                                           CheckCase{"NoDataFound", SQL_NO_DATA_FOUND, false},
                                           CheckCase{"NeedData", SQL_NEED_DATA, false},
                                           CheckCase{"StillExecuting", SQL_STILL_EXECUTING, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TableTypeList, FollowsTheBitsInOrder) {
  EXPECT_EQ(tableTypeList(0x03), "'TABLE','VIEW'");
  EXPECT_EQ(tableTypeList(0x1F), "'TABLE','VIEW','SYSTEM TABLE','ALIAS','SYNONYM'");
  EXPECT_EQ(tableTypeList(0x18), "'ALIAS','SYNONYM'");
  EXPECT_EQ(tableTypeList(0x04), "'SYSTEM TABLE'");
  EXPECT_EQ(tableTypeList(0x21), "");
  EXPECT_EQ(tableTypeList(0x20), "");
  EXPECT_EQ(tableTypeList(0), "");
}

TEST(ParameterColumnSize, DependsOnTheSqlType) {
  auto size = [](int sqlType, int precision) {
    ColumnDescription d;
    d.sqlType = static_cast<int16_t>(sqlType);
    d.precision = precision;
    return parameterColumnSize(d);
  };
  EXPECT_EQ(size(SQL_DECIMAL, 20), 15u);
  EXPECT_EQ(size(SQL_NUMERIC, 8), 8u);
  EXPECT_EQ(size(SQL_CHAR, 10), 11u);
  EXPECT_EQ(size(SQL_LONGVARCHAR, 0), 1u);
  EXPECT_EQ(size(SQL_WVARCHAR, 10), 11u);
  EXPECT_EQ(size(SQL_INTEGER, 10), 10u);
}

}  // namespace
}  // namespace kestrel
