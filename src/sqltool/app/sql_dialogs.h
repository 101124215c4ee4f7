#pragma once
// The dialogs of a connection document: Open ODBC connection, Execute SQL
// commands and SQL error.

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QLabel;

namespace kestrel {

class Profile;

// "Open ODBC connection": the data source names in a drop-down list with
// `selected` chosen, the user id and the masked password.
class OpenConnectionDialog final : public QDialog {
  Q_OBJECT
 public:
  OpenConnectionDialog(const std::vector<std::string>& sources, const std::string& selected,
                       QWidget* parent);
  std::string source() const;
  std::string user() const;
  std::string password() const;

 private:
  QComboBox* sources_;
  QLineEdit* user_;
  QLineEdit* password_;
};

// "SQL error": the driver's message with "Continue execution" and "Cancel".
class SqlErrorDialog final : public QDialog {
  Q_OBJECT
 public:
  SqlErrorDialog(const std::string& error, QWidget* parent);
};

// "Execute SQL commands". Not modal, so that the other documents stay usable
// while statements run; the document reacts to its signals. Enter executes,
// Ctrl+Enter inserts a line break.
class ExecuteSqlDialog final : public QDialog {
  Q_OBJECT
 public:
  ExecuteSqlDialog(const std::string& sourceName, Profile& profile, QWidget* parent);

  // The SQL text with CR LF line breaks, as the SQL source takes it.
  std::string sqlText() const;
  void setSqlText(const std::string& crlfText);
  std::string fileName() const;
  // While statements run, every button but Stop and Return is disabled.
  void setRunning(bool running);

 signals:
  void executeRequested();
  void readRequested();
  void saveRequested();
  void showResultRequested();
  void stopRequested();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  Profile& profile_;
  QLineEdit* fileName_;
  QPlainTextEdit* sql_;
  std::vector<QPushButton*> commands_;
  QPushButton* stop_;
};

}  // namespace kestrel
