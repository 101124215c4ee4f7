#include <QAction>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>

#include "schedule/timer_scheduler.h"
#include "shell/app/status_window.h"
#include "widgets/log_view.h"
#include "window_fixture.h"

namespace kestrel::test {
namespace {

TEST_F(MainWindowTest, MenusHoldEveryCommandWithItsTextAndKey) {
  struct Item {
    const char* menu;
    const char* action;  // nullptr: a separator
    const char* text;
    const char* key;
  };
  const std::vector<Item> expected = {
      {"&File", "actionPreferences", "&Preferences...", "F9"},
      {"&File", nullptr, "", ""},
      {"&File", "actionEditScript", "&Edit script...", "F3"},
      {"&File", nullptr, "", ""},
      {"&File", "actionLoadScript", "Load &script &file", "F8"},
      {"&File", "actionLoadScriptAndExecute", "&Load script file and execute", "F6"},
      {"&File", nullptr, "", ""},
      {"&File", "actionExit", "E&xit", "Esc"},
      {"&Processing", "actionStartProcessingAll", "Start &processing all", "F7"},
      {"&Processing", "actionStartTimer", "Start &timer", "F5"},
      {"&Processing", "actionStopTimer", "&Stop timer", "F4"},
      {"&View", "actionClearView", "&Clear view", "Del"},
      {"&Help", "actionProgramDocumentation", "Program documentation", "F1"},
      {"&Help", "actionAbout", "&About KESTREL", ""},
  };
  MainWindow& main = openWindow();
  EXPECT_EQ(main.windowTitle(), "ODBC copy and data propagation utility (32 bit version)");
  std::size_t at = 0;
  for (QAction* menuAction : main.menuBar()->actions()) {
    for (QAction* item : menuAction->menu()->actions()) {
      ASSERT_LT(at, expected.size()) << "more menu items than expected";
      const Item& want = expected[at++];
      EXPECT_EQ(menuAction->text().toStdString(), want.menu);
      EXPECT_EQ(item->isSeparator(), want.action == nullptr) << want.text;
      if (!want.action) continue;
      EXPECT_EQ(item->objectName().toStdString(), want.action);
      EXPECT_EQ(item->text().toStdString(), want.text);
      EXPECT_EQ(item->shortcut().toString().toStdString(), want.key) << want.text;
    }
  }
  EXPECT_EQ(at, expected.size());
}

TEST_F(MainWindowTest, StartsWithoutScriptAndFollowsTheModelAndTheTimer) {
  MainWindow& main = openWindow();
  EXPECT_EQ(messages(), (std::vector<std::string>{std::string(69, '-'), "KESTREL program started",
                                                  "No script file initially loaded"}));
  EXPECT_FALSE(main.action("actionStartProcessingAll")->isEnabled());
  // The scheduler starts with the window.
  EXPECT_FALSE(main.action("actionStartTimer")->isEnabled());
  EXPECT_TRUE(main.action("actionStopTimer")->isEnabled());

  QTest::keyClick(main.view(), Qt::Key_F4);
  EXPECT_EQ(messages().back(), "Timer stopped");
  EXPECT_EQ(document->log().lines().back().kind, Error);
  EXPECT_TRUE(main.action("actionStartTimer")->isEnabled());
  EXPECT_FALSE(main.action("actionStopTimer")->isEnabled());
  QTest::keyClick(main.view(), Qt::Key_F5);
  EXPECT_EQ(messages().back(), "Timer started");
  EXPECT_TRUE(document->scheduler()->isActive());
  EXPECT_FALSE(main.action("actionStartTimer")->isEnabled());

  makeTables(3);
  QTest::keyClick(main.view(), Qt::Key_F8);
  EXPECT_TRUE(main.action("actionStartProcessingAll")->isEnabled());
  // A script that no longer loads empties the model: F7 is disabled again.
  writeScript("COPYDEFINITION: BROKEN\n  FROM nowhere\n");
  QTest::keyClick(main.view(), Qt::Key_F8);
  EXPECT_FALSE(main.action("actionStartProcessingAll")->isEnabled());
  QTest::keyClick(main.view(), Qt::Key_F7);
  EXPECT_EQ(targetRows(), 0) << "a disabled F7 runs nothing";
}

TEST_F(MainWindowTest, InitialUpdateReadsTheScriptAndWarnsOfNoUpdate) {
  makeTables(2);
  assign("InitiallyReadScript=1");
  assign("NoUpdate=1");
  MainWindow& main = openWindow();
  EXPECT_FALSE(logged("No script file initially loaded"));
  EXPECT_TRUE(logged(
      "WARNING: No updates are performed - updates are surpressed using a flag in preferences"));
  EXPECT_TRUE(main.action("actionStartProcessingAll")->isEnabled());
}

TEST_F(MainWindowTest, F7RunsTheScriptWithAStatusWindowThatGoesWithTheRun) {
  makeTables(40);
  assign("CancelActive=1");
  MainWindow& main = openWindow();
  QTest::keyClick(main.view(), Qt::Key_F8);
  QString title;
  bool disabledDuringRun = false;
  duringRun([&] {
    auto* status = main.findChild<StatusDisplayWindow*>("statusWindow");
    ASSERT_NE(status, nullptr);
    title = status->windowTitle();
    main.updateCommandStates();
    disabledDuringRun = !main.action("actionStartProcessingAll")->isEnabled() &&
                        !main.action("actionLoadScript")->isEnabled() &&
                        !main.action("actionEditScript")->isEnabled();
    // A second F7 while the run is busy starts nothing.
    QTest::keyClick(main.view(), Qt::Key_F7);
  });
  QTest::keyClick(main.view(), Qt::Key_F7);
  EXPECT_EQ(title, "KESTREL Copy status");
  EXPECT_TRUE(disabledDuringRun);
  EXPECT_TRUE(logged("Output table statistics: 0 deleted, 0 updated and 40 inserted."));
  EXPECT_EQ(targetRows(), 40);
  EXPECT_FALSE(temporaryFilesLeft());
  EXPECT_TRUE(main.action("actionStartProcessingAll")->isEnabled());
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(main.findChild<StatusDisplayWindow*>("statusWindow"), nullptr);

  // The keyboard is back with the main window once the status window is gone.
  QTRY_VERIFY(main.isActiveWindow());
  // Clear view empties the display; the log file keeps every line.
  QTest::keyClick(main.view(), Qt::Key_Delete);
  EXPECT_TRUE(document->log().lines().empty());
  std::ifstream file(folder.file("kestrel.log"));
  std::string line, all;
  while (std::getline(file, line)) all += line + "\n";
  EXPECT_NE(all.find("KESTREL program started"), std::string::npos);
  EXPECT_NE(all.find("Output table statistics: 0 deleted, 0 updated and 40 inserted."),
            std::string::npos);
}

// What the operator does while a copy runs, and what must come of it.
struct DuringRunCase {
  const char* name;
  bool pressCancel;      // the status window's button; otherwise Exit (Esc)
  BoxAnswer answer;      // to the question that follows
  const char* question;  // its caption
  const char* stopLine;  // the run's last words, nullptr: it runs to the end
  bool programEnds;
};

class MainWindowDuringRunTest : public MainWindowTest,
                                public ::testing::WithParamInterface<DuringRunCase> {};

TEST_P(MainWindowDuringRunTest, AsksAndStopsTheRunOnlyOnYes) {
  const DuringRunCase& c = GetParam();
  makeTables(50);
  assign("CancelActive=1");
  MainWindow& main = openWindow();
  QSignalSpy exited(&main, &MainWindow::exited);
  QTest::keyClick(main.view(), Qt::Key_F8);
  boxes.answers = {c.answer};
  duringRun([&] {
    if (c.pressCancel) {
      auto* button = main.findChild<QPushButton*>("cancelButton");
      ASSERT_NE(button, nullptr);
      button->click();
    } else {
      QTest::keyClick(main.view(), Qt::Key_Escape);
    }
    // The window stays while the run is on the stack, whatever the answer.
    EXPECT_TRUE(main.isVisible());
    EXPECT_EQ(exited.count(), 0);
  });
  QTest::keyClick(main.view(), Qt::Key_F7);

  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].caption, c.question);
  EXPECT_TRUE(boxes.boxes[0].question);
  if (c.stopLine) {
    EXPECT_TRUE(logged(c.stopLine));
    EXPECT_EQ(targetRows(), 0) << "a cancelled run leaves nothing in the target";
  } else {
    EXPECT_TRUE(logged("Output table statistics: 0 deleted, 0 updated and 50 inserted."));
    EXPECT_EQ(targetRows(), 50);
  }
  EXPECT_FALSE(temporaryFilesLeft());
  if (c.programEnds) {
    QTRY_COMPARE(exited.count(), 1);
    EXPECT_FALSE(main.isVisible());
  } else {
    QTest::qWait(50);
    EXPECT_EQ(exited.count(), 0);
    EXPECT_TRUE(main.isVisible());
    EXPECT_FALSE(main.exitPending());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Operator, MainWindowDuringRunTest,
    ::testing::Values(
        DuringRunCase{"ExitAnsweredNo", false, BoxAnswer::No, "KESTREL", nullptr, false},
        DuringRunCase{"ExitAnsweredYes", false, BoxAnswer::Yes, "KESTREL",
                      "Run stopped: the program was asked to end", true},
        DuringRunCase{"CancelAnsweredNo", true, BoxAnswer::No, "CANCEL", nullptr, false},
        DuringRunCase{"CancelAnsweredYes", true, BoxAnswer::Yes, "CANCEL",
                      "CANCEL pressed by operator...", false}),
    [](const ::testing::TestParamInfo<DuringRunCase>& info) { return info.param.name; });

// A run that a timer starts shows its status window as F7's does: the timer
// ticks through the window's event loop and the run pumps it.
TEST_F(MainWindowTest, TimerRunShowsItsStatusWindow) {
  FakeClock clock(localTime(2026, 5, 4, 22, 29));
  makeTables(40);
  assign("PollInterval=20");
  std::ofstream(folder.file("script.txt"), std::ios::app) << "  AUTORUN NIGHTLY\n"
                                                             "TIMERDEFINITION: NIGHTLY\n"
                                                             "  START 2026-05-04 TIME=22:30\n";
  MainWindow& main = openWindow();
  QTest::keyClick(main.view(), Qt::Key_F8);
  ASSERT_TRUE(logged("Next scheduled event at 2026-05-04 22:30:00"));
  bool statusShown = false;
  duringRun([&] { statusShown = main.findChild<StatusDisplayWindow*>("statusWindow") != nullptr; });
  clock.set(localTime(2026, 5, 4, 22, 30, 1));
  QTRY_VERIFY_WITH_TIMEOUT(logged("Output table statistics: 0 deleted, 0 updated and 40 inserted."),
                           20000);
  EXPECT_TRUE(statusShown);
  EXPECT_EQ(targetRows(), 40);
}

TEST_F(MainWindowTest, EscEndsTheIdleProgramAtOnce) {
  MainWindow& main = openWindow();
  QSignalSpy exited(&main, &MainWindow::exited);
  QTest::keyClick(main.view(), Qt::Key_Escape);
  EXPECT_EQ(exited.count(), 1);
  EXPECT_TRUE(boxes.boxes.empty()) << "nothing runs, so nothing to ask";
  EXPECT_FALSE(main.isVisible());
}

// SIGINT or SIGTERM while the editor is open: the editor's dialog is
// dismissed and the program ends, rather than waiting for a person.
TEST_F(MainWindowTest, StopRequestEndsTheProgramWithTheEditorOpen) {
  MainWindow& main = openWindow();
  QSignalSpy exited(&main, &MainWindow::exited);
  bool editorShown = false;
  QTimer::singleShot(0, &main, [&] { main.action("actionEditScript")->trigger(); });
  QTimer::singleShot(200, &main, [&] {
    for (QWidget* widget : QApplication::topLevelWidgets())
      if (qobject_cast<QDialog*>(widget) && widget->isVisible()) editorShown = true;
    requestProgramStop();
  });
  QTRY_COMPARE_WITH_TIMEOUT(exited.count(), 1, 5000);
  EXPECT_TRUE(editorShown);
  EXPECT_FALSE(main.isVisible());
}

TEST_F(MainWindowTest, WindowPositionIsRestoredAndStoredAgainWhenItChanges) {
  options.SaveWindowRect("Window", {40, 50, 640, 450});
  MainWindow& main = openWindow();
  EXPECT_EQ(main.geometry(), QRect(40, 50, 600, 400));
  main.setGeometry(60, 70, 500, 300);
  QTRY_COMPARE(options.storedWindowRect("Window"), (std::optional<WindowRect>{{60, 70, 560, 370}}));
}

TEST_F(MainWindowTest, AboutBoxShowsVersionAndStartTimeAndClosesOnEnter) {
  MainWindow& main = openWindow();
  std::string version, started, title;
  QTimer::singleShot(0, &main, [&] {
    auto* about = main.findChild<QDialog*>("aboutBox");
    ASSERT_NE(about, nullptr);
    title = about->windowTitle().toStdString();
    version = about->findChild<QLabel*>("aboutVersion")->text().toStdString();
    started = about->findChild<QLabel*>("aboutStarted")->text().toStdString();
    QTest::keyClick(about, Qt::Key_Return);
  });
  main.action("actionAbout")->trigger();
  EXPECT_EQ(title, "About KESTREL (32 bit version)");
  EXPECT_EQ(version, "Program KESTREL program version 4.2 compiled: Jan 28 1997");
  // "%04d-%02d-%02d at %02d:%02d"
  EXPECT_EQ(started.size(), 19u);
  EXPECT_EQ(started.substr(10, 4), " at ");
  EXPECT_EQ(main.findChild<QDialog*>("aboutBox"), nullptr) << "the box is gone after OK";
}

}  // namespace
}  // namespace kestrel::test
