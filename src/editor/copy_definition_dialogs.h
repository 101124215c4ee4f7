#pragma once
// The dialogs of a COPYDEFINITION paragraph: "Copy definition", the hub that
// names the timer and the lock and opens the others; "Copy FROM definition"
// and "Copy TO definitions" for the two data sources; "Browse ODBC
// definitions", which looks a table up in a data source; and "FROM select
// sql statement". They change the paragraph directly; the script file is
// written when the editor saves it.

#include <QDialog>
#include <string>
#include <vector>

#include "odbc/catalog.h"
#include "odbc/database_format.h"
#include "script/paragraph_list.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace kestrel {

class ParameterFile;

// A script command as the database format presets see it.
class CommandKeywords final : public KeywordAccess {
 public:
  explicit CommandKeywords(Command& command) : command_(command) {}
  int commandNumber() const override { return command_.entry->id; }
  std::string keywordValue(int keyword) const override { return command_.GetText(keyword); }
  void setKeywordValue(int keyword, const std::string& value) override {
    command_.SetText(keyword, value);
  }

 private:
  Command& command_;
};

// "Copy definition": the paragraph's hub. Return writes AUTORUN, LOCK and
// INACTIVE; Esc leaves those three as they were (what the sub-dialogs
// changed stays).
class CopyDefinitionDialog : public QDialog {
 public:
  CopyDefinitionDialog(ParagraphList& paragraphs, Paragraph& paragraph, ParameterFile& options,
                       QWidget* parent = nullptr);
  void accept() override;

 private:
  void refresh();
  void editFrom();
  void editTo();
  void editColumns();
  void editSetColumns();

  ParagraphList& paragraphs_;
  Paragraph& paragraph_;
  ParameterFile& options_;
  QLabel* fromLabel_;
  QLabel* toLabel_;
  QPushButton* toButton_;
  QPushButton* columnsButton_;
  QPushButton* setButton_;
  QLabel* timerLabel_;
  QComboBox* timerCombo_;
  QLabel* lockLabel_;
  QComboBox* lockCombo_;
  QCheckBox* inactive_;
};

// "Copy FROM definition" (command FROM) or "Copy TO definitions" (command
// TO). Return stores the fields; Esc leaves the command as it was. An empty
// data source removes the whole command.
class CopyEndpointDialog : public QDialog {
 public:
  CopyEndpointDialog(Paragraph& paragraph, int commandId, ParameterFile& options,
                     QWidget* parent = nullptr);
  void accept() override;

 private:
  bool isFrom() const { return commandId_ == command_id::From; }
  void browse();
  void defineSelect();
  void showSelect();
  // The SELECT statement as one script value: line ends become blanks.
  std::string selectValue() const;

  Paragraph& paragraph_;
  int commandId_;
  ParameterFile& options_;
  std::vector<DatabaseFormatPreset> presets_;
  std::string select_;
  QLineEdit* userid_;
  QLineEdit* password_;
  QComboBox* source_;
  QComboBox* format_;
  QCheckBox* simpleCopy_ = nullptr;
  QCheckBox* disconnect_;
  QLineEdit* qualifier_;
  QLineEdit* creator_;
  QLineEdit* table_;
  QLineEdit* where_;
  QLineEdit* orderBy_ = nullptr;
  QLabel* selectLabel_ = nullptr;
  QLineEdit* first_ = nullptr;
  QLineEdit* every_ = nullptr;
};

// "Browse ODBC definitions": the tables of a data source that match the
// masks and the table type. OK returns the chosen table with the login.
class BrowseOdbcDialog : public QDialog {
 public:
  BrowseOdbcDialog(ParameterFile& options, const std::string& source, const std::string& userid,
                   const std::string& password, QWidget* parent = nullptr);
  void accept() override;

  std::string source() const;
  std::string userid() const;
  std::string password() const;
  // The chosen table; empty parts when none was chosen.
  const CatalogTable& table() const { return chosen_; }

 private:
  void fetch();
  void updateStates();
  unsigned typeFlags() const;

  ParameterFile& options_;
  std::vector<CatalogTable> found_;
  CatalogTable chosen_;
  QLineEdit* userid_;
  QLineEdit* password_;
  QComboBox* source_;
  QLineEdit* qualifierMask_;
  QLineEdit* creatorMask_;
  QLineEdit* tableMask_;
  QComboBox* tableType_;
  QPushButton* fetch_;
  QLabel* count_;
  QComboBox* tables_;
  QPushButton* ok_;
};

// "FROM select sql statement": one multi-line statement, OK or Cancel.
class SelectStatementDialog : public QDialog {
 public:
  SelectStatementDialog(const std::string& statement, QWidget* parent = nullptr);
  std::string statement() const;

 private:
  QPlainTextEdit* edit_;
};

// The text of a catalog table as the browse dialog lists it: qualifier,
// creator and name joined by "." with the empty parts left out.
std::string catalogTableText(const CatalogTable& table);

}  // namespace kestrel
