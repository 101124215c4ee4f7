#include "editor/edit_script_dialog.h"

#include "base/platform.h"

namespace kestrel {

bool RunEditScriptDialog(QWidget*, ParameterFile&) {
  programMessageBox().show("The script editor is not built yet", "KESTREL", BoxIcon::Information);
  return false;
}

}  // namespace kestrel
