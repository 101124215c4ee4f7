// wagtail's windows on the real event loop: documents with their worker
// threads against real drivers, the Execute SQL dialog, the SQL error
// dialog, and the grid window.

#include "sqltool/app/connection_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

#include "base/parameter_file.h"
#include "odbc_test_folder.h"
#include "sqltool/app/grid_window.h"
#include "sqltool/app/main_window.h"
#include "sqltool/app/sql_dialogs.h"

namespace kestrel {
namespace {

using test::DatabaseKind;
using test::OdbcTestFolder;

std::vector<std::string> logTexts(const MessageLog& log) {
  std::vector<std::string> texts;
  for (const LogLine& line : log.lines()) texts.push_back(line.text.substr(21));  // no time stamp
  return texts;
}

std::vector<int> logKinds(const MessageLog& log) {
  std::vector<int> kinds;
  for (const LogLine& line : log.lines()) kinds.push_back(line.kind);
  return kinds;
}

// Presses `button` of the next top-level dialog named `dialog` once it shows
// (it runs its own modal loop, so the answer has to come from a timer). The
// dialog's text is kept in `seen`.
void answerDialog(const char* dialog, const char* button, std::string* seen = nullptr) {
  auto* timer = new QTimer;
  QObject::connect(timer, &QTimer::timeout, [timer, dialog, button, seen] {
    for (QWidget* top : QApplication::topLevelWidgets()) {
      if (top->objectName() != dialog || !top->isVisible()) continue;
      if (seen)
        if (auto* text = top->findChild<QLabel*>("errorText")) *seen = text->text().toStdString();
      top->findChild<QPushButton*>(button)->click();
      timer->deleteLater();
      return;
    }
  });
  timer->start(20);
}

class WagtailWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    window_ = std::make_unique<WagtailMainWindow>(profile_);
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  }
  void TearDown() override {
    window_.reset();
    for (QWidget* top : QApplication::topLevelWidgets()) top->close();
  }

  ConnectionWindow* openDocument(const test::TestDatabase& db) {
    ConnectionWindow* document = window_->newDocument();
    document->openConnection(db.dsn, db.user, db.password);
    [&] { QTRY_VERIFY_WITH_TIMEOUT(document->connected(), 10000); }();
    [&] { QTRY_VERIFY(!document->busy()); }();
    return document;
  }
  bool waitIdle(ConnectionWindow* document, int timeout = 20000) {
    return QTest::qWaitFor([&] { return !document->busy(); }, timeout);
  }
  QAction* action(const char* name) { return window_->findChild<QAction*>(name); }

  OdbcTestFolder folder_;
  MemoryProfile profile_;
  std::unique_ptr<WagtailMainWindow> window_;
};

TEST_F(WagtailWindowTest, OpensExecutesAndShowsTheLastResult) {
  ConnectionWindow* document = openDocument(folder_.sqlite(OdbcTestFolder::kSqliteA));
  EXPECT_EQ(profile_.read("Options", "ODBCsource"),
            std::optional<std::string>(folder_.dsn(OdbcTestFolder::kSqliteA)));
  EXPECT_FALSE(action("openConnectionAction")->isEnabled());
  EXPECT_TRUE(action("executeSqlAction")->isEnabled());

  document->execute(
      "CREATE TABLE t (k INTEGER, name VARCHAR(10));\r\n"
      "INSERT INTO t VALUES (1, 'one'), (2, NULL);\r\n"
      "  -- the rows\r\n"
      "SELECT k, name\r\n  FROM t ORDER BY k;");
  ASSERT_TRUE(waitIdle(document));
  EXPECT_EQ(logTexts(document->log()),
            (std::vector<std::string>{
                "ODBC source " + folder_.dsn(OdbcTestFolder::kSqliteA) + " connection opened.",
                "CREATE TABLE t (k INTEGER, name VARCHAR(10));", "OK",
                "INSERT INTO t VALUES (1, 'one'), (2, NULL);", "OK", "  -- the rows",
                "SELECT k, name", "  FROM t ORDER BY k;", "OK"}));
  EXPECT_EQ(logKinds(document->log()), (std::vector<int>{2, 1, 2, 1, 2, 1, 1, 1, 2}));

  window_->updateCommands();
  ASSERT_TRUE(action("showResultAction")->isEnabled());
  action("showResultAction")->trigger();
  ASSERT_TRUE(document->gridWindow());
  ASSERT_TRUE(QTest::qWaitForWindowExposed(document->gridWindow()));
  QTRY_VERIFY(!document->fetching());
  TableList* list = document->tableList();
  ASSERT_EQ(list->rowCount(), 2u);
  EXPECT_EQ(list->columnTitle(1), "name");
  EXPECT_EQ(list->cell(1, 1), "[NULL]");
  EXPECT_EQ(document->gridWindow()->windowTitle(), "Table");

  // A second request shows the same grid; executing again discards it.
  action("showResultAction")->trigger();
  EXPECT_EQ(document->tableList(), list);
  QPointer<TableListWindow> grid = document->gridWindow();
  document->execute("DELETE FROM t WHERE k = 5;");
  EXPECT_FALSE(document->tableList());
  QTRY_VERIFY(!grid);
  ASSERT_TRUE(waitIdle(document));
  window_->updateCommands();
  EXPECT_FALSE(action("showResultAction")->isEnabled());  // 0 rows, no result set

  action("closeConnectionAction")->trigger();
  ASSERT_TRUE(waitIdle(document));
  EXPECT_FALSE(document->connected());
  EXPECT_EQ(logTexts(document->log()).back(), "ODBC connection closed");
  EXPECT_TRUE(action("openConnectionAction")->isEnabled());
}

TEST_F(WagtailWindowTest, FailedConnectLogsTheDriversMessage) {
  ConnectionWindow* document = window_->newDocument();
  document->openConnection("no_such_source", "", "");
  ASSERT_TRUE(waitIdle(document));
  EXPECT_FALSE(document->connected());
  ASSERT_EQ(document->log().lineCount(), 1);
  EXPECT_EQ(document->log().lines().back().kind, 3);
  EXPECT_NE(logTexts(document->log()).back().find("Data source name not found"), std::string::npos);
  EXPECT_EQ(profile_.read("Options", "ODBCsource"), std::nullopt);
}

TEST_F(WagtailWindowTest, SqlErrorDialogContinuesOrCancels) {
  ConnectionWindow* document = openDocument(folder_.sqlite(OdbcTestFolder::kSqliteA));
  const std::string source = "SELECT nosuch FROM nowhere;\r\nCREATE TABLE after (k INTEGER);";
  std::string seen;
  answerDialog("sqlErrorDialog", "cancelButton", &seen);
  document->execute(source);
  ASSERT_TRUE(waitIdle(document));
  EXPECT_NE(seen.find("no such table: nowhere"), std::string::npos) << seen;
  std::vector<std::string> lines = logTexts(document->log());
  EXPECT_EQ(lines.back(), seen);  // logged (kind 3) before the dialog, the rest not run
  EXPECT_EQ(document->log().lines().back().kind, 3);

  answerDialog("sqlErrorDialog", "continueButton");
  document->execute(source);
  ASSERT_TRUE(waitIdle(document));
  lines = logTexts(document->log());
  EXPECT_EQ(lines[lines.size() - 2], "CREATE TABLE after (k INTEGER);");
  EXPECT_EQ(lines.back(), "OK");
}

TEST_F(WagtailWindowTest, EmptyStatementEndsTheRunAndSaysSo) {
  ConnectionWindow* document = openDocument(folder_.sqlite(OdbcTestFolder::kSqliteA));
  document->execute("SELECT 1;\r\n;\r\nCREATE TABLE never (k INTEGER);");
  ASSERT_TRUE(waitIdle(document));
  std::vector<std::string> lines = logTexts(document->log());
  EXPECT_EQ(lines.back(),
            "Empty statement in line 2: execution ended, the lines after it were not executed");
  std::vector<test::Row> rows;
  EXPECT_NE(test::querySql(folder_.sqlite(OdbcTestFolder::kSqliteA), "SELECT * FROM never", &rows),
            "");
}

TEST_F(WagtailWindowTest, ExecuteDialogRunsTypedSqlWithEnter) {
  ConnectionWindow* document = openDocument(folder_.sqlite(OdbcTestFolder::kSqliteA));
  profile_.write("Options", "SqlFilename", folder_.file("start.sql"));
  action("executeSqlAction")->trigger();
  ExecuteSqlDialog* dialog = document->executeDialog();
  ASSERT_TRUE(dialog);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
  EXPECT_EQ(dialog->findChild<QLabel*>("titleLine")->text().toStdString(),
            "ODBC source: " + folder_.dsn(OdbcTestFolder::kSqliteA));
  auto* fileName = dialog->findChild<QLineEdit*>("fileNameEdit");
  EXPECT_EQ(fileName->text().toStdString(), folder_.file("start.sql"));
  auto* sql = dialog->findChild<QPlainTextEdit*>("sqlEdit");
  QTRY_VERIFY(sql->hasFocus());

  QTest::keyClicks(sql, "CREATE TABLE typed (k INTEGER);");
  QTest::keyClick(sql, Qt::Key_Return, Qt::ControlModifier);
  QTest::keyClicks(sql, "INSERT INTO typed VALUES (7);");
  EXPECT_EQ(sql->toPlainText(), "CREATE TABLE typed (k INTEGER);\nINSERT INTO typed VALUES (7);");
  QTest::keyClick(sql, Qt::Key_Return);
  ASSERT_TRUE(waitIdle(document));
  std::vector<std::string> lines = logTexts(document->log());
  EXPECT_EQ(lines.back(), "OK");
  EXPECT_EQ(lines[lines.size() - 2], "INSERT INTO typed VALUES (7);");

  // Save, change the name (stored at once), read back.
  fileName->setText(QString::fromStdString(folder_.file("typed.sql")));
  EXPECT_EQ(profile_.read("Options", "SqlFilename"), folder_.file("typed.sql"));
  dialog->findChild<QPushButton*>("saveButton")->click();
  sql->setPlainText("");
  dialog->findChild<QPushButton*>("readButton")->click();
  EXPECT_EQ(sql->toPlainText(), "CREATE TABLE typed (k INTEGER);\nINSERT INTO typed VALUES (7);");
  dialog->findChild<QPushButton*>("returnButton")->click();
  QTRY_VERIFY(!document->executeDialog());
}

// Esc is Exit and Ctrl+C is Close in the frame only: in the Execute SQL
// dialog they close the dialog and copy text.
TEST_F(WagtailWindowTest, FrameKeysDoNotActInTheExecuteDialog) {
  ConnectionWindow* document = openDocument(folder_.sqlite(OdbcTestFolder::kSqliteA));
  document->executeSqlCommands();
  QPointer<ExecuteSqlDialog> dialog = document->executeDialog();
  ASSERT_TRUE(dialog && QTest::qWaitForWindowExposed(dialog));
  auto* sql = dialog->findChild<QPlainTextEdit*>("sqlEdit");
  QTest::keyClicks(sql, "SELECT 1;");
  sql->selectAll();
  QTest::keyClick(sql, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), "SELECT 1;");
  EXPECT_EQ(window_->documents().size(), 1);
  QTest::keyClick(sql, Qt::Key_Escape);
  QTRY_VERIFY(!dialog);
  EXPECT_TRUE(window_->isVisible());
  EXPECT_EQ(window_->documents().size(), 1);
}

TEST_F(WagtailWindowTest, GridKeysMouseAndSelection) {
  ConnectionWindow* document = openDocument(folder_.sqlite(OdbcTestFolder::kSqliteA));
  document->execute(
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300) "
      "SELECT i, 'row ' || i AS label FROM n;");
  ASSERT_TRUE(waitIdle(document));
  document->showResult(document);
  TableListWindow* grid = document->gridWindow();
  ASSERT_TRUE(grid && QTest::qWaitForWindowExposed(grid));
  QTRY_VERIFY(!document->fetching());
  TableList* list = document->tableList();
  ASSERT_EQ(list->rowCount(), 300u);
  GridView* view = grid->view();
  const GridLayout layout = view->gridLayout();

  QTest::keyClick(view, Qt::Key_End);
  EXPECT_EQ(list->firstNumber(), 300u);
  QTest::keyClick(view, Qt::Key_Home);
  QTest::keyClick(view, Qt::Key_PageDown);
  EXPECT_EQ(list->firstNumber(), 1u + layout.pageRows());
  QTest::keyClick(view, Qt::Key_Up);
  EXPECT_EQ(list->firstNumber(), static_cast<size_t>(layout.pageRows()));
  QTest::keyClick(view, Qt::Key_Right);
  EXPECT_EQ(list->firstColumn(), 1u);
  QTest::keyClick(view, Qt::Key_Left);

  // A click on the second visible row selects it; below the last row nothing.
  const size_t top = list->topRow();
  QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(5, layout.firstRowY + layout.rowHeight + 2));
  EXPECT_TRUE(list->isSelected(top + 1));
  EXPECT_EQ(list->selectedCount(), 1u);
  grid->findChild<QAction*>("copySelectedAction")->trigger();
  EXPECT_EQ(QApplication::clipboard()->text().toStdString(),
            "i\tlabel\n" + std::to_string(top + 2) + "\trow " + std::to_string(top + 2) + "\n");
  grid->findChild<QAction*>("selectAllAction")->trigger();
  EXPECT_EQ(list->selectedCount(), 300u);

  grid->findChild<QAction*>("closeAction")->trigger();
  QTRY_VERIFY(!document->gridWindow());
  document->showResult(document);
  ASSERT_TRUE(document->gridWindow());
  EXPECT_EQ(list->selectedCount(), 0u);  // a new window starts deselected
}

TEST_F(WagtailWindowTest, StoppingAFetchKeepsTheRowsReadSoFar) {
  ConnectionWindow* document = openDocument(folder_.sqlite(OdbcTestFolder::kSqliteA));
  document->execute(
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1000000) "
      "SELECT i FROM n;");
  ASSERT_TRUE(waitIdle(document, 120000));  // the driver reads the whole result here
  document->showResult(document);
  TableList* list = document->tableList();
  QTRY_VERIFY(list->rowCount() > 0);
  EXPECT_NE(list->statusText.find("Reading rows..."), std::string::npos);
  document->gridWindow()->findChild<QAction*>("stopReadingAction")->trigger();
  QTRY_VERIFY_WITH_TIMEOUT(!document->fetching(), 20000);
  EXPECT_LT(list->rowCount(), 1000000u);
  EXPECT_EQ(list->cell(0, 0), "1");
  EXPECT_EQ(list->statusText, "");
}

// A statement that runs long leaves the other documents usable and is
// stopped through the driver; its failure is reported as any other.
TEST_F(WagtailWindowTest, LongStatementCanBeCancelledWhileOthersWork) {
  KESTREL_REQUIRE_DATABASE(DatabaseKind::PostgreSQL);
  ConnectionWindow* slow = openDocument(folder_.database(DatabaseKind::PostgreSQL));
  std::string seen;
  answerDialog("sqlErrorDialog", "cancelButton", &seen);
  slow->execute("SELECT pg_sleep(60);");
  QTRY_VERIFY(slow->busy());
  QTest::qWait(300);
  EXPECT_TRUE(slow->busy());

  ConnectionWindow* other = openDocument(folder_.sqlite(OdbcTestFolder::kSqliteB));
  other->execute("SELECT 1;");
  ASSERT_TRUE(waitIdle(other, 5000));
  EXPECT_EQ(logTexts(other->log()).back(), "OK");
  EXPECT_TRUE(slow->busy());

  slow->stop();
  ASSERT_TRUE(waitIdle(slow, 10000));
  EXPECT_NE(seen.find("cancel"), std::string::npos) << seen;
  EXPECT_EQ(slow->log().lines().back().kind, 3);
}

}  // namespace
}  // namespace kestrel
