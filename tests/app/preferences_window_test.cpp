// The preferences window and its help window on the real event loop: controls
// made from the option table, every change stored at once, one window of
// each, the help text wrapped and scrolled by its keys.

#include "shell/app/preferences_window.h"

#include <gtest/gtest.h>

#include <QAbstractScrollArea>
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "base/parameter_file.h"
#include "shell/app/option_help.h"
#include "shell/copy_document.h"
#include "widgets/qt_platform.h"

namespace kestrel {
namespace {

QWidget* openWindow(const char* name) {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->objectName() == name && widget->isVisible()) return widget;
  }
  return nullptr;
}

int openWindowCount(const char* name) {
  int count = 0;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->objectName() == name && widget->isVisible()) ++count;
  }
  return count;
}

template <typename W>
W* control(QWidget* window, const QString& name) {
  return window->findChild<W*>(name);
}

// A small table with one option of every kind, and a second section.
void defineSmallTable(ParameterFile& options) {
  options.DefineSection("Paths", "Where things are");
  options.DefineText("Source", "/data/in.txt", "The input file", false, true);
  options.DefineText("Owner", "dba", "Who owns it");
  options.DefineText("Secret", "s3cret", "The password", false, false, true);
  options.DefineInteger("Count", 7, "How many");
  options.DefineInteger("Verbose", 1, "Talk more", true);
  options.DefineInteger("Hidden", 3, "Not shown", false, false);
  options.DefineSection("Other", "More options");
  options.DefineInteger("Level", 2, "How far");
}

class PreferencesWindowTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (widget->isVisible()) widget->close();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QApplication::processEvents();
  }

  QWidget* open(ParameterFile& options) {
    ShowPreferences(nullptr, options);
    QWidget* window = openWindow("preferencesWindow");
    EXPECT_NE(window, nullptr);
    if (window) {
      EXPECT_TRUE(QTest::qWaitForWindowExposed(window));
    }
    return window;
  }

  // Presses a button and lets the old controls go.
  static void press(QWidget* window, const QString& name) {
    auto* button = control<QPushButton>(window, name);
    ASSERT_NE(button, nullptr) << name.toStdString();
    QTest::mouseClick(button, Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  MemoryProfile profile_;
};

TEST_F(PreferencesWindowTest, ControlsFollowTheOptionTableOneSectionAtATime) {
  ParameterFile options(profile_);
  defineSmallTable(options);
  QWidget* window = open(options);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->windowTitle(), "Paths");

  auto* source = control<QLineEdit>(window, "option:Source");
  ASSERT_NE(source, nullptr);
  EXPECT_EQ(source->text(), "/data/in.txt");
  EXPECT_NE(control<QPushButton>(window, "browse:Source"), nullptr);
  EXPECT_EQ(control<QLabel>(window, "label:Source")->text(), "Source:");
  EXPECT_EQ(control<QLineEdit>(window, "option:Owner")->echoMode(), QLineEdit::Normal);
  EXPECT_EQ(control<QPushButton>(window, "browse:Owner"), nullptr);
  EXPECT_EQ(control<QLineEdit>(window, "option:Secret")->echoMode(), QLineEdit::Password);
  EXPECT_EQ(control<QLineEdit>(window, "option:Count")->text(), "7");
  auto* verbose = control<QCheckBox>(window, "option:Verbose");
  ASSERT_NE(verbose, nullptr);
  EXPECT_TRUE(verbose->isChecked());
  EXPECT_EQ(verbose->text(), "Verbose:");
  EXPECT_EQ(window->findChild<QWidget*>("option:Hidden"), nullptr);
  EXPECT_EQ(window->findChild<QWidget*>("section:Paths"), nullptr);
  EXPECT_EQ(window->focusWidget(), source);

  press(window, "section:Other");
  EXPECT_EQ(window->windowTitle(), "Other");
  EXPECT_EQ(control<QLineEdit>(window, "option:Level")->text(), "2");
  EXPECT_EQ(window->findChild<QWidget*>("option:Source"), nullptr);
  EXPECT_NE(control<QPushButton>(window, "section:Paths"), nullptr);
}

TEST_F(PreferencesWindowTest, GeometryComesFromTheFontsTextHeight) {
  ParameterFile options(profile_);
  defineSmallTable(options);
  QWidget* window = open(options);
  ASSERT_NE(window, nullptr);
  const int a = 5 * window->fontMetrics().height();
  const int h = a / 3, w = 10 * h, m = a / 12, g = a / 24, label = 2 * w / 3;
  const int rowEnd = m + 2 * w + g;

  EXPECT_EQ(control<QWidget>(window, "returnButton")->geometry(), QRect(m, m, w, h));
  EXPECT_EQ(control<QWidget>(window, "helpButton")->geometry(), QRect(m + g + w, m, w, h));
  // The section button takes the first column; the full-width Source row ends it.
  const int row2 = m + g + h, row3 = row2 + h + g, row4 = row3 + h + g;
  EXPECT_EQ(control<QWidget>(window, "section:Other")->geometry(), QRect(m, row2, w, h));
  EXPECT_EQ(control<QWidget>(window, "label:Source")->geometry().topLeft(),
            QPoint(m, row3 + h / 5));
  const QRect browse = control<QWidget>(window, "browse:Source")->geometry();
  EXPECT_EQ(browse, QRect(rowEnd - 3 * h / 2, row3, 3 * h / 2, h));
  const QRect source = control<QWidget>(window, "option:Source")->geometry();
  EXPECT_EQ(source.x(), m + label + g);
  EXPECT_EQ(source.x() + source.width() + g, browse.x());
  const QRect owner = control<QWidget>(window, "option:Owner")->geometry();
  EXPECT_EQ(owner, QRect(m + label + g, row4, 2 * w - label, h));
  // Count and Verbose share one row after Secret: one column each.
  const int row6 = row4 + 2 * (h + g);
  const QRect count = control<QWidget>(window, "option:Count")->geometry();
  EXPECT_EQ(count, QRect(m + w - (w - label - g), row6, w - label - g, h));
  EXPECT_EQ(control<QWidget>(window, "option:Verbose")->geometry(),
            QRect(m + g + w, row6, 2 * h / 3 + label, h));
  EXPECT_EQ(window->size(), QSize(rowEnd + m, row6 + h + m));
}

// The stored INI value after an edit: numbers as GetInt reads them, flags as
// 0 or 1, passwords scrambled. The edit box keeps what was typed.
TEST_F(PreferencesWindowTest, EveryChangeIsWrittenThroughToTheProfile) {
  QTemporaryDir config;
  ASSERT_TRUE(config.isValid());
  const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
  qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
  const QString application =
      QString("KESTREL_PREFS_TEST_%1").arg(QCoreApplication::applicationPid());
  SettingsProfile settings(application);
  ParameterFile options(settings);
  defineSmallTable(options);
  QWidget* window = open(options);
  ASSERT_NE(window, nullptr);
  auto stored = [&](const char* key) {
    QSettings file(settings.fileName(), QSettings::IniFormat);
    return file.value(QString("Paths/") + key).toString();
  };

  struct Case {
    const char* typed;
    const char* stored;
  };
  const Case numbers[] = {{"12x", "12"}, {"-", "0"}, {"+5", "5"},
                          {" 42", "42"}, {"", "0"},  {"99999999999", "2147483647"}};
  auto* count = control<QLineEdit>(window, "option:Count");
  for (const Case& c : numbers) {
    count->clear();
    QTest::keyClicks(count, c.typed);
    EXPECT_EQ(stored("Count"), c.stored) << "typed '" << c.typed << "'";
    EXPECT_EQ(count->text(), c.typed);
  }

  auto* verbose = control<QCheckBox>(window, "option:Verbose");
  QTest::mouseClick(verbose, Qt::LeftButton, {},
                    QPoint(verbose->width() - 5, verbose->height() / 2));
  EXPECT_FALSE(verbose->isChecked());
  EXPECT_EQ(stored("Verbose"), "0");
  verbose->click();
  EXPECT_EQ(stored("Verbose"), "1");

  auto* owner = control<QLineEdit>(window, "option:Owner");
  owner->selectAll();
  QTest::keyClicks(owner, "sys adm");
  EXPECT_EQ(stored("Owner"), "sys adm");
  auto* secret = control<QLineEdit>(window, "option:Secret");
  secret->selectAll();
  QTest::keyClicks(secret, "hunter2");
  EXPECT_EQ(stored("Secret").toStdString(), ParameterFile::scramble("hunter2"));
  EXPECT_EQ(options.text("Secret"), "hunter2");
  QFile::remove(settings.fileName());
  if (oldConfig.isNull()) {
    qunsetenv("XDG_CONFIG_HOME");
  } else {
    qputenv("XDG_CONFIG_HOME", oldConfig);
  }
}

TEST_F(PreferencesWindowTest, TheFileButtonStoresTheChosenPath) {
  QTemporaryDir folder;
  ParameterFile options(profile_);
  defineSmallTable(options);
  QWidget* window = open(options);
  ASSERT_NE(window, nullptr);
  // A new file: a log file is often chosen before it exists.
  const QString chosen = folder.path() + "/new-log.txt";
  QString title;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(openWindow("fileDialog"));
    if (!dialog) return;
    title = dialog->windowTitle();
    dialog->selectFile(chosen);
    static_cast<QDialog*>(dialog)->accept();
  });
  press(window, "browse:Source");
  EXPECT_EQ(title, "Set Source");
  EXPECT_EQ(options.text("Source"), chosen.toStdString());
  EXPECT_EQ(control<QLineEdit>(window, "option:Source")->text(), chosen);

  QTimer::singleShot(0, [&] {
    if (QWidget* dialog = openWindow("fileDialog")) dialog->close();
  });
  press(window, "browse:Source");
  EXPECT_EQ(options.text("Source"), chosen.toStdString());
}

TEST_F(PreferencesWindowTest, AChangeMadeInTheWindowReachesTheLogAtOnce) {
  ParameterFile options(profile_);
  DefineKestrelOptions(options);
  CopyDocument document(options);
  ASSERT_FALSE(document.log().debugEnabled());
  QWidget* window = open(options);
  ASSERT_NE(window, nullptr);

  auto* lines = control<QLineEdit>(window, "option:MaxDisplayLines");
  ASSERT_NE(lines, nullptr);
  lines->selectAll();
  QTest::keyClicks(lines, "350");
  EXPECT_EQ(document.log().maxLines(), 350);

  press(window, "section:Test options");
  auto* debug = control<QCheckBox>(window, "option:DebugMode");
  ASSERT_NE(debug, nullptr);
  debug->click();
  EXPECT_TRUE(document.log().debugEnabled());
  document.log().AddDebugLine("seen");
  EXPECT_NE(document.log().lines().back().text.find("Debug: seen"), std::string::npos);
}

TEST_F(PreferencesWindowTest, EachWindowExistsOnceAndReturnClosesBoth) {
  ParameterFile options(profile_);
  defineSmallTable(options);
  QWidget* window = open(options);
  ASSERT_NE(window, nullptr);
  ShowPreferences(nullptr, options);
  EXPECT_EQ(openWindowCount("preferencesWindow"), 1);

  press(window, "helpButton");
  press(window, "helpButton");
  EXPECT_EQ(openWindowCount("optionHelpWindow"), 1);
  QWidget* help = openWindow("optionHelpWindow");
  ASSERT_NE(help, nullptr);
  EXPECT_EQ(help->windowTitle(), "Description of options in section Paths");

  // Another section is documented from its top.
  auto* bar = qobject_cast<QAbstractScrollArea*>(help)->verticalScrollBar();
  help->resize(300, 5 * help->fontMetrics().height());
  bar->setValue(3);
  press(window, "section:Other");
  EXPECT_EQ(bar->value(), 0);
  EXPECT_EQ(help->windowTitle(), "Description of options in section Other");

  press(window, "returnButton");
  QTRY_COMPARE(openWindowCount("preferencesWindow"), 0);
  EXPECT_EQ(openWindowCount("optionHelpWindow"), 0);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QWidget* again = open(options);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->windowTitle(), "Paths");
}

TEST_F(PreferencesWindowTest, TheKeyboardDrivesTheWindow) {
  ParameterFile options(profile_);
  defineSmallTable(options);
  QWidget* window = open(options);
  ASSERT_NE(window, nullptr);
  QTest::keyClick(control<QPushButton>(window, "section:Other"), Qt::Key_Return);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(window->windowTitle(), "Other");
  auto* level = control<QLineEdit>(window, "option:Level");
  ASSERT_NE(level, nullptr);
  EXPECT_EQ(window->focusWidget(), level);
  QTest::keyClick(control<QPushButton>(window, "helpButton"), Qt::Key_Return);
  EXPECT_EQ(openWindowCount("optionHelpWindow"), 1);
  QTest::keyClick(level, Qt::Key_Escape);
  QTRY_COMPARE(openWindowCount("preferencesWindow"), 0);
  EXPECT_EQ(openWindowCount("optionHelpWindow"), 0);
}

TEST(OptionHelpText, WordsWrapAtTheWidthWithTheirBlanksKept) {
  auto characters = [](const std::string& text) { return static_cast<int>(text.size()); };
  struct Case {
    const char* text;
    int width;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"abc def", 7, {"abc def"}},
      {"aaa bbb ccc", 7, {"aaa bbb ", "ccc"}},
      {"aaa  bbb", 5, {"aaa  ", "bbb"}},
      {"abcdefghij xy", 5, {"abcdefghij ", "xy"}},
      {"ab abcdefghij xy", 5, {"ab ", "abcdefghij ", "xy"}},
      {"one two. ", 8, {"one two. "}},
      {"one two three. ", 9, {"one two ", "three. "}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(wrapWords(c.text, c.width, characters), c.lines) << c.text << " at " << c.width;
  }
}

TEST(OptionHelpText, SectionLinesInOrderWithTheirColoursAndTypes) {
  MemoryProfile profile;
  ParameterFile options(profile);
  options.DefineSection("S", "About S");
  options.DefineText("Name", "", "", false, true, true);  // a file name before a password
  options.DefineText("Pwd", "", "Kept secret", false, false, true);
  options.DefineInteger("Gone", 0, "Invisible", false, false);
  options.DefineInteger("Flag", 0, "On or off", true);
  options.DefineInteger("Number", 0, "A count");
  options.DefineText("Word", "", "Free text");
  auto wide = [](const std::string&) { return 1; };
  std::vector<HelpLine> lines = sectionHelpLines(options.sections().front(), 500, wide);

  struct Expected {
    std::string text;
    int indent;
    Rgb colour;
  };
  const Rgb none{0, 0, 0};
  const std::vector<Expected> expected = {
      {"", 0, none},
      {"About S:", 30, kHelpDescriptionColour},
      {"", 0, none},
      {"Name  (Filename) :", 10, kHelpOptionColour},
      {"", 0, none},
      {"Pwd  (Password) :", 10, kHelpOptionColour},
      {"Kept secret. ", 20, kHelpTextColour},
      {"", 0, none},
      {"Flag  (Flag) :", 10, kHelpOptionColour},
      {"On or off. ", 20, kHelpTextColour},
      {"", 0, none},
      {"Number  (Integer) :", 10, kHelpOptionColour},
      {"A count. ", 20, kHelpTextColour},
      {"", 0, none},
      {"Word  (Text) :", 10, kHelpOptionColour},
      {"Free text. ", 20, kHelpTextColour},
  };
  ASSERT_EQ(lines.size(), expected.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].text, expected[i].text) << "line " << i;
    if (!expected[i].text.empty()) {
      EXPECT_EQ(lines[i].indent, expected[i].indent) << "line " << i;
      EXPECT_EQ(lines[i].colour, expected[i].colour) << "line " << i;
    }
  }
}

TEST_F(PreferencesWindowTest, HelpWindowWrapsToItsWidthAndScrollsByItsKeys) {
  ParameterFile options(profile_);
  DefineKestrelOptions(options);
  QWidget* window = open(options);
  ASSERT_NE(window, nullptr);
  press(window, "helpButton");
  auto* help = qobject_cast<QAbstractScrollArea*>(openWindow("optionHelpWindow"));
  ASSERT_NE(help, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(help));
  const int textHeight = help->fontMetrics().height();
  QScrollBar* bar = help->verticalScrollBar();

  help->resize(900, 10 * textHeight + 2 * help->frameWidth());
  QTRY_VERIFY(help->viewport()->height() >= 10 * textHeight);
  const int page = help->viewport()->height() / textHeight;
  const int wideLines = bar->maximum();
  help->resize(300, help->height());
  QTRY_VERIFY(bar->maximum() > wideLines);
  const int lines = bar->maximum();
  ASSERT_GT(lines, 3 * page);

  struct Step {
    Qt::Key key;
    int top;
  };
  const Step steps[] = {
      {Qt::Key_Up, 0},           {Qt::Key_Down, 1},     {Qt::Key_PageDown, 1 + page},
      {Qt::Key_PageUp, 1},       {Qt::Key_PageUp, 0},   {Qt::Key_End, lines - page},
      {Qt::Key_PageDown, lines}, {Qt::Key_Down, lines}, {Qt::Key_Home, 0},
  };
  for (const Step& step : steps) {
    QTest::keyClick(help, step.key);
    EXPECT_EQ(bar->value(), step.top)
        << "after key " << QKeySequence(step.key).toString().toStdString();
  }
  QTest::keyClick(help, Qt::Key_End);
  help->resize(320, help->height());
  QTRY_COMPARE(bar->value(), 0);
}

}  // namespace
}  // namespace kestrel
