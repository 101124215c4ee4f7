#include "editor/edit_definition_dialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "base/platform.h"
#include "editor/editor_support.h"

namespace kestrel {

namespace c = command_id;
namespace k = keyword_id;

EditDefinitionDialog::EditDefinitionDialog(Paragraph& paragraph, QWidget* parent)
    : QDialog(parent), paragraph_(paragraph) {
  setObjectName("editDefinitionDialog");
  setWindowTitle("Edit definition");
  setModal(true);

  auto* name = new QLabel(qtText(paragraph.name), this);
  name->setObjectName("paragraphName");
  list_ = new QListWidget(this);
  list_->setObjectName("replacementList");
  encrypt_ = new QCheckBox("Encrypt the output data field", this);
  encrypt_->setObjectName("encryptCheck");
  key_ = new QLineEdit(this);
  key_->setObjectName("keyEdit");
  keyLabel_ = new QLabel("Encryption key:", this);
  keyLabel_->setObjectName("keyLabel");
  keyLabel_->setBuddy(key_);
  keyRange_ = new QLabel("Integer 0-32000", this);
  keyRange_->setObjectName("keyRangeLabel");
  fromGroup_ = new QGroupBox("Translate from:", this);
  fromGroup_->setObjectName("fromGroup");
  from_ = new QLineEdit(fromGroup_);
  from_->setObjectName("fromEdit");
  toGroup_ = new QGroupBox("Translate to:", this);
  toGroup_->setObjectName("toGroup");
  to_ = new QLineEdit(toGroup_);
  to_->setObjectName("toEdit");
  (new QVBoxLayout(fromGroup_))->addWidget(from_);
  (new QVBoxLayout(toGroup_))->addWidget(to_);
  add_ = dialogButton("Add", "addButton", this);
  update_ = dialogButton("Update", "updateButton", this);
  delete_ = dialogButton("Delete", "deleteButton", this);
  auto* close = dialogButton("&Return", "returnButton", this);
  close->setDefault(true);

  auto* keyRow = new QHBoxLayout;
  keyRow->addWidget(keyLabel_);
  keyRow->addWidget(key_);
  keyRow->addWidget(keyRange_);
  auto* left = new QVBoxLayout;
  left->addWidget(name);
  left->addWidget(list_, 1);
  left->addWidget(fromGroup_);
  left->addWidget(toGroup_);
  left->addWidget(encrypt_);
  left->addLayout(keyRow);
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(add_);
  buttons->addWidget(update_);
  buttons->addWidget(delete_);
  buttons->addStretch();
  buttons->addWidget(close);
  auto* layout = new QHBoxLayout(this);
  layout->addLayout(left, 1);
  layout->addLayout(buttons);

  if (const Command* coded = paragraph_.FindCommand(c::Coded)) {
    encrypt_->setChecked(true);
    key_->setText(qtText(coded->argument));
  }

  connect(list_, &QListWidget::itemSelectionChanged, this, [this] { showSelected(); });
  connect(from_, &QLineEdit::textChanged, this, [this] { updateStates(); });
  connect(encrypt_, &QCheckBox::toggled, this, [this] { updateStates(); });
  connect(add_, &QPushButton::clicked, this, [this] { add(); });
  connect(update_, &QPushButton::clicked, this, [this] { update(); });
  connect(delete_, &QPushButton::clicked, this, [this] { remove(); });
  connect(close, &QPushButton::clicked, this, &EditDefinitionDialog::accept);

  fillList();
  updateStates();
  if (encrypt_->isChecked()) {
    key_->setFocus();
  } else {
    from_->setFocus();
  }
}

QString EditDefinitionDialog::lineText(const Command& command) {
  return qtText("\"" + command.argument + "\" -> \"" + command.GetText(k::To) + "\"");
}

void EditDefinitionDialog::fillList() {
  list_->clear();
  for (Command& command : paragraph_.commands) {
    if (command.entry->id != c::Change || !command.Find(k::To)) continue;
    addCommandLine(list_, command, lineText(command));
  }
}

void EditDefinitionDialog::showSelected() {
  if (Command* command = selectedCommand(list_)) {
    from_->setText(qtText(command->argument));
    to_->setText(qtText(command->GetText(k::To)));
  }
  updateStates();
}

void EditDefinitionDialog::updateStates() {
  const bool encrypting = encrypt_->isChecked();
  list_->setEnabled(!encrypting);
  fromGroup_->setEnabled(!encrypting);
  toGroup_->setEnabled(!encrypting);
  key_->setEnabled(encrypting);
  keyLabel_->setEnabled(encrypting);
  keyRange_->setEnabled(encrypting);

  const std::string from = scriptText(from_->text());
  const bool exists = paragraph_.FindCommand(c::Change, &from) != nullptr;
  add_->setEnabled(!encrypting && !from.empty() && !exists);
  Command* selected = selectedCommand(list_);
  const bool same = !encrypting && selected && exists && selected->argument == from;
  update_->setEnabled(same);
  delete_->setEnabled(same);
}

// The replacement is stored even when it is empty (the text is removed from
// the value): TO must be present for the reader to take the CHANGE command.
static void setReplacement(Command& command, const std::string& to) {
  if (KeywordValue* value = command.Find(k::To)) {
    value->value = to;
  } else {
    command.AddKeywordValue(command.entry->findKeyword(k::To), to);
  }
}

void EditDefinitionDialog::add() {
  if (!add_->isEnabled()) return;
  const std::string from = scriptText(from_->text());
  const std::string to = scriptText(to_->text());
  if (from.empty() && to.empty()) return;
  if (!acceptScriptText(from, "The text to replace", from_) ||
      !acceptScriptText(to, "The replacement text", to_)) {
    return;
  }
  Command* command = paragraph_.AddCommand(paragraph_.entry->findCommand(c::Change), from);
  setReplacement(*command, to);
  QListWidgetItem* item = addCommandLine(list_, *command, lineText(*command));
  list_->setCurrentItem(item, QItemSelectionModel::ClearAndSelect);
  updateStates();
}

void EditDefinitionDialog::update() {
  Command* command = selectedCommand(list_);
  if (!command || !update_->isEnabled()) return;
  const std::string to = scriptText(to_->text());
  if (!acceptScriptText(to, "The replacement text", to_)) return;
  command->argument = scriptText(from_->text());
  setReplacement(*command, to);
  list_->selectedItems().first()->setText(lineText(*command));
  updateStates();
}

void EditDefinitionDialog::remove() {
  Command* command = selectedCommand(list_);
  if (!command || !delete_->isEnabled()) return;
  if (programMessageBox().ask(
          "Do you really want to delete definition of " + command->argument + " ?", "Delete ?",
          BoxIcon::Question, BoxButtons::YesNo) != BoxAnswer::Yes) {
    return;
  }
  delete list_->selectedItems().first();
  paragraph_.RemoveCommand(command);
  list_->clearSelection();
  from_->clear();
  to_->clear();
  updateStates();
}

void EditDefinitionDialog::accept() {
  const std::string key = scriptText(key_->text());
  Command* coded = paragraph_.FindCommand(c::Coded);
  if (encrypt_->isChecked() && !key.empty()) {
    if (!acceptScriptText(key, "The encryption key", key_)) return;
    if (coded) {
      coded->argument = key;
    } else {
      paragraph_.AddCommand(paragraph_.entry->findCommand(c::Coded), key);
    }
  } else if (coded) {
    paragraph_.RemoveCommand(coded);
  }
  QDialog::accept();
}

}  // namespace kestrel
