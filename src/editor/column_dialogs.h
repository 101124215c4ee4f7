#pragma once
// The column part of a COPYDEFINITION paragraph: "Copy column definitions"
// edits its COPY commands (source column, target column and the options of
// each), "Set constant output columns" its SET commands (a target column set
// to a constant or to the date of the last change). Both change the
// paragraph at once; Return only closes.
//
// ColumnListDialog holds what the two share: the list of the commands of
// one kind, each line carrying its Command, the column field, the column
// definitions fetched from the data sources, and Add, Update, Delete
// current, Select all and Delete all.

#include <QDialog>
#include <string>
#include <vector>

#include "odbc/catalog.h"
#include "script/paragraph_list.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace kestrel {

// The list line of a COPY command: the source column, " -> " and the target
// when TO is given, then the options present in parentheses.
std::string copyColumnLineText(const Command& command);
// The list line of a SET command: the column, " = ", then "<yyyy-mm-dd>" or
// the constant value in double quotes.
std::string setColumnLineText(const Command& command);
// The FORMAT value of a width and the leading-zeroes flag ("8ZI"); empty
// for a width of 0 or less.
std::string formatValue(int width, bool leadingZeroes);

class ColumnListDialog : public QDialog {
 public:
  // The widest line's text width in the dialog's font, at least 10.
  int horizontalExtent() const { return extent_; }

 protected:
  ColumnListDialog(Paragraph& paragraph, int commandId, QWidget* parent);

  // Connects the shared controls, fills the list and sets the states; the
  // subclass calls it once its own controls exist.
  void start();

  virtual std::string lineText(const Command& command) const = 0;
  // Shows the command in the fields (the column field included).
  virtual void loadFields(const Command& command) = 0;
  // Writes the fields into the command (its argument is already set). False
  // when a field cannot be stored; the command then keeps what it had.
  virtual bool storeFields(Command& command) = 0;
  // The warning for a column that Add must refuse, or empty.
  virtual std::string duplicateWarning(const std::string& column) const = 0;
  // Whether Select all leaves this fetched column out.
  virtual bool alreadyNamed(const std::string& column) const = 0;
  virtual std::string deleteQuestion(const std::string& column) const = 0;
  virtual std::string deleteAllQuestion() const = 0;
  // Fetches the column definitions into the lists and combos.
  virtual void fetchDefinitions() = 0;
  // The fetched columns that Select all adds, and the combo holding them.
  virtual const std::vector<CatalogColumn>& selectableColumns() const = 0;
  virtual QComboBox* selectableCombo() const = 0;
  virtual void updateOwnStates() {}

  // Fetches the columns of one side into `columns` and `combo`; a failure
  // shows the driver's message and leaves both as they were.
  void fetchSide(const Command* command, bool allowSelect, std::vector<CatalogColumn>& columns,
                 QComboBox* combo);

  void updateStates();
  std::string columnText() const;

  Paragraph& paragraph_;
  int commandId_;
  bool fetched_ = false;
  QLabel* targetName_;
  QPushButton* getDefinitions_;
  QListWidget* list_;
  QComboBox* column_ = nullptr;  // the column field, set by the subclass
  QPushButton* add_;
  QPushButton* update_;
  QPushButton* deleteCurrent_;
  QPushButton* selectAll_;
  QPushButton* deleteAll_;
  QPushButton* return_;

 private:
  void fillList();
  void lineSelected();
  void add();
  // Update on the selected line; false when nothing was stored.
  bool updateSelected();
  void deleteCurrent();
  void selectAll();
  void deleteAll();
  void fetch();
  void setExtent();
  bool namedByLine(const std::string& column) const;

  int extent_ = 10;
};

// "Copy column definitions".
class CopyColumnsDialog : public ColumnListDialog {
 public:
  CopyColumnsDialog(ParagraphList& paragraphs, Paragraph& paragraph, QWidget* parent = nullptr);

 protected:
  std::string lineText(const Command& command) const override;
  void loadFields(const Command& command) override;
  bool storeFields(Command& command) override;
  std::string duplicateWarning(const std::string& column) const override;
  bool alreadyNamed(const std::string& column) const override;
  std::string deleteQuestion(const std::string& column) const override;
  std::string deleteAllQuestion() const override;
  void fetchDefinitions() override;
  const std::vector<CatalogColumn>& selectableColumns() const override { return sourceColumns_; }
  QComboBox* selectableCombo() const override { return column_; }
  void updateOwnStates() override;

 private:
  std::vector<CatalogColumn> sourceColumns_;
  std::vector<CatalogColumn> targetColumns_;
  QComboBox* target_;
  QCheckBox* key_;
  QCheckBox* log_;
  QCheckBox* hex_;
  QCheckBox* trim_;
  QCheckBox* unchanged_;
  QLabel* translateLabel_;
  QComboBox* translate_;
  QLabel* editLabel_;
  QComboBox* edit_;
  QCheckBox* format_;
  QLineEdit* width_;
  QCheckBox* zeroes_;
};

// "Set constant output columns".
class SetColumnsDialog : public ColumnListDialog {
 public:
  SetColumnsDialog(Paragraph& paragraph, QWidget* parent = nullptr);

 protected:
  std::string lineText(const Command& command) const override;
  void loadFields(const Command& command) override;
  bool storeFields(Command& command) override;
  std::string duplicateWarning(const std::string& column) const override;
  bool alreadyNamed(const std::string& column) const override;
  std::string deleteQuestion(const std::string& column) const override;
  std::string deleteAllQuestion() const override;
  void fetchDefinitions() override;
  const std::vector<CatalogColumn>& selectableColumns() const override { return targetColumns_; }
  QComboBox* selectableCombo() const override { return column_; }
  void updateOwnStates() override;

 private:
  std::vector<CatalogColumn> targetColumns_;
  QCheckBox* currentDate_;
  QLabel* valueLabel_;
  QLineEdit* value_;
};

}  // namespace kestrel
