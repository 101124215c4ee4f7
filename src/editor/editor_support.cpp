#include "editor/editor_support.h"

#include <QPushButton>

#include "base/platform.h"
#include "script/script_writer.h"

namespace kestrel {

bool acceptScriptText(const std::string& text, const QString& what, QWidget* field) {
  if (representableInScript(text)) return true;
  programMessageBox().show(scriptText(what) +
                               " cannot be written to the script file: it may hold at most 254 "
                               "characters, no line end, and not both ' and \"",
                           "Error", BoxIcon::Warning);
  if (field) field->setFocus();
  return false;
}

QPushButton* dialogButton(const QString& text, const char* objectName, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(objectName);
  button->setAutoDefault(false);
  return button;
}

}  // namespace kestrel
