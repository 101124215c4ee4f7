#pragma once
// The typed content of one script file: one definition record per paragraph,
// in script order, held by the ScriptModel. Each record converts and checks
// its command arguments and keyword values as the reader hands them over
// (setCommand, setKeyword) and is resolved once the whole file has been read.
// The copy engine, the timer scheduler and the lock check work only on these
// records.

#include <array>
#include <cstdint>
#include <ctime>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/column_transforms.h"
#include "odbc/column_value.h"
#include "schedule/timer_scheduler.h"
#include "script/script_grammar.h"
#include "shell/message_log.h"

namespace kestrel {

class ScriptModel;
class StatusWindowFactory;
class TableEndpoint;
struct EndpointColumn;
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
};

// Values of CopyDefinition::updateMode, set by the TO keyword UPDATE.
namespace update_mode {
enum : int {
  ForUpdate = 0,    // FORUPDATE
  ForUpdateOf = 1,  // FORUPDATEOF
  None = 2,         // NONE
  OpenCursor = 3,   // OPENCURSOR
  Keys = 4,         // KEYS: keyed DELETE and UPDATE instead of WHERE CURRENT OF
};
}  // namespace update_mode

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
  virtual bool isBusy() const { return false; }
  virtual bool loadColumnDefinitions(MessageLog& log);
  // view: the window that becomes the parent of a run's status window.
  virtual bool run(MessageLog& log, StatusWindowFactory* view, int retryNumber);

  std::string name;  // as read: bare names are upper case
  Definition* next = nullptr;
  ScriptModel* owner = nullptr;
};

class TranslateDefinition;
class EditDefinition;
class TimerDefinition;
class LockDefinition;

struct CopyColumn {
  std::string fromColumn;
  std::string toColumn;  // fromColumn until TO replaces it
  std::string translateName;
  std::string editName;
  TranslateDefinition* translateTable = nullptr;  // bound by resolve
  EditDefinition* editDefinition = nullptr;       // bound by resolve
  bool key = false;
  bool logged = false;
  bool hex = false;
  bool leftTrim = false;
  bool unchanged = false;
  // Run state: the column on each side, set when the columns are loaded.
  EndpointColumn* sourceColumn = nullptr;
  EndpointColumn* targetColumn = nullptr;
  bool formatted = false;
  std::string formatPattern;  // printf pattern for a long, e.g. "%08ld"
};

struct SetColumn {
  std::string toColumn;
  std::string value;
  bool currentDate = false;
  // The copy engine adds its per-column run state here.
};

// A copy definition is the target of its timer entry: the entry's procedure
// runs it (with the definition's own log and no status window parent) unless
// it is busy.
class CopyDefinition : public Definition, public TimerTarget {
 public:
  CopyDefinition(std::string name, const DefinitionSettings& settings);
  ~CopyDefinition() override;

  int kind() const override { return kCopyKind; }
  bool setCommand(int commandId, const std::string& argument) override;
  bool setKeyword(int commandId, int keywordId, const std::string& value) override;
  // Checks the definition and binds the lock, timer, translate and edit
  // names to the definitions of the model.
  bool resolve(MessageLog& log, ScriptModel& definitions) override;
  bool isBusy() const override { return busy; }
  // Connects both sides and describes every column, once.
  bool loadColumnDefinitions(MessageLog& log) override;
  // One run: a simple copy or a replication.
  bool run(MessageLog& log, StatusWindowFactory* view, int retryNumber) override;
  // The common end of every path after the lock check; returns ok.
  bool finishRun(bool ok);
  // Sets up the two table endpoints and loads the column definitions (the
  // last steps of resolve).
  bool resolveEndpoints(MessageLog& log);

  std::string timerTargetName() const override { return name; }
  bool timerTargetBusy() const override { return isBusy(); }
  bool runFromTimer(int retryNumber) override;
  // Step 8 of resolve: the timer entry of AUTORUN, set up from autorunTimer
  // and registered with its scheduler when it will ever run.
  void createTimerUnit(MessageLog& log, ScriptModel& definitions);

  std::string fromSource;
  std::string toSource;
  std::string fromTable, toTable;
  std::string fromUserid, toUserid;
  std::string fromPassword, toPassword;
  std::string fromQualifier, toQualifier;
  std::string fromCreator, toCreator;
  std::string autorunTimerName;
  std::string fromWhere;
  std::string orderBy;
  std::string toWhere;
  std::string selectStatement;
  std::string lockName;
  MessageLog* log = nullptr;                 // set by resolve
  TimerDefinition* autorunTimer = nullptr;   // bound by resolve
  LockDefinition* lockDefinition = nullptr;  // bound by resolve
  std::list<CopyColumn> copyColumns;         // stable addresses: the engine keeps pointers
  std::list<SetColumn> setColumns;
  bool busy = false;
  bool columnsLoaded = false;
  bool timerDebugging = false;
  bool fromDisconnect = false;
  bool toDisconnect = false;
  bool replicate = true;
  bool inactive = false;
  bool checkForZeroRows = false;
  int updateMode = update_mode::ForUpdate;
  std::unique_ptr<TableEndpoint> sourceEndpoint;
  std::unique_ptr<TableEndpoint> targetEndpoint;
  std::optional<char> fromQuote, toQuote;  // no value: no quote character
  std::int32_t every = 1;
  std::int32_t first = -1;
  // Created by resolve when AUTORUN names a timer; registered with the timer's
  // scheduler only when it will ever run. Destroying it unregisters it.
  std::unique_ptr<TimerEntry> timerUnit;
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

using EditChange = ChangeRule;

class EditDefinition : public Definition {
 public:
  EditDefinition(std::string name, const DefinitionSettings& settings);

  int kind() const override { return kEditKind; }
  bool setCommand(int commandId, const std::string& argument) override;
  bool setKeyword(int commandId, int keywordId, const std::string& value) override;

  std::vector<EditChange> changes;  // script order
  std::int32_t codedKey = 0;
  bool coded = false;
  bool debug = false;
  // Built on the first coding of a value; kept until the model is cleared.
  std::unique_ptr<CodingTables> codingTables;
  // The rules as the transforms apply them (builds the coding tables' owner
  // on first use when CODED was given).
  EditRules editRules();
};

class TimerDefinition : public Definition {
 public:
  TimerDefinition(std::string name, const DefinitionSettings& settings);

  int kind() const override { return kTimerKind; }
  bool setCommand(int commandId, const std::string& argument) override;
  bool setKeyword(int commandId, int keywordId, const std::string& value) override;
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

class LockDefinition : public Definition {
 public:
  explicit LockDefinition(std::string name) : Definition(std::move(name)) {}

  int kind() const override { return kLockKind; }
  bool setCommand(int commandId, const std::string& argument) override;
  bool setKeyword(int commandId, int keywordId, const std::string& value) override;

  std::string source;
  std::string select;
  std::string acceptColumn;
  std::string acceptValue;
  std::string userid;
  std::string password;

  // Connects to `source`, runs `select` and finds the result column named
  // acceptColumn (case counts); fills the run state below from its
  // description. False, after an Error line, when the source cannot be
  // reached, the SELECT fails, the column is missing or holds dates or times.
  // Nothing stays connected afterwards.
  bool resolve(MessageLog& log, ScriptModel& definitions) override;
  // Runs `select` again on a connection of its own and binds the column
  // found by resolve, by its number. True only when at least one row came
  // back and every row holds acceptValue in that column; every other
  // outcome is logged and ends with the "Check of LOCKDEFINITION" note.
  bool check(MessageLog& log);

  // Run state, set by resolve and read by every check.
  ColumnDescription acceptDescription;  // the accept column as resolve described it
  bool acceptAsNumber = false;          // bound as characters, SQL NUMERIC or DECIMAL
  bool acceptAsInteger = false;         // bound as an integer
  bool acceptAsFloat = false;           // bound as floating point
  std::int32_t acceptInteger = 0;
  double acceptNumber = 0.0;
};

// A new record of that kind (DefinitionKind), or nullptr for an unknown kind.
std::unique_ptr<Definition> createDefinition(int kind, std::string name,
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
  LockDefinition* FindLock(const std::string& name) const;
  TranslateDefinition* FindTranslate(const std::string& name) const;
  EditDefinition* FindEdit(const std::string& name) const;

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
