#pragma once
// The script editor: the "Edit KESTREL script" dialog with its paragraph
// list and the dialogs of every paragraph kind. It works on a private
// ParagraphList and the script file only; the running definitions change
// when the caller reloads the script.

#include <QDialog>
#include <string>

#include "script/paragraph_list.h"

class QLineEdit;
class QPushButton;
class QWidget;

namespace kestrel {

class ParameterFile;

// Runs the dialog modally. True when it ended with "Save and Reload script":
// the caller then reloads the script and logs the next event.
bool RunEditScriptDialog(QWidget* parent, ParameterFile& options);

class EditScriptDialog : public QDialog {
 public:
  EditScriptDialog(ParameterFile& options, QWidget* parent = nullptr);

  // The private text image being edited.
  ParagraphList& paragraphs() { return paragraphs_; }
  bool edited() const { return edited_; }

 private:
  void updateStates();
  void browse();
  void editScript();
  // Reads the file into the private list. A file that does not exist yet is
  // a new, empty script. A failed read leaves the list empty and nothing
  // loaded, so that what was read before the failing line can never be
  // saved over the file.
  bool loadScript(const std::string& fileName);
  void save(bool reload);

  ParameterFile& options_;
  ParagraphList paragraphs_;
  std::string lastLoaded_;
  bool loaded_ = false;
  bool edited_ = false;
  QLineEdit* fileName_;
  QPushButton* edit_;
  QPushButton* save_;
  QPushButton* saveReload_;
};

}  // namespace kestrel
