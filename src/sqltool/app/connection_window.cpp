#include "sqltool/app/connection_window.h"

#include <QVBoxLayout>

#include "base/parameter_file.h"
#include "odbc/odbc.h"
#include "sqltool/app/grid_window.h"
#include "sqltool/app/sql_dialogs.h"
#include "widgets/log_view.h"

namespace kestrel {

namespace {
const char kSection[] = "Options";
// Rows handed to the window at a time while a result is read.
constexpr size_t kRowsPerBatch = 2000;
}  // namespace

// Hands the worker's lines to the window thread, where the log lives.
class ConnectionWindow::QueuedLog final : public LineSink {
 public:
  explicit QueuedLog(ConnectionWindow* window) : window_(window) {}
  void addLine(const std::string& message, int kind) override {
    ConnectionWindow* window = window_;
    QMetaObject::invokeMethod(
        window, [window, message, kind] { window->log_.AddLine(message, kind); },
        Qt::QueuedConnection);
  }

 private:
  ConnectionWindow* window_;
};

// The window thread's own lines (the echoed SQL source) go straight in.
namespace {
class DirectLog final : public LineSink {
 public:
  explicit DirectLog(MessageLog& log) : log_(log) {}
  void addLine(const std::string& message, int kind) override { log_.AddLine(message, kind); }

 private:
  MessageLog& log_;
};
}  // namespace

ConnectionWindow::ConnectionWindow(Profile& profile, QWidget* parent)
    : QWidget(parent), profile_(profile) {
  setObjectName("connectionWindow");
  setAttribute(Qt::WA_DeleteOnClose);
  log_.Configure(2000, "", false);
  view_ = new LogViewWidget(log_, this);
  view_->setObjectName("logView");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(view_);
  setFocusProxy(view_);
  queuedLog_ = std::make_unique<QueuedLog>(this);
  document_ = std::make_unique<ConnectionDocument>(*queuedLog_);
  worker_ = new QObject;
  worker_->moveToThread(&thread_);
  connect(&thread_, &QThread::finished, worker_, &QObject::deleteLater);
  thread_.start();
}

ConnectionWindow::~ConnectionWindow() {
  stopFetch_ = true;
  document_->cancel();
  // The document's connection is closed on its own thread, after whatever
  // job is still running there.
  ConnectionDocument* document = document_.get();
  QMetaObject::invokeMethod(
      worker_, [document] { document->discardResult(); }, Qt::QueuedConnection);
  thread_.quit();
  thread_.wait();
  if (grid_) grid_->detach();
  view_->detach();
}

void ConnectionWindow::post(std::function<void()> work) {
  QMetaObject::invokeMethod(worker_, std::move(work), Qt::QueuedConnection);
}

void ConnectionWindow::setBusy(bool busy) {
  busy_ = busy;
  if (dialog_) dialog_->setRunning(running_);
  emit stateChanged();
}

void ConnectionWindow::openConnection() {
  if (!canOpen()) return;
  std::vector<std::string> sources;
  OdbcEnvironment& environment = odbcEnvironment();
  while (std::optional<std::string> name = environment.nextDataSource()) sources.push_back(*name);
  OpenConnectionDialog dialog(sources, profile_.read(kSection, "ODBCsource").value_or(""), this);
  if (dialog.exec() != QDialog::Accepted) return;
  openConnection(dialog.source(), dialog.user(), dialog.password());
}

void ConnectionWindow::openConnection(const std::string& source, const std::string& user,
                                      const std::string& password) {
  if (busy_) return;
  discardResult();
  setBusy(true);
  ConnectionDocument* document = document_.get();
  QPointer<ConnectionWindow> self(this);
  post([=, this] {
    bool opened = document->open(source, user, password);
    QMetaObject::invokeMethod(
        self,
        [=, this] {
          if (!self) return;
          if (opened) profile_.write(kSection, "ODBCsource", source);
          setBusy(false);
        },
        Qt::QueuedConnection);
  });
}

void ConnectionWindow::closeConnection() {
  if (busy_ && !fetching_) return;
  stop();
  if (dialog_) dialog_->close();
  discardResult();
  setBusy(true);
  ConnectionDocument* document = document_.get();
  QPointer<ConnectionWindow> self(this);
  post([=, this] {
    document->close();
    QMetaObject::invokeMethod(
        self,
        [=, this] {
          if (self) setBusy(false);
        },
        Qt::QueuedConnection);
  });
}

void ConnectionWindow::executeSqlCommands() {
  if (!canExecute()) return;
  if (dialog_) {
    dialog_->raise();
    dialog_->activateWindow();
    return;
  }
  dialog_ = new ExecuteSqlDialog(document_->sourceName(), profile_, this);
  dialog_->setWindowFlag(Qt::Window);
  dialog_->setAttribute(Qt::WA_DeleteOnClose);
  ExecuteSqlDialog* dialog = dialog_;
  connect(dialog, &ExecuteSqlDialog::executeRequested, this,
          [this, dialog] { execute(dialog->sqlText()); });
  connect(dialog, &ExecuteSqlDialog::readRequested, this, [this, dialog] {
    source_.ReadSourceFile(dialog->fileName());
    dialog->setSqlText(source_.GetSourceText());
  });
  connect(dialog, &ExecuteSqlDialog::saveRequested, this, [this, dialog] {
    source_.SetSourceText(dialog->sqlText());
    source_.WriteSourceFile(dialog->fileName());
  });
  connect(dialog, &ExecuteSqlDialog::showResultRequested, this,
          [this, dialog] { showResult(dialog); });
  connect(dialog, &ExecuteSqlDialog::stopRequested, this, &ConnectionWindow::stop);
  dialog_->setRunning(running_);
  dialog_->show();
}

void ConnectionWindow::discardResult() {
  stopFetch_ = true;
  ++generation_;
  if (grid_) grid_->detach();
  grid_ = nullptr;
  table_.reset();
  resultBuilt_ = false;
}

void ConnectionWindow::execute(const std::string& crlfText) {
  if (busy_ || !connected()) return;
  discardResult();
  source_.SetSourceText(crlfText);
  source_.Rewind();
  running_ = true;
  setBusy(true);
  nextStatement();
}

void ConnectionWindow::nextStatement() {
  DirectLog direct(log_);
  std::optional<std::string> statement = source_.NextStatement(&direct);
  if (!statement) {
    if (source_.stoppedAtEmptyStatement())
      log_.AddLine("Empty statement in line " + std::to_string(source_.lineNumber()) +
                       ": execution ended, the lines after it were not executed",
                   2);
    finishRun();
    return;
  }
  ConnectionDocument* document = document_.get();
  QPointer<ConnectionWindow> self(this);
  std::string text = *statement;
  post([=, this] {
    bool succeeded = document->execute(text);
    std::string error = document->lastError();
    QMetaObject::invokeMethod(
        self,
        [=, this] {
          if (!self) return;
          emit stateChanged();
          if (succeeded) return nextStatement();
          SqlErrorDialog box(error, dialog_ ? static_cast<QWidget*>(dialog_) : this);
          if (box.exec() == QDialog::Accepted)
            nextStatement();
          else
            finishRun();
        },
        Qt::QueuedConnection);
  });
}

void ConnectionWindow::finishRun() {
  running_ = false;
  setBusy(false);
}

void ConnectionWindow::stop() {
  stopFetch_ = true;
  if (running_) document_->cancel();
}

void ConnectionWindow::showResult(QWidget* owner) {
  if (running_ || !document_->hasResult()) return;
  if (!resultBuilt_) {
    resultBuilt_ = true;
    table_ = std::make_unique<TableList>(std::string(), TableListWindow::fontMeasure(font()));
    fetching_ = true;
    stopFetch_ = false;
    const uint64_t generation = generation_;
    ConnectionDocument* document = document_.get();
    QPointer<ConnectionWindow> self(this);
    std::atomic<bool>* stopFetch = &stopFetch_;
    table_->statusText = "Reading rows...";
    post([=, this] {
      std::vector<std::string> titles = document->bindResult();
      QMetaObject::invokeMethod(
          self,
          [=, this] {
            if (!self || generation != generation_ || !table_) return;
            for (const std::string& title : titles) table_->addColumn(title);
            if (grid_) grid_->refresh();
          },
          Qt::QueuedConnection);
      bool finished = titles.empty();
      while (!finished) {
        std::vector<std::string> cells;
        cells.reserve(kRowsPerBatch * titles.size());
        document->fetchRows(kRowsPerBatch, cells, finished);
        if (stopFetch->load()) finished = true;
        QMetaObject::invokeMethod(
            self,
            [=, this, cells = std::move(cells)]() mutable {
              if (self) appendRows(generation, std::move(cells), finished);
            },
            Qt::QueuedConnection);
      }
      if (titles.empty())
        QMetaObject::invokeMethod(
            self,
            [=, this] {
              if (self) appendRows(generation, {}, true);
            },
            Qt::QueuedConnection);
    });
  }
  if (!table_) return;
  if (grid_) {
    grid_->raise();
    grid_->activateWindow();
    return;
  }
  grid_ = new TableListWindow(*table_, owner ? owner : this, window());
  connect(grid_, &TableListWindow::stopRequested, this, [this] { stopFetch_ = true; });
  grid_->show();
  grid_->view()->setFocus();
}

void ConnectionWindow::appendRows(uint64_t generation, std::vector<std::string> cells,
                                  bool finished) {
  if (generation != generation_ || !table_) return;
  const size_t columns = table_->columnCount();
  if (columns) {
    for (size_t at = 0; at + columns <= cells.size(); at += columns)
      table_->addRow(cells.data() + at, columns);
  }
  if (finished) {
    fetching_ = false;
    table_->statusText.clear();
  } else {
    table_->statusText = "Reading rows... " + std::to_string(table_->rowCount()) + " read";
  }
  if (grid_) grid_->refresh();
}

}  // namespace kestrel
