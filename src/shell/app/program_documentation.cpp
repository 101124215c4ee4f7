#include "shell/app/program_documentation.h"

#include "base/platform.h"

namespace kestrel {

void ShowProgramDocumentation(QWidget*) {
  programMessageBox().show("The program documentation is not built yet", "KESTREL",
                           BoxIcon::Information);
}

}  // namespace kestrel
