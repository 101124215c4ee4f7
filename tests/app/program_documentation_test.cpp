// The manual and its window: found beside the program or in the source tree,
// opened at its contents, one window at a time, and kept in step with the
// option table and the script grammar it documents.

#include "shell/app/program_documentation.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSet>
#include <QTest>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>

#include "base/parameter_file.h"
#include "fakes.h"
#include "script/script_grammar.h"

namespace kestrel {
namespace {

QList<QTextBrowser*> manualWindows() {
  QList<QTextBrowser*> open;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->objectName() == "programDocumentation" && widget->isVisible()) {
      open << qobject_cast<QTextBrowser*>(widget);
    }
  }
  return open;
}

void closeManual() {
  for (QTextBrowser* window : manualWindows()) window->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QString manualText() {
  QFile file(KESTREL_SOURCE_DIR "/doc/KESTRL32.html");
  EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
  return QString::fromUtf8(file.readAll());
}

TEST(ProgramDocumentation, OpensAtItsContentsInOneWindow) {
  ShowProgramDocumentation(nullptr);
  ASSERT_EQ(manualWindows().size(), 1);
  QTextBrowser* manual = manualWindows().front();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(manual));
  EXPECT_TRUE(manual->source().toLocalFile().endsWith("/KESTRL32.html"));
  const QTextCursor contents = manual->document()->find("Contents");
  ASSERT_FALSE(contents.isNull());
  EXPECT_TRUE(manual->viewport()->rect().contains(manual->cursorRect(contents)))
      << "the contents are not on the first page";

  manual->verticalScrollBar()->setValue(manual->verticalScrollBar()->maximum());
  ShowProgramDocumentation(nullptr);
  EXPECT_EQ(manualWindows().size(), 1);
  QTest::keyClick(manual, Qt::Key_Escape);
  QTRY_COMPARE(manualWindows().size(), 0);
  closeManual();
}

TEST(ProgramDocumentation, AMissingManualNamesEveryPathLookedAt) {
  test::RecordingMessageBox box;
  const QStringList paths = {"/nonexistent/share/kestrel/KESTRL32.html",
                             "/nonexistent/src/doc/KESTRL32.html"};
  EXPECT_FALSE(ShowDocumentationFrom(nullptr, paths));
  ASSERT_EQ(box.boxes.size(), 1u);
  for (const QString& path : paths) {
    EXPECT_NE(box.boxes[0].text.find(path.toStdString()), std::string::npos) << box.boxes[0].text;
  }
  EXPECT_TRUE(manualWindows().isEmpty());
}

TEST(ProgramDocumentation, LooksBesideTheInstalledProgramFirst) {
  const QStringList paths = programDocumentationPaths();
  ASSERT_EQ(paths.size(), 2);
  EXPECT_EQ(paths[0], QDir::cleanPath(QCoreApplication::applicationDirPath() +
                                      "/../share/kestrel/KESTRL32.html"));
  EXPECT_TRUE(QFile::exists(paths[1])) << paths[1].toStdString();
}

TEST(ProgramDocumentation, EveryLinkInTheManualHasItsAnchor) {
  const QString html = manualText();
  QSet<QString> anchors;
  QRegularExpression anchor(R"re((?:id|name)="([^"]+)")re");
  for (const auto& match : anchor.globalMatch(html)) anchors << match.captured(1);
  ASSERT_TRUE(anchors.contains("contents"));
  QRegularExpression link(R"re(href="#([^"]+)")re");
  int links = 0;
  for (const auto& match : link.globalMatch(html)) {
    ++links;
    EXPECT_TRUE(anchors.contains(match.captured(1))) << match.captured(1).toStdString();
  }
  EXPECT_GT(links, 10);
}

// The manual falls behind the program when an option or a script word is
// added without it.
TEST(ProgramDocumentation, DocumentsEveryOptionAndEveryScriptWord) {
  const QString html = manualText();
  MemoryProfile profile;
  ParameterFile options(profile);
  DefineKestrelOptions(options);
  for (const OptionSection& section : options.sections()) {
    for (const Option& option : section.options) {
      if (!option.visible) continue;
      EXPECT_TRUE(html.contains("<code>" + QString::fromStdString(option.key) + "</code>"))
          << option.key;
    }
  }
  for (const ParagraphEntry& paragraph : ScriptGrammar::instance().paragraphs()) {
    EXPECT_TRUE(html.contains(QString::fromStdString(paragraph.keyword))) << paragraph.keyword;
    for (const CommandEntry& command : paragraph.commands) {
      EXPECT_TRUE(html.contains(QString::fromStdString(command.command))) << command.command;
      for (const KeywordEntry& keyword : command.keywords) {
        EXPECT_TRUE(html.contains(QString::fromStdString(keyword.keyword)))
            << command.command << " " << keyword.keyword;
      }
    }
  }
}

}  // namespace
}  // namespace kestrel
