#pragma once
// A copy definition: the record of one COPYDEFINITION paragraph with its
// columns, and the run that copies or replicates its source into its target
// (copy_run.cpp).

#include <cstdint>
#include <list>
#include <memory>
#include <optional>
#include <string>

#include "odbc/database_format.h"
#include "schedule/lock_definition.h"
#include "schedule/timer_scheduler.h"
#include "script/definitions.h"

namespace kestrel {

class EditDefinition;
class TableEndpoint;
struct EndpointColumn;

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
  // Checks that the definition is complete and binds the lock, timer,
  // translate and edit names to the definitions of the model; an inactive
  // definition is not checked.
  bool check(MessageLog& log, ScriptModel& definitions) override;
  // check, then the timer entry of AUTORUN and both table endpoints with their
  // columns (which connects to the data sources).
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
  // The last part of resolving an AUTORUN: the timer entry, set up from autorunTimer
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
  StatusWindowFactory* timerStatusWindows = nullptr;  // the status windows of timer runs
  bool fromDisconnect = false;
  bool toDisconnect = false;
  bool replicate = true;
  bool inactive = false;
  bool checkForZeroRows = false;
  UpdateMode updateMode = kDefaultUpdateMode;
  std::unique_ptr<TableEndpoint> sourceEndpoint;
  std::unique_ptr<TableEndpoint> targetEndpoint;
  std::string fromQuote, toQuote;  // the quote character of QUOTE; empty: none
  std::int32_t every = 1;
  std::int32_t first = -1;
  // Created by resolve when AUTORUN names a timer; registered with the timer's
  // scheduler only when it will ever run. Destroying it unregisters it.
  std::unique_ptr<TimerEntry> timerUnit;
};

}  // namespace kestrel
