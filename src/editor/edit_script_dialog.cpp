#include "editor/edit_script_dialog.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <filesystem>
#include <system_error>

#include "base/message_log.h"
#include "base/parameter_file.h"
#include "base/platform.h"
#include "editor/editor_support.h"
#include "editor/paragraph_dialogs.h"
#include "engine/definition_factory.h"
#include "script/script_reader.h"
#include "script/script_writer.h"

namespace kestrel {

bool RunEditScriptDialog(QWidget* parent, ParameterFile& options) {
  EditScriptDialog dialog(options, parent);
  return dialog.exec() == QDialog::Accepted;
}

EditScriptDialog::EditScriptDialog(ParameterFile& options, QWidget* parent)
    : QDialog(parent), options_(options) {
  setObjectName("editScriptDialog");
  setWindowTitle("Edit KESTREL script");
  setModal(true);

  fileName_ = new QLineEdit(qtText(options_.text("ScriptFile")), this);
  fileName_->setObjectName("scriptFileEdit");
  auto* label = new QLabel("Current script filename:", this);
  label->setBuddy(fileName_);
  auto* browseButton = dialogButton("&Browse...", "browseButton", this);
  edit_ = dialogButton("&Edit script", "editScriptButton", this);
  auto* cancel = dialogButton("&Cancel", "cancelButton", this);
  save_ = dialogButton("&Save script", "saveScriptButton", this);
  saveReload_ = dialogButton("Save and &Reload script ", "saveAndReloadButton", this);
  saveReload_->setDefault(true);

  auto* nameRow = new QHBoxLayout;
  nameRow->addWidget(fileName_, 1);
  nameRow->addWidget(browseButton);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(edit_);
  buttons->addStretch();
  buttons->addWidget(save_);
  buttons->addWidget(saveReload_);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label);
  layout->addLayout(nameRow);
  layout->addSpacing(8);
  layout->addLayout(buttons);
  resize(560, sizeHint().height());

  connect(fileName_, &QLineEdit::textChanged, this, [this] { updateStates(); });
  connect(browseButton, &QPushButton::clicked, this, [this] { browse(); });
  connect(edit_, &QPushButton::clicked, this, [this] { editScript(); });
  connect(save_, &QPushButton::clicked, this, [this] { save(false); });
  connect(saveReload_, &QPushButton::clicked, this, [this] { save(true); });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  updateStates();
  fileName_->setFocus();
}

void EditScriptDialog::updateStates() {
  const bool named = !fileName_->text().isEmpty();
  edit_->setEnabled(named);
  save_->setEnabled(named && edited_);
  saveReload_->setEnabled(named && edited_);
}

void EditScriptDialog::browse() {
  QFileDialog dialog(this, "Define script filename", QString(),
                     "Text files (*.txt);;All files (*.*)");
  dialog.setObjectName("browseFileDialog");
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  // A script that does not exist yet may be named, to be created on saving.
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setDefaultSuffix("txt");
  if (!fileName_->text().isEmpty()) dialog.selectFile(fileName_->text());
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  fileName_->setText(dialog.selectedFiles().first());
}

bool EditScriptDialog::loadScript(const std::string& fileName) {
  paragraphs_.Clear();
  loaded_ = false;
  MessageLog ownLog;
  MessageLog& log = programLog() ? *programLog() : ownLog;

  std::error_code error;
  if (!std::filesystem::exists(fileName, error) && !error) {
    log.AddLine("Script file '" + fileName + "' does not exist yet: it is created when saved",
                Note);
  } else {
    ScriptReader reader(log, &options_);
    reader.setListener(&paragraphs_);
    reader.setFactory(&runnableDefinitions());
    if (!reader.Load(fileName)) {
      paragraphs_.Clear();
      // Without a model to fill, the reader does not report a file it
      // cannot open.
      if (reader.failure() == ScriptReader::Failure::CannotOpen) {
        log.AddLine("Cannot open script file '" + fileName + "'", Error);
      }
      // Without a program log nobody would see why nothing opens.
      if (&log == &ownLog && !ownLog.lines().empty()) {
        programMessageBox().show(ownLog.lines().back().text, "KESTREL", BoxIcon::Error);
      }
      return false;
    }
  }
  lastLoaded_ = fileName;
  loaded_ = true;
  return true;
}

void EditScriptDialog::editScript() {
  const std::string fileName = scriptText(fileName_->text());
  if (fileName.empty()) return;
  if (!loaded_ || fileName != lastLoaded_) {
    if (!loadScript(fileName)) {
      // The list was emptied: nothing of the earlier file may be saved now.
      edited_ = false;
      updateStates();
      return;
    }
  }
  ParagraphsDialog dialog(paragraphs_, options_, this);
  dialog.exec();
  edited_ = true;
  updateStates();
}

void EditScriptDialog::save(bool reload) {
  if (!edited_) {
    done(reload ? QDialog::Accepted : QDialog::Rejected);
    return;
  }
  const std::string fileName = scriptText(fileName_->text());
  std::string reason;
  if (!ScriptWriter::Save(fileName, &paragraphs_, &reason)) {
    // The name, then why: the old file is left as it was.
    programMessageBox().show(fileName + "\n\n" + reason, "Cannot save file", BoxIcon::Warning);
    return;
  }
  // Stored only once the file is there: the program must not be pointed at a
  // script that could not be written.
  if (Option* option = options_.Find("ScriptFile", false)) options_.SetText(option, fileName);
  done(reload ? QDialog::Accepted : QDialog::Rejected);
}

}  // namespace kestrel
