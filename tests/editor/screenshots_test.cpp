// One picture of every editor dialog, for a person to look at: written to
// artifacts/editor/ under the build folder. Run under xvfb-run (platform
// xcb) they show the dialogs as a desktop draws them.

#include <QDir>
#include <QListWidget>

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
}

}  // namespace
}  // namespace kestrel::test
