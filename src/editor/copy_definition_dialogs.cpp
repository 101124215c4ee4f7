#include "editor/copy_definition_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "base/parameter_file.h"
#include "base/platform.h"
#include "editor/column_dialogs.h"
#include "editor/editor_support.h"
#include "odbc/odbc.h"

namespace kestrel {

namespace c = command_id;
namespace k = keyword_id;

namespace {

// A new FROM goes first and a new TO after the FROM, so that a script built
// here reads as one written by hand.
Command* createEndpoint(Paragraph& paragraph, int commandId, const std::string& source) {
  const CommandEntry* entry = paragraph.entry->findCommand(commandId);
  auto where = paragraph.commands.begin();
  if (commandId == c::To) {
    where = std::find_if(paragraph.commands.begin(), paragraph.commands.end(),
                         [](const Command& command) { return command.entry->id == c::From; });
    where = where == paragraph.commands.end() ? paragraph.commands.begin() : std::next(where);
  }
  return &*paragraph.commands.emplace(where, entry, source);
}

QString integerField(long value) { return value == 0 ? QString() : QString::number(value); }

QLineEdit* lineEdit(const char* objectName, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(objectName);
  return edit;
}

QLabel* buddyLabel(const QString& text, QWidget* buddy, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setBuddy(buddy);
  return label;
}

}  // namespace

std::string catalogTableText(const CatalogTable& table) {
  return qualifiedTableName(table.qualifier, table.creator, table.name);
}

// ---------------------------------------------------------------------------
// Copy definition

CopyDefinitionDialog::CopyDefinitionDialog(ParagraphList& paragraphs, Paragraph& paragraph,
                                           ParameterFile& options, QWidget* parent)
    : QDialog(parent), paragraphs_(paragraphs), paragraph_(paragraph), options_(options) {
  setObjectName("copyDefinitionDialog");
  setWindowTitle("Copy definition");
  setModal(true);

  auto* name = new QLabel(qtText(paragraph.name), this);
  name->setObjectName("paragraphName");
  QFont bold = name->font();
  bold.setBold(true);
  name->setFont(bold);
  fromLabel_ = new QLabel(this);
  fromLabel_->setObjectName("fromLabel");
  toLabel_ = new QLabel(this);
  toLabel_->setObjectName("toLabel");
  for (QLabel* label : {fromLabel_, toLabel_}) {
    label->setFrameShape(QFrame::StyledPanel);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setMinimumWidth(320);
  }
  auto* fromButton = dialogButton("FROM table...", "fromButton", this);
  toButton_ = dialogButton("TO table...", "toButton", this);
  columnsButton_ = dialogButton("COPY columns...", "columnsButton", this);
  setButton_ = dialogButton("SET constant columns...", "setButton", this);
  timerCombo_ = new QComboBox(this);
  timerCombo_->setObjectName("timerCombo");
  timerLabel_ = buddyLabel("Automated execution using timer definition:", timerCombo_, this);
  lockCombo_ = new QComboBox(this);
  lockCombo_->setObjectName("lockCombo");
  lockLabel_ = buddyLabel("Execute depending on this lock definition:", lockCombo_, this);
  inactive_ = new QCheckBox("Ignore this Copy Paragraph - Do not process it", this);
  inactive_->setObjectName("inactiveCheck");
  auto* close = dialogButton("&Return", "returnButton", this);
  close->setDefault(true);

  auto* tables = new QGridLayout;
  tables->addWidget(fromButton, 0, 0);
  tables->addWidget(fromLabel_, 0, 1);
  tables->addWidget(toButton_, 1, 0);
  tables->addWidget(toLabel_, 1, 1);
  tables->setColumnStretch(1, 1);
  auto* columns = new QHBoxLayout;
  columns->addWidget(columnsButton_);
  columns->addWidget(setButton_);
  columns->addStretch();
  auto* choices = new QGridLayout;
  choices->addWidget(timerLabel_, 0, 0);
  choices->addWidget(timerCombo_, 0, 1);
  choices->addWidget(lockLabel_, 1, 0);
  choices->addWidget(lockCombo_, 1, 1);
  choices->setColumnStretch(1, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(name);
  layout->addLayout(tables);
  layout->addLayout(columns);
  layout->addSpacing(8);
  layout->addLayout(choices);
  layout->addWidget(inactive_);
  layout->addStretch();
  layout->addLayout(buttons);

  fillParagraphCombo(timerCombo_, paragraphs_, kTimerKind);
  fillParagraphCombo(lockCombo_, paragraphs_, kLockKind);
  if (const Command* autorun = paragraph_.FindCommand(c::Autorun))
    selectParagraphEntry(timerCombo_, autorun->argument);
  if (const Command* from = paragraph_.FindCommand(c::From)) {
    inactive_->setChecked(from->GetFlag(k::Inactive, false));
    selectParagraphEntry(lockCombo_, from->GetText(k::Lock));
  }

  connect(fromButton, &QPushButton::clicked, this, [this] { editFrom(); });
  connect(toButton_, &QPushButton::clicked, this, [this] { editTo(); });
  connect(columnsButton_, &QPushButton::clicked, this, [this] { editColumns(); });
  connect(setButton_, &QPushButton::clicked, this, [this] { editSetColumns(); });
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  refresh();
  fromButton->setFocus();
}

void CopyDefinitionDialog::refresh() {
  fromLabel_->setText(qtText(paragraph_.TableLabel(c::From)));
  toLabel_->setText(qtText(paragraph_.TableLabel(c::To)));
  const bool timers = timerCombo_->count() > 1;
  timerLabel_->setEnabled(timers);
  timerCombo_->setEnabled(timers);
  const bool locks = lockCombo_->count() > 1;
  lockLabel_->setEnabled(locks);
  lockCombo_->setEnabled(locks);
  const bool from = paragraph_.FindCommand(c::From) != nullptr;
  inactive_->setEnabled(from);
  toButton_->setEnabled(from);
  const bool to = paragraph_.FindCommand(c::To) != nullptr;
  columnsButton_->setEnabled(to);
  setButton_->setEnabled(to);
}

void CopyDefinitionDialog::editFrom() {
  CopyEndpointDialog(paragraph_, c::From, options_, this).exec();
  refresh();
}

void CopyDefinitionDialog::editTo() {
  if (!toButton_->isEnabled()) return;
  CopyEndpointDialog(paragraph_, c::To, options_, this).exec();
  refresh();
}

void CopyDefinitionDialog::editColumns() {
  if (!columnsButton_->isEnabled()) return;
  CopyColumnsDialog(paragraphs_, paragraph_, this).exec();
  refresh();
}

void CopyDefinitionDialog::editSetColumns() {
  if (!setButton_->isEnabled()) return;
  SetColumnsDialog(paragraph_, this).exec();
  refresh();
}

void CopyDefinitionDialog::accept() {
  Command* autorun = paragraph_.FindCommand(c::Autorun);
  if (timerCombo_->currentIndex() > 0) {
    const std::string timer = scriptText(timerCombo_->currentText());
    if (autorun) {
      autorun->argument = timer;
    } else {
      paragraph_.AddCommand(paragraph_.entry->findCommand(c::Autorun), timer);
    }
  } else if (autorun) {
    paragraph_.RemoveCommand(autorun);
  }
  if (Command* from = paragraph_.FindCommand(c::From)) {
    from->SetText(k::Lock,
                  lockCombo_->currentIndex() > 0 ? scriptText(lockCombo_->currentText()) : "");
    from->SetFlag(k::Inactive, inactive_->isChecked(), false);
  }
  QDialog::accept();
}

// ---------------------------------------------------------------------------
// Copy FROM definition and Copy TO definitions

CopyEndpointDialog::CopyEndpointDialog(Paragraph& paragraph, int commandId, ParameterFile& options,
                                       QWidget* parent)
    : QDialog(parent),
      paragraph_(paragraph),
      commandId_(commandId),
      options_(options),
      presets_(databaseFormatPresets()) {
  setObjectName(isFrom() ? "copyFromDialog" : "copyToDialog");
  setWindowTitle(isFrom() ? "Copy FROM definition" : "Copy TO definitions");
  setModal(true);

  // Made in the order they stand, which is the order Tab visits them.
  source_ = dataSourceCombo("sourceCombo", this);
  userid_ = lineEdit("useridEdit", this);
  password_ = lineEdit("passwordEdit", this);
  password_->setEchoMode(QLineEdit::Password);
  format_ = new QComboBox(this);
  format_->setObjectName("formatCombo");
  for (const DatabaseFormatPreset& preset : presets_) format_->addItem(qtText(preset.name));
  format_->setCurrentIndex(0);
  if (isFrom()) {
    simpleCopy_ = new QCheckBox("Perform simple copy (do not replicate data)", this);
    simpleCopy_->setObjectName("simpleCopyCheck");
  }
  disconnect_ = new QCheckBox("Automatic disconnect after use", this);
  disconnect_->setObjectName("disconnectCheck");
  qualifier_ = lineEdit("qualifierEdit", this);
  creator_ = lineEdit("creatorEdit", this);
  table_ = lineEdit("tableEdit", this);
  auto* browseButton = dialogButton("Browse ODBC ...", "browseButton", this);
  where_ = lineEdit("whereEdit", this);
  auto* close = dialogButton("&Return", "returnButton", this);
  close->setDefault(true);

  auto* login = new QFormLayout;
  login->addRow(buddyLabel("ODBC data &source:", source_, this), source_);
  login->addRow(buddyLabel("&Userid:", userid_, this), userid_);
  login->addRow(buddyLabel("&Password:", password_, this), password_);
  login->addRow(
      buddyLabel(isFrom() ? "Use database &format:" : "Target database &format:", format_, this),
      format_);
  auto* checks = new QVBoxLayout;
  if (simpleCopy_) checks->addWidget(simpleCopy_);
  checks->addWidget(disconnect_);

  auto* tableBox = new QGroupBox(isFrom() ? "Source table" : "Target table", this);
  auto* tableForm = new QFormLayout;
  tableForm->addRow(buddyLabel("&Qualifier:", qualifier_, this), qualifier_);
  tableForm->addRow(buddyLabel("&Creator:", creator_, this), creator_);
  tableForm->addRow(buddyLabel("&Table name:", table_, this), table_);
  auto* browseRow = new QHBoxLayout;
  browseRow->addStretch();
  browseRow->addWidget(browseButton);
  auto* tableLayout = new QVBoxLayout(tableBox);
  tableLayout->addLayout(tableForm);
  tableLayout->addLayout(browseRow);

  auto* conditions = new QFormLayout;
  conditions->addRow(
      buddyLabel(isFrom() ? "&WHERE conditions:"
                          : "&WHERE conditions used when comparing data for replication:",
                 where_, this),
      where_);
  if (isFrom()) {
    orderBy_ = lineEdit("orderByEdit", this);
    conditions->addRow(buddyLabel("&ORDER BY list:", orderBy_, this), orderBy_);
  }

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(login);
  layout->addLayout(checks);
  layout->addWidget(tableBox);
  layout->addLayout(conditions);

  QPushButton* selectButton = nullptr;
  if (isFrom()) {
    selectButton = dialogButton("Define SELECT statement...", "selectButton", this);
    selectLabel_ = new QLabel(this);
    selectLabel_->setObjectName("selectLabel");
    selectLabel_->setWordWrap(true);
    selectLabel_->setFrameShape(QFrame::StyledPanel);
    selectLabel_->setMinimumHeight(40);
    auto* selectRow = new QHBoxLayout;
    selectRow->addWidget(selectButton, 0, Qt::AlignTop);
    selectRow->addWidget(selectLabel_, 1);
    layout->addLayout(selectRow);

    first_ = lineEdit("firstEdit", this);
    every_ = lineEdit("everyEdit", this);
    for (QLineEdit* edit : {first_, every_}) {
      edit->setValidator(new QIntValidator(edit));
      edit->setMaximumWidth(80);
    }
    auto* rows = new QHBoxLayout;
    rows->addWidget(buddyLabel("Read only the fi&rst", first_, this));
    rows->addWidget(first_);
    rows->addWidget(new QLabel("rows,", this));
    rows->addSpacing(12);
    rows->addWidget(buddyLabel("read only e&very", every_, this));
    rows->addWidget(every_);
    rows->addWidget(new QLabel("row", this));
    rows->addStretch();
    layout->addLayout(rows);
  }
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(close);
  layout->addStretch();
  layout->addLayout(buttons);
  setMinimumWidth(520);

  if (Command* command = paragraph_.FindCommand(commandId_)) {
    source_->setEditText(qtText(command->argument));
    userid_->setText(qtText(command->GetText(k::Userid)));
    password_->setText(qtText(command->GetText(k::Password)));
    qualifier_->setText(qtText(command->GetText(k::Qualifier)));
    creator_->setText(qtText(command->GetText(k::Creator)));
    table_->setText(qtText(command->GetText(k::Table)));
    where_->setText(qtText(command->GetText(k::Where)));
    disconnect_->setChecked(command->GetFlag(k::Disconnect, false));
    if (isFrom()) {
      orderBy_->setText(qtText(command->GetText(k::OrderBy)));
      select_ = command->GetText(k::Select);
      first_->setText(integerField(command->GetInteger(k::First)));
      every_->setText(integerField(command->GetInteger(k::Every)));
      simpleCopy_->setChecked(command->Find(k::Replicate) &&
                              !command->GetFlag(k::Replicate, false));
    }
    format_->setCurrentIndex(static_cast<int>(selectMatching(presets_, CommandKeywords(*command))));
  } else {
    disconnect_->setChecked(true);
    if (simpleCopy_) simpleCopy_->setChecked(true);
  }
  showSelect();

  connect(browseButton, &QPushButton::clicked, this, [this] { browse(); });
  if (selectButton) connect(selectButton, &QPushButton::clicked, this, [this] { defineSelect(); });
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  source_->setFocus();
}

void CopyEndpointDialog::showSelect() {
  if (selectLabel_) selectLabel_->setText(qtText(select_));
}

std::string CopyEndpointDialog::selectValue() const {
  QString text = qtText(select_);
  text.replace("\r\n", " ");
  text.replace('\n', ' ');
  text.replace('\r', ' ');
  return scriptText(text.trimmed());
}

void CopyEndpointDialog::defineSelect() {
  SelectStatementDialog dialog(select_, this);
  if (dialog.exec() != QDialog::Accepted) return;
  select_ = dialog.statement();
  showSelect();
}

void CopyEndpointDialog::browse() {
  BrowseOdbcDialog dialog(options_, scriptText(source_->currentText()), scriptText(userid_->text()),
                          scriptText(password_->text()), this);
  if (dialog.exec() != QDialog::Accepted) return;
  source_->setEditText(qtText(dialog.source()));
  userid_->setText(qtText(dialog.userid()));
  password_->setText(qtText(dialog.password()));
  qualifier_->setText(qtText(dialog.table().qualifier));
  creator_->setText(qtText(dialog.table().creator));
  table_->setText(qtText(dialog.table().name));
}

void CopyEndpointDialog::accept() {
  const std::string source = scriptText(source_->currentText().trimmed());
  Command* command = paragraph_.FindCommand(commandId_);
  if (source.empty()) {
    if (command) paragraph_.RemoveCommand(command);
    QDialog::accept();
    return;
  }
  const std::string select = isFrom() ? selectValue() : std::string();
  if (!select.empty()) {
    qualifier_->clear();
    creator_->clear();
    table_->clear();
    where_->clear();
    orderBy_->clear();
  }
  const std::string userid = scriptText(userid_->text());
  const std::string password = scriptText(password_->text());
  const std::string qualifier = scriptText(qualifier_->text());
  const std::string creator = scriptText(creator_->text());
  const std::string table = scriptText(table_->text());
  const std::string where = scriptText(where_->text());
  const std::string orderBy = orderBy_ ? scriptText(orderBy_->text()) : std::string();
  if (!acceptScriptText(source, "The ODBC data source", source_) ||
      !acceptScriptText(userid, "The userid", userid_) ||
      !acceptScriptText(password, "The password", password_) ||
      !acceptScriptText(qualifier, "The qualifier", qualifier_) ||
      !acceptScriptText(creator, "The creator", creator_) ||
      !acceptScriptText(table, "The table name", table_) ||
      !acceptScriptText(where, "The WHERE conditions", where_) ||
      !acceptScriptText(orderBy, "The ORDER BY list", orderBy_) ||
      !acceptScriptText(select, "The SELECT statement", nullptr)) {
    return;
  }
  // The reader refuses a TO command without a table, and with it the whole
  // script: the table is asked for here instead.
  if (!isFrom() && table.empty()) {
    programMessageBox().show("The target table name is missing", "Error", BoxIcon::Warning);
    table_->setFocus();
    return;
  }

  if (!command) command = createEndpoint(paragraph_, commandId_, source);
  command->argument = source;
  command->SetText(k::Userid, userid);
  command->SetText(k::Password, password);
  command->SetText(k::Qualifier, qualifier);
  command->SetText(k::Creator, creator);
  command->SetText(k::Table, table);
  command->SetText(k::Where, where);
  command->SetFlag(k::Disconnect, disconnect_->isChecked(), false);
  if (isFrom()) {
    command->SetText(k::Select, select);
    command->SetText(k::OrderBy, orderBy);
    command->SetInteger(k::Every, every_->text().toLong());
    command->SetInteger(k::First, first_->text().toLong());
    command->SetFlag(k::Replicate, !simpleCopy_->isChecked(), true);
  }
  CommandKeywords keywords(*command);
  applySelected(presets_, format_->currentIndex(), keywords);
  QDialog::accept();
}

// ---------------------------------------------------------------------------
// Browse ODBC definitions

namespace {

struct TableType {
  const char* text;
  unsigned flags;
};
constexpr TableType kTableTypes[] = {
    {"--all--", kTableTypeAll},   {"Tables", kTableTypeTable},
    {"Views", kTableTypeView},    {"System tables", kTableTypeSystemTable},
    {"Aliases", kTableTypeAlias}, {"Synonyms", kTableTypeSynonym},
};

}  // namespace

BrowseOdbcDialog::BrowseOdbcDialog(ParameterFile& options, const std::string& source,
                                   const std::string& userid, const std::string& password,
                                   QWidget* parent)
    : QDialog(parent), options_(options) {
  setObjectName("browseOdbcDialog");
  setWindowTitle("Browse ODBC definitions");
  setModal(true);

  // Made in the order they stand, which is the order Tab visits them.
  source_ = dataSourceCombo("sourceCombo", this);
  userid_ = lineEdit("useridEdit", this);
  password_ = lineEdit("passwordEdit", this);
  password_->setEchoMode(QLineEdit::Password);
  qualifierMask_ = lineEdit("qualifierMaskEdit", this);
  creatorMask_ = lineEdit("creatorMaskEdit", this);
  tableMask_ = lineEdit("tableMaskEdit", this);
  tableType_ = new QComboBox(this);
  tableType_->setObjectName("tableTypeCombo");
  for (const TableType& type : kTableTypes) tableType_->addItem(type.text);
  fetch_ = dialogButton("Fetch table names from ODBC source", "fetchButton", this);
  count_ = new QLabel("0", this);
  count_->setObjectName("countLabel");
  tables_ = new QComboBox(this);
  tables_->setObjectName("tableCombo");
  tables_->setMinimumWidth(300);
  ok_ = dialogButton("&YES - use this table", "okButton", this);
  ok_->setDefault(true);
  auto* cancel = dialogButton("&Cancel", "cancelButton", this);
  auto* explanation = new QLabel(
      "In the masks, % stands for any number of characters (none included) and _ for "
      "exactly one character. An empty mask matches every name.",
      this);
  explanation->setObjectName("explanation");
  explanation->setWordWrap(true);

  auto* login = new QFormLayout;
  login->addRow(buddyLabel("ODBC data &source:", source_, this), source_);
  login->addRow(buddyLabel("&Userid:", userid_, this), userid_);
  login->addRow(buddyLabel("&Password:", password_, this), password_);
  auto* masksBox = new QGroupBox("Masks", this);
  auto* masks = new QFormLayout(masksBox);
  masks->addRow(buddyLabel("&Qualifier mask:", qualifierMask_, this), qualifierMask_);
  masks->addRow(buddyLabel("C&reator mask:", creatorMask_, this), creatorMask_);
  masks->addRow(buddyLabel("&Table name mask:", tableMask_, this), tableMask_);
  masks->addRow(buddyLabel("Table t&ype:", tableType_, this), tableType_);
  masks->addRow(explanation);
  auto* fetchRow = new QHBoxLayout;
  fetchRow->addWidget(fetch_);
  fetchRow->addStretch();
  fetchRow->addWidget(new QLabel("Tables found:", this));
  fetchRow->addWidget(count_);
  auto* result = new QFormLayout;
  result->addRow(buddyLabel("T&able:", tables_, this), tables_);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok_);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(login);
  layout->addWidget(masksBox);
  layout->addLayout(fetchRow);
  layout->addLayout(result);
  layout->addStretch();
  layout->addLayout(buttons);

  source_->setEditText(qtText(source.empty() ? options_.text("BrowseOdbcSoure") : source));
  userid_->setText(qtText(userid));
  password_->setText(qtText(password));
  qualifierMask_->setText(qtText(options_.text("BrowseOdbcQualifierMask")));
  creatorMask_->setText(qtText(options_.text("BrowseOdbcCreatorMask")));
  tableMask_->setText(qtText(options_.text("BrowseOdbcTableMask")));

  connect(source_, &QComboBox::currentTextChanged, this, [this] { updateStates(); });
  connect(tables_, &QComboBox::currentIndexChanged, this, [this] { updateStates(); });
  connect(fetch_, &QPushButton::clicked, this, [this] { fetch(); });
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  updateStates();
  source_->setFocus();
}

std::string BrowseOdbcDialog::source() const {
  return scriptText(source_->currentText().trimmed());
}
std::string BrowseOdbcDialog::userid() const { return scriptText(userid_->text()); }
std::string BrowseOdbcDialog::password() const { return scriptText(password_->text()); }

unsigned BrowseOdbcDialog::typeFlags() const {
  const int index = tableType_->currentIndex();
  return index < 0 ? kTableTypeAll : kTableTypes[index].flags;
}

void BrowseOdbcDialog::updateStates() {
  ok_->setEnabled(tables_->currentIndex() >= 0);
  fetch_->setEnabled(!source_->currentText().trimmed().isEmpty());
}

void BrowseOdbcDialog::fetch() {
  if (!fetch_->isEnabled()) return;
  WaitCursor wait;
  Catalog catalog(odbcEnvironment());
  std::vector<CatalogTable> found;
  if (!catalog.tables({source(), userid(), password()}, scriptText(qualifierMask_->text()),
                      scriptText(creatorMask_->text()), scriptText(tableMask_->text()), typeFlags(),
                      found)) {
    wait.end();
    showOdbcError(catalog.lastError());
    return;
  }
  std::sort(found.begin(), found.end(), [](const CatalogTable& a, const CatalogTable& b) {
    return catalogTableText(a) < catalogTableText(b);
  });
  found_ = std::move(found);
  tables_->clear();
  for (const CatalogTable& table : found_) tables_->addItem(qtText(catalogTableText(table)));
  count_->setText(QString::number(found_.size()));
  tables_->setCurrentIndex(found_.empty() ? -1 : 0);
  updateStates();
}

void BrowseOdbcDialog::accept() {
  const std::pair<const char*, std::string> stored[] = {
      {"BrowseOdbcSoure", source()},
      {"BrowseOdbcQualifierMask", scriptText(qualifierMask_->text())},
      {"BrowseOdbcCreatorMask", scriptText(creatorMask_->text())},
      {"BrowseOdbcTableMask", scriptText(tableMask_->text())}};
  for (const auto& [key, text] : stored) {
    if (Option* option = options_.Find(key, false)) options_.SetText(option, text);
  }
  const int index = tables_->currentIndex();
  if (index < 0 || index >= static_cast<int>(found_.size())) {
    programMessageBox().show("No table selected", "Selection error", BoxIcon::Warning);
    return;
  }
  chosen_ = found_[index];
  QDialog::accept();
}

// ---------------------------------------------------------------------------
// FROM select sql statement

SelectStatementDialog::SelectStatementDialog(const std::string& statement, QWidget* parent)
    : QDialog(parent) {
  setObjectName("selectStatementDialog");
  setWindowTitle("FROM select sql statement");
  setModal(true);
  edit_ = new QPlainTextEdit(qtText(statement), this);
  edit_->setObjectName("selectEdit");
  edit_->setTabChangesFocus(true);
  auto* ok = dialogButton("OK", "okButton", this);
  ok->setDefault(true);
  auto* cancel = dialogButton("Cancel", "cancelButton", this);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(edit_, 1);
  layout->addLayout(buttons);
  resize(520, 260);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  edit_->setFocus();
}

std::string SelectStatementDialog::statement() const { return scriptText(edit_->toPlainText()); }

}  // namespace kestrel
