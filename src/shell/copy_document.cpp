#include "shell/copy_document.h"

#include "base/platform.h"
#include "engine/definition_factory.h"
#include "schedule/scheduler_next_event.h"
#include "schedule/timer_scheduler.h"
#include "script/script_reader.h"

namespace kestrel {

CopyDocument::CopyDocument(ParameterFile& options) : options_(options), model_(log_) {
  configureLog();
  setProgramLog(&log_);
  setProgramOptions(&options_);
  listenerId_ =
      options_.addChangeListener([this](const std::string& key) { followOptionChange(key); });
}

CopyDocument::~CopyDocument() {
  options_.removeChangeListener(listenerId_);
  destroyScheduler();
  model_.Clear();
  if (programOptions() == &options_) setProgramOptions(nullptr);
  setProgramLog(nullptr);
}

void CopyDocument::configureLog() {
  log_.Configure(options_.integer("MaxDisplayLines"), options_.text("LogFile"),
                 options_.integer("DebugMode") != 0);
}

void CopyDocument::followOptionChange(const std::string& key) {
  // Keys compare without regard to case, as the option store does.
  auto is = [&key](const char* name) {
    if (key.size() != std::char_traits<char>::length(name)) return false;
    for (std::size_t i = 0; i < key.size(); ++i) {
      if (std::tolower(static_cast<unsigned char>(key[i])) !=
          std::tolower(static_cast<unsigned char>(name[i])))
        return false;
    }
    return true;
  };
  if (is("DebugMode") || is("MaxDisplayLines") || is("LogFile")) configureLog();
}

void CopyDocument::logProgramStarted() {
  log_.AddLine(std::string(69, '-'), Normal);
  log_.AddLine("KESTREL program started", Normal);
}

void CopyDocument::logNoUpdateWarning() {
  if (options_.integer("NoUpdate") != 0) {
    log_.AddLine(
        "WARNING: No updates are performed - updates are surpressed using a flag in preferences",
        Note);
  }
}

void CopyDocument::initialUpdate() {
  logProgramStarted();
  if (options_.integer("InitiallyReadScript") != 0) {
    reload();
  } else {
    log_.AddLine("No script file initially loaded", Note);
  }
  logNoUpdateWarning();
  logNextEvent();
}

bool CopyDocument::reload() {
  model_.Clear();
  ScriptReader reader(log_, &options_);
  reader.setModel(&model_);
  reader.setFactory(&runnableDefinitions());
  reader.setScheduler(scheduler_.get());
  reader.setTimerStatusWindows(timerStatusWindows_);
  bool loaded = reader.Load(options_.text("ScriptFile"));
  switch (reader.failure()) {
    case ScriptReader::Failure::None:
      lastLoadFailure_ = LoadFailure::None;
      break;
    case ScriptReader::Failure::NoFileName:
      lastLoadFailure_ = LoadFailure::NoFileName;
      break;
    case ScriptReader::Failure::CannotOpen:
      lastLoadFailure_ = LoadFailure::CannotOpen;
      break;
    default:
      lastLoadFailure_ = LoadFailure::Other;
      break;
  }
  return loaded;
}

void CopyDocument::logNextEvent() {
  SchedulerNextEvent events(scheduler_.get());
  model_.LogNextEvent(&events);
}

bool CopyDocument::runAll(StatusWindowFactory* view) { return model_.RunAll(view); }

void CopyDocument::loadScript() {
  if (!canLoadScript()) return;
  reload();
  logNextEvent();
}

void CopyDocument::loadScriptAndExecute(StatusWindowFactory* view) {
  if (!canLoadScriptAndExecute()) return;
  reload();
  if (!hasCopyDefinition()) return;
  runAll(view);
  logNextEvent();
}

void CopyDocument::startProcessingAll(StatusWindowFactory* view) {
  if (!canStartProcessingAll()) return;
  runAll(view);
  logNextEvent();
}

bool CopyDocument::canStartTimer() const { return scheduler_ && !scheduler_->isActive(); }
bool CopyDocument::canStopTimer() const { return scheduler_ && scheduler_->isActive(); }

void CopyDocument::startTimer() {
  if (!scheduler_) return;
  scheduler_->start();
  log_.AddLine("Timer started", Note);
}

void CopyDocument::stopTimer() {
  if (!scheduler_) return;
  scheduler_->stop();
  log_.AddLine("Timer stopped", Error);
}

void CopyDocument::createScheduler(TickSource& ticks) {
  if (scheduler_) return;
  scheduler_ = std::make_unique<TimerScheduler>(&ticks, options_.integer("PollInterval"));
}

void CopyDocument::destroyScheduler() {
  if (!scheduler_) return;
  scheduler_->stop();
  // The copy definitions' timer entries unregister themselves when they are
  // destroyed; clearing the model first keeps none pointing at a dead scheduler.
  model_.Clear();
  scheduler_.reset();
}

}  // namespace kestrel
