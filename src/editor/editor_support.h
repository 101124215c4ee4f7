#pragma once
// Small pieces every editor dialog shares: text conversion between the
// script's byte strings and Qt, the check that a text survives the script
// file, the button set-up that keeps Enter on the default button, list boxes
// whose lines carry the Command they show, the data source names and the
// wait cursor of a data source look-up.

#include <QString>
#include <QStringList>
#include <string>

class QComboBox;
class QListWidget;
class QListWidgetItem;
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

class Command;
class ParagraphList;

// Fills `combo` with "--none--" and the names of the paragraphs of that kind
// in script order, and selects "--none--".
void fillParagraphCombo(QComboBox* combo, const ParagraphList& paragraphs, int kind);
// Selects the first entry after "--none--" whose text is exactly `name`, or
// "--none--" when there is none.
void selectParagraphEntry(QComboBox* combo, const std::string& name);

// A line of `list` showing `command`, which it carries as item data.
QListWidgetItem* addCommandLine(QListWidget* list, Command& command, const QString& text);
// The Command a line carries; nullptr for no line.
Command* commandOf(const QListWidgetItem* item);
// The Command of the selected line, or nullptr.
Command* selectedCommand(const QListWidget* list);

// The ODBC data source names the driver manager knows, sorted.
QStringList dataSourceNameList();

// A data source combo box: editable (its text is the field), the sorted
// data source names as entries, and no text at first.
QComboBox* dataSourceCombo(const char* objectName, QWidget* parent);

// The wait cursor while an object of this type lives.
class WaitCursor {
 public:
  WaitCursor();
  ~WaitCursor() { end(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
  // Ends the wait before the object goes, e.g. before a message box.
  void end();

 private:
  bool active_ = true;
};

// The driver's message of a failed look-up, in the "ODBC error" box.
void showOdbcError(const std::string& message);

}  // namespace kestrel
