// One picture of every editor dialog, for a person to look at: written to
// artifacts/editor/ under the build folder. Run under xvfb-run (platform
// xcb) they show the dialogs as a desktop draws them.

#include <QComboBox>
#include <QDir>
#include <QListWidget>
#include <QPushButton>

#include "editor/column_dialogs.h"
#include "editor/copy_definition_dialogs.h"
#include "editor/edit_definition_dialog.h"
#include "editor/edit_script_dialog.h"
#include "editor/lock_dialog.h"
#include "editor/paragraph_dialogs.h"
#include "editor/timer_dialog.h"
#include "editor/translate_dialog.h"
#include "editor_fixture.h"
#include "odbc_test_folder.h"

namespace kestrel::test {
namespace {

namespace c = command_id;
namespace k = keyword_id;

using EditorScreenshots = EditorTest;

void keep(QDialog& dialog, const QString& name) {
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  const QString folder = QString(KESTREL_BINARY_DIR) + "/artifacts/editor";
  ASSERT_TRUE(QDir().mkpath(folder));
  const QString path = folder + "/" + name + ".png";
  EXPECT_TRUE(dialog.grab().save(path)) << path.toStdString();
  dialog.close();
}

TEST_F(EditorScreenshots, EveryDialog) {
  FakeClock clock(localTime(2026, 12, 10, 21, 0));
  OdbcTestFolder odbc;
  ParagraphList list;
  Paragraph& copy = addParagraph(list, kCopyKind, "ORDERS");
  copy.AddCommand(copy.entry->findCommand(c::From), odbc.dsn(OdbcTestFolder::kSqliteA))
      ->SetFlag(k::Inactive, true, false);
  Paragraph& table = addParagraph(list, kTranslateKind, "NOCR");
  table.AddCommand(table.entry->findCommand(c::Trans), "X'0D'")->SetText(k::To, " ");
  table.AddCommand(table.entry->findCommand(c::Trans), "a")->SetText(k::To, "A");
  Paragraph& edit = addParagraph(list, kEditKind, "ADDRESS");
  edit.AddCommand(edit.entry->findCommand(c::Change), "Str.")->SetText(k::To, "Strasse");
  Paragraph& timer = addParagraph(list, kTimerKind, "NIGHTLY");
  Command* start = timer.AddCommand(timer.entry->findCommand(c::Start), "2026-12-10");
  start->SetText(k::Time, "23:45");
  start->SetText(k::Every, "1-00:00");
  start->SetText(k::Days, "YYYYYNN");
  Paragraph& lock = addParagraph(list, kLockKind, "GATE");
  Command* source =
      lock.AddCommand(lock.entry->findCommand(c::Source), odbc.dsn(OdbcTestFolder::kSqliteA));
  source->SetText(k::Select, "SELECT state FROM batch WHERE name = 'night'");
  source->SetText(k::Userid, "ops");
  source->SetText(k::Password, "secret");
  lock.AddCommand(lock.entry->findCommand(c::Accept), "state")->SetText(k::Value, "DONE");

  options.SetText(options.Find("ScriptFile"), "/srv/kestrel/nightly.txt");
  {
    EditScriptDialog dialog(options);
    keep(dialog, "edit_script");
  }
  {
    ParagraphsDialog dialog(list, options);
    control<QListWidget>(&dialog, "paragraphList")->setCurrentRow(1);
    keep(dialog, "paragraphs");
  }
  {
    NewParagraphDialog dialog(list);
    keep(dialog, "new_paragraph");
  }
  {
    RenameParagraphDialog dialog("NIGHTLY");
    keep(dialog, "rename_paragraph");
  }
  {
    TranslateDialog dialog(table);
    control<QListWidget>(&dialog, "translationList")->setCurrentRow(0);
    keep(dialog, "translate");
  }
  {
    EditDefinitionDialog dialog(edit);
    keep(dialog, "edit_definition");
  }
  {
    TimerDialog dialog(timer);
    keep(dialog, "timer");
  }
  {
    LockDialog dialog(lock, options);
    keep(dialog, "lock");
  }

  // The copy definition's dialogs, on tables that Browse ODBC finds.
  const TestDatabase sourceDb = odbc.sqlite(OdbcTestFolder::kSqliteA);
  const TestDatabase target = odbc.sqlite(OdbcTestFolder::kSqliteB);
  ASSERT_EQ(execSql(sourceDb, {"CREATE TABLE orders (id INTEGER, customer VARCHAR(40), "
                               "street VARCHAR(40), amount INTEGER)",
                               "CREATE TABLE order_lines (id INTEGER)"}),
            "");
  ASSERT_EQ(execSql(target, {"CREATE TABLE orders_copy (id INTEGER, customer VARCHAR(40), "
                             "street VARCHAR(40), amount INTEGER, copied VARCHAR(10))"}),
            "");
  Command* from = copy.FindCommand(c::From);
  from->SetText(k::Table, "orders");
  from->SetText(k::Lock, "GATE");
  from->SetText(k::Quote, "NONE");
  Command* to = copy.AddCommand(copy.entry->findCommand(c::To), target.dsn);
  to->SetText(k::Table, "orders_copy");
  to->SetText(k::Quote, "NONE");
  to->SetText(k::Update, "KEYS");
  to->SetFlag(k::Disconnect, true, false);
  copy.AddCommand(copy.entry->findCommand(c::Copy), "id")->SetFlag(k::Key, true, false);
  Command* street = copy.AddCommand(copy.entry->findCommand(c::Copy), "street");
  street->SetText(k::Trans, "NOCR");
  street->SetText(k::Edit, "ADDRESS");
  street->SetFlag(k::LeftTrim, true, false);
  Command* amount = copy.AddCommand(copy.entry->findCommand(c::Copy), "amount");
  amount->SetText(k::Format, "8ZI");
  amount->SetFlag(k::Log, true, false);
  copy.AddCommand(copy.entry->findCommand(c::Set), "copied")->SetFlag(k::CurrentDate, true, false);
  copy.AddCommand(copy.entry->findCommand(c::Autorun), "NIGHTLY");
  {
    CopyDefinitionDialog dialog(list, copy, options);
    keep(dialog, "copy_definition");
  }
  {
    CopyEndpointDialog dialog(copy, c::From, options);
    keep(dialog, "copy_from");
  }
  {
    CopyEndpointDialog dialog(copy, c::To, options);
    keep(dialog, "copy_to");
  }
  {
    options.SetText(options.Find("BrowseOdbcTableMask"), "order%");
    BrowseOdbcDialog dialog(options, sourceDb.dsn, "", "");
    dialog.findChild<QPushButton*>("fetchButton")->click();
    keep(dialog, "browse_odbc");
  }
  {
    SelectStatementDialog dialog("SELECT id, customer\nFROM orders\nWHERE amount > 0");
    keep(dialog, "select_statement");
  }
  {
    CopyColumnsDialog dialog(list, copy);
    dialog.findChild<QPushButton*>("getDefinitionsButton")->click();
    dialog.findChild<QListWidget*>("columnList")->setCurrentRow(2);
    keep(dialog, "copy_columns");
  }
  {
    SetColumnsDialog dialog(copy);
    dialog.findChild<QListWidget*>("columnList")->setCurrentRow(0);
    keep(dialog, "set_columns");
  }
}

}  // namespace
}  // namespace kestrel::test
