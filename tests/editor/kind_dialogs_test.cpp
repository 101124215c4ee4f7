// The dialogs of the translate, edit, timer and lock paragraphs, driven
// through their controls on a paragraph of an editor's list.

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

#include "editor/edit_definition_dialog.h"
#include "editor/lock_dialog.h"
#include "editor/timer_dialog.h"
#include "editor/translate_dialog.h"
#include "editor_fixture.h"
#include "odbc_test_folder.h"

namespace kestrel::test {
namespace {

namespace c = command_id;
namespace k = keyword_id;

using KindDialogTest = EditorTest;

// As a user selects: a click on the line.
void select(QListWidget* list, int row) {
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                    list->visualItemRect(list->item(row)).center());
  ASSERT_TRUE(list->item(row)->isSelected());
}

Command& addCommand(Paragraph& paragraph, int commandId, const std::string& argument,
                    std::initializer_list<std::pair<int, std::string>> values = {}) {
  Command* command = paragraph.AddCommand(paragraph.entry->findCommand(commandId), argument);
  for (const auto& [id, value] : values) {
    command->AddKeywordValue(command->entry->findKeyword(id), value);
  }
  return *command;
}

TEST_F(KindDialogTest, TranslateShowsBothFormsAndUpdatesAndDeletesAHexadecimalCode) {
  ParagraphList list;
  Paragraph& table = addParagraph(list, kTranslateKind, "UPPER");
  addCommand(table, c::Trans, "a", {{k::To, "A"}});
  addCommand(table, c::Trans, "X'41'", {{k::To, "X'0D'"}});
  TranslateDialog dialog(table);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  EXPECT_EQ(dialog.windowTitle(), "Translate definition");
  EXPECT_EQ(control<QLabel>(&dialog, "paragraphName")->text(), "UPPER");
  auto* lines = control<QListWidget>(&dialog, "translationList");
  ASSERT_EQ(lines->count(), 2);
  EXPECT_EQ(lines->item(0)->text(), "a  -->  A");
  EXPECT_EQ(lines->item(1)->text(), "X'41'  -->  X'0D'");

  select(lines, 1);
  EXPECT_TRUE(control<QCheckBox>(&dialog, "fromHexCheck")->isChecked());
  EXPECT_EQ(control<QLineEdit>(&dialog, "fromEdit")->text(), "41");
  EXPECT_TRUE(control<QCheckBox>(&dialog, "toHexCheck")->isChecked());
  EXPECT_EQ(control<QLineEdit>(&dialog, "toEdit")->text(), "0D");
  EXPECT_FALSE(enabled(&dialog, "addButton"));
  ASSERT_TRUE(enabled(&dialog, "updateButton"));

  control<QCheckBox>(&dialog, "toHexCheck")->setChecked(false);
  typeInto(&dialog, "toEdit", "z");
  QTest::mouseClick(control<QPushButton>(&dialog, "updateButton"), Qt::LeftButton);
  EXPECT_EQ(lines->item(1)->text(), "X'41'  -->  z");
  EXPECT_EQ(table.commands.back().GetText(k::To), "z");

  boxes.answers = {BoxAnswer::No, BoxAnswer::Yes};
  QTest::mouseClick(control<QPushButton>(&dialog, "deleteButton"), Qt::LeftButton);
  EXPECT_EQ(table.commands.size(), 2u);
  QTest::mouseClick(control<QPushButton>(&dialog, "deleteButton"), Qt::LeftButton);
  ASSERT_EQ(boxes.boxes.size(), 2u);
  EXPECT_EQ(boxes.boxes[1].text, "Do you really want to delete translation of X'41' ?");
  EXPECT_EQ(boxes.boxes[1].caption, "Delete ?");
  EXPECT_EQ(table.commands.size(), 1u);
  EXPECT_EQ(lines->count(), 1);
  EXPECT_TRUE(control<QLineEdit>(&dialog, "fromEdit")->text().isEmpty());
}

// Add, Update and Delete compare the stored form of the "from" side with the
// arguments; a side must be one printable character or two hex digits.
TEST_F(KindDialogTest, TranslateStatesAndValidationFollowTheStoredForm) {
  struct Case {
    const char* from;
    bool fromHex;
    const char* to;
    bool toHex;
    bool add, update;           // with line 0 ("b  -->  c") selected
    const char* storedOrError;  // the new line, or the warning
  };
  const Case cases[] = {
      {"b", false, "x", false, false, true, nullptr},
      {"62", true, "x", false, true, false, "X'62'  -->  x"},  // same code, other form
      {"e", false, "0a", true, true, false, "e  -->  X'0A'"},  // digits upper-cased
      {"e", false, "xy", false, true, false, "Illegal characters specified"},
      {"ef", false, "x", false, true, false, "Illegal characters specified"},
      {"4", true, "x", false, true, false, "Illegal characters specified"},
      {"zz", true, "x", false, true, false, "Illegal characters specified"},
      {"\xc3\xa9", false, "x", false, true, false, "Illegal characters specified"},
      {"", false, "x", false, false, false, nullptr},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.from);
    ParagraphList list;
    Paragraph& table = addParagraph(list, kTranslateKind, "T");
    addCommand(table, c::Trans, "b", {{k::To, "c"}});
    boxes.boxes.clear();
    TranslateDialog dialog(table);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    select(control<QListWidget>(&dialog, "translationList"), 0);
    control<QCheckBox>(&dialog, "fromHexCheck")->setChecked(test.fromHex);
    control<QCheckBox>(&dialog, "toHexCheck")->setChecked(test.toHex);
    typeInto(&dialog, "fromEdit", QString::fromUtf8(test.from));
    typeInto(&dialog, "toEdit", test.to);
    EXPECT_EQ(enabled(&dialog, "addButton"), test.add);
    EXPECT_EQ(enabled(&dialog, "updateButton"), test.update);
    EXPECT_EQ(enabled(&dialog, "deleteButton"), test.update);
    if (!test.add) continue;
    QTest::mouseClick(control<QPushButton>(&dialog, "addButton"), Qt::LeftButton);
    auto* lines = control<QListWidget>(&dialog, "translationList");
    if (std::string(test.storedOrError).rfind("Illegal", 0) == 0) {
      ASSERT_EQ(boxes.boxes.size(), 1u);
      EXPECT_EQ(boxes.boxes[0].text, test.storedOrError);
      EXPECT_EQ(boxes.boxes[0].caption, "Error");
      EXPECT_EQ(table.commands.size(), 1u);
    } else {
      EXPECT_TRUE(boxes.boxes.empty());
      ASSERT_EQ(lines->count(), 2);
      EXPECT_EQ(lines->item(1)->text(), test.storedOrError);
      EXPECT_TRUE(lines->item(1)->isSelected());
    }
  }
}

TEST_F(KindDialogTest, EditDefinitionSwitchesBetweenReplacementsAndEncryption) {
  ParagraphList list;
  Paragraph& edit = addParagraph(list, kEditKind, "CLEAN");
  addCommand(edit, c::Change, "Str.", {{k::To, "Strasse"}});
  EditDefinitionDialog dialog(edit);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  EXPECT_EQ(dialog.windowTitle(), "Edit definition");
  auto* lines = control<QListWidget>(&dialog, "replacementList");
  ASSERT_EQ(lines->count(), 1);
  EXPECT_EQ(lines->item(0)->text(), "\"Str.\" -> \"Strasse\"");

  // Not encrypting: the replacements are editable, the key is not.
  for (const char* name : {"replacementList", "fromGroup", "toGroup"}) {
    EXPECT_TRUE(enabled(&dialog, name)) << name;
  }
  for (const char* name : {"keyEdit", "keyLabel", "keyRangeLabel"}) {
    EXPECT_FALSE(enabled(&dialog, name)) << name;
  }
  typeInto(&dialog, "fromEdit", "Str.");
  EXPECT_FALSE(enabled(&dialog, "addButton"));
  EXPECT_FALSE(enabled(&dialog, "updateButton"));  // nothing selected
  select(lines, 0);
  EXPECT_TRUE(enabled(&dialog, "updateButton"));
  // An empty replacement removes the text; it is kept as a value of its own.
  typeInto(&dialog, "fromEdit", " GmbH");
  typeInto(&dialog, "toEdit", "");
  ASSERT_TRUE(enabled(&dialog, "addButton"));
  QTest::mouseClick(control<QPushButton>(&dialog, "addButton"), Qt::LeftButton);
  ASSERT_EQ(lines->count(), 2);
  EXPECT_EQ(lines->item(1)->text(), "\" GmbH\" -> \"\"");
  ASSERT_NE(edit.commands.back().Find(k::To), nullptr);

  // Both quote characters cannot be written: refused, nothing added.
  typeInto(&dialog, "fromEdit", "it's \"x\"");
  QTest::mouseClick(control<QPushButton>(&dialog, "addButton"), Qt::LeftButton);
  EXPECT_EQ(edit.commands.size(), 2u);
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].caption, "Error");

  control<QCheckBox>(&dialog, "encryptCheck")->setChecked(true);
  for (const char* name : {"replacementList", "fromGroup", "toGroup", "addButton"}) {
    EXPECT_FALSE(enabled(&dialog, name)) << name;
  }
  for (const char* name : {"keyEdit", "keyLabel", "keyRangeLabel"}) {
    EXPECT_TRUE(enabled(&dialog, name)) << name;
  }
  typeInto(&dialog, "keyEdit", "4711");
  QTest::mouseClick(control<QPushButton>(&dialog, "returnButton"), Qt::LeftButton);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  const Command* coded = edit.FindCommand(c::Coded);
  ASSERT_NE(coded, nullptr);
  EXPECT_EQ(coded->argument, "4711");
  EXPECT_EQ(edit.commands.size(), 3u);  // the replacements stay

  // Opened again, the encryption shows; clearing it (here with Esc) removes
  // the CODED command and keeps the replacements.
  EditDefinitionDialog again(edit);
  again.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&again));
  EXPECT_TRUE(control<QCheckBox>(&again, "encryptCheck")->isChecked());
  EXPECT_EQ(control<QLineEdit>(&again, "keyEdit")->text(), "4711");
  control<QCheckBox>(&again, "encryptCheck")->setChecked(false);
  QTest::keyClick(&again, Qt::Key_Escape);
  EXPECT_EQ(edit.FindCommand(c::Coded), nullptr);
  EXPECT_EQ(edit.commands.size(), 2u);
}

TEST_F(KindDialogTest, EditDefinitionDeleteAsksWithTheArgument) {
  ParagraphList list;
  Paragraph& edit = addParagraph(list, kEditKind, "E");
  addCommand(edit, c::Change, "a", {{k::To, "b"}});
  EditDefinitionDialog dialog(edit);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  select(control<QListWidget>(&dialog, "replacementList"), 0);
  boxes.answers = {BoxAnswer::Yes};
  QTest::mouseClick(control<QPushButton>(&dialog, "deleteButton"), Qt::LeftButton);
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text, "Do you really want to delete definition of a ?");
  EXPECT_EQ(boxes.boxes[0].caption, "Delete ?");
  EXPECT_TRUE(edit.commands.empty());
}

TEST_F(KindDialogTest, TimerOpensWithTodayAndAllDaysForANewParagraph) {
  FakeClock clock(localTime(2026, 3, 7, 9, 5));
  ParagraphList list;
  Paragraph& timer = addParagraph(list, kTimerKind, "NIGHT");
  TimerDialog dialog(timer);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  EXPECT_EQ(dialog.windowTitle(), "Timer definition");
  EXPECT_EQ(control<QLineEdit>(&dialog, "startDateEdit")->text(), "2026-03-07");
  EXPECT_EQ(control<QLineEdit>(&dialog, "startTimeEdit")->text(), "09:05");
  EXPECT_TRUE(control<QLineEdit>(&dialog, "repeatDaysEdit")->text().isEmpty());
  EXPECT_TRUE(control<QLineEdit>(&dialog, "retryCountEdit")->text().isEmpty());
  EXPECT_EQ(control<QCheckBox>(&dialog, "thursdayCheck")->text(), "Thirsday");
  EXPECT_EQ(QApplication::focusWidget(), control<QWidget>(&dialog, "startDateEdit"));
  // Enter presses "&Return".
  QTest::keyClick(control<QWidget>(&dialog, "startDateEdit"), Qt::Key_Return);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  ASSERT_EQ(timer.commands.size(), 1u);
  const Command& start = timer.commands.front();
  EXPECT_EQ(start.argument, "2026-03-07");
  EXPECT_EQ(start.GetText(k::Time), "09:05");
  EXPECT_EQ(start.Find(k::Every), nullptr);
  EXPECT_EQ(start.GetText(k::Days), "YYYYYYY");
}

TEST_F(KindDialogTest, TimerReadsAndRebuildsItsCommands) {
  struct Case {
    const char* every;  // as stored, nullptr for none
    const char* days;   // as stored
    const char* shownDays;
    const char* shownTime;
    const char* typedDays;  // then typed into the two fields
    const char* typedTime;
    const char* writtenEvery;  // nullptr: no EVERY
  };
  const Case cases[] = {
      {"1-02:30", "YNYNYNY", "1", "02:30", nullptr, nullptr, "1-02:30"},
      {"3", "YN", "3", "", nullptr, nullptr, "3-00:00"},
      {nullptr, "NNNNNNN", "", "", "0", "", "0-00:00"},
      {nullptr, "yyyyyyy", "", "", "", "04:00", "0-04:00"},
      {"2-01:00", "YYYYYYY", "2", "01:00", "", "", nullptr},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.days);
    ParagraphList list;
    Paragraph& timer = addParagraph(list, kTimerKind, "T");
    Command& start = addCommand(timer, c::Start, "2025-12-01", {{k::Time, "23:15"}});
    if (test.every) start.AddKeywordValue(start.entry->findKeyword(k::Every), test.every);
    start.AddKeywordValue(start.entry->findKeyword(k::Days), test.days);
    addCommand(timer, c::Retry, "3", {{k::Interval, "00:10"}});
    TimerDialog dialog(timer);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_EQ(control<QLineEdit>(&dialog, "startDateEdit")->text(), "2025-12-01");
    EXPECT_EQ(control<QLineEdit>(&dialog, "startTimeEdit")->text(), "23:15");
    EXPECT_EQ(control<QLineEdit>(&dialog, "repeatDaysEdit")->text(), test.shownDays);
    EXPECT_EQ(control<QLineEdit>(&dialog, "repeatTimeEdit")->text(), test.shownTime);
    EXPECT_EQ(control<QLineEdit>(&dialog, "retryCountEdit")->text(), "3");
    EXPECT_EQ(control<QLineEdit>(&dialog, "retryIntervalEdit")->text(), "00:10");
    std::string shown;
    for (const char* day : {"mondayCheck", "tuesdayCheck", "wednesdayCheck", "thursdayCheck",
                            "fridayCheck", "saturdayCheck", "sundayCheck"}) {
      shown += control<QCheckBox>(&dialog, day)->isChecked() ? 'Y' : 'N';
    }
    std::string expectedDays = test.days;
    for (char& letter : expectedDays) letter = letter == 'y' ? 'Y' : letter;
    expectedDays.resize(7, 'N');
    EXPECT_EQ(shown, expectedDays);
    if (test.typedDays) typeInto(&dialog, "repeatDaysEdit", test.typedDays);
    if (test.typedTime) typeInto(&dialog, "repeatTimeEdit", test.typedTime);
    QTest::mouseClick(control<QPushButton>(&dialog, "returnButton"), Qt::LeftButton);
    ASSERT_EQ(timer.commands.size(), 2u);
    const Command& written = timer.commands.front();
    EXPECT_EQ(written.entry->id, c::Start);
    if (test.writtenEvery) {
      EXPECT_EQ(written.GetText(k::Every), test.writtenEvery);
    } else {
      EXPECT_EQ(written.Find(k::Every), nullptr);
    }
    EXPECT_EQ(written.GetText(k::Days), expectedDays);
    EXPECT_EQ(timer.commands.back().argument, "3");
    EXPECT_EQ(timer.commands.back().GetText(k::Interval), "00:10");
  }
}

TEST_F(KindDialogTest, TimerReturnRefusesWhatTheScriptCouldNotReadAndCancelKeepsAll) {
  struct Case {
    const char* field;
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {"startDateEdit", "2026-13-01", "Illegal start date"},
      {"startTimeEdit", "24:00", "Illegal start time"},
      {"repeatTimeEdit", "1:75", "Illegal repeat interval"},
      {"retryCountEdit", "1001", "Illegal number of retries"},
      {"retryIntervalEdit", "soon", "Illegal retry waiting time"},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.field);
    ParagraphList list;
    Paragraph& timer = addParagraph(list, kTimerKind, "T");
    addCommand(timer, c::Start, "2026-01-01", {{k::Time, "01:00"}});
    boxes.boxes.clear();
    TimerDialog dialog(timer);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    typeInto(&dialog, "retryCountEdit", "2");
    typeInto(&dialog, test.field, test.text);
    QTest::mouseClick(control<QPushButton>(&dialog, "returnButton"), Qt::LeftButton);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, test.message);
    EXPECT_TRUE(dialog.isVisible());
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_FALSE(dialog.isVisible());
    ASSERT_EQ(timer.commands.size(), 1u);
    EXPECT_EQ(timer.commands.front().GetText(k::Time), "01:00");
  }
}

TEST_F(KindDialogTest, TimerWithoutStartTimeDropsStart) {
  ParagraphList list;
  Paragraph& timer = addParagraph(list, kTimerKind, "T");
  addCommand(timer, c::Start, "2026-01-01", {{k::Time, "01:00"}});
  TimerDialog dialog(timer);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  typeInto(&dialog, "startTimeEdit", "");
  QTest::mouseClick(control<QPushButton>(&dialog, "returnButton"), Qt::LeftButton);
  EXPECT_TRUE(timer.commands.empty());
}

TEST_F(KindDialogTest, LockTakesTheStoredDefaultsAndStoresWhatWasEntered) {
  OdbcTestFolder odbc;
  const std::string a = odbc.dsn(OdbcTestFolder::kSqliteA);
  const std::string b = odbc.dsn(OdbcTestFolder::kSqliteB);
  options.SetText(options.Find("LockSource"), b);
  options.SetText(options.Find("LockSelect"), "SELECT state FROM locks");
  options.SetText(options.Find("LockColumnName"), "STATE");
  options.SetText(options.Find("LockColumnValue"), "1");
  options.SetText(options.Find("LockPwd"), "old");
  ParagraphList list;
  Paragraph& lock = addParagraph(list, kLockKind, "GATE");
  LockDialog dialog(lock, options);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  EXPECT_EQ(dialog.windowTitle(), "Processing Lock definition");
  auto* sources = control<QComboBox>(&dialog, "sourceCombo");
  QStringList names;
  for (int i = 0; i < sources->count(); ++i) names << sources->itemText(i);
  QStringList sorted = names;
  sorted.sort();
  EXPECT_EQ(names, sorted);
  EXPECT_TRUE(names.contains(QString::fromStdString(a)));
  EXPECT_TRUE(names.contains(QString::fromStdString(odbc.dsn(OdbcTestFolder::kPostgreSQL))));
  EXPECT_EQ(sources->currentText().toStdString(), b);
  EXPECT_EQ(control<QLineEdit>(&dialog, "passwordEdit")->echoMode(), QLineEdit::Password);
  EXPECT_EQ(control<QLineEdit>(&dialog, "passwordEdit")->text(), "old");
  EXPECT_TRUE(enabled(&dialog, "okButton"));
  EXPECT_FALSE(enabled(&dialog, "cancelButton"));

  // Each of the four needed fields empty turns the states round.
  typeInto(&dialog, "columnValueEdit", "");
  EXPECT_FALSE(enabled(&dialog, "okButton"));
  EXPECT_TRUE(enabled(&dialog, "cancelButton"));
  typeInto(&dialog, "columnValueEdit", "0");
  sources->setCurrentIndex(sources->findText(QString::fromStdString(a)));
  EXPECT_EQ(sources->currentText().toStdString(), a);
  typeInto(&dialog, "useridEdit", "ops");
  // A statement over several lines is one value of one line in the script.
  control<QPlainTextEdit>(&dialog, "selectEdit")->setPlainText("SELECT state\nFROM locks");
  QTest::keyClick(&dialog, Qt::Key_Escape);  // Cancel is disabled: Esc does nothing
  ASSERT_TRUE(dialog.isVisible());
  QTest::mouseClick(control<QPushButton>(&dialog, "okButton"), Qt::LeftButton);
  ASSERT_EQ(dialog.result(), QDialog::Accepted);

  ASSERT_EQ(lock.commands.size(), 2u);
  const Command& source = lock.commands.front();
  EXPECT_EQ(source.argument, a);
  EXPECT_EQ(source.GetText(k::Select), "SELECT state FROM locks");
  EXPECT_EQ(source.GetText(k::Userid), "ops");
  EXPECT_EQ(source.GetText(k::Password), "old");
  EXPECT_EQ(lock.commands.back().argument, "STATE");
  EXPECT_EQ(lock.commands.back().GetText(k::Value), "0");
  EXPECT_EQ(options.text("LockSource"), a);
  EXPECT_EQ(options.text("LockUserid"), "ops");
  EXPECT_EQ(options.text("LockSelect"), "SELECT state FROM locks");
  EXPECT_EQ(options.text("LockColumnValue"), "0");

  // The next new lock paragraph starts with these values; an existing one
  // shows its own.
  Paragraph& next = addParagraph(list, kLockKind, "NEXT");
  LockDialog fresh(next, options);
  EXPECT_EQ(control<QLineEdit>(&fresh, "useridEdit")->text(), "ops");
  EXPECT_EQ(control<QComboBox>(&fresh, "sourceCombo")->currentText().toStdString(), a);
  options.SetText(options.Find("LockUserid"), "someone else");
  LockDialog existing(lock, options);
  EXPECT_EQ(control<QLineEdit>(&existing, "useridEdit")->text(), "ops");
}

}  // namespace
}  // namespace kestrel::test
