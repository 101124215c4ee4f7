#pragma once
// "Translate definition": the TRANS commands of a TRANSLATETABLE paragraph,
// one character code to another. Add, Update and Delete change the paragraph
// at once; Return only closes.

#include <QDialog>
#include <string>

#include "script/paragraph_list.h"

class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace kestrel {

// The stored form of one side: X'hh' for a hexadecimal side, the character
// itself otherwise.
std::string translateCode(const QString& text, bool hexadecimal);

// Whether a side can be stored so that the reader takes it back as the same
// character: two hexadecimal digits, or one printable ASCII character (any
// other byte is entered in hexadecimal).
bool validTranslateCode(const QString& text, bool hexadecimal);

class TranslateDialog : public QDialog {
 public:
  TranslateDialog(Paragraph& paragraph, QWidget* parent = nullptr);

 private:
  void fillList();
  void showSelected();
  void updateStates();
  bool codesFromFields(std::string& from, std::string& to);
  void add();
  void update();
  void remove();
  static QString lineText(const Command& command);

  Paragraph& paragraph_;
  QListWidget* list_;
  QLineEdit* from_;
  QLineEdit* to_;
  QCheckBox* fromHex_;
  QCheckBox* toHex_;
  QPushButton* add_;
  QPushButton* update_;
  QPushButton* delete_;
};

}  // namespace kestrel
