#pragma once
// kestrel's main window: the frame with its menus and keys and the view that
// draws the document's MessageLog. It only draws and forwards: every command
// and the rule that enables it belong to CopyDocument. The window owns the
// tick source of the program's scheduler and makes the status windows of the
// runs it starts.
//
// Exit (Esc, the menu, closing the window) while a copy runs asks whether to
// cancel the run. On Yes the run stops at its next row as a cancelled run and
// the window closes once it has returned, so the document outlives every run.

#include <QMainWindow>
#include <QTimer>
#include <ctime>
#include <map>
#include <memory>
#include <string>

#include "base/status_display.h"
#include "schedule/timer_scheduler.h"
#include "widgets/qt_platform.h"

class QAction;

namespace kestrel {

class CopyDocument;
class LogViewWidget;

class MainWindow final : public QMainWindow, public StatusWindowFactory {
  Q_OBJECT

 public:
  // The document must outlive the window. Restores the stored position and
  // creates the document's scheduler, which starts at once.
  MainWindow(CopyDocument& document, std::time_t startTime, QWidget* parent = nullptr);
  ~MainWindow() override;

  // The view's start-up: the start-up lines, the script when
  // InitiallyReadScript is set, the NoUpdate warning, the next event.
  void initialUpdate();

  // The command by the name of its action ("actionStartProcessingAll", ...).
  QAction* action(const char* objectName) const;
  LogViewWidget* view() const { return view_; }
  // Sets every command's enabled state from the document.
  void updateCommandStates();
  // True between an answered Exit during a run and the window closing.
  bool exitPending() const { return exitPending_; }

  // StatusWindowFactory: the status window of a run started from here.
  std::unique_ptr<StatusWindow> create(StatusDisplay& display) override;

 signals:
  // The window has closed for good: the program ends.
  void exited();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // Counts the commands and timer ticks in progress, so that the window
  // closes only when none is on the stack.
  class CommandScope;
  class CountedTicks;

  QAction* addCommand(QMenu* menu, const char* objectName, const QString& text,
                      const QKeySequence& key, void (MainWindow::*handler)());
  void buildMenus();
  void restorePlacement();
  void savePlacement();
  bool idle() const;
  void closeWhenIdle();
  void showAbout();

  void preferences();
  void programDocumentation();
  void editScript();
  void loadScript();
  void loadScriptAndExecute();
  void startProcessingAll();
  void startTimer();
  void stopTimer();
  void clearView();
  void exitProgram();

  CopyDocument& document_;
  std::time_t startTime_;
  LogViewWidget* view_ = nullptr;
  QtTickSource ticks_;
  std::unique_ptr<CountedTicks> countedTicks_;
  std::map<std::string, QAction*> actions_;
  QTimer stateTimer_;
  int activeCommands_ = 0;
  bool exitPending_ = false;
  bool closing_ = false;
  bool placementRestored_ = false;
};

}  // namespace kestrel
