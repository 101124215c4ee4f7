#include "shell/app/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "editor/edit_script_dialog.h"
#include "shell/app/preferences_window.h"
#include "shell/app/program_documentation.h"
#include "shell/app/status_window.h"
#include "shell/copy_document.h"
#include "widgets/log_view.h"

namespace kestrel {

class MainWindow::CommandScope {
 public:
  explicit CommandScope(MainWindow& window) : window_(window) { ++window_.activeCommands_; }
  ~CommandScope() {
    --window_.activeCommands_;
    window_.updateCommandStates();
    window_.closeWhenIdle();
  }

 private:
  MainWindow& window_;
};

// The scheduler's ticks arrive through the window, so that a timer run
// counts as a command in progress.
class MainWindow::CountedTicks final : public TickSource {
 public:
  CountedTicks(MainWindow& window, QtTickSource& ticks) : window_(window), ticks_(ticks) {}
  bool start(int intervalMs, std::function<void()> onTick) override {
    MainWindow* window = &window_;
    return ticks_.start(intervalMs, [window, onTick = std::move(onTick)] {
      CommandScope scope(*window);
      onTick();
    });
  }
  void stop() override { ticks_.stop(); }

 private:
  MainWindow& window_;
  QtTickSource& ticks_;
};

MainWindow::MainWindow(CopyDocument& document, std::time_t startTime, QWidget* parent)
    : QMainWindow(parent), document_(document), startTime_(startTime) {
  setObjectName("mainWindow");
  setWindowTitle("ODBC copy and data propagation utility (32 bit version)");
  view_ = new LogViewWidget(document_.log(), this);
  setCentralWidget(view_);
  view_->setFocus();
  buildMenus();
  resize(800, 500);
  restorePlacement();

  countedTicks_ = std::make_unique<CountedTicks>(*this, ticks_);
  document_.createScheduler(*countedTicks_);
  // Runs started by a timer show their status window as F7's runs do.
  document_.setTimerStatusWindows(this);

  // A run started by a timer changes the states behind the window's back;
  // the states are read again a few times a second (also during a run,
  // whose message pump processes this timer).
  stateTimer_.setInterval(250);
  connect(&stateTimer_, &QTimer::timeout, this, [this] {
    updateCommandStates();
    // SIGINT or SIGTERM: end as Exit does once nothing runs (a run in
    // progress stops at its next row by itself).
    if (programStopRequested() && !exitPending_) {
      exitPending_ = true;
      closeWhenIdle();
    }
    // A dialog left open (the editor, the preferences, a question) would
    // keep its command from returning and the program from ending: it is
    // dismissed as with Esc, unsaved changes with it. A run is left to stop
    // at its next row, its status window with it.
    if (exitPending_ && programStopRequested() && !document_.busy()) {
      for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(widget);
        if (dialog && dialog->isVisible()) dialog->reject();
      }
    }
  });
  stateTimer_.start();
  updateCommandStates();
}

MainWindow::~MainWindow() {
  stateTimer_.stop();
  document_.destroyScheduler();
  document_.setTimerStatusWindows(nullptr);
  view_->detach();
}

void MainWindow::initialUpdate() {
  CommandScope scope(*this);
  document_.initialUpdate();
}

QAction* MainWindow::addCommand(QMenu* menu, const char* objectName, const QString& text,
                                const QKeySequence& key, void (MainWindow::*handler)()) {
  // The menu text carries its key after a tab; the action gets the text
  // before it and the key as its shortcut, which Qt shows in the same place.
  QAction* command = new QAction(text.section('\t', 0, 0), this);
  command->setObjectName(objectName);
  if (!key.isEmpty()) command->setShortcut(key);
  command->setShortcutContext(Qt::WindowShortcut);
  connect(command, &QAction::triggered, this, handler);
  menu->addAction(command);
  // The keys also work while the view has the focus and the menu bar is
  // hidden from them (for example under a global menu).
  addAction(command);
  actions_[objectName] = command;
  return command;
}

void MainWindow::buildMenus() {
  QMenu* file = menuBar()->addMenu("&File");
  file->setObjectName("menuFile");
  addCommand(file, "actionPreferences", "&Preferences...\tF9", Qt::Key_F9,
             &MainWindow::preferences);
  file->addSeparator();
  addCommand(file, "actionEditScript", "&Edit script...\tF3", Qt::Key_F3, &MainWindow::editScript);
  file->addSeparator();
  addCommand(file, "actionLoadScript", "Load &script &file\tF8", Qt::Key_F8,
             &MainWindow::loadScript);
  addCommand(file, "actionLoadScriptAndExecute", "&Load script file and execute\tF6", Qt::Key_F6,
             &MainWindow::loadScriptAndExecute);
  file->addSeparator();
  addCommand(file, "actionExit", "E&xit\tEsc", Qt::Key_Escape, &MainWindow::exitProgram);

  QMenu* processing = menuBar()->addMenu("&Processing");
  processing->setObjectName("menuProcessing");
  addCommand(processing, "actionStartProcessingAll", "Start &processing all\tF7", Qt::Key_F7,
             &MainWindow::startProcessingAll);
  addCommand(processing, "actionStartTimer", "Start &timer\tF5", Qt::Key_F5,
             &MainWindow::startTimer);
  addCommand(processing, "actionStopTimer", "&Stop timer\tF4", Qt::Key_F4, &MainWindow::stopTimer);

  QMenu* view = menuBar()->addMenu("&View");
  view->setObjectName("menuView");
  addCommand(view, "actionClearView", "&Clear view\tDel", Qt::Key_Delete, &MainWindow::clearView);

  QMenu* help = menuBar()->addMenu("&Help");
  help->setObjectName("menuHelp");
  addCommand(help, "actionProgramDocumentation", "Program documentation\tF1", Qt::Key_F1,
             &MainWindow::programDocumentation);
  addCommand(help, "actionAbout", "&About KESTREL", QKeySequence(), &MainWindow::showAbout);

  for (QMenu* menu : {file, processing, view, help}) {
    connect(menu, &QMenu::aboutToShow, this, &MainWindow::updateCommandStates);
  }
}

QAction* MainWindow::action(const char* objectName) const {
  auto found = actions_.find(objectName);
  return found == actions_.end() ? nullptr : found->second;
}

void MainWindow::updateCommandStates() {
  action("actionLoadScript")->setEnabled(document_.canLoadScript());
  action("actionLoadScriptAndExecute")->setEnabled(document_.canLoadScriptAndExecute());
  action("actionStartProcessingAll")->setEnabled(document_.canStartProcessingAll());
  action("actionStartTimer")->setEnabled(document_.canStartTimer());
  action("actionStopTimer")->setEnabled(document_.canStopTimer());
  action("actionEditScript")->setEnabled(document_.canEditScript());
}

std::unique_ptr<StatusWindow> MainWindow::create(StatusDisplay& display) {
  auto window = std::make_unique<StatusDisplayWindow>(display, this);
  // The program's keys work while the status window has the focus.
  for (const auto& [name, command] : actions_) window->addAction(command);
  updateCommandStates();
  return window;
}

void MainWindow::restorePlacement() {
  if (std::optional<WindowRect> rect = document_.options().storedWindowRect("Window")) {
    setGeometry(rect->left, rect->top, std::max(1, rect->right - rect->left),
                std::max(1, rect->bottom - rect->top));
  }
  placementRestored_ = true;
}

void MainWindow::savePlacement() {
  // Only a shown window in its normal state has a placement worth keeping:
  // a maximised window would come back maximised in a normal frame.
  if (!placementRestored_ || !isVisible() || windowState() != Qt::WindowNoState) return;
  const QRect r = geometry();
  const WindowRect rect{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
  if (document_.options().storedWindowRect("Window") == rect) return;
  document_.options().SaveWindowRect("Window", rect);
}

void MainWindow::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  savePlacement();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  savePlacement();
}

bool MainWindow::idle() const { return activeCommands_ == 0 && !document_.busy(); }

void MainWindow::closeWhenIdle() {
  if (!exitPending_ || closing_ || !idle()) return;
  // Queued, so that the command that has just returned is off the stack.
  QTimer::singleShot(0, this, [this] {
    if (!closing_ && idle()) close();
  });
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (!idle()) {
    event->ignore();
    if (exitPending_) return;
    if (programMessageBox().ask("A copy is running. Do you want to cancel it and exit?", "KESTREL",
                                BoxIcon::Question, BoxButtons::YesNo) == BoxAnswer::Yes) {
      exitPending_ = true;
      requestProgramStop();
    }
    return;
  }
  closing_ = true;
  savePlacement();
  stateTimer_.stop();
  event->accept();
  emit exited();
}

void MainWindow::exitProgram() { close(); }

void MainWindow::preferences() { ShowPreferences(this, document_.options()); }

void MainWindow::programDocumentation() { ShowProgramDocumentation(this); }

void MainWindow::editScript() {
  CommandScope scope(*this);
  if (!document_.canEditScript()) return;
  if (RunEditScriptDialog(this, document_.options())) {
    // The dialog is modal: no run can have started meanwhile, but check.
    if (document_.canLoadScript()) document_.loadScript();
  }
}

void MainWindow::loadScript() {
  CommandScope scope(*this);
  document_.loadScript();
}

void MainWindow::loadScriptAndExecute() {
  CommandScope scope(*this);
  document_.loadScriptAndExecute(this);
}

void MainWindow::startProcessingAll() {
  CommandScope scope(*this);
  document_.startProcessingAll(this);
}

void MainWindow::startTimer() {
  CommandScope scope(*this);
  if (document_.canStartTimer()) document_.startTimer();
}

void MainWindow::stopTimer() {
  CommandScope scope(*this);
  if (document_.canStopTimer()) document_.stopTimer();
}

void MainWindow::clearView() {
  document_.clearView();
  view_->viewport()->update();
}

void MainWindow::showAbout() {
  QDialog about(this);
  about.setObjectName("aboutBox");
  about.setWindowTitle("About KESTREL (32 bit version)");
  QLabel* icon = new QLabel(&about);
  icon->setObjectName("aboutIcon");
  const QIcon programIcon =
      windowIcon().isNull() ? style()->standardIcon(QStyle::SP_ComputerIcon) : windowIcon();
  icon->setPixmap(programIcon.pixmap(32, 32));

  char version[160];
  std::snprintf(version, sizeof version, "Program %s version %d.%d compiled: %s", "KESTREL program",
                4, 2, "Jan 28 1997");
  QLabel* versionLine = new QLabel(QString::fromLatin1(version), &about);
  versionLine->setObjectName("aboutVersion");
  std::tm local{};
  localtime_r(&startTime_, &local);
  char started[64];
  std::snprintf(started, sizeof started, "%04d-%02d-%02d at %02d:%02d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min);
  QLabel* startedLabel = new QLabel("Program started:", &about);
  QLabel* startedValue = new QLabel(QString::fromLatin1(started), &about);
  startedValue->setObjectName("aboutStarted");

  QDialogButtonBox* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &about);
  buttons->setObjectName("aboutButtons");
  buttons->button(QDialogButtonBox::Ok)->setText("OK");
  connect(buttons, &QDialogButtonBox::accepted, &about, &QDialog::accept);

  auto* startedRow = new QHBoxLayout;
  startedRow->addWidget(startedLabel);
  startedRow->addWidget(startedValue);
  startedRow->addStretch();
  auto* text = new QVBoxLayout;
  text->addWidget(versionLine);
  text->addLayout(startedRow);
  auto* top = new QHBoxLayout;
  top->addWidget(icon, 0, Qt::AlignTop);
  top->addLayout(text);
  auto* layout = new QVBoxLayout(&about);
  layout->addLayout(top);
  layout->addWidget(buttons);
  buttons->button(QDialogButtonBox::Ok)->setFocus();
  about.exec();
}

}  // namespace kestrel
