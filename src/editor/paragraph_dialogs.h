#pragma once
// The paragraph list of a script ("KESTREL script paragraphs") with the
// dialogs it opens: a new paragraph, a new name, and the edit dialog of each
// paragraph kind.

#include <QDialog>
#include <string>

#include "script/paragraph_list.h"

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QRadioButton;

namespace kestrel {

class ParameterFile;

// The kind's keyword, ":   ", the name, and " (Inactive)" for a copy
// definition whose FROM command is marked INACTIVE.
std::string paragraphLineText(const Paragraph& paragraph);

// Opens the edit dialog of the paragraph's kind. True when the dialog ended
// by accepting (the paragraph may have changed).
// The list is the script the paragraph belongs to (the copy definition
// dialogs offer its timer, lock, translate and edit paragraphs).
bool editParagraph(QWidget* parent, ParagraphList& paragraphs, Paragraph& paragraph,
                   ParameterFile& options);

class ParagraphsDialog : public QDialog {
 public:
  ParagraphsDialog(ParagraphList& paragraphs, ParameterFile& options, QWidget* parent = nullptr);

 private:
  void fillList();
  QListWidgetItem* addLine(Paragraph& paragraph);
  void updateStates();
  Paragraph* selectedParagraph() const;
  void editSelected();
  void deleteSelected();
  void renameSelected();
  void createParagraph();

  ParagraphList& paragraphs_;
  ParameterFile& options_;
  QListWidget* list_;
  QPushButton* edit_;
  QPushButton* delete_;
  QPushButton* rename_;
};

// "Create New Paragraph": a kind, a name not yet used in the script, and
// optionally a paragraph of the same kind whose commands the new one copies.
class NewParagraphDialog : public QDialog {
 public:
  NewParagraphDialog(ParagraphList& paragraphs, QWidget* parent = nullptr);
  void accept() override;

  const ParagraphEntry* kind() const { return kind_; }
  const std::string& name() const { return name_; }
  Paragraph* source() const { return source_; }

 private:
  void refresh();

  ParagraphList& paragraphs_;
  QLineEdit* nameEdit_;
  QComboBox* kindCombo_;
  QGroupBox* contents_;
  QRadioButton* empty_;
  QRadioButton* copy_;
  QComboBox* sourceCombo_;
  QPushButton* create_;
  const ParagraphEntry* kind_ = nullptr;
  std::string name_;
  Paragraph* source_ = nullptr;
};

// "Change Pragraph name" (the caption as users know it).
class RenameParagraphDialog : public QDialog {
 public:
  RenameParagraphDialog(const std::string& name, QWidget* parent = nullptr);
  void accept() override;
  std::string name() const;

 private:
  QLineEdit* nameEdit_;
};

}  // namespace kestrel
