#pragma once
// One wagtail document in its sub-window: the connection log drawn by a
// LogViewWidget, and a worker thread that owns the document's connection,
// so that a statement that runs long or a large result being read never
// stops the window from painting or the other documents from working.
//
// Every ODBC call of the document runs on its worker, one job after the
// other. The worker's log lines and results come back to the window thread
// as queued calls, so lines keep their order. The window thread itself only
// ever calls ConnectionDocument::cancel() and the atomic getters.

#include <QPointer>
#include <QThread>
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>

#include "base/message_log.h"
#include "sqltool/app/grid_window.h"
#include "sqltool/app/sql_dialogs.h"
#include "sqltool/connection_document.h"
#include "sqltool/sql_source.h"
#include "sqltool/table_list.h"

namespace kestrel {

class LogViewWidget;
class Profile;

class ConnectionWindow final : public QWidget {
  Q_OBJECT
 public:
  ConnectionWindow(Profile& profile, QWidget* parent = nullptr);
  ~ConnectionWindow() override;

  MessageLog& log() { return log_; }
  LogViewWidget* logView() const { return view_; }
  TableList* tableList() const { return table_.get(); }
  TableListWindow* gridWindow() const { return grid_; }
  ExecuteSqlDialog* executeDialog() const { return dialog_; }

  // Enabled states of the Sql menu.
  bool busy() const { return busy_; }
  bool connected() const { return document_->isConnected(); }
  bool canOpen() const { return !busy_ && !connected(); }
  bool canClose() const { return !busy_ && connected(); }
  bool canExecute() const { return connected(); }
  bool canShowResult() const { return !running_ && document_->hasResult(); }

  // The commands. openConnection asks with the Open ODBC connection dialog
  // unless source is given (tests and the screenshot script pass one).
  void openConnection();
  void openConnection(const std::string& source, const std::string& user,
                      const std::string& password);
  void closeConnection();
  void executeSqlCommands();
  void showResult(QWidget* owner);
  // Runs the statements of `crlfText` as the Execute SQL button does.
  void execute(const std::string& crlfText);
  // Asks the driver to cancel the running statement; stops reading rows.
  void stop();
  bool fetching() const { return fetching_; }

 signals:
  // The enabled states may have changed.
  void stateChanged();

 private:
  class QueuedLog;
  void post(std::function<void()> work);
  void setBusy(bool busy);
  void nextStatement();
  void finishRun();
  void discardResult();
  void appendRows(uint64_t generation, std::vector<std::string> cells, bool finished);

  Profile& profile_;
  MessageLog log_;
  LogViewWidget* view_;
  std::unique_ptr<QueuedLog> queuedLog_;
  std::unique_ptr<ConnectionDocument> document_;
  QThread thread_;
  QObject* worker_;  // lives on thread_
  SqlSource source_;
  std::unique_ptr<TableList> table_;
  bool resultBuilt_ = false;
  QPointer<TableListWindow> grid_;
  QPointer<ExecuteSqlDialog> dialog_;
  bool busy_ = false;
  bool running_ = false;
  bool fetching_ = false;
  std::atomic<bool> stopFetch_{false};
  uint64_t generation_ = 0;
};

}  // namespace kestrel
