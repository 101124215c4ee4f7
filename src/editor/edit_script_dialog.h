#pragma once
// The script editor: the "Edit KESTREL script" dialog with its paragraph
// list and the dialogs of every paragraph kind. It works on a private
// ParagraphList and the script file only; the running definitions change
// when the caller reloads the script.

class QWidget;

namespace kestrel {

class ParameterFile;

// Runs the dialog modally. True when it ended with "Save and Reload script":
// the caller then reloads the script and logs the next event.
bool RunEditScriptDialog(QWidget* parent, ParameterFile& options);

}  // namespace kestrel
