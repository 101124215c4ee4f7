#include "editor/translate_dialog.h"

#include <QCheckBox>
#include <QGridLayout>
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

namespace {

bool isHexDigit(QChar ch) {
  return (ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'F') || (ch >= 'a' && ch <= 'f');
}

// The hexadecimal form is the one whose second character is an apostrophe.
bool isHexForm(const std::string& code) { return code.size() > 1 && code[1] == '\''; }

QString codeForField(const std::string& code) {
  if (isHexForm(code)) return qtText(code.substr(2, 2));
  return qtText(code);
}

}  // namespace

std::string translateCode(const QString& text, bool hexadecimal) {
  if (hexadecimal) return "X'" + scriptText(text.toUpper()) + "'";
  return scriptText(text);
}

bool validTranslateCode(const QString& text, bool hexadecimal) {
  if (hexadecimal) return text.size() == 2 && isHexDigit(text[0]) && isHexDigit(text[1]);
  return text.size() == 1 && text[0].unicode() >= 32 && text[0].unicode() <= 126;
}

TranslateDialog::TranslateDialog(Paragraph& paragraph, QWidget* parent)
    : QDialog(parent), paragraph_(paragraph) {
  setObjectName("translateDialog");
  setWindowTitle("Translate definition");
  setModal(true);

  auto* name = new QLabel(qtText(paragraph.name), this);
  name->setObjectName("paragraphName");
  list_ = new QListWidget(this);
  list_->setObjectName("translationList");
  from_ = new QLineEdit(this);
  from_->setObjectName("fromEdit");
  fromHex_ = new QCheckBox("Hexadecimal", this);
  fromHex_->setObjectName("fromHexCheck");
  to_ = new QLineEdit(this);
  to_->setObjectName("toEdit");
  toHex_ = new QCheckBox("Hexadecimal", this);
  toHex_->setObjectName("toHexCheck");
  add_ = dialogButton("Add", "addButton", this);
  update_ = dialogButton("Update", "updateButton", this);
  delete_ = dialogButton("Delete", "deleteButton", this);
  auto* close = dialogButton("Return", "returnButton", this);
  close->setDefault(true);

  auto* fields = new QGridLayout;
  auto* fromLabel = new QLabel("From", this);
  fromLabel->setBuddy(from_);
  auto* toLabel = new QLabel("To", this);
  toLabel->setBuddy(to_);
  fields->addWidget(fromLabel, 0, 0);
  fields->addWidget(from_, 0, 1);
  fields->addWidget(fromHex_, 0, 2);
  fields->addWidget(toLabel, 1, 0);
  fields->addWidget(to_, 1, 1);
  fields->addWidget(toHex_, 1, 2);

  auto* buttons = new QVBoxLayout;
  buttons->addWidget(add_);
  buttons->addWidget(update_);
  buttons->addWidget(delete_);
  buttons->addStretch();
  buttons->addWidget(close);

  auto* left = new QVBoxLayout;
  left->addWidget(name);
  left->addWidget(list_);
  left->addLayout(fields);
  auto* layout = new QHBoxLayout(this);
  layout->addLayout(left, 1);
  layout->addLayout(buttons);

  connect(list_, &QListWidget::itemSelectionChanged, this, [this] { showSelected(); });
  connect(from_, &QLineEdit::textChanged, this, [this] { updateStates(); });
  connect(fromHex_, &QCheckBox::toggled, this, [this] { updateStates(); });
  connect(add_, &QPushButton::clicked, this, [this] { add(); });
  connect(update_, &QPushButton::clicked, this, [this] { update(); });
  connect(delete_, &QPushButton::clicked, this, [this] { remove(); });
  connect(close, &QPushButton::clicked, this, &QDialog::accept);

  setTabOrder(from_, fromHex_);
  setTabOrder(fromHex_, to_);
  setTabOrder(to_, toHex_);
  fillList();
  updateStates();
  from_->setFocus();
}

QString TranslateDialog::lineText(const Command& command) {
  return qtText(command.argument + "  -->  " + command.GetText(k::To));
}

void TranslateDialog::fillList() {
  list_->clear();
  for (Command& command : paragraph_.commands) {
    if (command.entry->id != c::Trans || !command.Find(k::To)) continue;
    addCommandLine(list_, command, lineText(command));
  }
}

void TranslateDialog::showSelected() {
  if (Command* command = selectedCommand(list_)) {
    const std::string to = command->GetText(k::To);
    fromHex_->setChecked(isHexForm(command->argument));
    from_->setText(codeForField(command->argument));
    toHex_->setChecked(isHexForm(to));
    to_->setText(codeForField(to));
  }
  updateStates();
}

void TranslateDialog::updateStates() {
  const std::string from = translateCode(from_->text(), fromHex_->isChecked());
  add_->setEnabled(!from_->text().isEmpty() && !paragraph_.FindCommand(c::Trans, &from));
  Command* selected = selectedCommand(list_);
  const bool same = selected && selected->argument == from;
  update_->setEnabled(same);
  delete_->setEnabled(same);
}

bool TranslateDialog::codesFromFields(std::string& from, std::string& to) {
  if (!validTranslateCode(from_->text(), fromHex_->isChecked()) ||
      !validTranslateCode(to_->text(), toHex_->isChecked())) {
    programMessageBox().show("Illegal characters specified", "Error", BoxIcon::Warning);
    return false;
  }
  from = translateCode(from_->text(), fromHex_->isChecked());
  to = translateCode(to_->text(), toHex_->isChecked());
  return true;
}

void TranslateDialog::add() {
  std::string from, to;
  if (!add_->isEnabled() || !codesFromFields(from, to)) return;
  Command* command = paragraph_.AddCommand(paragraph_.entry->findCommand(c::Trans), from);
  command->SetText(k::To, to);
  QListWidgetItem* item = addCommandLine(list_, *command, lineText(*command));
  list_->setCurrentItem(item, QItemSelectionModel::ClearAndSelect);
  updateStates();
}

void TranslateDialog::update() {
  Command* command = selectedCommand(list_);
  std::string from, to;
  if (!command || !update_->isEnabled() || !codesFromFields(from, to)) return;
  command->argument = from;
  command->SetText(k::To, to);
  list_->selectedItems().first()->setText(lineText(*command));
  updateStates();
}

void TranslateDialog::remove() {
  Command* command = selectedCommand(list_);
  if (!command || !delete_->isEnabled()) return;
  if (programMessageBox().ask(
          "Do you really want to delete translation of " + command->argument + " ?", "Delete ?",
          BoxIcon::Question, BoxButtons::YesNo) != BoxAnswer::Yes) {
    return;
  }
  delete list_->selectedItems().first();
  paragraph_.RemoveCommand(command);
  list_->clearSelection();
  from_->clear();
  to_->clear();
  fromHex_->setChecked(false);
  toHex_->setChecked(false);
  updateStates();
}

}  // namespace kestrel
