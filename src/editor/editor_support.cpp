#include "editor/editor_support.h"

#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <set>

#include "base/platform.h"
#include "odbc/odbc.h"
#include "script/paragraph_list.h"
#include "script/script_writer.h"

namespace kestrel {

bool acceptScriptText(const std::string& text, const QString& what, QWidget* field) {
  if (representableInScript(text)) return true;
  programMessageBox().show(scriptText(what) +
                               " cannot be written to the script file: it may hold at most 254 "
                               "characters, no line end, and not both ' and \"",
                           "Error", BoxIcon::Warning);
  if (field) field->setFocus();
  return false;
}

QPushButton* dialogButton(const QString& text, const char* objectName, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(objectName);
  button->setAutoDefault(false);
  return button;
}

void fillParagraphCombo(QComboBox* combo, const ParagraphList& paragraphs, int kind) {
  combo->clear();
  combo->addItem("--none--");
  for (const Paragraph& paragraph : paragraphs.paragraphs) {
    if (paragraph.entry->kind == kind) combo->addItem(qtText(paragraph.name));
  }
  combo->setCurrentIndex(0);
}

void selectParagraphEntry(QComboBox* combo, const std::string& name) {
  combo->setCurrentIndex(0);
  for (int i = 1; i < combo->count(); ++i) {
    if (combo->itemText(i) == qtText(name)) {
      combo->setCurrentIndex(i);
      return;
    }
  }
}

QListWidgetItem* addCommandLine(QListWidget* list, Command& command, const QString& text) {
  auto* item = new QListWidgetItem(text, list);
  item->setData(Qt::UserRole, QVariant::fromValue(reinterpret_cast<quintptr>(&command)));
  return item;
}

Command* commandOf(const QListWidgetItem* item) {
  if (!item) return nullptr;
  return reinterpret_cast<Command*>(item->data(Qt::UserRole).value<quintptr>());
}

Command* selectedCommand(const QListWidget* list) {
  const QList<QListWidgetItem*> selected = list->selectedItems();
  return selected.isEmpty() ? nullptr : commandOf(selected.first());
}

// The environment's enumeration continues where the last caller left it, so
// it is run to its end once before the full round is taken.
QStringList dataSourceNameList() {
  std::set<std::string> names;
  OdbcEnvironment& environment = odbcEnvironment();
  for (int round = 0; round < 2; ++round) {
    while (std::optional<std::string> name = environment.nextDataSource()) names.insert(*name);
  }
  QStringList list;
  for (const std::string& name : names) list << qtText(name);
  return list;
}

QComboBox* dataSourceCombo(const char* objectName, QWidget* parent) {
  auto* combo = new QComboBox(parent);
  combo->setObjectName(objectName);
  combo->setEditable(true);
  combo->setInsertPolicy(QComboBox::NoInsert);
  combo->addItems(dataSourceNameList());
  combo->setCurrentIndex(-1);
  combo->setEditText(QString());
  return combo;
}

WaitCursor::WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }

void WaitCursor::end() {
  if (!active_) return;
  active_ = false;
  QApplication::restoreOverrideCursor();
}

void showOdbcError(const std::string& message) {
  programMessageBox().show(message, "ODBC error", BoxIcon::Warning);
}

}  // namespace kestrel
