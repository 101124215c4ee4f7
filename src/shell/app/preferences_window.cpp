#include "shell/app/preferences_window.h"

#include "base/platform.h"

namespace kestrel {

void ShowPreferences(QWidget*, ParameterFile&) {
  programMessageBox().show("The preferences window is not built yet", "KESTREL",
                           BoxIcon::Information);
}

}  // namespace kestrel
