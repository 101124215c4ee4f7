#pragma once
// The program's manual (KESTRL32), shipped with the program and shown in a
// help window at its contents page.

class QWidget;

namespace kestrel {

// Opens the manual at its contents page, or brings its window to the top.
void ShowProgramDocumentation(QWidget* parent);

}  // namespace kestrel
