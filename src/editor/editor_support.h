#pragma once
// Small pieces every editor dialog shares: text conversion between the
// script's byte strings and Qt, the check that a text survives the script
// file, and the button set-up that keeps Enter on the default button.

#include <QString>
#include <string>

class QPushButton;
class QWidget;

namespace kestrel {

inline QString qtText(const std::string& text) { return QString::fromStdString(text); }
inline std::string scriptText(const QString& text) { return text.toStdString(); }

// True when the text is written and read back unchanged. Otherwise an
// "Error" box says why, the widget (when given) takes the focus, and the
// caller leaves the paragraph as it was.
bool acceptScriptText(const std::string& text, const QString& what, QWidget* field);

// A push button that never becomes the default by taking the focus, so that
// Enter always presses the dialog's own default button.
QPushButton* dialogButton(const QString& text, const char* objectName, QWidget* parent);

}  // namespace kestrel
