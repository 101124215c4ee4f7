// The dialogs of a copy definition: the hub, the FROM and TO sides with
// their database formats, Browse ODBC, the SELECT statement and the two
// column dialogs, driven through their controls on real data sources. The
// last tests build a replication from an empty script through the dialogs
// only, save it, load it as the program does and run it.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <filesystem>
#include <fstream>

#include "base/message_log.h"
#include "editor/column_dialogs.h"
#include "editor/copy_definition_dialogs.h"
#include "editor/edit_script_dialog.h"
#include "editor_fixture.h"
#include "engine/copy_definition.h"
#include "engine/definition_factory.h"
#include "odbc/odbc.h"
#include "odbc_test_folder.h"
#include "script/definitions.h"
#include "script/script_reader.h"

namespace kestrel::test {
namespace {

namespace c = command_id;
namespace k = keyword_id;

QString text(QWidget* dialog, const char* name) {
  QWidget* widget = control<QWidget>(dialog, name);
  if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) return edit->text();
  if (auto* combo = qobject_cast<QComboBox*>(widget)) return combo->currentText();
  return "(no text)";
}

void choose(QWidget* dialog, const char* name, const QString& entry) {
  auto* combo = control<QComboBox>(dialog, name);
  const int index = combo->findText(entry);
  ASSERT_GE(index, 0) << name << " has no entry " << entry.toStdString();
  combo->setCurrentIndex(index);
}

void check(QWidget* dialog, const char* name, bool on) {
  control<QCheckBox>(dialog, name)->setChecked(on);
}

QStringList lines(QWidget* dialog) {
  QStringList texts;
  auto* list = control<QListWidget>(dialog, "columnList");
  for (int i = 0; i < list->count(); ++i) texts << list->item(i)->text();
  return texts;
}

void selectLine(QWidget* dialog, int row) {
  auto* list = control<QListWidget>(dialog, "columnList");
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                    list->visualItemRect(list->item(row)).center());
  ASSERT_TRUE(list->item(row)->isSelected());
}

Command& addCommand(Paragraph& paragraph, int commandId, const std::string& argument,
                    std::initializer_list<std::pair<int, std::string>> values = {}) {
  Command* command = paragraph.AddCommand(paragraph.entry->findCommand(commandId), argument);
  for (const auto& [id, value] : values)
    command->AddKeywordValue(command->entry->findKeyword(id), value);
  return *command;
}

// The command's keywords as "KEY=value" in their order.
std::string keywords(const Command* command) {
  if (!command) return "(no command)";
  std::string text;
  for (const KeywordValue& value : command->values)
    text += (text.empty() ? "" : " ") + value.entry->keyword + "=" + value.value;
  return text;
}

template <class Dialog>
void open(Dialog& dialog) {
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
}

// A loopback port nobody listens on: taken from the system, then let go.
int unusedPort() {
  const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  ::getsockname(sock, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(sock);
  return ntohs(address.sin_port);
}

class CopyDialogTest : public EditorTest {
 protected:
  CopyDialogTest() {
    setProgramLog(&log);
    odbcEnvironment().open(true);
  }
  ~CopyDialogTest() override {
    odbcEnvironment().close();
    setProgramLog(nullptr);
  }

  // A PostgreSQL data source of this folder on a port where no server runs.
  std::string deadDataSource() {
    const std::string name = odbc.dsn("kt_dead_server");
    std::ofstream(odbc.odbcIni(), std::ios::app)
        << "\n[" << name << "]\nDriver=PostgreSQL ANSI\nServername=127.0.0.1\nPort=" << unusedPort()
        << "\nDatabase=kestrel\n";
    return name;
  }

  std::vector<ShownBox> boxesWithCaption(const std::string& caption) const {
    std::vector<ShownBox> found;
    for (const ShownBox& box : boxes.boxes)
      if (box.caption == caption) found.push_back(box);
    return found;
  }

  MessageLog log;
  OdbcTestFolder odbc;
  ParagraphList list;
};

// ---------------------------------------------------------------------------
// Copy definition

TEST_F(CopyDialogTest, HubStatesFollowTheParagraphsAndCommandsThatExist) {
  struct Case {
    const char* what;
    int timers, locks;
    bool from, to;
  };
  const Case cases[] = {
      {"empty script", 0, 0, false, false},
      {"timer and lock, FROM only", 1, 2, true, false},
      {"FROM and TO, no timer", 0, 1, true, true},
      {"TO without FROM", 2, 0, false, true},
  };
  for (const Case& row : cases) {
    SCOPED_TRACE(row.what);
    ParagraphList script;
    Paragraph& copy = addParagraph(script, kCopyKind, "C");
    for (int i = 0; i < row.timers; ++i) addParagraph(script, kTimerKind, "T" + std::to_string(i));
    for (int i = 0; i < row.locks; ++i) addParagraph(script, kLockKind, "L" + std::to_string(i));
    if (row.from) addCommand(copy, c::From, "src", {{k::Table, "a"}});
    if (row.to) addCommand(copy, c::To, "dst", {{k::Table, "b"}});
    CopyDefinitionDialog dialog(script, copy, options);
    open(dialog);
    EXPECT_EQ(text(&dialog, "paragraphName"), "C");
    EXPECT_EQ(text(&dialog, "fromLabel"), row.from ? "src: a" : "");
    EXPECT_EQ(text(&dialog, "toLabel"), row.to ? "dst: b" : "");
    EXPECT_EQ(text(&dialog, "timerCombo"), "--none--");
    EXPECT_EQ(control<QComboBox>(&dialog, "timerCombo")->count(), row.timers + 1);
    EXPECT_EQ(enabled(&dialog, "timerCombo"), row.timers > 0);
    EXPECT_EQ(enabled(&dialog, "lockCombo"), row.locks > 0);
    EXPECT_TRUE(enabled(&dialog, "fromButton"));
    EXPECT_EQ(enabled(&dialog, "inactiveCheck"), row.from);
    EXPECT_EQ(enabled(&dialog, "toButton"), row.from);
    EXPECT_EQ(enabled(&dialog, "columnsButton"), row.to);
    EXPECT_EQ(enabled(&dialog, "setButton"), row.to);
  }
}

TEST_F(CopyDialogTest, HubReturnWritesTimerLockAndInactiveAndEscapeKeepsThem) {
  addParagraph(list, kTimerKind, "NIGHT");
  addParagraph(list, kTimerKind, "NIGHTLY");
  addParagraph(list, kLockKind, "GATE");
  Paragraph& copy = addParagraph(list, kCopyKind, "C");
  addCommand(copy, c::From, "src", {{k::Table, "a"}, {k::Lock, "GATE"}});
  addCommand(copy, c::Autorun, "NIGHTLY");
  {
    CopyDefinitionDialog dialog(list, copy, options);
    open(dialog);
    // Exact text: NIGHT is not taken for NIGHTLY.
    EXPECT_EQ(text(&dialog, "timerCombo"), "NIGHTLY");
    EXPECT_EQ(text(&dialog, "lockCombo"), "GATE");
    EXPECT_FALSE(control<QCheckBox>(&dialog, "inactiveCheck")->isChecked());
    choose(&dialog, "timerCombo", "--none--");
    choose(&dialog, "lockCombo", "--none--");
    check(&dialog, "inactiveCheck", true);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_FALSE(dialog.isVisible());
  }
  EXPECT_NE(copy.FindCommand(c::Autorun), nullptr);
  EXPECT_EQ(keywords(copy.FindCommand(c::From)), "TABLE=a LOCK=GATE");
  {
    CopyDefinitionDialog dialog(list, copy, options);
    open(dialog);
    choose(&dialog, "timerCombo", "NIGHT");
    choose(&dialog, "lockCombo", "--none--");
    check(&dialog, "inactiveCheck", true);
    click(&dialog, "returnButton");
  }
  EXPECT_EQ(copy.FindCommand(c::Autorun)->argument, "NIGHT");
  EXPECT_EQ(keywords(copy.FindCommand(c::From)), "TABLE=a INACTIVE=YES");
  {
    CopyDefinitionDialog dialog(list, copy, options);
    open(dialog);
    EXPECT_TRUE(control<QCheckBox>(&dialog, "inactiveCheck")->isChecked());
    choose(&dialog, "timerCombo", "--none--");
    choose(&dialog, "lockCombo", "GATE");
    check(&dialog, "inactiveCheck", false);
    QTest::keyClick(&dialog, Qt::Key_Return);
  }
  EXPECT_EQ(copy.FindCommand(c::Autorun), nullptr);
  EXPECT_EQ(keywords(copy.FindCommand(c::From)), "TABLE=a LOCK=GATE");
}

// ---------------------------------------------------------------------------
// Copy FROM definition and Copy TO definitions

TEST_F(CopyDialogTest, FormatComboShowsTheFirstMatchingPreset) {
  struct Case {
    int command;
    std::vector<std::pair<int, std::string>> values;
    const char* shown;
  };
  const Case cases[] = {
      {c::From, {}, "Standard"},
      {c::From, {{k::Quote, "NONE"}}, "Standard"},
      {c::From, {{k::Quote, "DOUBLE"}}, "Lotus Notes"},
      {c::To, {{k::Quote, "DOUBLE"}, {k::Update, "FORUPDATEOF"}}, "Lotus Notes"},
      {c::To, {{k::Quote, "NONE"}, {k::Update, "NONE"}}, "Standard"},
      {c::To, {{k::Quote, "NONE"}, {k::Update, "OPENCURSOR"}}, "SQL server"},
      {c::To, {{k::Quote, "NONE"}, {k::Update, "FORUPDATEOF"}}, "SQLBase"},
      {c::To, {{k::Quote, "NONE"}, {k::Update, "KEYS"}}, "Keyed update"},
  };
  for (const Case& row : cases) {
    Paragraph& copy = addParagraph(list, kCopyKind, "C");
    Command& command = addCommand(copy, row.command, "src", {{k::Table, "t"}});
    for (const auto& [id, value] : row.values)
      command.AddKeywordValue(command.entry->findKeyword(id), value);
    SCOPED_TRACE(keywords(&command));
    CopyEndpointDialog dialog(copy, row.command, options);
    EXPECT_EQ(text(&dialog, "formatCombo"), row.shown);
    const QStringList expected = {"Standard", "Lotus Notes", "SQL server", "SQLBase",
                                  "Keyed update"};
    auto* formats = control<QComboBox>(&dialog, "formatCombo");
    QStringList entries;
    for (int i = 0; i < formats->count(); ++i) entries << formats->itemText(i);
    EXPECT_EQ(entries, expected);
  }
}

TEST_F(CopyDialogTest, FromDialogLoadsAndStoresEveryField) {
  const std::string source = odbc.dsn(OdbcTestFolder::kSqliteA);
  Paragraph& copy = addParagraph(list, kCopyKind, "C");
  addCommand(copy, c::From, "old",
             {{k::Userid, "u"},
              {k::Password, "p"},
              {k::Qualifier, "q"},
              {k::Creator, "cr"},
              {k::Table, "t"},
              {k::Where, "a > 1"},
              {k::OrderBy, "a"},
              {k::Every, "2"},
              {k::First, "10"},
              {k::Disconnect, "YES"},
              {k::Replicate, "NO"},
              {k::Quote, "DOUBLE"},
              {k::Inactive, "YES"}});
  CopyEndpointDialog dialog(copy, c::From, options);
  open(dialog);
  EXPECT_EQ(dialog.windowTitle(), "Copy FROM definition");
  EXPECT_EQ(text(&dialog, "sourceCombo"), "old");
  EXPECT_EQ(text(&dialog, "useridEdit"), "u");
  EXPECT_EQ(control<QLineEdit>(&dialog, "passwordEdit")->echoMode(), QLineEdit::Password);
  EXPECT_EQ(text(&dialog, "qualifierEdit"), "q");
  EXPECT_EQ(text(&dialog, "creatorEdit"), "cr");
  EXPECT_EQ(text(&dialog, "tableEdit"), "t");
  EXPECT_EQ(text(&dialog, "whereEdit"), "a > 1");
  EXPECT_EQ(text(&dialog, "orderByEdit"), "a");
  EXPECT_EQ(text(&dialog, "everyEdit"), "2");
  EXPECT_EQ(text(&dialog, "firstEdit"), "10");
  EXPECT_TRUE(control<QCheckBox>(&dialog, "disconnectCheck")->isChecked());
  EXPECT_TRUE(control<QCheckBox>(&dialog, "simpleCopyCheck")->isChecked());
  EXPECT_EQ(text(&dialog, "formatCombo"), "Lotus Notes");
  // The data sources of the driver manager, sorted.
  auto* sources = control<QComboBox>(&dialog, "sourceCombo");
  QStringList names;
  for (int i = 0; i < sources->count(); ++i) names << sources->itemText(i);
  QStringList sorted = names;
  sorted.sort();
  EXPECT_EQ(names, sorted);
  EXPECT_TRUE(names.contains(QString::fromStdString(source)));

  choose(&dialog, "sourceCombo", QString::fromStdString(source));
  typeInto(&dialog, "everyEdit", "");
  typeInto(&dialog, "firstEdit", "-1");
  typeInto(&dialog, "orderByEdit", "");
  check(&dialog, "simpleCopyCheck", false);
  check(&dialog, "disconnectCheck", false);
  choose(&dialog, "formatCombo", "SQL server");
  click(&dialog, "returnButton");
  const Command* from = copy.FindCommand(c::From);
  ASSERT_NE(from, nullptr);
  EXPECT_EQ(from->argument, source);
  // SQL server sets only QUOTE on the FROM command; INACTIVE is the hub's.
  EXPECT_EQ(keywords(from),
            "USERID=u PASSWORD=p QUALIFIER=q CREATOR=cr TABLE=t WHERE=a > 1 "
            "FIRST=-1 QUOTE=NONE INACTIVE=YES");
}

TEST_F(CopyDialogTest, SelectStatementDropsTheTableFieldsAndAnEmptySourceDropsTheCommand) {
  Paragraph& copy = addParagraph(list, kCopyKind, "C");
  addCommand(copy, c::From, "src",
             {{k::Qualifier, "q"},
              {k::Creator, "cr"},
              {k::Table, "t"},
              {k::Where, "a > 1"},
              {k::OrderBy, "a"},
              {k::Userid, "u"}});
  addCommand(copy, c::To, "dst", {{k::Table, "b"}});
  {
    CopyEndpointDialog dialog(copy, c::From, options);
    open(dialog);
    whenShown("selectStatementDialog", [](QDialog* select) {
      EXPECT_EQ(select->windowTitle(), "FROM select sql statement");
      control<QPlainTextEdit>(select, "selectEdit")->setPlainText("SELECT a\nFROM t");
      click(select, "cancelButton");
    });
    click(&dialog, "selectButton");
    EXPECT_EQ(text(&dialog, "selectLabel"), "");
    whenShown("selectStatementDialog", [](QDialog* select) {
      control<QPlainTextEdit>(select, "selectEdit")->setPlainText("SELECT a\nFROM t");
      click(select, "okButton");
    });
    click(&dialog, "selectButton");
    EXPECT_EQ(text(&dialog, "selectLabel"), "SELECT a\nFROM t");
    click(&dialog, "returnButton");
  }
  EXPECT_EQ(keywords(copy.FindCommand(c::From)), "USERID=u SELECT=SELECT a FROM t QUOTE=NONE");
  EXPECT_EQ(copy.TableLabel(c::From), "src: SELECT a FROM t");
  {
    CopyEndpointDialog dialog(copy, c::To, options);
    open(dialog);
    EXPECT_EQ(dialog.windowTitle(), "Copy TO definitions");
    control<QComboBox>(&dialog, "sourceCombo")->setEditText("");
    click(&dialog, "returnButton");
  }
  EXPECT_EQ(copy.FindCommand(c::To), nullptr);
  EXPECT_NE(copy.FindCommand(c::From), nullptr);
}

TEST_F(CopyDialogTest, NewSidesStartWithDisconnectAndSimpleCopyAndGoInScriptOrder) {
  Paragraph& copy = addParagraph(list, kCopyKind, "C");
  addCommand(copy, c::Autorun, "NIGHTLY");
  {
    CopyEndpointDialog dialog(copy, c::To, options);
    open(dialog);
    EXPECT_TRUE(control<QCheckBox>(&dialog, "disconnectCheck")->isChecked());
    EXPECT_EQ(dialog.findChild<QCheckBox*>("simpleCopyCheck"), nullptr);
    control<QComboBox>(&dialog, "sourceCombo")->setEditText("dst");
    // The reader refuses a TO without a table: asked for, the dialog stays.
    click(&dialog, "returnButton");
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "The target table name is missing");
    EXPECT_TRUE(dialog.isVisible());
    typeInto(&dialog, "tableEdit", "b");
    choose(&dialog, "formatCombo", "Keyed update");
    click(&dialog, "returnButton");
  }
  {
    CopyEndpointDialog dialog(copy, c::From, options);
    open(dialog);
    EXPECT_TRUE(control<QCheckBox>(&dialog, "disconnectCheck")->isChecked());
    EXPECT_TRUE(control<QCheckBox>(&dialog, "simpleCopyCheck")->isChecked());
    control<QComboBox>(&dialog, "sourceCombo")->setEditText("src");
    typeInto(&dialog, "tableEdit", "a");
    click(&dialog, "returnButton");
  }
  ASSERT_EQ(copy.commands.size(), 3u);
  auto command = copy.commands.begin();
  EXPECT_EQ(command->entry->id, c::From);
  EXPECT_EQ(keywords(&*command), "TABLE=a DISCONNECT=YES REPLICATE=NO QUOTE=NONE");
  ++command;
  EXPECT_EQ(command->entry->id, c::To);
  EXPECT_EQ(keywords(&*command), "TABLE=b DISCONNECT=YES QUOTE=NONE UPDATE=KEYS");
  {
    // A paragraph without REPLICATE opens with simple copy clear.
    copy.FindCommand(c::From)->SetFlag(k::Replicate, true, true);
    CopyEndpointDialog dialog(copy, c::From, options);
    EXPECT_FALSE(control<QCheckBox>(&dialog, "simpleCopyCheck")->isChecked());
  }
}

// The names of the controls that Tab visits, from the one that has the focus
// when the dialog opens, separated by blanks.
std::string tabOrder(QWidget* dialog, int count) {
  QStringList names;
  for (int i = 0; i < count; ++i) {
    QWidget* focused = QApplication::focusWidget();
    if (!focused || focused->window() != dialog) break;
    // An editable combo box hands the focus to its unnamed line edit.
    while (focused->objectName().isEmpty() && focused->parentWidget() != dialog) {
      focused = focused->parentWidget();
    }
    names << focused->objectName();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }
  return names.join(' ').toStdString();
}

TEST_F(CopyDialogTest, TabVisitsTheLoginFieldsInTheOrderTheyStand) {
  Paragraph& copy = addParagraph(list, kCopyKind, "C");
  const std::string login = "sourceCombo useridEdit passwordEdit formatCombo";
  for (int side : {c::From, c::To}) {
    CopyEndpointDialog dialog(copy, side, options);
    open(dialog);
    EXPECT_EQ(tabOrder(&dialog, 4), login) << side;
  }
  BrowseOdbcDialog browse(options, "src", "", "");
  open(browse);
  EXPECT_EQ(tabOrder(&browse, 4), "sourceCombo useridEdit passwordEdit qualifierMaskEdit");
}

// ---------------------------------------------------------------------------
// Browse ODBC definitions

TEST_F(CopyDialogTest, BrowseListsMatchingTablesSortedAndKeepsTheMasks) {
  const TestDatabase db = odbc.sqlite(OdbcTestFolder::kSqliteA);
  ASSERT_EQ(execSql(db, {"CREATE TABLE orders_b (id INTEGER)", "CREATE TABLE orders_a (id INTEGER)",
                         "CREATE TABLE other (id INTEGER)",
                         "CREATE VIEW orders_v AS SELECT id FROM orders_a"}),
            "");
  options.SetText(options.Find("BrowseOdbcSoure"), db.dsn);
  options.SetText(options.Find("BrowseOdbcTableMask"), "orders%");
  BrowseOdbcDialog dialog(options, "", "", "");
  open(dialog);
  EXPECT_EQ(text(&dialog, "sourceCombo"), QString::fromStdString(db.dsn));
  EXPECT_EQ(text(&dialog, "tableMaskEdit"), "orders%");
  EXPECT_EQ(text(&dialog, "countLabel"), "0");
  EXPECT_EQ(text(&dialog, "tableTypeCombo"), "--all--");
  EXPECT_FALSE(enabled(&dialog, "okButton"));
  EXPECT_TRUE(enabled(&dialog, "fetchButton"));

  choose(&dialog, "tableTypeCombo", "Tables");
  click(&dialog, "fetchButton");
  EXPECT_EQ(text(&dialog, "countLabel"), "2");
  auto* tables = control<QComboBox>(&dialog, "tableCombo");
  ASSERT_EQ(tables->count(), 2);
  // SQLite names neither qualifier nor creator: the bare table names.
  EXPECT_EQ(tables->itemText(0), "orders_a");
  EXPECT_EQ(tables->itemText(1), "orders_b");
  choose(&dialog, "tableTypeCombo", "Views");
  click(&dialog, "fetchButton");
  EXPECT_EQ(text(&dialog, "countLabel"), "1");
  EXPECT_EQ(tables->itemText(0), "orders_v");
  choose(&dialog, "tableTypeCombo", "--all--");
  typeInto(&dialog, "tableMaskEdit", "orders_b");
  click(&dialog, "fetchButton");
  EXPECT_EQ(tables->currentText(), "orders_b");
  ASSERT_TRUE(enabled(&dialog, "okButton"));
  click(&dialog, "okButton");
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.table().name, "orders_b");
  EXPECT_EQ(dialog.source(), db.dsn);
  EXPECT_EQ(options.text("BrowseOdbcTableMask"), "orders_b");
  EXPECT_EQ(options.text("BrowseOdbcSoure"), db.dsn);

  EXPECT_EQ(catalogTableText({"", "public", "t", "TABLE"}), "public.t");
  EXPECT_EQ(catalogTableText({"db", "", "t", "TABLE"}), "db.t");
  EXPECT_EQ(catalogTableText({"db", "s", "t", "TABLE"}), "db.s.t");
}

TEST_F(CopyDialogTest, BrowseWithoutATableSaysSoAndStillStoresTheMasks) {
  BrowseOdbcDialog dialog(options, "somewhere", "u", "p");
  open(dialog);
  EXPECT_EQ(text(&dialog, "useridEdit"), "u");
  EXPECT_EQ(control<QLineEdit>(&dialog, "passwordEdit")->echoMode(), QLineEdit::Password);
  typeInto(&dialog, "creatorMaskEdit", "ADM%");
  dialog.accept();
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text, "No table selected");
  EXPECT_EQ(boxes.boxes[0].caption, "Selection error");
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(options.text("BrowseOdbcSoure"), "somewhere");
  EXPECT_EQ(options.text("BrowseOdbcCreatorMask"), "ADM%");
  control<QComboBox>(&dialog, "sourceCombo")->setEditText("");
  EXPECT_FALSE(enabled(&dialog, "fetchButton"));
}

TEST_F(CopyDialogTest, ServerDownShowsTheDriversMessageAndTheDialogsStayOpen) {
  const std::string dead = deadDataSource();
  BrowseOdbcDialog browse(options, dead, "kestrel", "x");
  open(browse);
  click(&browse, "fetchButton");
  std::vector<ShownBox> errors = boxesWithCaption("ODBC error");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_FALSE(errors[0].text.empty());
  EXPECT_NE(errors[0].text, "OK");
  EXPECT_TRUE(browse.isVisible());
  EXPECT_EQ(text(&browse, "countLabel"), "0");
  EXPECT_FALSE(enabled(&browse, "okButton"));
  EXPECT_TRUE(enabled(&browse, "fetchButton"));
  browse.close();

  // The column dialog still asks the other side.
  const TestDatabase target = odbc.sqlite(OdbcTestFolder::kSqliteB);
  ASSERT_EQ(execSql(target, {"CREATE TABLE b (id INTEGER, name VARCHAR(20))"}), "");
  Paragraph& copy = addParagraph(list, kCopyKind, "C");
  addCommand(copy, c::From, dead, {{k::Table, "a"}});
  addCommand(copy, c::To, target.dsn, {{k::Table, "b"}});
  CopyColumnsDialog columns(list, copy);
  open(columns);
  click(&columns, "getDefinitionsButton");
  EXPECT_EQ(boxesWithCaption("ODBC error").size(), 2u);
  EXPECT_EQ(control<QComboBox>(&columns, "fromColumnCombo")->count(), 0);
  EXPECT_EQ(control<QComboBox>(&columns, "toColumnCombo")->count(), 2);
  EXPECT_EQ(text(&columns, "fromColumnCombo"), "");
  EXPECT_FALSE(enabled(&columns, "getDefinitionsButton"));
}

// ---------------------------------------------------------------------------
// Copy column definitions and Set constant output columns

TEST_F(CopyDialogTest, ColumnLinesShowTheOptionsInTheirOrder) {
  Paragraph& copy = addParagraph(list, kCopyKind, "C");
  const std::pair<std::vector<std::pair<int, std::string>>, std::string> copyCases[] = {
      {{}, "id"},
      {{{k::To, "ident"}}, "id -> ident"},
      {{{k::Key, "NO"}, {k::Log, "no"}}, "id"},
      {{{k::Format, "8ZI"}, {k::Unchanged, "yes"}, {k::Key, "YES"}}, "id (Key,Unghg,Format=8ZI)"},
      {{{k::To, "x"},
        {k::Edit, "E"},
        {k::Trans, "T"},
        {k::LeftTrim, "YES"},
        {k::Hex, "YES"},
        {k::Log, "YES"}},
       "id -> x (Log,Hex,Lefttrim,Trans=T,Edit=E)"},
  };
  for (const auto& [values, line] : copyCases) {
    Command& command = addCommand(copy, c::Copy, "id");
    for (const auto& [id, value] : values)
      command.AddKeywordValue(command.entry->findKeyword(id), value);
    EXPECT_EQ(copyColumnLineText(command), line);
    copy.RemoveCommand(&command);
  }
  EXPECT_EQ(setColumnLineText(addCommand(copy, c::Set, "stamp", {{k::CurrentDate, "YES"}})),
            "stamp = <yyyy-mm-dd>");
  EXPECT_EQ(setColumnLineText(addCommand(copy, c::Set, "origin", {{k::Value, "north"}})),
            "origin = \"north\"");
  EXPECT_EQ(setColumnLineText(addCommand(copy, c::Set, "none")), "none = \"\"");
}

TEST_F(CopyDialogTest, ColumnButtonStatesFollowTheFieldAndTheSelection) {
  struct Case {
    const char* what;
    std::vector<std::string> columns;  // COPY commands
    int selected;                      // -1: none
    const char* field;
    bool add, update, deleteAll;
  };
  const Case cases[] = {
      {"empty list, empty field", {}, -1, "", false, false, false},
      {"empty list, a name", {}, -1, "id", true, false, false},
      {"name in the list, nothing selected", {"id"}, -1, "id", false, false, true},
      {"selected line's name", {"id", "name"}, 0, "id", false, true, true},
      {"another line's name", {"id", "name"}, 0, "name", false, false, true},
      {"a new name with a line selected", {"id"}, 0, "nam", true, false, true},
      {"names compared exactly", {"id"}, 0, "ID", true, false, true},
  };
  for (const Case& row : cases) {
    SCOPED_TRACE(row.what);
    Paragraph& copy = addParagraph(list, kCopyKind, "C");
    for (const std::string& column : row.columns) addCommand(copy, c::Copy, column);
    CopyColumnsDialog dialog(list, copy);
    open(dialog);
    if (row.selected >= 0) selectLine(&dialog, row.selected);
    typeInto(&dialog, "fromColumnCombo", row.field);
    EXPECT_EQ(enabled(&dialog, "addButton"), row.add);
    EXPECT_EQ(enabled(&dialog, "updateButton"), row.update);
    EXPECT_EQ(enabled(&dialog, "deleteCurrentButton"), row.update);
    EXPECT_EQ(enabled(&dialog, "deleteAllButton"), row.deleteAll);
    // Nothing fetched yet: nothing to select, and the fetch is offered.
    EXPECT_FALSE(enabled(&dialog, "selectAllButton"));
    EXPECT_TRUE(enabled(&dialog, "getDefinitionsButton"));
    list.RemoveParagraph(&copy);
  }
}

TEST_F(CopyDialogTest, FormatWidthZeroesAndHexFollowTheirRules) {
  Paragraph& copy = addParagraph(list, kCopyKind, "C");
  addCommand(copy, c::Copy, "a", {{k::Format, "12i"}});
  addCommand(copy, c::Copy, "b", {{k::Format, "5zI"}, {k::Log, "YES"}, {k::Hex, "YES"}});
  addCommand(copy, c::Copy, "c");
  CopyColumnsDialog dialog(list, copy);
  open(dialog);
  struct Loaded {
    bool format;
    const char* width;
    bool zeroes, log, hexEnabled;
  };
  const Loaded loaded[] = {{true, "12", false, false, false},
                           {true, "5", true, true, true},
                           {false, "", false, false, false}};
  for (int row = 0; row < 3; ++row) {
    SCOPED_TRACE(row);
    selectLine(&dialog, row);
    EXPECT_EQ(control<QCheckBox>(&dialog, "formatCheck")->isChecked(), loaded[row].format);
    EXPECT_EQ(text(&dialog, "widthEdit"), loaded[row].width);
    EXPECT_EQ(control<QCheckBox>(&dialog, "zeroesCheck")->isChecked(), loaded[row].zeroes);
    EXPECT_EQ(control<QCheckBox>(&dialog, "logCheck")->isChecked(), loaded[row].log);
    EXPECT_EQ(enabled(&dialog, "hexCheck"), loaded[row].hexEnabled);
  }
  check(&dialog, "logCheck", true);
  EXPECT_TRUE(enabled(&dialog, "hexCheck"));
  check(&dialog, "logCheck", false);
  EXPECT_FALSE(enabled(&dialog, "hexCheck"));

  struct Stored {
    bool format;
    const char* width;
    bool zeroes;
    const char* value;  // "" when FORMAT is removed
  };
  const Stored stored[] = {{true, "8", true, "8ZI"},
                           {true, "8", false, "8I"},
                           {true, "0", true, ""},
                           {true, "", false, ""},
                           {false, "8", true, ""}};
  for (const Stored& row : stored) {
    SCOPED_TRACE(row.value);
    selectLine(&dialog, 2);
    check(&dialog, "formatCheck", row.format);
    typeInto(&dialog, "widthEdit", row.width);
    check(&dialog, "zeroesCheck", row.zeroes);
    click(&dialog, "updateButton");
    EXPECT_EQ(copy.commands.back().GetText(k::Format), row.value);
    EXPECT_TRUE(control<QListWidget>(&dialog, "columnList")->item(2)->isSelected());
  }
  EXPECT_EQ(formatValue(8, true), "8ZI");
  EXPECT_EQ(formatValue(0, true), "");
}

TEST_F(CopyDialogTest, AddUpdateAndDeleteWorkOnTheParagraph) {
  addParagraph(list, kTranslateKind, "T");
  Paragraph& copy = addParagraph(list, kCopyKind, "C");
  addCommand(copy, c::Copy, "id", {{k::Key, "YES"}});
  CopyColumnsDialog dialog(list, copy);
  open(dialog);
  EXPECT_EQ(dialog.windowTitle(), "Copy column definitions");
  // Translate tables exist, edit definitions do not.
  EXPECT_TRUE(enabled(&dialog, "translateCombo"));
  EXPECT_FALSE(enabled(&dialog, "editCombo"));
  EXPECT_EQ(text(&dialog, "editCombo"), "--none--");
  EXPECT_EQ(dialog.horizontalExtent(), QFontMetrics(dialog.font()).horizontalAdvance("id (Key)"));

  typeInto(&dialog, "fromColumnCombo", "name");
  control<QComboBox>(&dialog, "toColumnCombo")->setEditText("full_name");
  choose(&dialog, "translateCombo", "T");
  check(&dialog, "trimCheck", true);
  click(&dialog, "addButton");
  EXPECT_EQ(lines(&dialog), (QStringList{"id (Key)", "name -> full_name (Lefttrim,Trans=T)"}));
  EXPECT_TRUE(control<QListWidget>(&dialog, "columnList")->item(1)->isSelected());
  EXPECT_EQ(keywords(&copy.commands.back()), "TO=full_name TRANS=T LEFTTRIM=YES");
  EXPECT_GT(dialog.horizontalExtent(), QFontMetrics(dialog.font()).horizontalAdvance("id (Key)"));

  // Selecting a line loads its command, options cleared first.
  selectLine(&dialog, 0);
  EXPECT_EQ(text(&dialog, "toColumnCombo"), "");
  EXPECT_EQ(text(&dialog, "translateCombo"), "--none--");
  EXPECT_FALSE(control<QCheckBox>(&dialog, "trimCheck")->isChecked());

  selectLine(&dialog, 1);
  choose(&dialog, "translateCombo", "--none--");
  click(&dialog, "updateButton");
  EXPECT_EQ(lines(&dialog)[1], "name -> full_name (Lefttrim)");

  boxes.answers = {BoxAnswer::No, BoxAnswer::Yes};
  click(&dialog, "deleteCurrentButton");
  EXPECT_EQ(copy.commands.size(), 2u);
  click(&dialog, "deleteCurrentButton");
  ASSERT_EQ(boxes.boxes.size(), 2u);
  EXPECT_EQ(boxes.boxes[1].text, "Do you really want to delete copy column 'name' ?");
  EXPECT_EQ(boxes.boxes[1].caption, "Delete");
  EXPECT_EQ(lines(&dialog), QStringList{"id (Key)"});
  // The line before is selected and loaded.
  EXPECT_TRUE(control<QListWidget>(&dialog, "columnList")->item(0)->isSelected());
  EXPECT_EQ(text(&dialog, "fromColumnCombo"), "id");
  EXPECT_TRUE(control<QCheckBox>(&dialog, "keyCheck")->isChecked());

  boxes.answers = {BoxAnswer::Yes};
  click(&dialog, "deleteCurrentButton");
  EXPECT_TRUE(lines(&dialog).isEmpty());
  EXPECT_TRUE(copy.commands.empty());
  EXPECT_FALSE(enabled(&dialog, "deleteAllButton"));
  EXPECT_FALSE(enabled(&dialog, "updateButton"));
  EXPECT_TRUE(enabled(&dialog, "addButton"));
  EXPECT_EQ(dialog.horizontalExtent(), 10);
}

TEST_F(CopyDialogTest, DuplicatesAreRefusedWithTheirWarnings) {
  Paragraph& copy = addParagraph(list, kCopyKind, "C");
  addCommand(copy, c::Copy, "id");
  addCommand(copy, c::Set, "origin", {{k::Value, "n"}});
  {
    CopyColumnsDialog dialog(list, copy);
    open(dialog);
    typeInto(&dialog, "fromColumnCombo", "id");
    QMetaObject::invokeMethod(control<QPushButton>(&dialog, "addButton"), "clicked");
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "From column 'id' already used");
    EXPECT_EQ(boxes.boxes[0].caption, "Error");
  }
  {
    SetColumnsDialog dialog(copy);
    open(dialog);
    for (const char* name : {"origin", "id"}) {
      typeInto(&dialog, "toColumnCombo", name);
      QMetaObject::invokeMethod(control<QPushButton>(&dialog, "addButton"), "clicked");
    }
    ASSERT_EQ(boxes.boxes.size(), 3u);
    EXPECT_EQ(boxes.boxes[1].text, "To column 'origin' already used");
    EXPECT_EQ(boxes.boxes[2].text, "To column 'id' already used");
  }
  EXPECT_EQ(copy.commands.size(), 2u);
}

TEST_F(CopyDialogTest, SetDialogStoresDateOrValueAndFetchesOnlyTheTarget) {
  const TestDatabase target = odbc.sqlite(OdbcTestFolder::kSqliteB);
  ASSERT_EQ(execSql(target, {"CREATE TABLE b (id INTEGER, origin VARCHAR(10), stamp VARCHAR(10))"}),
            "");
  Paragraph& copy = addParagraph(list, kCopyKind, "C");
  addCommand(copy, c::From, "nowhere", {{k::Table, "a"}});
  addCommand(copy, c::To, target.dsn, {{k::Table, "b"}});
  addCommand(copy, c::Copy, "id");
  SetColumnsDialog dialog(copy);
  open(dialog);
  EXPECT_EQ(dialog.windowTitle(), "Set constant output columns");
  EXPECT_EQ(text(&dialog, "toName"), QString::fromStdString(target.dsn + ": b"));
  EXPECT_TRUE(lines(&dialog).isEmpty());
  click(&dialog, "getDefinitionsButton");
  EXPECT_TRUE(boxes.boxes.empty());
  EXPECT_EQ(control<QComboBox>(&dialog, "toColumnCombo")->count(), 3);

  typeInto(&dialog, "toColumnCombo", "stamp");
  check(&dialog, "currentDateCheck", true);
  EXPECT_FALSE(enabled(&dialog, "valueEdit"));
  EXPECT_FALSE(enabled(&dialog, "valueLabel"));
  click(&dialog, "addButton");
  typeInto(&dialog, "toColumnCombo", "origin");
  check(&dialog, "currentDateCheck", false);
  EXPECT_TRUE(enabled(&dialog, "valueEdit"));
  typeInto(&dialog, "valueEdit", "north");
  click(&dialog, "addButton");
  EXPECT_EQ(lines(&dialog), (QStringList{"stamp = <yyyy-mm-dd>", "origin = \"north\""}));
  // Fewer lines than fetched columns, but id is named by COPY: nothing to add.
  click(&dialog, "selectAllButton");
  EXPECT_EQ(lines(&dialog).size(), 2);
  selectLine(&dialog, 0);
  check(&dialog, "currentDateCheck", false);
  typeInto(&dialog, "valueEdit", "today");
  click(&dialog, "updateButton");
  EXPECT_EQ(keywords(copy.FindCommand(c::Set)), "VALUE=today");

  boxes.answers = {BoxAnswer::No, BoxAnswer::Yes};
  click(&dialog, "deleteAllButton");
  EXPECT_EQ(lines(&dialog).size(), 2);
  click(&dialog, "deleteAllButton");
  EXPECT_EQ(boxes.boxes.back().text, "Do you really want to delete all SET columns ?");
  EXPECT_TRUE(lines(&dialog).isEmpty());
  EXPECT_EQ(copy.FindCommand(c::Set), nullptr);
  EXPECT_NE(copy.FindCommand(c::Copy), nullptr);
  click(&dialog, "selectAllButton");
  EXPECT_EQ(lines(&dialog), (QStringList{"origin = \"\"", "stamp = \"\""}));
}

TEST_F(CopyDialogTest, GetDefinitionsReadsTheResultColumnsOfASelect) {
  const TestDatabase source = odbc.sqlite(OdbcTestFolder::kSqliteA);
  const TestDatabase target = odbc.sqlite(OdbcTestFolder::kSqliteB);
  ASSERT_EQ(execSql(source, {"CREATE TABLE a (id INTEGER, name VARCHAR(20), extra INTEGER)"}), "");
  ASSERT_EQ(execSql(target, {"CREATE TABLE b (id INTEGER, label VARCHAR(20))"}), "");
  Paragraph& copy = addParagraph(list, kCopyKind, "C");
  addCommand(copy, c::From, source.dsn, {{k::Select, "SELECT name, id AS ident FROM a"}});
  addCommand(copy, c::To, target.dsn, {{k::Table, "b"}});
  CopyColumnsDialog dialog(list, copy);
  open(dialog);
  click(&dialog, "getDefinitionsButton");
  ASSERT_TRUE(boxes.boxes.empty()) << boxes.boxes[0].text;
  auto* from = control<QComboBox>(&dialog, "fromColumnCombo");
  ASSERT_EQ(from->count(), 2);
  EXPECT_EQ(from->itemText(0), "name");
  EXPECT_EQ(from->itemText(1), "ident");
  EXPECT_EQ(from->currentText(), "name");
  EXPECT_EQ(control<QComboBox>(&dialog, "toColumnCombo")->itemText(1), "label");
  ASSERT_TRUE(enabled(&dialog, "selectAllButton"));
  click(&dialog, "selectAllButton");
  EXPECT_EQ(lines(&dialog), (QStringList{"name", "ident"}));
  EXPECT_FALSE(enabled(&dialog, "selectAllButton"));
  boxes.answers = {BoxAnswer::Yes};
  click(&dialog, "deleteAllButton");
  EXPECT_EQ(boxes.boxes.back().text, "Do you really want to delete all copy columns ?");
  EXPECT_TRUE(copy.commands.size() == 2u);
}

// ---------------------------------------------------------------------------
// What each driver's catalog answers, through Browse ODBC and Get ODBC
// definitions: qualifiers and creators differ, the chosen parts find the
// columns again.

class DriverCatalogTest : public CopyDialogTest,
                          public ::testing::WithParamInterface<DatabaseKind> {};

TEST_P(DriverCatalogTest, BrowsedTableGivesItsColumns) {
  KESTREL_REQUIRE_DATABASE(GetParam());
  const TestDatabase db = odbc.database(GetParam());
  const std::string table = uniqueTableName("dlg_cat");
  ASSERT_EQ(execSql(db, {"CREATE TABLE " + table + " (id INTEGER, label VARCHAR(20))"}), "");
  BrowseOdbcDialog browse(options, db.dsn, db.user, db.password);
  open(browse);
  typeInto(&browse, "tableMaskEdit", QString::fromStdString(table));
  choose(&browse, "tableTypeCombo", "Views");
  click(&browse, "fetchButton");
  EXPECT_EQ(text(&browse, "countLabel"), "0");
  EXPECT_FALSE(enabled(&browse, "okButton"));
  choose(&browse, "tableTypeCombo", "Tables");
  click(&browse, "fetchButton");
  ASSERT_TRUE(boxes.boxes.empty()) << boxes.boxes[0].text;
  EXPECT_EQ(text(&browse, "countLabel"), "1");
  click(&browse, "okButton");
  const CatalogTable chosen = browse.table();
  EXPECT_EQ(chosen.name, table);
  EXPECT_EQ(QString::fromStdString(catalogTableText(chosen)), text(&browse, "tableCombo"));

  Paragraph& copy = addParagraph(list, kCopyKind, "C");
  // As the FROM dialog stores what Browse chose: empty parts are no keyword.
  for (int side : {c::From, c::To}) {
    Command& command = addCommand(copy, side, db.dsn);
    command.SetText(k::Userid, db.user);
    command.SetText(k::Password, db.password);
    command.SetText(k::Qualifier, chosen.qualifier);
    command.SetText(k::Creator, chosen.creator);
    command.SetText(k::Table, chosen.name);
  }
  CopyColumnsDialog columns(list, copy);
  open(columns);
  click(&columns, "getDefinitionsButton");
  ASSERT_TRUE(boxes.boxes.empty()) << boxes.boxes[0].text;
  for (const char* name : {"fromColumnCombo", "toColumnCombo"}) {
    auto* combo = control<QComboBox>(&columns, name);
    ASSERT_EQ(combo->count(), 2) << name;
    EXPECT_EQ(combo->itemText(0).toLower(), "id");
    EXPECT_EQ(combo->itemText(1).toLower(), "label");
  }
  if (GetParam() != DatabaseKind::SQLite) EXPECT_EQ(execSql(db, {"DROP TABLE " + table}), "");
}

INSTANTIATE_TEST_SUITE_P(Drivers, DriverCatalogTest, ::testing::ValuesIn(allDatabaseKinds()),
                         [](const auto& info) { return databaseKindName(info.param); });

// ---------------------------------------------------------------------------
// A replication made in the dialogs only

class DialogReplicationTest : public CopyDialogTest,
                              public ::testing::WithParamInterface<DatabaseKind> {};

TEST_P(DialogReplicationTest, BuiltFromAnEmptyScriptItRunsAndReplicates) {
  KESTREL_REQUIRE_DATABASE(GetParam());
  const bool server = GetParam() != DatabaseKind::SQLite;
  const TestDatabase source =
      server ? odbc.database(GetParam()) : odbc.sqlite(OdbcTestFolder::kSqliteA);
  const TestDatabase target =
      server ? odbc.database(GetParam()) : odbc.sqlite(OdbcTestFolder::kSqliteB);
  const std::string sourceTable = server ? uniqueTableName("dlg_src") : "orders";
  const std::string targetTable = server ? uniqueTableName("dlg_dst") : "orders_copy";
  ASSERT_EQ(execSql(source, {"CREATE TABLE " + sourceTable +
                                 " (id INTEGER NOT NULL, name VARCHAR(20), qty INTEGER)",
                             "INSERT INTO " + sourceTable + " VALUES (1, 'one', 10)",
                             "INSERT INTO " + sourceTable + " VALUES (2, 'two', 20)",
                             "INSERT INTO " + sourceTable + " VALUES (3, NULL, 30)"}),
            "");
  ASSERT_EQ(execSql(target, {"CREATE TABLE " + targetTable +
                                 " (id INTEGER NOT NULL, name VARCHAR(20), qty INTEGER)",
                             "INSERT INTO " + targetTable + " VALUES (2, 'old', 0)",
                             "INSERT INTO " + targetTable + " VALUES (9, 'gone', 0)"}),
            "");
  const std::string temp = odbc.file("temp");
  std::filesystem::create_directory(temp);
  options.SetText(options.Find("TempFile"), temp + "/k-%p.tmp");
  const std::string script = file("replica.txt");
  options.SetText(options.Find("ScriptFile"), script);

  // Browse ODBC on one side: source, login, the table by its mask.
  auto browseSide = [](QDialog* side, const TestDatabase& db, const std::string& table) {
    choose(side, "sourceCombo", QString::fromStdString(db.dsn));
    typeInto(side, "useridEdit", QString::fromStdString(db.user));
    typeInto(side, "passwordEdit", QString::fromStdString(db.password));
    whenShown("browseOdbcDialog", [&db, &table](QDialog* browse) {
      EXPECT_EQ(text(browse, "sourceCombo"), QString::fromStdString(db.dsn));
      typeInto(browse, "tableMaskEdit", QString::fromStdString(table));
      choose(browse, "tableTypeCombo", "Tables");
      click(browse, "fetchButton");
      EXPECT_EQ(text(browse, "countLabel"), "1");
      EXPECT_TRUE(text(browse, "tableCombo").endsWith(QString::fromStdString(table)));
      click(browse, "okButton");
    });
    click(side, "browseButton");
    EXPECT_EQ(text(side, "tableEdit"), QString::fromStdString(table));
  };

  EditScriptDialog editor(options);
  open(editor);
  whenShown("paragraphsDialog", [&](QDialog* paragraphs) {
    whenShown("newParagraphDialog", [&](QDialog* create) {
      typeInto(create, "nameEdit", "REPLICA");
      EXPECT_EQ(text(create, "kindCombo"), "COPYDEFINITION");
      whenShown("copyDefinitionDialog", [&](QDialog* hub) {
        EXPECT_FALSE(enabled(hub, "toButton"));
        whenShown("copyFromDialog", [&](QDialog* from) {
          browseSide(from, source, sourceTable);
          check(from, "simpleCopyCheck", false);
          check(from, "disconnectCheck", false);
          click(from, "returnButton");
        });
        click(hub, "fromButton");
        EXPECT_TRUE(text(hub, "fromLabel").endsWith(QString::fromStdString(sourceTable)));
        whenShown("copyToDialog", [&](QDialog* to) {
          browseSide(to, target, targetTable);
          choose(to, "formatCombo", "Keyed update");
          click(to, "returnButton");
        });
        click(hub, "toButton");
        whenShown("copyColumnsDialog", [&](QDialog* columns) {
          click(columns, "getDefinitionsButton");
          EXPECT_FALSE(enabled(columns, "getDefinitionsButton"));
          click(columns, "selectAllButton");
          EXPECT_EQ(lines(columns), (QStringList{"id", "name", "qty"}));
          selectLine(columns, 0);
          check(columns, "keyCheck", true);
          click(columns, "updateButton");
          EXPECT_EQ(lines(columns)[0], "id (Key)");
          click(columns, "returnButton");
        });
        click(hub, "columnsButton");
        click(hub, "returnButton");
      });
      click(create, "createButton");
    });
    click(paragraphs, "newParagraphButton");
    click(paragraphs, "returnButton");
  });
  click(&editor, "editScriptButton");
  click(&editor, "saveScriptButton");
  ASSERT_FALSE(editor.isVisible());
  EXPECT_TRUE(boxes.boxes.empty()) << boxes.boxes[0].text;

  std::ifstream saved(script);
  const std::string savedText((std::istreambuf_iterator<char>(saved)),
                              std::istreambuf_iterator<char>());
  SCOPED_TRACE(savedText);
  EXPECT_NE(savedText.find("UPDATE=\"KEYS\""), std::string::npos);
  ScriptModel model(log);
  ScriptReader reader(log, &options);
  reader.setFactory(&runnableDefinitions());
  reader.setModel(&model);
  ASSERT_TRUE(reader.Load(script));
  auto* copy = static_cast<CopyDefinition*>(model.Find(kCopyKind, "REPLICA"));
  ASSERT_NE(copy, nullptr);
  ASSERT_TRUE(copy->run(log, nullptr, 0));
  auto contents = [&target, &targetTable] {
    std::vector<Row> rows;
    EXPECT_EQ(querySql(target, "SELECT id, name, qty FROM " + targetTable + " ORDER BY id", &rows),
              "");
    std::vector<std::string> texts;
    for (const Row& row : rows) {
      std::string line;
      for (const auto& value : row) line += (line.empty() ? "" : "|") + value.value_or("NULL");
      texts.push_back(line);
    }
    return texts;
  };
  EXPECT_EQ(contents(), (std::vector<std::string>{"1|one|10", "2|two|20", "3|NULL|30"}));

  ASSERT_EQ(execSql(source, {"UPDATE " + sourceTable + " SET qty = 11 WHERE id = 1",
                             "DELETE FROM " + sourceTable + " WHERE id = 2",
                             "INSERT INTO " + sourceTable + " VALUES (4, 'four', 40)"}),
            "");
  ASSERT_TRUE(copy->run(log, nullptr, 0));
  EXPECT_EQ(contents(), (std::vector<std::string>{"1|one|11", "3|NULL|30", "4|four|40"}));
  model.Clear();
  if (server) {
    EXPECT_EQ(execSql(source, {"DROP TABLE " + sourceTable, "DROP TABLE " + targetTable}), "");
  }
}

INSTANTIATE_TEST_SUITE_P(Drivers, DialogReplicationTest,
                         ::testing::Values(DatabaseKind::SQLite, DatabaseKind::PostgreSQL),
                         [](const auto& info) { return databaseKindName(info.param); });

}  // namespace
}  // namespace kestrel::test
