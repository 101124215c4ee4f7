#include "editor/lock_dialog.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "base/parameter_file.h"
#include "editor/editor_support.h"

namespace kestrel {

namespace c = command_id;
namespace k = keyword_id;

LockDialog::LockDialog(Paragraph& paragraph, ParameterFile& options, QWidget* parent)
    : QDialog(parent), paragraph_(paragraph), options_(options) {
  setObjectName("lockDialog");
  setWindowTitle("Processing Lock definition");
  setModal(true);

  auto* name = new QLabel(qtText(paragraph.name), this);
  name->setObjectName("paragraphName");
  source_ = dataSourceCombo("sourceCombo", this);
  userid_ = new QLineEdit(this);
  userid_->setObjectName("useridEdit");
  password_ = new QLineEdit(this);
  password_->setObjectName("passwordEdit");
  password_->setEchoMode(QLineEdit::Password);
  select_ = new QPlainTextEdit(this);
  select_->setObjectName("selectEdit");
  select_->setTabChangesFocus(true);
  columnName_ = new QLineEdit(this);
  columnName_->setObjectName("columnNameEdit");
  columnValue_ = new QLineEdit(this);
  columnValue_->setObjectName("columnValueEdit");
  ok_ = dialogButton("&OK", "okButton", this);
  ok_->setDefault(true);
  cancel_ = dialogButton("&Cancel", "cancelButton", this);

  auto* form = new QFormLayout;
  form->addRow("ODBC &source:", source_);
  form->addRow("&Userid:", userid_);
  form->addRow("&Password:", password_);
  form->addRow("S&ELECT statement:", select_);
  form->addRow("Column &name:", columnName_);
  form->addRow("Column &value:", columnValue_);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(name);
  layout->addLayout(form, 1);
  layout->addLayout(buttons);

  if (const Command* source = paragraph_.FindCommand(c::Source)) {
    source_->setEditText(qtText(source->argument));
    userid_->setText(qtText(source->GetText(k::Userid)));
    password_->setText(qtText(source->GetText(k::Password)));
    select_->setPlainText(qtText(source->GetText(k::Select)));
  }
  if (const Command* accept = paragraph_.FindCommand(c::Accept)) {
    columnName_->setText(qtText(accept->argument));
    columnValue_->setText(qtText(accept->GetText(k::Value)));
  }
  if (source_->currentText().isEmpty() && userid_->text().isEmpty() &&
      password_->text().isEmpty() && select_->toPlainText().isEmpty() &&
      columnName_->text().isEmpty() && columnValue_->text().isEmpty()) {
    source_->setEditText(qtText(options_.text("LockSource")));
    userid_->setText(qtText(options_.text("LockUserid")));
    password_->setText(qtText(options_.text("LockPwd")));
    select_->setPlainText(qtText(options_.text("LockSelect")));
    columnName_->setText(qtText(options_.text("LockColumnName")));
    columnValue_->setText(qtText(options_.text("LockColumnValue")));
  }

  connect(source_, &QComboBox::currentTextChanged, this, [this] { updateStates(); });
  connect(select_, &QPlainTextEdit::textChanged, this, [this] { updateStates(); });
  connect(columnName_, &QLineEdit::textChanged, this, [this] { updateStates(); });
  connect(columnValue_, &QLineEdit::textChanged, this, [this] { updateStates(); });
  connect(ok_, &QPushButton::clicked, this, &LockDialog::accept);
  connect(cancel_, &QPushButton::clicked, this, &LockDialog::reject);
  updateStates();
  source_->setFocus();
}

// The statement is one value of one script line: its line ends are written
// as blanks.
std::string LockDialog::selectText() const {
  QString text = select_->toPlainText();
  text.replace("\r\n", " ");
  text.replace('\n', ' ');
  text.replace('\r', ' ');
  return scriptText(text);
}

void LockDialog::updateStates() {
  const bool complete = !source_->currentText().isEmpty() &&
                        !select_->toPlainText().trimmed().isEmpty() &&
                        !columnName_->text().isEmpty() && !columnValue_->text().isEmpty();
  ok_->setEnabled(complete);
  cancel_->setEnabled(!complete);
}

void LockDialog::reject() {
  if (cancel_->isEnabled()) QDialog::reject();
}

void LockDialog::accept() {
  if (!ok_->isEnabled()) return;
  const std::string source = scriptText(source_->currentText());
  const std::string userid = scriptText(userid_->text());
  const std::string password = scriptText(password_->text());
  const std::string select = selectText();
  const std::string column = scriptText(columnName_->text());
  const std::string value = scriptText(columnValue_->text());
  if (!acceptScriptText(source, "The ODBC source", source_) ||
      !acceptScriptText(userid, "The userid", userid_) ||
      !acceptScriptText(password, "The password", password_) ||
      !acceptScriptText(select, "The SELECT statement", select_) ||
      !acceptScriptText(column, "The column name", columnName_) ||
      !acceptScriptText(value, "The column value", columnValue_)) {
    return;
  }

  paragraph_.commands.clear();
  if (!source.empty()) {
    Command* command = paragraph_.AddCommand(paragraph_.entry->findCommand(c::Source), source);
    command->SetText(k::Select, select);
    command->SetText(k::Userid, userid);
    command->SetText(k::Password, password);
  }
  if (!column.empty()) {
    Command* command = paragraph_.AddCommand(paragraph_.entry->findCommand(c::Accept), column);
    // Stored even when empty: VALUE must be present for the reader.
    command->AddKeywordValue(command->entry->findKeyword(k::Value), value);
  }
  const std::pair<const char*, const std::string*> stored[] = {
      {"LockSource", &source}, {"LockUserid", &userid},     {"LockPwd", &password},
      {"LockSelect", &select}, {"LockColumnName", &column}, {"LockColumnValue", &value}};
  for (const auto& [key, text] : stored) {
    if (Option* option = options_.Find(key, false)) options_.SetText(option, *text);
  }
  QDialog::accept();
}

}  // namespace kestrel
