#pragma once
// "Processing Lock definition": the SOURCE and ACCEPT commands of a
// LOCKDEFINITION paragraph. The six fields default from, and are stored back
// into, the Lock... options, so the next new lock paragraph starts with the
// values entered last.

#include <QDialog>

#include "script/paragraph_list.h"

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace kestrel {

class ParameterFile;

class LockDialog : public QDialog {
 public:
  LockDialog(Paragraph& paragraph, ParameterFile& options, QWidget* parent = nullptr);
  void accept() override;
  // "&Cancel" is enabled only while "&OK" is not; Esc follows it.
  void reject() override;

 private:
  void updateStates();
  std::string selectText() const;

  Paragraph& paragraph_;
  ParameterFile& options_;
  QLineEdit* userid_;
  QLineEdit* password_;
  QComboBox* source_;
  QPlainTextEdit* select_;
  QLineEdit* columnName_;
  QLineEdit* columnValue_;
  QPushButton* ok_;
  QPushButton* cancel_;
};

}  // namespace kestrel
