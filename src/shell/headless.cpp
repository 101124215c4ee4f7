#include "shell/headless.h"

#include "base/message_log.h"
#include "base/platform.h"
#include "engine/definition_factory.h"
#include "odbc/odbc.h"
#include "schedule/loop_tick_source.h"
#include "schedule/timer_scheduler.h"
#include "script/paragraph_list.h"
#include "script/script_reader.h"
#include "shell/console.h"
#include "shell/copy_document.h"

namespace kestrel {

int runCheck(ParameterFile& parameters) {
  MessageLog log;
  // A check writes to standard output only, never to the program's log file.
  log.Configure(MessageLog::kMaxMaxLines, "", parameters.integer("DebugMode") != 0);
  echoLogToStandardOutput(log);
  setProgramLog(&log);

  const std::string fileName = parameters.text("ScriptFile");
  ParagraphList paragraphs;
  ScriptModel model(log);
  ScriptReader reader(log, &parameters);
  reader.setListener(&paragraphs);
  reader.setModel(&model);
  reader.setCheckOnly(true);
  reader.setFactory(&runnableDefinitions());
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
  model.Clear();
  setProgramLog(nullptr);
  return ok ? 0 : 1;
}

namespace {

// What --batch and --service share: the document, with its log on standard
// output (and in LogFile), and an ODBC environment that reports to the log
// only, never in a message box. Writes the start-up lines as the main
// window's view does.
class UnattendedProgram {
 public:
  explicit UnattendedProgram(ParameterFile& parameters) : document(parameters) {
    echoLogToStandardOutput(document.log());
    odbcEnvironment().open(true);
    document.logProgramStarted();
    document.logNoUpdateWarning();
  }
  ~UnattendedProgram() { odbcEnvironment().close(); }

  // Loads ScriptFile into the model; true when it holds a copy definition to
  // run. Every other outcome has its line in the log.
  bool loadRunnableScript() {
    MessageLog& log = document.log();
    // The reader has said why a script could not be read.
    bool loaded = document.reload();
    if (loaded && !document.hasCopyDefinition()) {
      log.AddLine("Script file '" + document.options().text("ScriptFile") +
                      "' holds no copy definition to run",
                  Error);
    }
    return loaded && document.hasCopyDefinition();
  }

  CopyDocument document;
};

}  // namespace

int runBatch(ParameterFile& parameters) {
  UnattendedProgram program(parameters);
  MessageLog& log = program.document.log();
  int status = 1;
  ConsoleStatusFactory console;
  if (program.loadRunnableScript()) status = program.document.runAll(&console) ? 0 : 1;
  log.AddLine(
      status == 0 ? "All copy definitions processed successfully" : "Processing ended with errors",
      status == 0 ? Normal : Error);
  return status;
}

int runService(ParameterFile& parameters) {
  // Declared before the program, so that it outlives the scheduler ticking through it.
  LoopTickSource ticks;
  UnattendedProgram program(parameters);
  CopyDocument& document = program.document;
  MessageLog& log = document.log();
  document.createScheduler(ticks);
  // The scheduler started when it was created; a copy definition's resolve
  // may have restarted it.
  bool runnable = program.loadRunnableScript();
  if (runnable && !document.scheduler()->isActive()) {
    // Without ticks the service would wait for ever and run nothing.
    log.AddLine("Timer cannot be started: PollInterval " +
                    std::to_string(parameters.integer("PollInterval")) + " is not larger than 0",
                Error);
    runnable = false;
  }
  if (!runnable) {
    log.AddLine("Processing ended with errors", Error);
    return 1;
  }
  document.logNextEvent();
  ticks.run([] { return programStopRequested(); });
  document.scheduler()->stop();
  log.AddLine("KESTREL service stopped", Normal);
  return 0;
}

}  // namespace kestrel
