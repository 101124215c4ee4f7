#include "shell/app/program_documentation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QShortcut>
#include <QTextBrowser>

#include "base/platform.h"

namespace kestrel {

namespace {

const char kManualName[] = "KESTRL32.html";

// The one manual window of the program.
QPointer<QTextBrowser>& manualWindow() {
  static QPointer<QTextBrowser> window;
  return window;
}

}  // namespace

QStringList programDocumentationPaths() {
  QStringList paths;
  const QDir programFolder(QCoreApplication::applicationDirPath());
  paths << QDir::cleanPath(programFolder.filePath("../" KESTREL_INSTALL_DATADIR "/kestrel/") + "/" +
                           kManualName);
  paths << QDir::cleanPath(KESTREL_DOC_SOURCE_DIR "/" + QString(kManualName));
  return paths;
}

bool ShowDocumentationFrom(QWidget* parent, const QStringList& paths) {
  if (QTextBrowser* open = manualWindow()) {
    if (open->isMinimized()) open->showNormal();
    open->show();
    open->raise();
    open->activateWindow();
    return true;
  }
  QString found;
  for (const QString& path : paths) {
    if (QFileInfo(path).isFile()) {
      found = path;
      break;
    }
  }
  if (found.isEmpty()) {
    std::string text = "The program documentation was not found. Looked for:";
    for (const QString& path : paths) text += "\n" + path.toStdString();
    programMessageBox().show(text, "KESTREL", BoxIcon::Warning);
    return false;
  }

  auto* browser = new QTextBrowser(parent);
  browser->setWindowFlags(Qt::Window);
  browser->setAttribute(Qt::WA_DeleteOnClose);
  browser->setObjectName("programDocumentation");
  browser->setOpenExternalLinks(true);
  browser->setSource(QUrl::fromLocalFile(found));
  // The contents stand right below the title, so the manual opens at its top.
  QString title = browser->documentTitle();
  browser->setWindowTitle(title.isEmpty() ? QString("KESTREL documentation") : title);
  const QFontMetrics metrics = browser->fontMetrics();
  browser->resize(metrics.averageCharWidth() * 130, metrics.height() * 45);
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), browser);
  QObject::connect(escape, &QShortcut::activated, browser, &QWidget::close);
  manualWindow() = browser;
  browser->show();
  browser->setFocus();
  return true;
}

void ShowProgramDocumentation(QWidget* parent) {
  ShowDocumentationFrom(parent, programDocumentationPaths());
}

}  // namespace kestrel
