#pragma once
// kestrel's main window on the real event loop (offscreen platform) with a
// document on an in-memory profile and two real SQLite databases: the
// source kt_sqlite_a holds table SRC_T, the target kt_sqlite_b table DST_T.
// The script copies SRC_T into DST_T by key; temporary files go into a
// folder of their own so that a test sees them removed.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/parameter_file.h"
#include "base/platform.h"
#include "fakes.h"
#include "odbc_test_folder.h"
#include "shell/app/main_window.h"
#include "shell/copy_document.h"
#include "widgets/qt_platform.h"

namespace kestrel::test {

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() : options(profile) {
    source = folder.sqlite(OdbcTestFolder::kSqliteA);
    target = folder.sqlite(OdbcTestFolder::kSqliteB);
    DefineKestrelOptions(options);
    // The run processes window messages between rows, as the program's does.
    setProgramMessagePump(&pump);
    std::filesystem::create_directories(folder.file("temp"));
    assign("TempFile=" + folder.file("temp/k-%p.tmp"));
    assign("ScriptFile=" + folder.file("script.txt"));
    assign("LogFile=" + folder.file("kestrel.log"));
  }
  ~MainWindowTest() override {
    closeWindow();
    clearProgramStop();
    setProgramMessagePump(nullptr);
  }

  void assign(const std::string& assignment) { ASSERT_TRUE(options.Assign(assignment)); }

  // SRC_T with `rows` rows, an empty DST_T, and the script.
  void makeTables(int rows) {
    ASSERT_EQ(execSql(source, {"CREATE TABLE SRC_T (K INTEGER, NAME VARCHAR(20))",
                               "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                               "WHERE i < " +
                                   std::to_string(rows) +
                                   ") INSERT INTO SRC_T SELECT i, 'name ' || i FROM n"}),
              "");
    ASSERT_EQ(execSql(target, {"CREATE TABLE DST_T (K INTEGER, NAME VARCHAR(20))"}), "");
    writeScript(
        "COPYDEFINITION: NIGHTLY\n"
        "  FROM " +
        source.dsn +
        " TABLE=SRC_T\n"
        "  TO " +
        target.dsn +
        " TABLE=DST_T UPDATE=KEYS\n"
        "  COPY K KEY=YES\n"
        "  COPY NAME\n");
  }
  void writeScript(const std::string& text) {
    std::ofstream(folder.file("script.txt"), std::ios::trunc) << text;
  }
  long targetRows() {
    std::vector<Row> rows;
    EXPECT_EQ(querySql(target, "SELECT COUNT(*) FROM DST_T", &rows), "");
    return rows.empty() || !rows[0][0] ? -1 : std::stol(*rows[0][0]);
  }
  bool temporaryFilesLeft() const { return !std::filesystem::is_empty(folder.file("temp")); }

  // The window, shown and through its initial update.
  MainWindow& openWindow() {
    document = std::make_unique<CopyDocument>(options);
    window = std::make_unique<MainWindow>(*document, std::time(nullptr));
    window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    window->initialUpdate();
    return *window;
  }
  void closeWindow() {
    window.reset();
    document.reset();
    // Status windows closed by their runs are deleted later.
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  // The log's messages, without their time stamps.
  std::vector<std::string> messages() const {
    std::vector<std::string> out;
    for (const LogLine& line : document->log().lines()) out.push_back(line.text.substr(21));
    return out;
  }
  bool logged(const std::string& message) const {
    for (const std::string& line : messages()) {
      if (line == message) return true;
    }
    return false;
  }

  // Calls `step` once, from the message pump of the run in progress (the
  // first time the event loop turns while the document is busy).
  void duringRun(std::function<void()> step) {
    auto* poll = new QTimer(window.get());
    poll->setInterval(0);
    QObject::connect(poll, &QTimer::timeout, poll, [this, poll, step] {
      if (!document->busy()) return;
      poll->stop();
      poll->deleteLater();
      step();
    });
    poll->start();
  }

  OdbcTestFolder folder;
  MemoryProfile profile;
  ParameterFile options;
  TestDatabase source, target;
  RecordingMessageBox boxes;
  QtMessagePump pump;
  std::unique_ptr<CopyDocument> document;
  std::unique_ptr<MainWindow> window;
};

}  // namespace kestrel::test
