#include "engine/run_options.h"

#include "base/parameter_file.h"
#include "engine/temporary_file.h"

namespace kestrel {

RunOptions RunOptions::from(const ParameterFile* options) {
  RunOptions run;
  if (!options) return run;
  auto flag = [options](const char* key) { return options->integer(key) != 0; };
  run.noUpdate = flag("NoUpdate");
  run.listSql = flag("ListSQL");
  run.updateDebugging = flag("UpdateDebugging");
  run.listColumns = flag("ListColumns");
  run.checkForZeroRows = flag("CheckForZeroRows");
  run.cancelActive = flag("CancelActive");
  run.debugMode = flag("DebugMode");
  run.maxBeforeCommit = options->integer("MaxBeforeCommit");
  run.hashSlots = options->integer("HashSlots");
  run.tempFile = options->text("TempFile");
  return run;
}

RunOptions RunOptions::current() { return from(programOptions()); }

std::int32_t RunOptions::hashTableBytes() const {
  if (hashSlots < 1 || hashSlots > TemporaryFile::kMaxHashSlots) return TemporaryFile::kTableBytes;
  return hashSlots * 4;
}

}  // namespace kestrel
