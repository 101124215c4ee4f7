#pragma once
// The document of kestrel: the one object behind every front end (the main
// window, kestrel --batch, kestrel --service). It owns the MessageLog, the
// ScriptModel with its reader and, once a front end gives it a tick source,
// the program's timer scheduler. Front ends draw, ask and forward commands;
// what a command does and when it is allowed is decided here.
//
// The document makes its log and the options program-wide for its lifetime
// (DebugLine, the engine's option reads) and follows changes of DebugMode,
// MaxDisplayLines and LogFile made in the preferences window.

#include <memory>
#include <string>

#include "base/message_log.h"
#include "base/parameter_file.h"
#include "script/definitions.h"

namespace kestrel {

class StatusWindowFactory;
class TickSource;
class TimerScheduler;

class CopyDocument {
 public:
  // The options must outlive the document.
  explicit CopyDocument(ParameterFile& options);
  CopyDocument(const CopyDocument&) = delete;
  CopyDocument& operator=(const CopyDocument&) = delete;
  // Stops and destroys the scheduler, then clears the model.
  ~CopyDocument();

  MessageLog& log() { return log_; }
  ScriptModel& model() { return model_; }
  ParameterFile& options() { return options_; }

  // The start-up lines: the line of 69 "-" and "KESTREL program started".
  void logProgramStarted();
  // "WARNING: No updates are performed ..." when the option NoUpdate is set.
  void logNoUpdateWarning();
  // The start-up of the main window's view: the start-up lines, the script
  // read when InitiallyReadScript is set ("No script file initially loaded"
  // otherwise), the NoUpdate warning and the next scheduled event.
  void initialUpdate();

  // Clears the model and reads ScriptFile into it (resolving every
  // definition). Returns the reader's result: true also when the model ended
  // up empty. NoFileName and CannotOpen are not logged here (the reader is
  // silent about them); the headless modes add their own lines.
  bool reload();
  // Why the last reload returned false.
  enum class LoadFailure { None, NoFileName, CannotOpen, Other };
  LoadFailure lastLoadFailure() const { return lastLoadFailure_; }

  // "Next scheduled event at ..." when the scheduler has a next event.
  void logNextEvent();
  // Every copy definition once, in script order; true when every run succeeded.
  // `view` makes the status windows (nullptr: none).
  bool runAll(StatusWindowFactory* view);

  bool busy() const { return model_.AnyBusy(); }
  bool hasCopyDefinition() const { return model_.HasCopyDefinition(); }

  // The menu commands of the main window, each with the rule that enables it.
  bool canLoadScript() const { return !busy(); }
  void loadScript();  // reload, next event
  bool canLoadScriptAndExecute() const { return !busy(); }
  void loadScriptAndExecute(StatusWindowFactory* view);  // reload, run all, next event
  bool canStartProcessingAll() const { return hasCopyDefinition() && !busy(); }
  void startProcessingAll(StatusWindowFactory* view);  // run all, next event
  bool canStartTimer() const;
  void startTimer();  // logs "Timer started"
  bool canStopTimer() const;
  void stopTimer();  // logs "Timer stopped"
  bool canEditScript() const { return !busy(); }
  // Clear view: empties the display; the log file keeps every line.
  void clearView() { log_.Clear(); }

  // Creates the program's scheduler ticking every PollInterval milliseconds
  // through `ticks` (which must outlive it); it starts at once. The
  // TimerDefinitions read afterwards are given it.
  void createScheduler(TickSource& ticks);
  // Stops the scheduler, removes its entries and destroys it.
  void destroyScheduler();
  TimerScheduler* scheduler() const { return scheduler_.get(); }
  // Makes the status windows of the runs that timers start (the main window;
  // none headless). Given to the definitions read afterwards; it must outlive
  // them (the model is cleared with the scheduler).
  void setTimerStatusWindows(StatusWindowFactory* factory) { timerStatusWindows_ = factory; }

 private:
  void followOptionChange(const std::string& key);
  void configureLog();

  ParameterFile& options_;
  MessageLog log_;
  ScriptModel model_;
  std::unique_ptr<TimerScheduler> scheduler_;
  StatusWindowFactory* timerStatusWindows_ = nullptr;
  LoadFailure lastLoadFailure_ = LoadFailure::None;
  int listenerId_ = 0;
};

}  // namespace kestrel
