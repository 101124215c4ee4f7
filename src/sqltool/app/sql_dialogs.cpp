#include "sqltool/app/sql_dialogs.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "base/parameter_file.h"

namespace kestrel {

namespace {
const char kSection[] = "Options";
}

OpenConnectionDialog::OpenConnectionDialog(const std::vector<std::string>& sources,
                                           const std::string& selected, QWidget* parent)
    : QDialog(parent) {
  setObjectName("openConnectionDialog");
  setWindowTitle("Open ODBC connection");
  sources_ = new QComboBox(this);
  sources_->setObjectName("sourceCombo");
  for (const std::string& source : sources) sources_->addItem(QString::fromStdString(source));
  int index = sources_->findText(QString::fromStdString(selected));
  if (index >= 0) sources_->setCurrentIndex(index);
  user_ = new QLineEdit(this);
  user_->setObjectName("userEdit");
  password_ = new QLineEdit(this);
  password_->setObjectName("passwordEdit");
  password_->setEchoMode(QLineEdit::Password);
  auto* form = new QFormLayout;
  form->addRow("ODBC source name:", sources_);
  form->addRow("Userid or blank:", user_);
  form->addRow("Password or blank:", password_);
  auto* buttons = new QDialogButtonBox(this);
  QPushButton* open = buttons->addButton("&Open", QDialogButtonBox::AcceptRole);
  open->setObjectName("openButton");
  open->setDefault(true);
  QPushButton* cancel = buttons->addButton("&Cancel", QDialogButtonBox::RejectRole);
  cancel->setObjectName("cancelButton");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
  sources_->setFocus();
}

std::string OpenConnectionDialog::source() const { return sources_->currentText().toStdString(); }
std::string OpenConnectionDialog::user() const { return user_->text().toStdString(); }
std::string OpenConnectionDialog::password() const { return password_->text().toStdString(); }

SqlErrorDialog::SqlErrorDialog(const std::string& error, QWidget* parent) : QDialog(parent) {
  setObjectName("sqlErrorDialog");
  setWindowTitle("SQL error");
  auto* text = new QLabel(QString::fromStdString(error), this);
  text->setObjectName("errorText");
  text->setWordWrap(true);
  text->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* buttons = new QDialogButtonBox(this);
  QPushButton* go = buttons->addButton("Continue execution", QDialogButtonBox::AcceptRole);
  go->setObjectName("continueButton");
  go->setDefault(true);
  QPushButton* cancel = buttons->addButton("Cancel", QDialogButtonBox::RejectRole);
  cancel->setObjectName("cancelButton");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text);
  layout->addWidget(buttons);
}

ExecuteSqlDialog::ExecuteSqlDialog(const std::string& sourceName, Profile& profile, QWidget* parent)
    : QDialog(parent), profile_(profile) {
  setObjectName("executeSqlDialog");
  setWindowTitle("Execute SQL commands");
  auto* title = new QLabel(QString::fromStdString("ODBC source: " + sourceName), this);
  title->setObjectName("titleLine");
  fileName_ = new QLineEdit(this);
  fileName_->setObjectName("fileNameEdit");
  fileName_->setText(QString::fromStdString(profile.read(kSection, "SqlFilename").value_or("")));
  connect(fileName_, &QLineEdit::textChanged, this, [this](const QString& text) {
    profile_.write(kSection, "SqlFilename", text.toStdString());
  });
  auto* browse = new QPushButton("...", this);
  browse->setObjectName("browseButton");
  connect(browse, &QPushButton::clicked, this, [this] {
    QFileDialog dialog(this, QString(), fileName_->text(), "SQL source (*.sql);;All files (*)");
    dialog.setObjectName("fileDialog");
    dialog.setDefaultSuffix("sql");
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::ReadOnly, false);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
      fileName_->setText(dialog.selectedFiles().first());
  });
  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(new QLabel("SQL source filename:", this));
  fileRow->addWidget(fileName_, 1);
  fileRow->addWidget(browse);

  auto button = [this](const char* text, const char* name) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
  };
  QPushButton* read = button("&Read source file", "readButton");
  QPushButton* save = button("&Save source file", "saveButton");
  QPushButton* execute = button("&Execute SQL", "executeButton");
  execute->setDefault(true);
  QPushButton* show = button("Show SELECT &result", "showResultButton");
  stop_ = button("S&top", "stopButton");
  stop_->setEnabled(false);
  stop_->setToolTip("Asks the driver to cancel the running statement");
  QPushButton* done = button("&Return", "returnButton");
  commands_ = {browse, read, save, execute, show};
  connect(read, &QPushButton::clicked, this, &ExecuteSqlDialog::readRequested);
  connect(save, &QPushButton::clicked, this, &ExecuteSqlDialog::saveRequested);
  connect(execute, &QPushButton::clicked, this, &ExecuteSqlDialog::executeRequested);
  connect(show, &QPushButton::clicked, this, &ExecuteSqlDialog::showResultRequested);
  connect(stop_, &QPushButton::clicked, this, &ExecuteSqlDialog::stopRequested);
  connect(done, &QPushButton::clicked, this, &QDialog::accept);

  sql_ = new QPlainTextEdit(this);
  sql_->setObjectName("sqlEdit");
  sql_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  sql_->setLineWrapMode(QPlainTextEdit::NoWrap);
  sql_->installEventFilter(this);
  auto* note = new QLabel("Note: Use Ctrl+ENTER to insert line breaks", this);
  note->setObjectName("noteLabel");

  auto* buttons = new QHBoxLayout;
  for (QPushButton* b : {read, save, execute, show, stop_, done}) buttons->addWidget(b);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(title);
  layout->addLayout(fileRow);
  layout->addLayout(buttons);
  layout->addWidget(sql_, 1);
  layout->addWidget(note);
  resize(640, 420);
  sql_->setFocus();
}

bool ExecuteSqlDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == sql_ && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      if (key->modifiers() & Qt::ControlModifier) {
        sql_->insertPlainText("\n");
      } else if (!stop_->isEnabled()) {
        emit executeRequested();
      }
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

std::string ExecuteSqlDialog::sqlText() const {
  QString text = sql_->toPlainText();
  text.replace("\n", "\r\n");
  return text.toStdString();
}

void ExecuteSqlDialog::setSqlText(const std::string& crlfText) {
  QString text = QString::fromStdString(crlfText);
  text.replace("\r\n", "\n");
  if (text.endsWith('\n')) text.chop(1);
  sql_->setPlainText(text);
}

std::string ExecuteSqlDialog::fileName() const { return fileName_->text().toStdString(); }

void ExecuteSqlDialog::setRunning(bool running) {
  for (QPushButton* b : commands_) b->setEnabled(!running);
  sql_->setReadOnly(running);
  stop_->setEnabled(running);
}

}  // namespace kestrel
