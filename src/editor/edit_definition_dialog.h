#pragma once
// "Edit definition": the CHANGE commands (text replacements) of an
// EDITDEFINITION paragraph, or its CODED command (encryption with a key).
// Add, Update and Delete change the replacements at once; Return (and Esc)
// settles the CODED command from the check and the key.

#include <QDialog>

#include "script/paragraph_list.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace kestrel {

class EditDefinitionDialog : public QDialog {
 public:
  EditDefinitionDialog(Paragraph& paragraph, QWidget* parent = nullptr);

  void accept() override;
  // Esc and the window's close button end the dialog as Return does: the
  // replacements are already in the paragraph, and the encryption setting
  // shown must not be dropped silently.
  void reject() override { accept(); }

 private:
  void fillList();
  void showSelected();
  void updateStates();
  void add();
  void update();
  void remove();
  static QString lineText(const Command& command);

  Paragraph& paragraph_;
  QListWidget* list_;
  QCheckBox* encrypt_;
  QLineEdit* key_;
  QLabel* keyLabel_;
  QLabel* keyRange_;
  QGroupBox* fromGroup_;
  QGroupBox* toGroup_;
  QLineEdit* from_;
  QLineEdit* to_;
  QPushButton* add_;
  QPushButton* update_;
  QPushButton* delete_;
};

}  // namespace kestrel
