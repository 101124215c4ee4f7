#include "editor/column_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cctype>

#include "base/platform.h"
#include "editor/editor_support.h"
#include "odbc/odbc.h"
#include "script/script_writer.h"

namespace kestrel {

namespace c = command_id;
namespace k = keyword_id;

namespace {

// The leading decimal number of a FORMAT value; 0 when it has none.
int leadingWidth(const std::string& value) {
  int width = 0;
  for (char ch : value) {
    if (!std::isdigit(static_cast<unsigned char>(ch))) break;
    width = std::min(width * 10 + (ch - '0'), 99999);
  }
  return width;
}

QComboBox* columnCombo(const char* objectName, QWidget* parent) {
  auto* combo = new QComboBox(parent);
  combo->setObjectName(objectName);
  combo->setEditable(true);
  combo->setInsertPolicy(QComboBox::NoInsert);
  // A typed name stays as typed; the fetched names are chosen from the list.
  combo->setCompleter(nullptr);
  combo->setMinimumWidth(180);
  return combo;
}

QCheckBox* checkBox(const QString& text, const char* objectName, QWidget* parent) {
  auto* check = new QCheckBox(text, parent);
  check->setObjectName(objectName);
  return check;
}

QLabel* tableName(const std::string& text, const char* objectName, QWidget* parent) {
  auto* label = new QLabel(qtText(text), parent);
  label->setObjectName(objectName);
  label->setFrameShape(QFrame::StyledPanel);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  return label;
}

}  // namespace

std::string copyColumnLineText(const Command& command) {
  std::string text = command.argument;
  const std::string to = command.GetText(k::To);
  if (!to.empty()) text += " -> " + to;
  std::vector<std::string> options;
  const std::pair<int, const char*> flags[] = {{k::Key, "Key"},
                                               {k::Log, "Log"},
                                               {k::Hex, "Hex"},
                                               {k::LeftTrim, "Lefttrim"},
                                               {k::Unchanged, "Unghg"}};
  for (const auto& [keyword, name] : flags) {
    if (command.GetFlag(keyword, false)) options.emplace_back(name);
  }
  const std::pair<int, const char*> values[] = {
      {k::Trans, "Trans="}, {k::Edit, "Edit="}, {k::Format, "Format="}};
  for (const auto& [keyword, name] : values) {
    if (command.Find(keyword)) options.push_back(name + command.GetText(keyword));
  }
  for (std::size_t i = 0; i < options.size(); ++i) text += (i == 0 ? " (" : ",") + options[i];
  if (!options.empty()) text += ")";
  return text;
}

std::string setColumnLineText(const Command& command) {
  if (command.GetFlag(k::CurrentDate, false)) return command.argument + " = <yyyy-mm-dd>";
  return command.argument + " = \"" + command.GetText(k::Value) + "\"";
}

std::string formatValue(int width, bool leadingZeroes) {
  if (width <= 0) return {};
  return std::to_string(width) + (leadingZeroes ? "Z" : "") + "I";
}

// ---------------------------------------------------------------------------
// What both dialogs share

ColumnListDialog::ColumnListDialog(Paragraph& paragraph, int commandId, QWidget* parent)
    : QDialog(parent), paragraph_(paragraph), commandId_(commandId) {
  setModal(true);
  const bool set = commandId == c::Set;
  targetName_ = tableName(paragraph.TableLabel(c::To), "toName", this);
  getDefinitions_ = dialogButton("&Get ODBC definitions", "getDefinitionsButton", this);
  list_ = new QListWidget(this);
  list_->setObjectName("columnList");
  list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  list_->setMinimumSize(320, 160);
  add_ = dialogButton("&Add one column", "addButton", this);
  update_ = dialogButton("&Update current column", "updateButton", this);
  deleteCurrent_ = dialogButton(set ? "&Delete current column" : "Delete &current column",
                                "deleteCurrentButton", this);
  selectAll_ =
      dialogButton(set ? "&Select all columns" : "Select &all columns", "selectAllButton", this);
  deleteAll_ =
      dialogButton(set ? "D&elete all columns" : "&Delete all columns", "deleteAllButton", this);
  return_ = dialogButton("&Return", "returnButton", this);
  return_->setDefault(true);
}

void ColumnListDialog::start() {
  connect(getDefinitions_, &QPushButton::clicked, this, [this] { fetch(); });
  connect(list_, &QListWidget::itemSelectionChanged, this, [this] { lineSelected(); });
  connect(column_, &QComboBox::currentTextChanged, this, [this] { updateStates(); });
  connect(add_, &QPushButton::clicked, this, [this] { add(); });
  connect(update_, &QPushButton::clicked, this, [this] {
    if (update_->isEnabled()) updateSelected();
  });
  connect(deleteCurrent_, &QPushButton::clicked, this, [this] { deleteCurrent(); });
  connect(selectAll_, &QPushButton::clicked, this, [this] { selectAll(); });
  connect(deleteAll_, &QPushButton::clicked, this, [this] { deleteAll(); });
  connect(return_, &QPushButton::clicked, this, &QDialog::accept);
  fillList();
  updateStates();
  column_->setFocus();
}

std::string ColumnListDialog::columnText() const { return scriptText(column_->currentText()); }

bool ColumnListDialog::namedByLine(const std::string& column) const {
  for (int row = 0; row < list_->count(); ++row) {
    const Command* command = commandOf(list_->item(row));
    if (command && command->argument == column) return true;
  }
  return false;
}

void ColumnListDialog::fillList() {
  list_->clear();
  for (Command& command : paragraph_.commands) {
    if (command.entry->id == commandId_) addCommandLine(list_, command, qtText(lineText(command)));
  }
  setExtent();
}

void ColumnListDialog::setExtent() {
  const QFontMetrics metrics(font());
  extent_ = 10;
  for (int row = 0; row < list_->count(); ++row)
    extent_ = std::max(extent_, metrics.horizontalAdvance(list_->item(row)->text()));
}

void ColumnListDialog::updateStates() {
  const std::string column = columnText();
  add_->setEnabled(!column.empty() && !namedByLine(column));
  const Command* selected = selectedCommand(list_);
  const bool same = selected && !column.empty() && selected->argument == column;
  update_->setEnabled(same);
  deleteCurrent_->setEnabled(same);
  deleteAll_->setEnabled(list_->count() > 0);
  selectAll_->setEnabled(list_->count() < selectableCombo()->count());
  getDefinitions_->setEnabled(!fetched_);
  updateOwnStates();
}

void ColumnListDialog::lineSelected() {
  if (const Command* command = selectedCommand(list_)) loadFields(*command);
  updateStates();
}

void ColumnListDialog::add() {
  const std::string column = columnText();
  if (column.empty()) return;
  const std::string warning = duplicateWarning(column);
  if (!warning.empty()) {
    programMessageBox().show(warning, "Error", BoxIcon::Warning);
    return;
  }
  if (!acceptScriptText(column, "The column name", column_)) return;
  Command* command = paragraph_.AddCommand(paragraph_.entry->findCommand(commandId_), column);
  QListWidgetItem* item = addCommandLine(list_, *command, "---");
  // The new line is selected without loading its empty command into the
  // fields: Update then writes what the fields hold.
  {
    const QSignalBlocker blocker(list_);
    list_->setCurrentItem(item, QItemSelectionModel::ClearAndSelect);
  }
  if (!updateSelected()) {
    delete item;
    paragraph_.RemoveCommand(command);
    updateStates();
  }
}

bool ColumnListDialog::updateSelected() {
  Command* command = selectedCommand(list_);
  const std::string column = columnText();
  if (!command || column.empty()) return false;
  if (!acceptScriptText(column, "The column name", column_)) return false;
  const std::string previous = command->argument;
  command->argument = column;
  if (!storeFields(*command)) {
    command->argument = previous;
    return false;
  }
  const int row = list_->currentRow();
  {
    const QSignalBlocker blocker(list_);
    fillList();
    list_->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
  }
  lineSelected();
  return true;
}

void ColumnListDialog::deleteCurrent() {
  const std::string column = columnText();
  if (column.empty() || !deleteCurrent_->isEnabled()) return;
  if (programMessageBox().ask(deleteQuestion(column), "Delete", BoxIcon::Question,
                              BoxButtons::YesNo) != BoxAnswer::Yes) {
    return;
  }
  Command* command = paragraph_.FindCommand(commandId_, &column);
  if (!command) return;
  int row = 0;
  while (row < list_->count() && commandOf(list_->item(row)) != command) ++row;
  paragraph_.RemoveCommand(command);
  {
    const QSignalBlocker blocker(list_);
    delete list_->takeItem(row);
    list_->clearSelection();
  }
  setExtent();
  if (row > 0) {
    list_->setCurrentRow(row - 1, QItemSelectionModel::ClearAndSelect);
  } else {
    updateStates();
  }
}

void ColumnListDialog::selectAll() {
  if (!selectAll_->isEnabled()) return;
  for (const CatalogColumn& column : selectableColumns()) {
    // A name the script cannot hold is left for the user to see and type.
    if (alreadyNamed(column.name) || !representableInScript(column.name)) continue;
    Command* command =
        paragraph_.AddCommand(paragraph_.entry->findCommand(commandId_), column.name);
    addCommandLine(list_, *command, qtText(lineText(*command)));
  }
  setExtent();
  updateStates();
}

void ColumnListDialog::deleteAll() {
  if (!paragraph_.FindCommand(commandId_)) return;
  if (programMessageBox().ask(deleteAllQuestion(), "Delete", BoxIcon::Question,
                              BoxButtons::YesNo) != BoxAnswer::Yes) {
    return;
  }
  while (Command* command = paragraph_.FindCommand(commandId_)) paragraph_.RemoveCommand(command);
  {
    const QSignalBlocker blocker(list_);
    list_->clear();
  }
  setExtent();
  updateStates();
}

void ColumnListDialog::fetch() {
  if (fetched_) return;
  fetchDefinitions();
  fetched_ = true;
  updateStates();
}

void ColumnListDialog::fetchSide(const Command* command, bool allowSelect,
                                 std::vector<CatalogColumn>& columns, QComboBox* combo) {
  if (!command) return;
  WaitCursor wait;
  const CatalogSource source{command->argument, command->GetText(k::Userid),
                             command->GetText(k::Password)};
  const std::string select = allowSelect ? command->GetText(k::Select) : std::string();
  Catalog catalog(odbcEnvironment());
  std::vector<CatalogColumn> found;
  const bool fetched = select.empty() ? catalog.columns(source, command->GetText(k::Qualifier),
                                                        command->GetText(k::Creator),
                                                        command->GetText(k::Table), found)
                                      : catalog.selectColumns(source, select, found);
  if (!fetched) {
    wait.end();
    showOdbcError(catalog.lastError());
    return;
  }
  columns = std::move(found);
  const QString text = combo->currentText();
  {
    const QSignalBlocker blocker(combo);
    combo->clear();
    for (const CatalogColumn& column : columns) {
      combo->addItem(qtText(column.name));
      QString tip = QString("Precision %1, scale %2").arg(column.precision).arg(column.scale);
      if (!column.remarks.empty()) tip += "\n" + qtText(column.remarks);
      combo->setItemData(combo->count() - 1, tip, Qt::ToolTipRole);
    }
    combo->setCurrentIndex(-1);
    combo->setEditText(text);
  }
}

// ---------------------------------------------------------------------------
// Copy column definitions

CopyColumnsDialog::CopyColumnsDialog(ParagraphList& paragraphs, Paragraph& paragraph,
                                     QWidget* parent)
    : ColumnListDialog(paragraph, c::Copy, parent) {
  setObjectName("copyColumnsDialog");
  setWindowTitle("Copy column definitions");

  auto* sourceName = tableName(paragraph.TableLabel(c::From), "fromName", this);
  column_ = columnCombo("fromColumnCombo", this);
  target_ = columnCombo("toColumnCombo", this);
  key_ = checkBox("This is a &KEY column", "keyCheck", this);
  log_ = checkBox("&Log changes to this column", "logCheck", this);
  hex_ = checkBox("Log characters in &HEX format", "hexCheck", this);
  trim_ = checkBox("&Trim trailing spaces", "trimCheck", this);
  unchanged_ = checkBox("&Never update this column once inserted", "unchangedCheck", this);
  translate_ = new QComboBox(this);
  translate_->setObjectName("translateCombo");
  translateLabel_ = new QLabel("Optional translate table:", this);
  translateLabel_->setBuddy(translate_);
  edit_ = new QComboBox(this);
  edit_->setObjectName("editCombo");
  editLabel_ = new QLabel("Optional edit operations:", this);
  editLabel_->setBuddy(edit_);
  format_ = checkBox("&Format integer columns:", "formatCheck", this);
  width_ = new QLineEdit(this);
  width_->setObjectName("widthEdit");
  width_->setValidator(new QIntValidator(0, 99999, width_));
  width_->setMaximumWidth(60);
  zeroes_ = checkBox("Leading &zeroes", "zeroesCheck", this);

  auto* names = new QGridLayout;
  names->addWidget(new QLabel("Source table:", this), 0, 0);
  names->addWidget(sourceName, 0, 1);
  names->addWidget(new QLabel("Target table:", this), 1, 0);
  names->addWidget(targetName_, 1, 1);
  names->addWidget(getDefinitions_, 0, 2, 2, 1, Qt::AlignVCenter);
  names->setColumnStretch(1, 1);

  auto* fields = new QGridLayout;
  auto* fromLabel = new QLabel("Copy fr&om column:", this);
  fromLabel->setBuddy(column_);
  auto* toLabel = new QLabel("Copy to colu&mn:", this);
  toLabel->setBuddy(target_);
  fields->addWidget(fromLabel, 0, 0);
  fields->addWidget(column_, 0, 1);
  fields->addWidget(toLabel, 1, 0);
  fields->addWidget(target_, 1, 1);
  fields->addWidget(translateLabel_, 2, 0);
  fields->addWidget(translate_, 2, 1);
  fields->addWidget(editLabel_, 3, 0);
  fields->addWidget(edit_, 3, 1);
  fields->setColumnStretch(1, 1);
  auto* checks = new QVBoxLayout;
  for (QCheckBox* check : {key_, log_, hex_, trim_, unchanged_}) checks->addWidget(check);
  auto* format = new QHBoxLayout;
  format->addWidget(format_);
  auto* widthLabel = new QLabel("&Width:", this);
  widthLabel->setBuddy(width_);
  format->addWidget(widthLabel);
  format->addWidget(width_);
  format->addWidget(zeroes_);
  format->addStretch();
  checks->addLayout(format);

  auto* entry = new QGroupBox("Current column", this);
  auto* entryLayout = new QVBoxLayout(entry);
  entryLayout->addLayout(fields);
  entryLayout->addLayout(checks);
  auto* entryButtons = new QHBoxLayout;
  entryButtons->addWidget(add_);
  entryButtons->addWidget(update_);
  entryButtons->addWidget(deleteCurrent_);
  entryLayout->addLayout(entryButtons);

  auto* bulk = new QHBoxLayout;
  bulk->addWidget(selectAll_);
  bulk->addWidget(deleteAll_);
  auto* left = new QVBoxLayout;
  left->addWidget(list_, 1);
  left->addLayout(bulk);
  auto* middle = new QHBoxLayout;
  middle->addLayout(left, 1);
  middle->addWidget(entry);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(return_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(names);
  layout->addLayout(middle, 1);
  layout->addLayout(buttons);

  fillParagraphCombo(edit_, paragraphs, kEditKind);
  fillParagraphCombo(translate_, paragraphs, kTranslateKind);
  connect(log_, &QCheckBox::toggled, this, [this] { updateStates(); });
  connect(target_, &QComboBox::currentTextChanged, this, [this] { updateStates(); });
  start();
}

std::string CopyColumnsDialog::lineText(const Command& command) const {
  return copyColumnLineText(command);
}

void CopyColumnsDialog::loadFields(const Command& command) {
  column_->setEditText(qtText(command.argument));
  target_->setEditText(qtText(command.GetText(k::To)));
  selectParagraphEntry(edit_, command.GetText(k::Edit));
  selectParagraphEntry(translate_, command.GetText(k::Trans));
  key_->setChecked(command.GetFlag(k::Key, false));
  log_->setChecked(command.GetFlag(k::Log, false));
  hex_->setChecked(command.GetFlag(k::Hex, false));
  trim_->setChecked(command.GetFlag(k::LeftTrim, false));
  unchanged_->setChecked(command.GetFlag(k::Unchanged, false));
  if (const KeywordValue* value = command.Find(k::Format)) {
    format_->setChecked(true);
    width_->setText(QString::number(leadingWidth(value->value)));
    zeroes_->setChecked(qtText(value->value).toUpper().contains('Z'));
  } else {
    format_->setChecked(false);
    width_->clear();
    zeroes_->setChecked(false);
  }
}

bool CopyColumnsDialog::storeFields(Command& command) {
  const std::string target = scriptText(target_->currentText());
  if (!acceptScriptText(target, "The target column name", target_)) return false;
  command.SetText(k::To, target);
  command.SetText(k::Trans,
                  translate_->currentIndex() > 0 ? scriptText(translate_->currentText()) : "");
  command.SetText(k::Edit, edit_->currentIndex() > 0 ? scriptText(edit_->currentText()) : "");
  command.SetFlag(k::Log, log_->isChecked(), false);
  command.SetFlag(k::Hex, hex_->isChecked(), false);
  command.SetFlag(k::Key, key_->isChecked(), false);
  command.SetFlag(k::LeftTrim, trim_->isChecked(), false);
  command.SetFlag(k::Unchanged, unchanged_->isChecked(), false);
  command.SetText(k::Format, format_->isChecked()
                                 ? formatValue(width_->text().toInt(), zeroes_->isChecked())
                                 : std::string());
  return true;
}

std::string CopyColumnsDialog::duplicateWarning(const std::string& column) const {
  if (paragraph_.FindCommand(c::Copy, &column)) return "From column '" + column + "' already used";
  return {};
}

bool CopyColumnsDialog::alreadyNamed(const std::string& column) const {
  return paragraph_.FindCommand(c::Copy, &column) != nullptr;
}

std::string CopyColumnsDialog::deleteQuestion(const std::string& column) const {
  return "Do you really want to delete copy column '" + column + "' ?";
}

std::string CopyColumnsDialog::deleteAllQuestion() const {
  return "Do you really want to delete all copy columns ?";
}

void CopyColumnsDialog::fetchDefinitions() {
  fetchSide(paragraph_.FindCommand(c::From), true, sourceColumns_, column_);
  fetchSide(paragraph_.FindCommand(c::To), false, targetColumns_, target_);
  if (column_->currentText().isEmpty() && column_->count() > 0)
    column_->setEditText(column_->itemText(0));
}

void CopyColumnsDialog::updateOwnStates() {
  hex_->setEnabled(log_->isChecked());
  const bool edits = edit_->count() > 1;
  editLabel_->setEnabled(edits);
  edit_->setEnabled(edits);
  const bool tables = translate_->count() > 1;
  translateLabel_->setEnabled(tables);
  translate_->setEnabled(tables);
}

// ---------------------------------------------------------------------------
// Set constant output columns

SetColumnsDialog::SetColumnsDialog(Paragraph& paragraph, QWidget* parent)
    : ColumnListDialog(paragraph, c::Set, parent) {
  setObjectName("setColumnsDialog");
  setWindowTitle("Set constant output columns");

  column_ = columnCombo("toColumnCombo", this);
  currentDate_ = checkBox("Set the column to the date of the last change (yyyy-mm-dd)",
                          "currentDateCheck", this);
  value_ = new QLineEdit(this);
  value_->setObjectName("valueEdit");
  valueLabel_ = new QLabel("Or set the column to this constant value: ", this);
  valueLabel_->setObjectName("valueLabel");
  valueLabel_->setBuddy(value_);

  auto* names = new QHBoxLayout;
  names->addWidget(new QLabel("Target table:", this));
  names->addWidget(targetName_, 1);
  names->addWidget(getDefinitions_);

  auto* entry = new QGroupBox("Current column", this);
  auto* fields = new QGridLayout(entry);
  auto* columnLabel = new QLabel("Set this table &column:", this);
  columnLabel->setBuddy(column_);
  fields->addWidget(columnLabel, 0, 0);
  fields->addWidget(column_, 0, 1);
  fields->addWidget(currentDate_, 1, 0, 1, 2);
  fields->addWidget(valueLabel_, 2, 0);
  fields->addWidget(value_, 2, 1);
  auto* entryButtons = new QHBoxLayout;
  entryButtons->addWidget(add_);
  entryButtons->addWidget(update_);
  entryButtons->addWidget(deleteCurrent_);
  fields->addLayout(entryButtons, 3, 0, 1, 2);
  fields->setColumnStretch(1, 1);

  auto* bulk = new QHBoxLayout;
  bulk->addWidget(selectAll_);
  bulk->addWidget(deleteAll_);
  bulk->addStretch();
  bulk->addWidget(return_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(names);
  layout->addWidget(list_, 1);
  layout->addWidget(entry);
  layout->addLayout(bulk);

  connect(currentDate_, &QCheckBox::toggled, this, [this] { updateStates(); });
  start();
}

std::string SetColumnsDialog::lineText(const Command& command) const {
  return setColumnLineText(command);
}

void SetColumnsDialog::loadFields(const Command& command) {
  column_->setEditText(qtText(command.argument));
  value_->setText(qtText(command.GetText(k::Value)));
  currentDate_->setChecked(command.GetFlag(k::CurrentDate, false));
}

bool SetColumnsDialog::storeFields(Command& command) {
  const bool currentDate = currentDate_->isChecked();
  const std::string value = scriptText(value_->text());
  if (!currentDate && !acceptScriptText(value, "The constant value", value_)) return false;
  command.SetFlag(k::CurrentDate, currentDate, false);
  command.SetText(k::Value, currentDate ? std::string() : value);
  return true;
}

std::string SetColumnsDialog::duplicateWarning(const std::string& column) const {
  if (alreadyNamed(column)) return "To column '" + column + "' already used";
  return {};
}

bool SetColumnsDialog::alreadyNamed(const std::string& column) const {
  return paragraph_.FindCommand(c::Set, &column) || paragraph_.FindCommand(c::Copy, &column);
}

std::string SetColumnsDialog::deleteQuestion(const std::string& column) const {
  return "Do you really want to delete SET column '" + column + "' ?";
}

std::string SetColumnsDialog::deleteAllQuestion() const {
  return "Do you really want to delete all SET columns ?";
}

void SetColumnsDialog::fetchDefinitions() {
  fetchSide(paragraph_.FindCommand(c::To), false, targetColumns_, column_);
}

void SetColumnsDialog::updateOwnStates() {
  const bool constant = !currentDate_->isChecked();
  value_->setEnabled(constant);
  valueLabel_->setEnabled(constant);
}

}  // namespace kestrel
