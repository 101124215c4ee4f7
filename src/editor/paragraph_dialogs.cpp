#include "editor/paragraph_dialogs.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>
#include <vector>

#include "base/platform.h"
#include "editor/copy_definition_dialogs.h"
#include "editor/edit_definition_dialog.h"
#include "editor/editor_support.h"
#include "editor/lock_dialog.h"
#include "editor/timer_dialog.h"
#include "editor/translate_dialog.h"

namespace kestrel {

namespace c = command_id;
namespace k = keyword_id;

std::string paragraphLineText(const Paragraph& paragraph) {
  std::string text = paragraph.entry->keyword + ":   " + paragraph.name;
  if (paragraph.entry->kind == kCopyKind) {
    const Command* from = paragraph.FindCommand(c::From);
    if (from && from->GetFlag(k::Inactive, false)) text += " (Inactive)";
  }
  return text;
}

bool editParagraph(QWidget* parent, ParagraphList& paragraphs, Paragraph& paragraph,
                   ParameterFile& options) {
  switch (paragraph.entry->kind) {
    case kCopyKind:
      return CopyDefinitionDialog(paragraphs, paragraph, options, parent).exec() ==
             QDialog::Accepted;
    case kTranslateKind:
      return TranslateDialog(paragraph, parent).exec() == QDialog::Accepted;
    case kEditKind:
      return EditDefinitionDialog(paragraph, parent).exec() == QDialog::Accepted;
    case kTimerKind:
      return TimerDialog(paragraph, parent).exec() == QDialog::Accepted;
    case kLockKind:
      return LockDialog(paragraph, options, parent).exec() == QDialog::Accepted;
  }
  return false;
}

namespace {

Paragraph* paragraphOf(const QListWidgetItem* item) {
  if (!item) return nullptr;
  return reinterpret_cast<Paragraph*>(item->data(Qt::UserRole).value<quintptr>());
}

// Refused names never reach the script: a name must be given and must be
// written and read back unchanged.
bool acceptParagraphName(const std::string& name, QLineEdit* field) {
  if (name.empty()) {
    programMessageBox().show("Missing paragraph name", "ERROR", BoxIcon::Warning);
    field->setFocus();
    return false;
  }
  return acceptScriptText(name, "The paragraph name", field);
}

}  // namespace

ParagraphsDialog::ParagraphsDialog(ParagraphList& paragraphs, ParameterFile& options,
                                   QWidget* parent)
    : QDialog(parent), paragraphs_(paragraphs), options_(options) {
  setObjectName("paragraphsDialog");
  setWindowTitle("KESTREL script paragraphs");
  setModal(true);

  auto* note = new QLabel(
      "The paragraphs of the script, in script order. Changes are written to the script file "
      "only when you save the script.",
      this);
  note->setObjectName("explanation");
  note->setWordWrap(true);
  list_ = new QListWidget(this);
  list_->setObjectName("paragraphList");
  auto* create = dialogButton("Create &New Paragraph", "newParagraphButton", this);
  rename_ = dialogButton("&Change Paragraph Name", "renameParagraphButton", this);
  edit_ = dialogButton("&Edit Paragraph", "editParagraphButton", this);
  delete_ = dialogButton("&Delete Paragraph", "deleteParagraphButton", this);
  auto* close = dialogButton("&Return", "returnButton", this);
  close->setDefault(true);

  auto* buttons = new QVBoxLayout;
  buttons->addWidget(create);
  buttons->addWidget(rename_);
  buttons->addWidget(edit_);
  buttons->addWidget(delete_);
  buttons->addStretch();
  buttons->addWidget(close);
  auto* left = new QVBoxLayout;
  left->addWidget(list_, 1);
  left->addWidget(note);
  auto* layout = new QHBoxLayout(this);
  layout->addLayout(left, 1);
  layout->addLayout(buttons);
  resize(560, 360);

  connect(list_, &QListWidget::itemSelectionChanged, this, [this] { updateStates(); });
  connect(list_, &QListWidget::itemDoubleClicked, this, [this] { editSelected(); });
  connect(create, &QPushButton::clicked, this, [this] { createParagraph(); });
  connect(rename_, &QPushButton::clicked, this, [this] { renameSelected(); });
  connect(edit_, &QPushButton::clicked, this, [this] { editSelected(); });
  connect(delete_, &QPushButton::clicked, this, [this] { deleteSelected(); });
  connect(close, &QPushButton::clicked, this, &QDialog::accept);

  fillList();
  updateStates();
  list_->setFocus();
}

QListWidgetItem* ParagraphsDialog::addLine(Paragraph& paragraph) {
  auto* item = new QListWidgetItem(qtText(paragraphLineText(paragraph)), list_);
  item->setData(Qt::UserRole, QVariant::fromValue(reinterpret_cast<quintptr>(&paragraph)));
  return item;
}

void ParagraphsDialog::fillList() {
  list_->clear();
  for (Paragraph& paragraph : paragraphs_.paragraphs) addLine(paragraph);
}

Paragraph* ParagraphsDialog::selectedParagraph() const {
  QList<QListWidgetItem*> selected = list_->selectedItems();
  return selected.isEmpty() ? nullptr : paragraphOf(selected.first());
}

void ParagraphsDialog::updateStates() {
  const bool selected = selectedParagraph() != nullptr;
  edit_->setEnabled(selected);
  delete_->setEnabled(selected);
  rename_->setEnabled(selected);
}

void ParagraphsDialog::editSelected() {
  Paragraph* paragraph = selectedParagraph();
  if (!paragraph) return;
  editParagraph(this, paragraphs_, *paragraph, options_);
  // The line keeps its item (and so its selection); only the text may change.
  list_->selectedItems().first()->setText(qtText(paragraphLineText(*paragraph)));
}

void ParagraphsDialog::deleteSelected() {
  Paragraph* paragraph = selectedParagraph();
  if (!paragraph) return;
  QListWidgetItem* item = list_->selectedItems().first();
  if (programMessageBox().ask("Do you really want to delete \"" + scriptText(item->text()) + "\" ?",
                              "Delete ?", BoxIcon::Question, BoxButtons::YesNo) != BoxAnswer::Yes) {
    return;
  }
  delete item;
  paragraphs_.RemoveParagraph(paragraph);
  list_->clearSelection();
  updateStates();
}

void ParagraphsDialog::renameSelected() {
  Paragraph* paragraph = selectedParagraph();
  if (!paragraph) return;
  RenameParagraphDialog dialog(paragraph->name, this);
  if (dialog.exec() != QDialog::Accepted || dialog.name() == paragraph->name) return;
  paragraph->name = dialog.name();
  list_->selectedItems().first()->setText(qtText(paragraphLineText(*paragraph)));
}

void ParagraphsDialog::createParagraph() {
  NewParagraphDialog dialog(paragraphs_, this);
  if (dialog.exec() != QDialog::Accepted || !dialog.kind()) return;
  Paragraph* source = dialog.source();
  Paragraph* created = paragraphs_.AddParagraph(dialog.kind(), dialog.name());
  if (source) {
    for (const Command& command : source->commands) {
      Command* copy = created->AddCommand(command.entry, command.argument);
      for (const KeywordValue& value : command.values) {
        copy->AddKeywordValue(value.entry, value.value);
      }
    }
  }
  QListWidgetItem* item = addLine(*created);
  list_->clearSelection();
  list_->setCurrentItem(item);
  item->setSelected(true);
  updateStates();
  editSelected();
}

NewParagraphDialog::NewParagraphDialog(ParagraphList& paragraphs, QWidget* parent)
    : QDialog(parent), paragraphs_(paragraphs) {
  setObjectName("newParagraphDialog");
  setWindowTitle("Create New Paragraph");
  setModal(true);

  nameEdit_ = new QLineEdit(this);
  nameEdit_->setObjectName("nameEdit");
  kindCombo_ = new QComboBox(this);
  kindCombo_->setObjectName("kindCombo");
  for (const ParagraphEntry& entry : ScriptGrammar::instance().paragraphs()) {
    kindCombo_->addItem(qtText(entry.keyword),
                        QVariant::fromValue(reinterpret_cast<quintptr>(&entry)));
  }
  kindCombo_->setCurrentIndex(0);
  contents_ = new QGroupBox("Contents", this);
  contents_->setObjectName("contentsGroup");
  empty_ = new QRadioButton("Create a new &empty paragraph", contents_);
  empty_->setObjectName("emptyRadio");
  copy_ = new QRadioButton("Create paragraph as a copy of:", contents_);
  copy_->setObjectName("copyRadio");
  empty_->setChecked(true);
  sourceCombo_ = new QComboBox(contents_);
  sourceCombo_->setObjectName("sourceCombo");
  auto* contentsLayout = new QVBoxLayout(contents_);
  contentsLayout->addWidget(empty_);
  contentsLayout->addWidget(copy_);
  contentsLayout->addWidget(sourceCombo_);

  create_ = dialogButton("Create paragraph", "createButton", this);
  create_->setDefault(true);
  create_->setEnabled(false);
  auto* cancel = dialogButton("Cancel", "cancelButton", this);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(create_);
  buttons->addWidget(cancel);

  auto* form = new QFormLayout;
  form->addRow("Paragraph &name:", nameEdit_);
  form->addRow("Paragraph &kind:", kindCombo_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(contents_);
  layout->addLayout(buttons);

  connect(nameEdit_, &QLineEdit::textChanged, this,
          [this](const QString& text) { create_->setEnabled(!text.isEmpty()); });
  connect(kindCombo_, &QComboBox::currentIndexChanged, this, [this] { refresh(); });
  connect(empty_, &QRadioButton::toggled, this, [this] { refresh(); });
  connect(copy_, &QRadioButton::toggled, this, [this] { refresh(); });
  connect(create_, &QPushButton::clicked, this, &NewParagraphDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &NewParagraphDialog::reject);
  refresh();
  nameEdit_->setFocus();
}

void NewParagraphDialog::refresh() {
  sourceCombo_->clear();
  const bool any = !paragraphs_.empty();
  contents_->setEnabled(any);
  empty_->setEnabled(any);
  copy_->setEnabled(any);
  const auto* kind =
      reinterpret_cast<const ParagraphEntry*>(kindCombo_->currentData().value<quintptr>());
  if (copy_->isChecked() && kind) {
    std::vector<std::string> names;
    for (const Paragraph& paragraph : paragraphs_.paragraphs) {
      if (paragraph.entry == kind) names.push_back(paragraph.name);
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) sourceCombo_->addItem(qtText(name));
    sourceCombo_->setEnabled(true);
    if (!names.empty()) sourceCombo_->setCurrentIndex(0);
  } else {
    sourceCombo_->setEnabled(false);
  }
}

void NewParagraphDialog::accept() {
  const std::string name = scriptText(nameEdit_->text());
  if (!acceptParagraphName(name, nameEdit_)) return;
  if (paragraphs_.FindParagraph(name)) {
    programMessageBox().show("Paragraph name already exists in script file", "ERROR",
                             BoxIcon::Warning);
    nameEdit_->setFocus();
    return;
  }
  kind_ = reinterpret_cast<const ParagraphEntry*>(kindCombo_->currentData().value<quintptr>());
  name_ = name;
  source_ = nullptr;
  if (sourceCombo_->count() > 0) {
    // Names within one kind may repeat (reported when the script is read);
    // the first one in script order is taken, as a lookup by name would.
    const std::string sourceName = scriptText(sourceCombo_->currentText());
    for (Paragraph& paragraph : paragraphs_.paragraphs) {
      if (paragraph.entry == kind_ && paragraph.name == sourceName) {
        source_ = &paragraph;
        break;
      }
    }
  }
  QDialog::accept();
}

RenameParagraphDialog::RenameParagraphDialog(const std::string& name, QWidget* parent)
    : QDialog(parent) {
  setObjectName("renameParagraphDialog");
  setWindowTitle("Change Pragraph name");
  setModal(true);
  nameEdit_ = new QLineEdit(qtText(name), this);
  nameEdit_->setObjectName("nameEdit");
  auto* label = new QLabel("Paragraph &name:", this);
  label->setBuddy(nameEdit_);
  auto* note = new QLabel(
      "Note: references to the original name are NOT automatically updated. You have to do "
      "this by hand.",
      this);
  note->setObjectName("note");
  note->setWordWrap(true);
  auto* ok = dialogButton("OK", "okButton", this);
  ok->setDefault(true);
  auto* cancel = dialogButton("Cancel", "cancelButton", this);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  auto* row = new QHBoxLayout;
  row->addWidget(label);
  row->addWidget(nameEdit_, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addWidget(note);
  layout->addLayout(buttons);
  connect(ok, &QPushButton::clicked, this, &RenameParagraphDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &RenameParagraphDialog::reject);
  nameEdit_->setFocus();
  nameEdit_->selectAll();
}

std::string RenameParagraphDialog::name() const { return scriptText(nameEdit_->text()); }

void RenameParagraphDialog::accept() {
  if (!acceptParagraphName(name(), nameEdit_)) return;
  QDialog::accept();
}

}  // namespace kestrel
