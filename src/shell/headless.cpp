#include "shell/headless.h"

#include "script/paragraph_list.h"
#include "script/script_reader.h"
#include "shell/console.h"
#include "shell/message_log.h"

namespace kestrel {

int runCheck(ParameterFile& parameters) {
  MessageLog log;
  // A check writes to standard output only, never to the program's log file.
  log.Configure(MessageLog::kMaxMaxLines, "", parameters.integer("DebugMode") != 0);
  echoLogToStandardOutput(log);
  setProgramLog(&log);

  const std::string fileName = parameters.text("ScriptFile");
  ParagraphList paragraphs;
  ScriptReader reader(log, &parameters);
  reader.setListener(&paragraphs);
  bool ok = reader.Load(fileName);

  // Reading for the editor is silent about these two; a check must say why.
  switch (reader.failure()) {
    case ScriptReader::Failure::NoFileName:
      log.AddLine("No script file specified - no copy actions will be performed", Error);
      break;
    case ScriptReader::Failure::CannotOpen:
      log.AddLine("Cannot open script file '" + fileName + "' - no copy actions will be performed",
                  Error);
      break;
    default:
      break;
  }
  if (ok) {
    log.AddLine("Script file '" + fileName + "' checked: " +
                    std::to_string(paragraphs.paragraphs.size()) + " paragraphs, no errors found",
                Normal);
  }
  setProgramLog(nullptr);
  return ok ? 0 : 1;
}

}  // namespace kestrel
