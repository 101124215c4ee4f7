#include "engine/copy_definition.h"

#include <cstdio>

#include "base/status_display.h"
#include "engine/copy_run.h"
#include "engine/edit_definition.h"
#include "engine/run_options.h"
#include "engine/table_endpoint.h"
#include "engine/target_lock.h"
#include "schedule/scheduler_next_event.h"
#include "script/script_numbers.h"

namespace kestrel {

namespace {
namespace k = keyword_id;
namespace c = command_id;

const char kSeparatorLine[] =
    "---------------------------------------------------------------------";
}  // namespace

CopyDefinition::CopyDefinition(std::string name, const DefinitionSettings& settings)
    : Definition(std::move(name)),
      timerDebugging(settings.timerDebugging),
      timerStatusWindows(settings.timerStatusWindows) {}

bool CopyDefinition::setCommand(int commandId, const std::string& argument) {
  switch (commandId) {
    case c::From:
      fromSource = argument;
      return true;
    case c::To:
      toSource = argument;
      return true;
    case c::Copy: {
      CopyColumn column;
      column.fromColumn = argument;
      column.toColumn = argument;
      copyColumns.push_back(std::move(column));
      return true;
    }
    case c::Set: {
      SetColumn column;
      column.toColumn = argument;
      setColumns.push_back(std::move(column));
      return true;
    }
    case c::Autorun:
      autorunTimerName = argument;
      return true;
  }
  return false;
}

bool CopyDefinition::setKeyword(int commandId, int keywordId, const std::string& value) {
  if (commandId == c::From) {
    switch (keywordId) {
      case k::Table:
        fromTable = value;
        return true;
      case k::Userid:
        fromUserid = value;
        return true;
      case k::Password:
        fromPassword = value;
        return true;
      case k::Qualifier:
        fromQualifier = value;
        return true;
      case k::Creator:
        fromCreator = value;
        return true;
      case k::Where:
        fromWhere = value;
        return true;
      case k::OrderBy:
        orderBy = value;
        return true;
      case k::Select:
        selectStatement = value;
        return true;
      case k::Lock:
        lockName = value;
        return true;
      case k::Every:
        every = leadingNumber(value);
        return true;
      case k::First:
        first = leadingNumber(value);
        return true;
      case k::Quote:
        return quoteCharacterFor(value, fromQuote);
      case k::Disconnect:
        return yesFlag(value, fromDisconnect);
      case k::Inactive:
        return yesFlag(value, inactive);
      case k::Replicate:
        // The one flag that defaults to set: NO clears it, YES leaves it.
        if (value == "NO") {
          replicate = false;
          return true;
        }
        return value == "YES";
    }
    return false;
  }
  if (commandId == c::To) {
    switch (keywordId) {
      case k::Table:
        toTable = value;
        return true;
      case k::Userid:
        toUserid = value;
        return true;
      case k::Password:
        toPassword = value;
        return true;
      case k::Qualifier:
        toQualifier = value;
        return true;
      case k::Creator:
        toCreator = value;
        return true;
      case k::Where:
        toWhere = value;
        return true;
      case k::Quote:
        return quoteCharacterFor(value, toQuote);
      case k::Update:
        return updateModeFor(value, updateMode);
      case k::Disconnect:
        return yesFlag(value, toDisconnect);
    }
    return false;
  }
  if (commandId == c::Copy) {
    if (copyColumns.empty()) return false;
    CopyColumn& column = copyColumns.back();
    switch (keywordId) {
      case k::To:
        column.toColumn = value;
        return true;
      case k::Trans:
        column.translateName = value;
        return true;
      case k::Edit:
        column.editName = value;
        return true;
      case k::Key:
        return yesFlag(value, column.key);
      case k::Log:
        return yesFlag(value, column.logged);
      case k::Hex:
        return yesFlag(value, column.hex);
      case k::LeftTrim:
        return yesFlag(value, column.leftTrim);
      case k::Unchanged:
        return yesFlag(value, column.unchanged);
      case k::Format:
        if (!formatPattern(value, column.formatPattern)) return false;
        column.formatted = true;
        return true;
    }
    return false;
  }
  if (commandId == c::Set) {
    if (setColumns.empty()) return false;
    SetColumn& column = setColumns.back();
    switch (keywordId) {
      case k::Value:
        column.value = value;
        return true;
      case k::CurrentDate:
        return yesFlag(value, column.currentDate);
    }
    return false;
  }
  return false;
}

bool CopyDefinition::check(MessageLog& messageLog, ScriptModel& definitions) {
  auto fail = [&](const std::string& text) {
    messageLog.AddLine(text, Error);
    return false;
  };
  if (inactive) return true;
  if (fromTable.empty() && selectStatement.empty()) {
    return fail("Missing FROM table or SELECT statement in copy definition " + name);
  }
  if (toTable.empty()) return fail("Missing TO table definition in copy definition " + name);
  if (copyColumns.empty()) return fail("Missing column definitions in copy definition " + name);
  bool anyKey = false;
  for (const CopyColumn& column : copyColumns) anyKey = anyKey || column.key;
  if (!anyKey) return fail("Missing KEY=YES column definitions in copy definition " + name);
  if (!selectStatement.empty() &&
      (!fromTable.empty() || !fromCreator.empty() || !fromQualifier.empty())) {
    return fail(
        "Cannot have both SELECT statement and TABLE name in FROM statement in copy definition " +
        name);
  }
  if (!lockName.empty()) {
    lockDefinition = findLockDefinition(definitions, lockName);
    if (!lockDefinition) {
      return fail("Lock definition name " + lockName + " in copydefinition " + name + " not found");
    }
  }
  if (!autorunTimerName.empty()) {
    autorunTimer = definitions.FindTimer(autorunTimerName);
    if (!autorunTimer) {
      return fail("Autorun name " + autorunTimerName + " in copydefinition " + name + " not found");
    }
  }
  for (CopyColumn& column : copyColumns) {
    if (!column.translateName.empty()) {
      column.translateTable = definitions.FindTranslate(column.translateName);
      if (!column.translateTable) {
        return fail("Translatedefinition " + column.translateName + " for column " +
                    column.fromColumn + " in copydefinition " + name + " not found");
      }
    }
    if (!column.editName.empty()) {
      column.editDefinition = findEditDefinition(definitions, column.editName);
      if (!column.editDefinition) {
        return fail("Editdefinition " + column.editName + " for column " + column.fromColumn +
                    " in copydefinition " + name + " not found");
      }
    }
  }
  return true;
}

bool CopyDefinition::resolve(MessageLog& messageLog, ScriptModel& definitions) {
  log = &messageLog;
  if (inactive) {
    messageLog.AddLine("Copy definition " + name + " ignored due to INACTIVE flag on FROM command",
                       Note);
    return true;
  }
  if (!check(messageLog, definitions)) return false;
  if (autorunTimer) createTimerUnit(messageLog, definitions);
  return resolveEndpoints(messageLog);
}

void CopyDefinition::createTimerUnit(MessageLog& messageLog, ScriptModel& definitions) {
  // The next-event line after a timer run names the program's scheduler, the
  // one the timer definition was given.
  TimerScheduler* scheduler = autorunTimer->scheduler;
  ScriptModel* model = &definitions;
  timerUnit = std::make_unique<TimerEntry>(
      copyTimerProcedure(this, messageLog, timerDebugging, [model, scheduler] {
        SchedulerNextEvent events(scheduler);
        model->LogNextEvent(&events);
      }));
  TimerSchedule schedule;
  schedule.timerName = autorunTimer->name;
  schedule.startDate = autorunTimer->startDate;
  schedule.startTime = autorunTimer->startTime;
  schedule.startTimeGiven = autorunTimer->startTimeGiven;
  schedule.every = autorunTimer->every;
  schedule.everyGiven = autorunTimer->everyGiven;
  schedule.days = autorunTimer->days;
  schedule.retryCount = autorunTimer->retryCount;
  schedule.retryInterval = autorunTimer->retryInterval;
  schedule.scheduler = scheduler;
  scheduleTimerEntry(*timerUnit, schedule, name, timerDebugging, messageLog);
}

bool CopyDefinition::runFromTimer(int retryNumber) {
  // log is set by resolve, which creates the timer entry.
  return log && run(*log, timerStatusWindows, retryNumber);
}

CopyDefinition::~CopyDefinition() = default;

bool CopyDefinition::resolveEndpoints(MessageLog& messageLog) {
  sourceEndpoint = std::make_unique<TableEndpoint>();
  targetEndpoint = std::make_unique<TableEndpoint>();
  if (!selectStatement.empty()) {
    sourceEndpoint->setSelect(fromSource, selectStatement, fromUserid, fromPassword, messageLog);
  } else {
    sourceEndpoint->setTable(fromSource, fromQualifier, fromCreator, fromTable, fromUserid,
                             fromPassword, messageLog);
  }
  targetEndpoint->setTable(toSource, toQualifier, toCreator, toTable, toUserid, toPassword,
                           messageLog);
  const RunOptions options = RunOptions::current();
  sourceEndpoint->setOptions(options);
  targetEndpoint->setOptions(options);
  bool loaded = loadColumnDefinitions(messageLog);
  if (loaded) {
    sourceEndpoint->applyQuote(fromQuote);
    targetEndpoint->applyQuote(toQuote);
  }
  return finishRun(loaded);
}

bool CopyDefinition::loadColumnDefinitions(MessageLog& messageLog) {
  if (columnsLoaded) return true;
  if (!log) log = &messageLog;
  if (!sourceEndpoint || !targetEndpoint) {
    messageLog.AddLine("Copy definition " + name + " was not resolved", Error);
    return false;
  }
  messageLog.AddLine("Loading column definitions for copy definition " + name, Normal);
  for (CopyColumn& column : copyColumns) {
    EndpointColumn* source =
        sourceEndpoint->addColumn(column.fromColumn, column.key, column.logged, column.hex, nullptr,
                                  "", nullptr, &column, column.leftTrim, column.unchanged);
    // The caller ends the run (and writes its failure line once).
    if (!source) return false;
    EndpointColumn* target =
        targetEndpoint->addColumn(column.toColumn, column.key, column.logged, column.hex, source,
                                  column.formatted ? column.formatPattern : std::string(), nullptr,
                                  &column, false, column.unchanged);
    if (!target) return false;
    // Keys of numbers, decimal text included, match as numbers: a key
    // "1.5000000000" from one database is the key 1.5 of another.
    if (isNumberBinding(target->description.bindingType) || source->description.decimalText ||
        target->description.decimalText)
      source->compareAsNumber = true;
    column.sourceColumn = source;
    column.targetColumn = target;
  }
  for (SetColumn& column : setColumns) {
    if (!targetEndpoint->addColumn(column.toColumn, false, false, false, nullptr, "", &column,
                                   nullptr, false, false))
      return false;
  }
  messageLog.AddLine("Column definitions for copy definition " + name + " successfully loaded",
                     Normal);
  columnsLoaded = true;
  return true;
}

bool CopyDefinition::finishRun(bool ok) {
  if (fromDisconnect && sourceEndpoint && sourceEndpoint->isConnected())
    sourceEndpoint->disconnect();
  if (toDisconnect && targetEndpoint && targetEndpoint->isConnected()) targetEndpoint->disconnect();
  if (!ok && log) log->AddLine("Processing could not be performed", Error);
  busy = false;
  if (autorunTimer && autorunTimer->scheduler) autorunTimer->scheduler->start();
  return ok;
}

bool CopyDefinition::run(MessageLog& messageLog, StatusWindowFactory* view, int retryNumber) {
  log = &messageLog;
  TimerScheduler* scheduler = autorunTimer ? autorunTimer->scheduler : nullptr;
  if (scheduler) scheduler->stop();
  if (inactive) {
    messageLog.AddLine("Copy definition " + name + " ignored due to INACTIVE flag in FROM command",
                       Note);
    if (scheduler) scheduler->start();
    return true;
  }
  const RunOptions options = RunOptions::current();
  checkForZeroRows = options.checkForZeroRows;
  messageLog.AddLine(kSeparatorLine, Normal);
  std::string start = "Starting processing copy definition " + name;
  if (retryNumber >= 1) {
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, " (retry number %ld)", static_cast<long>(retryNumber));
    start += suffix;
  }
  messageLog.AddLine(start, Normal);
  if (lockDefinition && !lockDefinition->check(messageLog)) {
    messageLog.AddLine(
        "Copy definition " + name + " cannot be performed due to LOCKDEFINITION state", Note);
    if (scheduler) scheduler->start();
    return false;
  }

  StatusDisplay status;
  StatusLine* nameLine = status.AddStatusLine("Copy definition name:");
  StatusLine* fromLine = status.AddStatusLine("From table:");
  StatusLine* toLine = status.AddStatusLine("To table:");
  StatusLine* operation = status.AddStatusLine("Current operation:");
  StatusLine* rowNumber = status.AddStatusLine("Processing row number:");
  status.setCancelActive(options.cancelActive);
  status.setTitle("KESTREL Copy status");
  status.setParent(view);

  if (!loadColumnDefinitions(messageLog)) return finishRun(false);
  busy = true;
  sourceEndpoint->setOptions(options);
  targetEndpoint->setOptions(options);
  status.SetValue(nameLine, name);
  status.SetValue(fromLine, fromTable + " in " + fromSource);
  status.SetValue(toLine, toTable + " in " + toSource);

  // Held until the run has ended: two processes never write into one target at once.
  TargetLock targetLock;
  if (!targetLock.acquire(toSource, qualifiedTableName(toQualifier, toCreator, toTable),
                          TargetLock::kDefaultWait, messageLog)) {
    return finishRun(false);
  }
  CopyRun copy(*this, messageLog, status, operation, rowNumber, options);
  // The target's changes are one transaction: committed when the run
  // succeeds, rolled back when it fails or is cancelled.
  bool copied = targetEndpoint->beginTransaction();
  copied = copied && (replicate ? copy.replicate() : copy.simpleCopy());
  if (!targetEndpoint->endTransaction(copied)) copied = false;
  if (!copied) return finishRun(false);
  if (options.noUpdate) {
    messageLog.AddLine(
        "WARNING: No updates were performed - updates were surpressed using an option in "
        "preferences",
        Note);
  }
  messageLog.AddLine("Ending processing copy definition " + name, Normal);
  return finishRun(true);
}

}  // namespace kestrel
