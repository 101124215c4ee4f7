#include "shell/headless.h"

#include "odbc/odbc.h"
#include "schedule/loop_tick_source.h"
#include "schedule/scheduler_next_event.h"
#include "schedule/timer_scheduler.h"
#include "script/definitions.h"
#include "script/paragraph_list.h"
#include "script/script_reader.h"
#include "shell/console.h"
#include "shell/message_log.h"
#include "shell/platform.h"

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

namespace {

// What --batch and --service share: the log on standard output (and in
// LogFile), the program-wide log and options, and an ODBC environment that
// reports to the log only, never in a message box. Undone on destruction.
class UnattendedProgram {
 public:
  explicit UnattendedProgram(ParameterFile& parameters) {
    log.Configure(parameters.integer("MaxDisplayLines"), parameters.text("LogFile"),
                  parameters.integer("DebugMode") != 0);
    echoLogToStandardOutput(log);
    setProgramLog(&log);
    setProgramOptions(&parameters);
    odbcEnvironment().open(true);
    log.AddLine("KESTREL program started", Normal);
  }
  ~UnattendedProgram() {
    odbcEnvironment().close();
    setProgramOptions(nullptr);
    setProgramLog(nullptr);
  }
  MessageLog log;
};

// Loads ScriptFile into the model; true when it holds a copy definition to
// run. Every other outcome has its line in the log.
bool loadRunnableScript(ParameterFile& parameters, MessageLog& log, ScriptModel& model,
                        TimerScheduler* scheduler) {
  ScriptReader reader(log, &parameters);
  reader.setModel(&model);
  reader.setScheduler(scheduler);
  const std::string fileName = parameters.text("ScriptFile");
  bool loaded = reader.Load(fileName);
  if (reader.failure() == ScriptReader::Failure::NoFileName) {
    log.AddLine("No script file specified - no copy actions will be performed", Error);
  }
  if (loaded && !model.HasCopyDefinition()) {
    log.AddLine("Script file '" + fileName + "' holds no copy definition to run", Error);
  }
  return loaded && model.HasCopyDefinition();
}

}  // namespace

int runBatch(ParameterFile& parameters) {
  UnattendedProgram program(parameters);
  MessageLog& log = program.log;
  ScriptModel model(log);
  int status = 1;
  ConsoleStatusFactory console;
  if (loadRunnableScript(parameters, log, model, nullptr)) status = model.RunAll(&console) ? 0 : 1;
  log.AddLine(
      status == 0 ? "All copy definitions processed successfully" : "Processing ended with errors",
      status == 0 ? Normal : Error);
  model.Clear();
  return status;
}

int runService(ParameterFile& parameters) {
  UnattendedProgram program(parameters);
  MessageLog& log = program.log;
  // Declared before the model, so that it outlives the entries registered with it.
  LoopTickSource ticks;
  TimerScheduler scheduler(&ticks, static_cast<int>(parameters.integer("PollInterval")));
  ScriptModel model(log);
  // The scheduler started when it was created; a copy definition's resolve
  // may have restarted it.
  bool runnable = loadRunnableScript(parameters, log, model, &scheduler);
  if (runnable && !scheduler.isActive()) {
    // Without ticks the service would wait for ever and run nothing.
    log.AddLine("Timer cannot be started: PollInterval " +
                    std::to_string(parameters.integer("PollInterval")) + " is not larger than 0",
                Error);
    runnable = false;
  }
  if (!runnable) {
    log.AddLine("Processing ended with errors", Error);
    model.Clear();
    return 1;
  }
  SchedulerNextEvent events(&scheduler);
  model.LogNextEvent(&events);
  ticks.run([] { return programStopRequested(); });
  scheduler.stop();
  log.AddLine("KESTREL service stopped", Normal);
  model.Clear();
  return 0;
}

}  // namespace kestrel
