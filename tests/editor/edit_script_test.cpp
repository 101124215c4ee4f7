// The edit-script dialog and the paragraph dialogs on real script files:
// paragraphs made through the dialogs are saved, read back by the script
// reader and loaded as the program loads them.

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/message_log.h"
#include "editor/edit_script_dialog.h"
#include "editor/paragraph_dialogs.h"
#include "editor_fixture.h"
#include "engine/definition_factory.h"
#include "engine/edit_definition.h"
#include "odbc_test_folder.h"
#include "schedule/lock_definition.h"
#include "script/script_reader.h"
#include "script/script_writer.h"

namespace kestrel::test {
namespace {

namespace c = command_id;
namespace k = keyword_id;

std::string readFile(const std::string& name) {
  std::ifstream in(name);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void writeFile(const std::string& name, const std::string& text) { std::ofstream(name) << text; }

QStringList lines(QWidget* dialog) {
  QStringList texts;
  auto* list = control<QListWidget>(dialog, "paragraphList");
  for (int i = 0; i < list->count(); ++i) texts << list->item(i)->text();
  return texts;
}

// As a user selects: a click on the line.
void selectLine(QDialog* dialog, int row) {
  auto* list = control<QListWidget>(dialog, "paragraphList");
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                    list->visualItemRect(list->item(row)).center());
  ASSERT_TRUE(list->item(row)->isSelected());
}

// From the paragraphs dialog: "Create New Paragraph" with this kind and
// name (a copy of `source` when given); `edit` then acts on the kind's dialog,
// which opens at once.
void createParagraph(QDialog* paragraphs, const QString& kind, const QString& name,
                     const QString& dialogName, std::function<void(QDialog*)> edit,
                     const QString& source = QString()) {
  whenShown("newParagraphDialog", [=](QDialog* dialog) {
    typeInto(dialog, "nameEdit", name);
    auto* kinds = control<QComboBox>(dialog, "kindCombo");
    kinds->setCurrentIndex(kinds->findText(kind));
    if (!source.isEmpty()) {
      control<QRadioButton>(dialog, "copyRadio")->setChecked(true);
      auto* sources = control<QComboBox>(dialog, "sourceCombo");
      sources->setCurrentIndex(sources->findText(source));
    }
    whenShown(dialogName, edit);
    click(dialog, "createButton");
  });
  click(paragraphs, "newParagraphButton");
}

class EditScriptTest : public EditorTest {
 protected:
  EditScriptTest() { setProgramLog(&log); }
  ~EditScriptTest() override { setProgramLog(nullptr); }

  // Reads the file as the program does; the lines of the log say why not.
  bool loadModel(const std::string& name, ScriptModel& model, ParagraphList* image = nullptr) {
    ScriptReader reader(log, &options);
    reader.setModel(&model);
    reader.setListener(image);
    reader.setFactory(&runnableDefinitions());
    return reader.Load(name);
  }

  std::string logText() const {
    std::string text;
    for (const LogLine& line : log.lines()) text += line.text + "\n";
    return text;
  }

  MessageLog log;
};

// The whole way a user goes: an empty folder, four kinds of paragraph made
// through their dialogs (one as a copy, one renamed, one deleted), saved and
// reloaded. The file reads back to the paragraphs the editor held, and the
// program loads it to the definitions that were entered.
TEST_F(EditScriptTest, ParagraphsMadeInTheDialogsAreSavedAndLoadedAsEntered) {
  FakeClock clock(localTime(2026, 5, 4, 22, 30));
  // The copy definition is written by hand; it names what the dialogs make,
  // so loading the script also resolves every reference.
  OdbcTestFolder odbc;
  const std::string script = file("nightly.txt");
  writeFile(script, odbc.withFolderNames("COPYDEFINITION: ORDERS\n"
                                         "  FROM 'kt_sqlite_a' TABLE='orders' LOCK=GATE\n"
                                         "  TO 'kt_sqlite_b' TABLE='orders_copy' UPDATE=KEYS\n"
                                         "  COPY 'id' KEY=YES\n"
                                         "  COPY 'street' TRANS=NOCR EDIT=ADDRESS\n"
                                         "  AUTORUN NIGHTLY\n"));
  const TestDatabase source = odbc.sqlite(OdbcTestFolder::kSqliteA);
  const TestDatabase target = odbc.sqlite(OdbcTestFolder::kSqliteB);
  ASSERT_EQ(execSql(source, {"CREATE TABLE orders (id INTEGER, street VARCHAR(40))",
                             "INSERT INTO orders VALUES (1, 'Main Str.')",
                             "INSERT INTO orders VALUES (2, 'Mill Lane (old)')",
                             "INSERT INTO orders VALUES (3, 'A' || char(13) || 'B')",
                             "CREATE TABLE batch (name VARCHAR(10), state VARCHAR(10))",
                             "INSERT INTO batch VALUES ('night', 'DONE')"}),
            "");
  ASSERT_EQ(execSql(target, {"CREATE TABLE orders_copy (id INTEGER, street VARCHAR(40))"}), "");
  options.SetText(options.Find("ScriptFile"), script);
  EditScriptDialog dialog(options);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));

  whenShown("paragraphsDialog", [&](QDialog* paragraphs) {
    EXPECT_EQ(lines(paragraphs), QStringList{"COPYDEFINITION:   ORDERS"});
    createParagraph(paragraphs, "TIMERDEFINITION", "NIGHTLY", "timerDialog", [](QDialog* timer) {
      typeInto(timer, "startTimeEdit", "23:45");
      typeInto(timer, "repeatDaysEdit", "1");
      typeInto(timer, "retryCountEdit", "2");
      typeInto(timer, "retryIntervalEdit", "00:15");
      control<QCheckBox>(timer, "sundayCheck")->setChecked(false);
      click(timer, "returnButton");
    });
    createParagraph(paragraphs, "TRANSLATETABLE", "NOCR", "translateDialog", [](QDialog* table) {
      control<QCheckBox>(table, "fromHexCheck")->setChecked(true);
      typeInto(table, "fromEdit", "0d");
      typeInto(table, "toEdit", " ");
      click(table, "addButton");
      control<QCheckBox>(table, "fromHexCheck")->setChecked(false);
      typeInto(table, "fromEdit", "\"");
      typeInto(table, "toEdit", "'");
      click(table, "addButton");
      click(table, "returnButton");
    });
    createParagraph(paragraphs, "EDITDEFINITION", "ADDRESS", "editDefinitionDialog",
                    [](QDialog* edit) {
                      typeInto(edit, "fromEdit", "Str.");
                      typeInto(edit, "toEdit", "Strasse");
                      click(edit, "addButton");
                      typeInto(edit, "fromEdit", " (old)");
                      typeInto(edit, "toEdit", "");
                      click(edit, "addButton");
                      click(edit, "returnButton");
                    });
    createParagraph(paragraphs, "LOCKDEFINITION", "GATE", "lockDialog", [&odbc](QDialog* lock) {
      auto* sources = control<QComboBox>(lock, "sourceCombo");
      sources->setCurrentIndex(
          sources->findText(QString::fromStdString(odbc.dsn(OdbcTestFolder::kSqliteA))));
      typeInto(lock, "useridEdit", "ops");
      typeInto(lock, "passwordEdit", "s3cret");
      control<QPlainTextEdit>(lock, "selectEdit")
          ->setPlainText("SELECT state\nFROM batch WHERE name = 'night'");
      typeInto(lock, "columnNameEdit", "state");
      typeInto(lock, "columnValueEdit", "DONE");
      click(lock, "okButton");
    });
    createParagraph(
        paragraphs, "TIMERDEFINITION", "WEEKEND", "timerDialog",
        [](QDialog* timer) {
          // The copy brings NIGHTLY's values into the dialog.
          EXPECT_EQ(control<QLineEdit>(timer, "startTimeEdit")->text(), "23:45");
          typeInto(timer, "startTimeEdit", "06:00");
          click(timer, "returnButton");
        },
        "NIGHTLY");
    createParagraph(paragraphs, "TRANSLATETABLE", "SPARE", "translateDialog",
                    [](QDialog* table) { click(table, "returnButton"); });
    EXPECT_EQ(lines(paragraphs),
              QStringList({"COPYDEFINITION:   ORDERS", "TIMERDEFINITION:   NIGHTLY",
                           "TRANSLATETABLE:   NOCR", "EDITDEFINITION:   ADDRESS",
                           "LOCKDEFINITION:   GATE", "TIMERDEFINITION:   WEEKEND",
                           "TRANSLATETABLE:   SPARE"}));
    // The new line is selected.
    EXPECT_TRUE(control<QListWidget>(paragraphs, "paragraphList")->item(6)->isSelected());

    boxes.answers = {BoxAnswer::Yes};
    click(paragraphs, "deleteParagraphButton");
    selectLine(paragraphs, 5);
    whenShown("renameParagraphDialog", [](QDialog* rename) {
      EXPECT_EQ(control<QLineEdit>(rename, "nameEdit")->text(), "WEEKEND");
      typeInto(rename, "nameEdit", "SUNDAYS");
      click(rename, "okButton");
    });
    click(paragraphs, "renameParagraphButton");
    EXPECT_EQ(lines(paragraphs).last(), "TIMERDEFINITION:   SUNDAYS");
    click(paragraphs, "returnButton");
  });
  click(&dialog, "editScriptButton");
  ASSERT_TRUE(enabled(&dialog, "saveAndReloadButton"));
  click(&dialog, "saveAndReloadButton");
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(boxes.boxes.size(), 1u);  // the delete question only
  EXPECT_EQ(options.text("ScriptFile"), script);

  // Read back, the file gives the very paragraphs the editor held.
  ScriptModel model(log);
  ParagraphList image;
  ASSERT_TRUE(loadModel(script, model, &image)) << logText() << readFile(script);
  std::ostringstream held, reread;
  ASSERT_TRUE(dialog.paragraphs().Write(held));
  ASSERT_TRUE(image.Write(reread));
  EXPECT_EQ(reread.str(), held.str());
  EXPECT_EQ(readFile(script), held.str());

  // And the definitions are what was entered.
  auto* nightly = static_cast<TimerDefinition*>(model.Find(kTimerKind, "NIGHTLY"));
  ASSERT_NE(nightly, nullptr) << logText() << readFile(script);
  EXPECT_EQ(nightly->startDate, localTime(2026, 5, 4));
  EXPECT_EQ(nightly->startTime, (23 * 60 + 45) * 60);
  EXPECT_EQ(nightly->every, 86400);
  EXPECT_EQ(nightly->days, "YYYYYYN");
  EXPECT_EQ(nightly->retryCount, 2);
  EXPECT_EQ(nightly->retryInterval, 15 * 60);
  auto* sundays = static_cast<TimerDefinition*>(model.Find(kTimerKind, "SUNDAYS"));
  ASSERT_NE(sundays, nullptr);
  EXPECT_EQ(sundays->startTime, 6 * 3600);
  EXPECT_EQ(sundays->retryCount, 2);
  EXPECT_EQ(model.Find(kTranslateKind, "SPARE"), nullptr);
  TranslateDefinition* nocr = model.FindTranslate("NOCR");
  ASSERT_NE(nocr, nullptr);
  EXPECT_EQ(nocr->table['\r'], ' ');
  EXPECT_EQ(nocr->table['"'], '\'');
  EXPECT_EQ(nocr->table['a'], 'a');
  EditDefinition* address = findEditDefinition(model, "ADDRESS");
  ASSERT_NE(address, nullptr);
  ASSERT_EQ(address->changes.size(), 2u);
  EXPECT_EQ(address->changes[0].fromText, "Str.");
  EXPECT_EQ(address->changes[0].toText, "Strasse");
  EXPECT_EQ(address->changes[1].fromText, " (old)");
  EXPECT_EQ(address->changes[1].toText, "");
  LockDefinition* gate = findLockDefinition(model, "GATE");
  ASSERT_NE(gate, nullptr);
  EXPECT_EQ(gate->source, odbc.dsn(OdbcTestFolder::kSqliteA));
  EXPECT_EQ(gate->userid, "ops");
  EXPECT_EQ(gate->password, "s3cret");
  EXPECT_EQ(gate->select, "SELECT state FROM batch WHERE name = 'night'");
  EXPECT_EQ(gate->acceptColumn, "state");
  EXPECT_EQ(gate->acceptValue, "DONE");

  // The program runs with it: the lock allows the copy, and the edit and
  // translate tables change the values on the way.
  ASSERT_TRUE(model.RunAll(nullptr)) << logText();
  std::vector<Row> rows;
  ASSERT_EQ(querySql(target, "SELECT id, street FROM orders_copy ORDER BY id", &rows), "");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0][1], "Main Strasse");
  EXPECT_EQ(rows[1][1], "Mill Lane");
  EXPECT_EQ(rows[2][1], "A B");
}

TEST_F(EditScriptTest, ButtonStatesFollowTheNameAndTheEditedFlag) {
  struct Case {
    const char* storedName;
    const char* typed;  // nullptr: left as opened
    bool edit, save;
  };
  const Case cases[] = {
      {"", nullptr, false, false},
      {"/x/script.txt", nullptr, true, false},
      {"", "a.txt", true, false},
      {"a.txt", "", false, false},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.storedName);
    options.SetText(options.Find("ScriptFile"), test.storedName);
    EditScriptDialog dialog(options);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_EQ(dialog.windowTitle(), "Edit KESTREL script");
    EXPECT_EQ(control<QLineEdit>(&dialog, "scriptFileEdit")->text(), test.storedName);
    if (test.typed) typeInto(&dialog, "scriptFileEdit", test.typed);
    EXPECT_EQ(enabled(&dialog, "editScriptButton"), test.edit);
    EXPECT_EQ(enabled(&dialog, "saveScriptButton"), test.save);
    EXPECT_EQ(enabled(&dialog, "saveAndReloadButton"), test.save);
    EXPECT_TRUE(enabled(&dialog, "cancelButton"));
  }

  // After the paragraphs dialog has closed once, saving is possible while a
  // name is given.
  options.SetText(options.Find("ScriptFile"), file("new.txt"));
  EditScriptDialog dialog(options);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  whenShown("paragraphsDialog", [](QDialog* paragraphs) { click(paragraphs, "returnButton"); });
  click(&dialog, "editScriptButton");
  EXPECT_TRUE(enabled(&dialog, "saveScriptButton"));
  EXPECT_TRUE(enabled(&dialog, "saveAndReloadButton"));
  typeInto(&dialog, "scriptFileEdit", "");
  EXPECT_FALSE(enabled(&dialog, "saveScriptButton"));
}

TEST_F(EditScriptTest, BrowseTakesANewNameIntoTheField) {
  options.SetText(options.Find("ScriptFile"), file("old.txt"));
  EditScriptDialog dialog(options);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  const QString chosen = QString::fromStdString(file("chosen.txt"));
  whenShown("browseFileDialog", [&](QDialog* browse) {
    EXPECT_EQ(browse->windowTitle(), "Define script filename");
    auto* files = qobject_cast<QFileDialog*>(browse);
    ASSERT_NE(files, nullptr);
    EXPECT_EQ(files->nameFilters(), QStringList({"Text files (*.txt)", "All files (*.*)"}));
    // Typed into the dialog's own name field, as a user does.
    typeInto(browse, "fileNameEdit", chosen);
    QTest::keyClick(control<QWidget>(browse, "fileNameEdit"), Qt::Key_Return);
  });
  click(&dialog, "browseButton");
  EXPECT_EQ(control<QLineEdit>(&dialog, "scriptFileEdit")->text(), chosen);
}

// "Save script" ends with Cancel, "Save and Reload script" with OK; without
// edits neither writes.
TEST_F(EditScriptTest, SaveResultsAndNothingWrittenWithoutEdits) {
  const std::string script = file("s.txt");
  writeFile(script, "TRANSLATETABLE: T\n  TRANS a TO=b\n");
  options.SetText(options.Find("ScriptFile"), script);
  struct Case {
    const char* button;
    bool edit;
    int result;
    bool written;
  };
  for (const Case& test : {Case{"saveScriptButton", true, QDialog::Rejected, true},
                           Case{"saveAndReloadButton", true, QDialog::Accepted, true}}) {
    SCOPED_TRACE(test.button);
    writeFile(script, "TRANSLATETABLE: T\n  TRANS a TO=b\n");
    EditScriptDialog dialog(options);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    whenShown("paragraphsDialog", [](QDialog* paragraphs) { click(paragraphs, "returnButton"); });
    click(&dialog, "editScriptButton");
    click(&dialog, test.button);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), test.result);
    EXPECT_NE(readFile(script).find("* Last updated: "), std::string::npos);
  }
  writeFile(script, "untouched");
  EditScriptDialog dialog(options);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  QTest::keyClick(&dialog, Qt::Key_Escape);
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_EQ(readFile(script), "untouched");
}

// Root is not stopped by a read-only folder, so the file name is made
// unusable instead: it names a folder, or its parent is a regular file.
TEST_F(EditScriptTest, AFailedSaveWarnsWithTheNameAndKeepsTheDialogAndItsEdits) {
  writeFile(file("plain"), "a regular file\n");
  ASSERT_TRUE(QDir(folder.path()).mkdir("folder.txt"));
  for (const std::string& target : {file("folder.txt"), file("plain") + "/script.txt"}) {
    SCOPED_TRACE(target);
    std::filesystem::remove(file("start.txt"));
    boxes.boxes.clear();
    options.SetText(options.Find("ScriptFile"), file("start.txt"));
    EditScriptDialog dialog(options);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    whenShown("paragraphsDialog", [](QDialog* paragraphs) {
      createParagraph(paragraphs, "TRANSLATETABLE", "KEEP", "translateDialog",
                      [](QDialog* table) { click(table, "returnButton"); });
      click(paragraphs, "returnButton");
    });
    click(&dialog, "editScriptButton");
    typeInto(&dialog, "scriptFileEdit", QString::fromStdString(target));
    click(&dialog, "saveAndReloadButton");
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text.rfind(target + "\n\n", 0), 0u) << boxes.boxes[0].text;
    EXPECT_GT(boxes.boxes[0].text.size(), target.size() + 2) << "the reason is missing";
    EXPECT_EQ(boxes.boxes[0].caption, "Cannot save file");
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(options.text("ScriptFile"), file("start.txt"));
    // Named again, the same edits are saved.
    typeInto(&dialog, "scriptFileEdit", QString::fromStdString(file("start.txt")));
    click(&dialog, "saveScriptButton");
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_NE(readFile(file("start.txt")).find("TRANSLATETABLE: \"KEEP\""), std::string::npos);
  }
  EXPECT_EQ(readFile(file("plain")), "a regular file\n");
}

// The file is read only when its name changed; a failed read leaves nothing
// that could be saved over the file.
TEST_F(EditScriptTest, EditScriptReadsAgainOnlyForAnotherNameAndNeverKeepsAFailedRead) {
  const std::string first = file("first.txt");
  const std::string second = file("second.txt");
  const std::string broken = file("broken.txt");
  writeFile(first, "TRANSLATETABLE: ONE\n  TRANS a TO=b\n");
  writeFile(second, "TIMERDEFINITION: TWO\n  START 2026-01-01 TIME=01:00\n");
  writeFile(broken, "TRANSLATETABLE: GOOD\n  TRANS a TO=b\nTRANSLATETABLE: BAD\n  NONSENSE\n");
  options.SetText(options.Find("ScriptFile"), first);
  EditScriptDialog dialog(options);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));

  whenShown("paragraphsDialog", [](QDialog* paragraphs) {
    EXPECT_EQ(lines(paragraphs), QStringList{"TRANSLATETABLE:   ONE"});
    selectLine(paragraphs, 0);
    click(paragraphs, "deleteParagraphButton");  // answered Yes below
    click(paragraphs, "returnButton");
  });
  boxes.answers = {BoxAnswer::Yes};
  click(&dialog, "editScriptButton");
  writeFile(first, "TRANSLATETABLE: CHANGED\n  TRANS a TO=b\n");
  whenShown("paragraphsDialog", [](QDialog* paragraphs) {
    EXPECT_TRUE(lines(paragraphs).isEmpty());  // the deletion is kept, the file not read
    click(paragraphs, "returnButton");
  });
  click(&dialog, "editScriptButton");

  typeInto(&dialog, "scriptFileEdit", QString::fromStdString(second));
  whenShown("paragraphsDialog", [](QDialog* paragraphs) {
    EXPECT_EQ(lines(paragraphs), QStringList{"TIMERDEFINITION:   TWO"});
    click(paragraphs, "returnButton");
  });
  click(&dialog, "editScriptButton");

  // The broken file opens no paragraphs dialog; its error is in the log,
  // and saving now writes nothing.
  log.Clear();
  typeInto(&dialog, "scriptFileEdit", QString::fromStdString(broken));
  click(&dialog, "editScriptButton");
  EXPECT_NE(logText().find("Error: Undefined command (in line 4"), std::string::npos) << logText();
  EXPECT_FALSE(enabled(&dialog, "saveScriptButton"));
  EXPECT_TRUE(dialog.paragraphs().empty());
  // Read again on the next try.
  log.Clear();
  click(&dialog, "editScriptButton");
  EXPECT_NE(logText().find("Error: Undefined command"), std::string::npos);
  EXPECT_FALSE(enabled(&dialog, "saveAndReloadButton"));
  QTest::keyClick(&dialog, Qt::Key_Escape);
  EXPECT_NE(readFile(broken).find("NONSENSE"), std::string::npos);
}

TEST_F(EditScriptTest, ParagraphLineTexts) {
  ParagraphList list;
  Paragraph& copy = addParagraph(list, kCopyKind, "ORDERS");
  Paragraph& off = addParagraph(list, kCopyKind, "OLD");
  off.AddCommand(off.entry->findCommand(c::From), "src")->SetFlag(k::Inactive, true, false);
  Paragraph& lock = addParagraph(list, kLockKind, "GATE");
  EXPECT_EQ(paragraphLineText(copy), "COPYDEFINITION:   ORDERS");
  EXPECT_EQ(paragraphLineText(off), "COPYDEFINITION:   OLD (Inactive)");
  EXPECT_EQ(paragraphLineText(lock), "LOCKDEFINITION:   GATE");
}

TEST_F(EditScriptTest, ParagraphButtonsNeedASelectionAndDeleteAsksFirst) {
  ParagraphList list;
  addParagraph(list, kTranslateKind, "A");
  Paragraph& copy = addParagraph(list, kCopyKind, "B");
  copy.AddCommand(copy.entry->findCommand(c::From), "src")->SetText(k::Table, "a");
  ParagraphsDialog dialog(list, options);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  EXPECT_EQ(dialog.windowTitle(), "KESTREL script paragraphs");
  const char* const selectionButtons[] = {"editParagraphButton", "deleteParagraphButton",
                                          "renameParagraphButton"};
  for (const char* name : selectionButtons) EXPECT_FALSE(enabled(&dialog, name)) << name;
  selectLine(&dialog, 1);
  for (const char* name : selectionButtons) EXPECT_TRUE(enabled(&dialog, name)) << name;

  // The copy definition dialog marks it inactive: the line follows, in place.
  whenShown("copyDefinitionDialog", [](QDialog* copyDialog) {
    control<QCheckBox>(copyDialog, "inactiveCheck")->setChecked(true);
    click(copyDialog, "returnButton");
  });
  click(&dialog, "editParagraphButton");
  EXPECT_TRUE(boxes.boxes.empty());
  EXPECT_EQ(lines(&dialog)[1], "COPYDEFINITION:   B (Inactive)");
  EXPECT_TRUE(control<QListWidget>(&dialog, "paragraphList")->item(1)->isSelected());

  boxes.answers = {BoxAnswer::No};
  click(&dialog, "deleteParagraphButton");
  EXPECT_EQ(boxes.boxes.back().text,
            "Do you really want to delete \"COPYDEFINITION:   B (Inactive)\" ?");
  EXPECT_EQ(boxes.boxes.back().caption, "Delete ?");
  EXPECT_EQ(list.paragraphs.size(), 2u);
  boxes.answers = {BoxAnswer::Yes};
  click(&dialog, "deleteParagraphButton");
  selectLine(&dialog, 0);
  boxes.answers = {BoxAnswer::Yes};
  click(&dialog, "deleteParagraphButton");
  EXPECT_TRUE(list.empty());
  EXPECT_TRUE(lines(&dialog).isEmpty());
  for (const char* name : selectionButtons) EXPECT_FALSE(enabled(&dialog, name)) << name;
}

TEST_F(EditScriptTest, DoubleClickOpensTheKindsDialog) {
  ParagraphList list;
  addParagraph(list, kTranslateKind, "A");
  addParagraph(list, kEditKind, "E");
  ParagraphsDialog dialog(list, options);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  selectLine(&dialog, 1);
  auto* view = control<QListWidget>(&dialog, "paragraphList");
  bool opened = false;
  whenShown("editDefinitionDialog", [&](QDialog* edit) {
    opened = true;
    EXPECT_EQ(control<QLabel>(edit, "paragraphName")->text(), "E");
    click(edit, "returnButton");
  });
  const QPoint line = view->visualItemRect(view->item(1)).center();
  QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, line);
  EXPECT_TRUE(opened);
}

// Renaming neither checks for duplicates nor follows references; an empty
// name is refused.
TEST_F(EditScriptTest, RenameTakesAnyNonEmptyName) {
  ParagraphList list;
  addParagraph(list, kTranslateKind, "A");
  addParagraph(list, kTranslateKind, "B");
  ParagraphsDialog dialog(list, options);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  selectLine(&dialog, 1);
  whenShown("renameParagraphDialog", [&](QDialog* rename) {
    EXPECT_EQ(rename->windowTitle(), "Change Pragraph name");
    EXPECT_EQ(control<QLabel>(rename, "note")->text(),
              "Note: references to the original name are NOT automatically updated. You have "
              "to do this by hand.");
    typeInto(rename, "nameEdit", "");
    click(rename, "okButton");
    EXPECT_TRUE(rename->isVisible());
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "Missing paragraph name");
    typeInto(rename, "nameEdit", "A");
    click(rename, "okButton");
  });
  click(&dialog, "renameParagraphButton");
  EXPECT_EQ(list.paragraphs.back().name, "A");
  EXPECT_EQ(lines(&dialog), QStringList({"TRANSLATETABLE:   A", "TRANSLATETABLE:   A"}));
  EXPECT_TRUE(control<QListWidget>(&dialog, "paragraphList")->item(1)->isSelected());
}

TEST_F(EditScriptTest, NewParagraphDialogStates) {
  {
    ParagraphList empty;
    NewParagraphDialog dialog(empty);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_EQ(dialog.windowTitle(), "Create New Paragraph");
    auto* kinds = control<QComboBox>(&dialog, "kindCombo");
    QStringList kindTexts;
    for (int i = 0; i < kinds->count(); ++i) kindTexts << kinds->itemText(i);
    EXPECT_EQ(kindTexts, QStringList({"COPYDEFINITION", "TRANSLATETABLE", "EDITDEFINITION",
                                      "TIMERDEFINITION", "LOCKDEFINITION"}));
    EXPECT_EQ(kinds->currentIndex(), 0);
    EXPECT_TRUE(control<QRadioButton>(&dialog, "emptyRadio")->isChecked());
    for (const char* name :
         {"contentsGroup", "emptyRadio", "copyRadio", "sourceCombo", "createButton"}) {
      EXPECT_FALSE(enabled(&dialog, name)) << name;
    }
    typeInto(&dialog, "nameEdit", "X");
    EXPECT_TRUE(enabled(&dialog, "createButton"));
    typeInto(&dialog, "nameEdit", "");
    EXPECT_FALSE(enabled(&dialog, "createButton"));
  }

  ParagraphList list;
  for (const char* name : {"zeta", "Alpha", "beta"}) addParagraph(list, kTimerKind, name);
  addParagraph(list, kTranslateKind, "T");
  NewParagraphDialog dialog(list);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  EXPECT_TRUE(enabled(&dialog, "contentsGroup"));
  auto* sources = control<QComboBox>(&dialog, "sourceCombo");
  EXPECT_FALSE(sources->isEnabled());
  control<QRadioButton>(&dialog, "copyRadio")->setChecked(true);
  auto* kinds = control<QComboBox>(&dialog, "kindCombo");
  kinds->setCurrentIndex(kinds->findText("TIMERDEFINITION"));
  EXPECT_TRUE(sources->isEnabled());
  QStringList names;
  for (int i = 0; i < sources->count(); ++i) names << sources->itemText(i);
  EXPECT_EQ(names, QStringList({"Alpha", "beta", "zeta"}));
  EXPECT_EQ(sources->currentIndex(), 0);
  // A kind without paragraphs: nothing to copy, the new one is empty.
  kinds->setCurrentIndex(kinds->findText("LOCKDEFINITION"));
  EXPECT_EQ(sources->count(), 0);
  control<QRadioButton>(&dialog, "emptyRadio")->setChecked(true);
  EXPECT_FALSE(sources->isEnabled());

  // A name used by any kind is refused; so is one the script cannot hold.
  const std::pair<QString, const char*> refused[] = {
      {"T", "Paragraph name already exists in script file"},
      {"it's \"quoted\"", nullptr},
  };
  for (const auto& [name, message] : refused) {
    boxes.boxes.clear();
    typeInto(&dialog, "nameEdit", name);
    click(&dialog, "createButton");
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_EQ(boxes.boxes.size(), 1u);
    if (message) {
      EXPECT_EQ(boxes.boxes[0].text, message);
      EXPECT_EQ(boxes.boxes[0].caption, "ERROR");
    }
  }
  control<QRadioButton>(&dialog, "copyRadio")->setChecked(true);
  kinds->setCurrentIndex(kinds->findText("TIMERDEFINITION"));
  sources->setCurrentIndex(sources->findText("beta"));
  typeInto(&dialog, "nameEdit", "gamma");
  QTest::keyClick(control<QWidget>(&dialog, "nameEdit"), Qt::Key_Return);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.name(), "gamma");
  EXPECT_EQ(dialog.kind()->kind, kTimerKind);
  ASSERT_NE(dialog.source(), nullptr);
  EXPECT_EQ(dialog.source()->name, "beta");
}

// A script written by hand with every paragraph kind comes through an edit
// without a change to what the program loads from it.
TEST_F(EditScriptTest, AnOpenedScriptIsSavedToTheSameDefinitions) {
  const std::string script = file("hand.txt");
  writeFile(script,
            "* nightly\n"
            "COPYDEFINITION: ORDERS\n"
            "  FROM src TABLE=orders INACTIVE=YES LOCK=GATE\n"
            "  TO dst TABLE=orders_copy\n"
            "  COPY id KEY=YES\n"
            "  AUTORUN NIGHTLY\n"
            "TRANSLATETABLE: T\n  TRANS X'0D' TO=' '\n"
            "EDITDEFINITION: E\n  CODED 17\n  CHANGE 'a b' TO=\"c'd\"\n"
            "TIMERDEFINITION: NIGHTLY\n  START 2026-01-02 TIME=01:00 EVERY=1-00:00 DAYS=YYYYYNN\n"
            "  RETRY 3 INTERVAL=00:05\n"
            "LOCKDEFINITION: GATE\n  SOURCE dsn SELECT='SELECT 1' USERID=u\n  ACCEPT C VALUE=1\n");
  options.SetText(options.Find("ScriptFile"), script);
  ParagraphList before;
  {
    ScriptModel model(log);
    ASSERT_TRUE(loadModel(script, model, &before)) << logText();
  }
  EditScriptDialog dialog(options);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  whenShown("paragraphsDialog", [](QDialog* paragraphs) {
    EXPECT_EQ(lines(paragraphs).first(), "COPYDEFINITION:   ORDERS (Inactive)");
    // Every dialog opened and closed with its accepting button.
    const std::pair<int, const char*> open[] = {
        {1, "translateDialog"}, {2, "editDefinitionDialog"}, {3, "timerDialog"}, {4, "lockDialog"}};
    for (const auto& [row, name] : open) {
      selectLine(paragraphs, row);
      whenShown(name, [](QDialog* kind) {
        QPushButton* accept = kind->findChild<QPushButton*>("okButton");
        if (!accept) accept = kind->findChild<QPushButton*>("returnButton");
        QTest::mouseClick(accept, Qt::LeftButton);
      });
      click(paragraphs, "editParagraphButton");
    }
    click(paragraphs, "returnButton");
  });
  click(&dialog, "editScriptButton");
  click(&dialog, "saveScriptButton");
  ASSERT_FALSE(dialog.isVisible());

  ScriptModel model(log);
  ParagraphList after;
  ASSERT_TRUE(loadModel(script, model, &after)) << logText() << readFile(script);
  std::ostringstream a, b;
  before.Write(a);
  after.Write(b);
  EXPECT_EQ(b.str(), a.str());
}

}  // namespace
}  // namespace kestrel::test
