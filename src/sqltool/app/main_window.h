#pragma once
// wagtail's frame: a multi-document window with one sub-window per
// connection document, the File, Sql, Window and Help menus and their keys.

#include <QMainWindow>

class QAction;
class QMdiArea;
class QMenu;

namespace kestrel {

class ConnectionWindow;
class Profile;

class WagtailMainWindow final : public QMainWindow {
  Q_OBJECT
 public:
  explicit WagtailMainWindow(Profile& profile, QWidget* parent = nullptr);

  // File New: a new document without connection.
  ConnectionWindow* newDocument();
  ConnectionWindow* activeDocument() const;
  QList<ConnectionWindow*> documents() const;
  QMdiArea* mdiArea() const { return mdi_; }
  // Brings the enabled states of the commands up to date.
  void updateCommands();

 private:
  QAction* command(QMenu* menu, const char* text, const char* name, const QKeySequence& key);

  Profile& profile_;
  QMdiArea* mdi_;
  QMenu* sqlMenu_;
  QMenu* windowMenu_;
  QAction* close_;
  QAction* open_;
  QAction* disconnect_;
  QAction* execute_;
  QAction* showResult_;
  int documentCount_ = 0;
};

}  // namespace kestrel
