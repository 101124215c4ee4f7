#pragma once
// The typed content of one script file: one definition record per paragraph,
// in script order, held by the ScriptModel. Each record converts and checks
// its command arguments and keyword values as the reader hands them over
// (setCommand, setKeyword) and is resolved once the whole file has been read.
// Copy, edit and lock definitions are declared with the behaviour they carry
// (engine/copy_definition.h, engine/edit_definition.h,
// schedule/lock_definition.h); this file holds what every record shares and
// the records that need nothing beyond the script.

#include <array>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "base/message_log.h"
#include "script/script_grammar.h"

namespace kestrel {

class ScriptModel;
class StatusWindowFactory;
class TimerScheduler;
// What the ScriptModel asks of the timer scheduler for the "Next scheduled
// event" line; SchedulerNextEvent (schedule/) adapts the scheduler to it. A
// null pointer means that the program has no scheduler (headless checks, tests).
class NextEventSource {
 public:
  virtual ~NextEventSource() = default;
  // The earliest next scheduled time; false when nothing is scheduled.
  virtual bool nextEvent(std::time_t& when) = 0;
};

// Preferences and program-wide objects that a record takes over when it is
// created.
struct DefinitionSettings {
  bool timerDebugging = false;  // option TimerDebugging
  bool debugMode = false;       // option DebugMode
  TimerScheduler* scheduler = nullptr;
  // Makes the status windows of runs started by a timer; none without a window.
  StatusWindowFactory* timerStatusWindows = nullptr;
};

class Definition {
 public:
  explicit Definition(std::string name) : name(std::move(name)) {}
  Definition(const Definition&) = delete;
  Definition& operator=(const Definition&) = delete;
  virtual ~Definition() = default;

  // 1 copy, 2 translate, 3 timer, 4 edit, 5 lock (DefinitionKind); 0 here.
  virtual int kind() const { return 0; }
  // Takes a command's argument; false rejects it.
  virtual bool setCommand(int commandId, const std::string& argument);
  // Takes one keyword value of the command just set; false rejects it.
  virtual bool setKeyword(int commandId, int keywordId, const std::string& value);
  // Called once for every definition after the whole file has been read; a
  // false result empties the model.
  virtual bool resolve(MessageLog& log, ScriptModel& definitions);
  // The part of resolve that needs no database and starts nothing: what
  // kestrel --check reports. Writes its error line and returns false.
  virtual bool check(MessageLog& log, ScriptModel& definitions);
  virtual bool isBusy() const { return false; }
  virtual bool loadColumnDefinitions(MessageLog& log);
  // view: the window that becomes the parent of a run's status window.
  virtual bool run(MessageLog& log, StatusWindowFactory* view, int retryNumber);

  std::string name;  // as read: bare names are upper case
  Definition* next = nullptr;
  ScriptModel* owner = nullptr;
};

class TranslateDefinition : public Definition {
 public:
  explicit TranslateDefinition(std::string name);

  int kind() const override { return kTranslateKind; }
  bool setCommand(int commandId, const std::string& argument) override;
  bool setKeyword(int commandId, int keywordId, const std::string& value) override;

  std::array<unsigned char, 256> table;  // indexed by character code
  int currentFrom = 0;                   // the code named by the latest TRANS
};

class TimerDefinition : public Definition {
 public:
  TimerDefinition(std::string name, const DefinitionSettings& settings);

  int kind() const override { return kTimerKind; }
  bool setCommand(int commandId, const std::string& argument) override;
  bool setKeyword(int commandId, int keywordId, const std::string& value) override;
  // A timer needs a start time.
  bool check(MessageLog& log, ScriptModel& definitions) override;
  bool resolve(MessageLog& log, ScriptModel& definitions) override;

  std::string days = "YYYYYYY";      // Monday first, 'Y' allows the day
  std::time_t startDate = 0;         // local midnight of the START date; 0 none
  std::int32_t every = 0;            // seconds
  std::int32_t retryInterval = 900;  // seconds
  std::int32_t startTime = 0;        // seconds after midnight
  bool startTimeGiven = false;
  bool everyGiven = false;
  bool timerDebugging = false;
  std::int32_t retryCount = 0;
  TimerScheduler* scheduler = nullptr;
};

// Creates the record of each paragraph kind as the reader meets it. The
// records of copy, edit and lock definitions carry the behaviour of the layers
// above this one (the copy engine, the lock check); the program hands the
// reader the factory that makes them (engine/definition_factory.h).
class DefinitionFactory {
 public:
  virtual ~DefinitionFactory() = default;
  // A new record of that kind (DefinitionKind), or nullptr for an unknown kind.
  virtual std::unique_ptr<Definition> create(int kind, std::string name,
                                             const DefinitionSettings& settings) const = 0;
};

// The records this layer defines itself: translate tables and timers. Every
// other kind gets a record that takes no command, so a reader given only this
// factory reports every command of such a paragraph as an error.
std::unique_ptr<Definition> createScriptDefinition(int kind, std::string name,
                                                   const DefinitionSettings& settings);

class ScriptModel {
 public:
  explicit ScriptModel(MessageLog& log) : log_(log) {}
  ScriptModel(const ScriptModel&) = delete;
  ScriptModel& operator=(const ScriptModel&) = delete;
  ~ScriptModel() { Clear(); }

  // Appends at the end of the script order and takes ownership; names are
  // not checked for uniqueness.
  Definition* Append(std::unique_ptr<Definition> definition);
  // Destroys every definition, first to last.
  void Clear();
  // check on every definition in script order, whatever the results; true
  // when every check passed.
  bool CheckAll(MessageLog& log);
  // resolve on every definition in script order; stops at the first failure.
  bool ResolveAll(MessageLog& log);
  bool HasCopyDefinition() const;
  bool AnyBusy() const;
  // run(log, view, 0) on every definition in script order, whatever the results.
  // True when every run returned true.
  bool RunAll(StatusWindowFactory* view);
  // Logs "Next scheduled event at ..." when the scheduler has a next event.
  void LogNextEvent(NextEventSource* scheduler);

  // The first definition of that kind whose name is exactly equal, or nullptr.
  Definition* Find(int kind, const std::string& name) const;
  TimerDefinition* FindTimer(const std::string& name) const;
  TranslateDefinition* FindTranslate(const std::string& name) const;

  Definition* first() const { return owned_.empty() ? nullptr : owned_.front().get(); }
  Definition* last() const { return owned_.empty() ? nullptr : owned_.back().get(); }
  bool empty() const { return owned_.empty(); }
  std::size_t size() const { return owned_.size(); }
  MessageLog& log() const { return log_; }

 private:
  MessageLog& log_;
  std::vector<std::unique_ptr<Definition>> owned_;  // script order; linked by next
};

}  // namespace kestrel
