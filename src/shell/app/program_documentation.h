#pragma once
// The program's manual (KESTRL32), shipped with the program and shown in a
// help window at its contents page.

#include <QString>
#include <QStringList>

class QWidget;

namespace kestrel {

// Opens the manual at its contents page, or brings its window to the top.
void ShowProgramDocumentation(QWidget* parent);

// Where the manual is looked for, first to last: beside the installed program
// (<prefix>/share/kestrel, found from the program's folder), then the source
// tree the program was built from.
QStringList programDocumentationPaths();

// Shows the first of `paths` that exists; when none does, a message names
// every path looked at. False when nothing was shown.
bool ShowDocumentationFrom(QWidget* parent, const QStringList& paths);

}  // namespace kestrel
