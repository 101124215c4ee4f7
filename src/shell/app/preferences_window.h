#pragma once
// The preferences window and its help window: every visible option, one
// section at a time, written through to the option store on every change.

class QWidget;

namespace kestrel {

class ParameterFile;

// Opens the preferences window, or brings it to the top when it is open.
void ShowPreferences(QWidget* parent, ParameterFile& options);

}  // namespace kestrel
