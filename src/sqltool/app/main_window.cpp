#include "sqltool/app/main_window.h"

#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>

#include "sqltool/app/connection_window.h"
#include "version.h"

namespace kestrel {

WagtailMainWindow::WagtailMainWindow(Profile& profile, QWidget* parent)
    : QMainWindow(parent), profile_(profile) {
  setObjectName("mainWindow");
  setWindowTitle("WAGTAIL (16 bit)");
  mdi_ = new QMdiArea(this);
  mdi_->setObjectName("mdiArea");
  setCentralWidget(mdi_);

  QMenu* file = menuBar()->addMenu("&File");
  QAction* create = command(file, "&New", "newAction", QKeySequence(Qt::CTRL | Qt::Key_N));
  close_ = command(file, "&Close", "closeAction", QKeySequence(Qt::CTRL | Qt::Key_C));
  file->addSeparator();
  QAction* exit = command(file, "E&xit", "exitAction", QKeySequence(Qt::Key_Escape));
  connect(create, &QAction::triggered, this, [this] { newDocument(); });
  connect(close_, &QAction::triggered, this, [this] {
    if (QMdiSubWindow* sub = mdi_->activeSubWindow()) sub->close();
  });
  connect(exit, &QAction::triggered, this, &QWidget::close);
  // Esc and Ctrl+C act only in the frame itself: in the Execute SQL dialog
  // Esc closes the dialog and Ctrl+C copies text, as everywhere else.
  close_->setShortcutContext(Qt::WindowShortcut);
  exit->setShortcutContext(Qt::WindowShortcut);

  sqlMenu_ = menuBar()->addMenu("&Sql");
  open_ = command(sqlMenu_, "&Open ODBC connection...", "openConnectionAction", Qt::Key_F4);
  disconnect_ = command(sqlMenu_, "&Close ODBC connection", "closeConnectionAction", Qt::Key_F3);
  execute_ = command(sqlMenu_, "&Execute SQL commands...", "executeSqlAction", Qt::Key_F5);
  showResult_ = command(sqlMenu_, "&Show last SELECT result...", "showResultAction", Qt::Key_F6);
  connect(open_, &QAction::triggered, this, [this] {
    if (ConnectionWindow* d = activeDocument()) d->openConnection();
  });
  connect(disconnect_, &QAction::triggered, this, [this] {
    if (ConnectionWindow* d = activeDocument()) d->closeConnection();
  });
  connect(execute_, &QAction::triggered, this, [this] {
    if (ConnectionWindow* d = activeDocument()) d->executeSqlCommands();
  });
  connect(showResult_, &QAction::triggered, this, [this] {
    if (ConnectionWindow* d = activeDocument()) d->showResult(d);
  });

  windowMenu_ = menuBar()->addMenu("&Window");
  QAction* cascade = command(windowMenu_, "&Cascade", "cascadeAction", {});
  QAction* tile = command(windowMenu_, "&Tile", "tileAction", {});
  connect(cascade, &QAction::triggered, mdi_, &QMdiArea::cascadeSubWindows);
  connect(tile, &QAction::triggered, mdi_, &QMdiArea::tileSubWindows);

  QMenu* help = menuBar()->addMenu("&Help");
  QAction* about = command(help, "&About WAGTAIL...", "aboutAction", {});
  connect(about, &QAction::triggered, this, [this] {
    QMessageBox box(QMessageBox::Information, "About WAGTAIL",
                    QString("WAGTAIL, the ODBC SQL test tool\n\nWagtail Version 1.0 (16 bit)\n"
                            "Build %1")
                        .arg(KESTREL_VERSION),
                    QMessageBox::Ok, this);
    box.setObjectName("aboutBox");
    box.exec();
  });

  connect(mdi_, &QMdiArea::subWindowActivated, this, [this] { updateCommands(); });
  resize(900, 600);
  updateCommands();
}

QAction* WagtailMainWindow::command(QMenu* menu, const char* text, const char* name,
                                    const QKeySequence& key) {
  QAction* action = menu->addAction(text);
  action->setObjectName(name);
  if (!key.isEmpty()) {
    action->setShortcut(key);
    action->setShortcutContext(Qt::ApplicationShortcut);
  }
  return action;
}

ConnectionWindow* WagtailMainWindow::newDocument() {
  auto* document = new ConnectionWindow(profile_);
  QMdiSubWindow* sub = mdi_->addSubWindow(document);
  sub->setAttribute(Qt::WA_DeleteOnClose);
  document->setWindowTitle(QString("WAGTAIL%1").arg(++documentCount_));
  connect(document, &ConnectionWindow::stateChanged, this, &WagtailMainWindow::updateCommands);
  connect(document, &QObject::destroyed, this, [this] {
    QMetaObject::invokeMethod(this, &WagtailMainWindow::updateCommands, Qt::QueuedConnection);
  });
  // A new document takes most of the area, so its log and its SQL are readable
  // without resizing; the first one is made before the window has its final size.
  QSize area = mdi_->viewport()->size();
  if (area.width() < 400 || area.height() < 300) area = QSize(880, 500);
  sub->resize(area.width() * 4 / 5, area.height() * 4 / 5);
  sub->show();
  mdi_->setActiveSubWindow(sub);
  document->setFocus();
  updateCommands();
  return document;
}

ConnectionWindow* WagtailMainWindow::activeDocument() const {
  QMdiSubWindow* sub = mdi_->activeSubWindow();
  if (!sub && !mdi_->subWindowList().isEmpty()) sub = mdi_->subWindowList().last();
  return sub ? qobject_cast<ConnectionWindow*>(sub->widget()) : nullptr;
}

QList<ConnectionWindow*> WagtailMainWindow::documents() const {
  QList<ConnectionWindow*> list;
  for (QMdiSubWindow* sub : mdi_->subWindowList())
    if (auto* d = qobject_cast<ConnectionWindow*>(sub->widget())) list.push_back(d);
  return list;
}

void WagtailMainWindow::updateCommands() {
  ConnectionWindow* document = activeDocument();
  const bool any = document != nullptr;
  sqlMenu_->menuAction()->setVisible(any);
  windowMenu_->menuAction()->setVisible(any);
  close_->setEnabled(any);
  open_->setEnabled(any && document->canOpen());
  disconnect_->setEnabled(any && document->canClose());
  execute_->setEnabled(any && document->canExecute());
  showResult_->setEnabled(any && document->canShowResult());
  QString title = "WAGTAIL (16 bit)";
  if (any) title += " - " + document->windowTitle();
  setWindowTitle(title);
}

}  // namespace kestrel
