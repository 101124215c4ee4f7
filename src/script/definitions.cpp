#include "script/definitions.h"

#include <cctype>
#include <cstdio>
#include <numeric>

#include "engine/table_endpoint.h"
#include "schedule/scheduler_next_event.h"
#include "script/script_numbers.h"

namespace kestrel {

namespace {
namespace k = keyword_id;
namespace c = command_id;

bool isDigit(char ch) { return ch >= '0' && ch <= '9'; }

// Reads `count` numbers, each a run of decimal digits with any non-digit
// characters before it; after the last number only blanks may follow. Long
// runs saturate, so they fail any range check instead of wrapping.
bool scanNumbers(const std::string& text, long* numbers, int count) {
  std::size_t i = 0;
  for (int n = 0; n < count; ++n) {
    while (i < text.size() && !isDigit(text[i])) ++i;
    if (i == text.size()) return false;
    long number = 0;
    for (; i < text.size() && isDigit(text[i]); ++i) {
      number = number * 10 + (text[i] - '0');
      if (number > 1000000000L) number = 1000000000L;
    }
    numbers[n] = number;
  }
  for (; i < text.size(); ++i) {
    if (text[i] != ' ') return false;
  }
  return true;
}

// Hours 0..23 and minutes 0..59 as seconds after midnight.
bool hoursAndMinutes(const std::string& text, std::int32_t& seconds) {
  long numbers[2];
  if (!scanNumbers(text, numbers, 2)) return false;
  if (numbers[0] > 23 || numbers[1] > 59) return false;
  seconds = static_cast<std::int32_t>(numbers[0] * 3600 + numbers[1] * 60);
  return true;
}

// "YES" sets the flag, "NO" is accepted and leaves it, anything else is refused.
bool yesFlag(const std::string& value, bool& flag) {
  if (value == "YES") {
    flag = true;
    return true;
  }
  return value == "NO";
}

bool quoteCharacter(const std::string& value, std::optional<char>& quote) {
  if (value == "NONE") {
    quote.reset();
  } else if (value == "SINGLE") {
    quote = '\'';
  } else if (value == "DOUBLE") {
    quote = '"';
  } else {
    return false;
  }
  return true;
}

bool updateModeValue(const std::string& value, int& mode) {
  static const std::pair<const char*, int> kModes[] = {
      {"FORUPDATE", update_mode::ForUpdate}, {"FORUPDATEOF", update_mode::ForUpdateOf},
      {"NONE", update_mode::None},           {"OPENCURSOR", update_mode::OpenCursor},
      {"KEYS", update_mode::Keys},
  };
  for (const auto& [word, number] : kModes) {
    if (value == word) {
      mode = number;
      return true;
    }
  }
  return false;
}

// A FORMAT value: a width of at least 1, then only digits and the letters I
// and Z (either case) with at least one I. "8I" gives "%8ld", "8IZ" "%08ld".
bool formatPattern(const std::string& value, std::string& pattern) {
  bool sawI = false;
  bool sawZ = false;
  for (char ch : value) {
    char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    if (upper == 'I') {
      sawI = true;
    } else if (upper == 'Z') {
      sawZ = true;
    } else if (!isDigit(ch)) {
      return false;
    }
  }
  long width = 0;
  for (std::size_t i = 0; i < value.size() && isDigit(value[i]); ++i) {
    width = width * 10 + (value[i] - '0');
    // A width that printf cannot take is refused rather than wrapped.
    if (width > 2147483647L) return false;
  }
  if (width < 1 || !sawI) return false;
  pattern = std::string("%") + (sawZ ? "0" : "") + std::to_string(width) + "ld";
  return true;
}

int hexDigit(char ch) {
  if (isDigit(ch)) return ch - '0';
  if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
  if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
  return -1;
}

// One character (its code), or X'hh' with two hexadecimal digits.
bool characterCode(const std::string& value, int& code) {
  if (value.size() == 1) {
    code = static_cast<unsigned char>(value[0]);
    return true;
  }
  if (value.size() != 5 || value[0] != 'X' || value[1] != '\'' || value[4] != '\'') return false;
  int high = hexDigit(value[2]);
  int low = hexDigit(value[3]);
  if (high < 0 || low < 0) return false;
  code = high * 16 + low;
  return true;
}

std::string twoDigits(int number) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d", number);
  return text;
}

}  // namespace

bool Definition::setCommand(int, const std::string&) { return false; }
bool Definition::setKeyword(int, int, const std::string&) { return false; }
bool Definition::resolve(MessageLog&, ScriptModel&) { return true; }
bool Definition::loadColumnDefinitions(MessageLog&) { return true; }
bool Definition::run(MessageLog&, StatusWindowFactory*, int) { return true; }

CopyDefinition::CopyDefinition(std::string name, const DefinitionSettings& settings)
    : Definition(std::move(name)), timerDebugging(settings.timerDebugging) {}

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
        return quoteCharacter(value, fromQuote);
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
        return quoteCharacter(value, toQuote);
      case k::Update:
        return updateModeValue(value, updateMode);
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

bool CopyDefinition::resolve(MessageLog& messageLog, ScriptModel& definitions) {
  log = &messageLog;
  auto fail = [&](const std::string& text) {
    messageLog.AddLine(text, Error);
    return false;
  };
  if (inactive) {
    messageLog.AddLine("Copy definition " + name + " ignored due to INACTIVE flag on FROM command",
                       Note);
    return true;
  }
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
    lockDefinition = definitions.FindLock(lockName);
    if (!lockDefinition) {
      return fail("Lock definition name " + lockName + " in copydefinition " + name + " not found");
    }
  }
  if (!autorunTimerName.empty()) {
    autorunTimer = definitions.FindTimer(autorunTimerName);
    if (!autorunTimer) {
      return fail("Autorun name " + autorunTimerName + " in copydefinition " + name + " not found");
    }
    createTimerUnit(messageLog, definitions);
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
      column.editDefinition = definitions.FindEdit(column.editName);
      if (!column.editDefinition) {
        return fail("Editdefinition " + column.editName + " for column " + column.fromColumn +
                    " in copydefinition " + name + " not found");
      }
    }
  }
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
  return log && run(*log, nullptr, retryNumber);
}

TranslateDefinition::TranslateDefinition(std::string name) : Definition(std::move(name)) {
  std::iota(table.begin(), table.end(), 0);
}

bool TranslateDefinition::setCommand(int commandId, const std::string& argument) {
  if (commandId != c::Trans) return false;
  return characterCode(argument, currentFrom);
}

bool TranslateDefinition::setKeyword(int commandId, int keywordId, const std::string& value) {
  if (commandId != c::Trans || keywordId != k::To) return false;
  int code = 0;
  if (!characterCode(value, code)) return false;
  table[static_cast<std::size_t>(currentFrom)] = static_cast<unsigned char>(code);
  return true;
}

EditDefinition::EditDefinition(std::string name, const DefinitionSettings& settings)
    : Definition(std::move(name)), debug(settings.debugMode) {}

EditRules EditDefinition::editRules() {
  if (coded && !codingTables) codingTables = std::make_unique<CodingTables>(codedKey, debug);
  return {changes, coded ? codingTables.get() : nullptr};
}

bool EditDefinition::setCommand(int commandId, const std::string& argument) {
  if (commandId == c::Coded) {
    codedKey = leadingNumber(argument);
    coded = true;
    return true;
  }
  if (commandId == c::Change) {
    changes.push_back({argument, std::string()});
    return true;
  }
  return false;
}

bool EditDefinition::setKeyword(int commandId, int keywordId, const std::string& value) {
  if (commandId != c::Change || keywordId != k::To || changes.empty()) return false;
  changes.back().toText = value;
  return true;
}

TimerDefinition::TimerDefinition(std::string name, const DefinitionSettings& settings)
    : Definition(std::move(name)),
      timerDebugging(settings.timerDebugging),
      scheduler(settings.scheduler) {}

bool TimerDefinition::setCommand(int commandId, const std::string& argument) {
  if (commandId == c::Start) {
    long date[3];
    if (!scanNumbers(argument, date, 3)) return false;
    if (date[0] < 1990 || date[0] > 2030 || date[1] < 1 || date[1] > 12 || date[2] < 1 ||
        date[2] > 31) {
      return false;
    }
    // mktime carries a day beyond the month's end into the next month, so
    // 1997-02-31 becomes 1997-03-03.
    std::tm local{};
    local.tm_year = static_cast<int>(date[0]) - 1900;
    local.tm_mon = static_cast<int>(date[1]) - 1;
    local.tm_mday = static_cast<int>(date[2]);
    local.tm_isdst = -1;
    startDate = std::mktime(&local);
    return startDate != static_cast<std::time_t>(-1);
  }
  if (commandId == c::Retry) {
    std::int32_t count = leadingNumber(argument);
    if (count < 0 || count > 1000) return false;
    retryCount = count;
    return true;
  }
  return false;
}

bool TimerDefinition::setKeyword(int commandId, int keywordId, const std::string& value) {
  if (commandId == c::Start) {
    switch (keywordId) {
      case k::Time:
        if (!hoursAndMinutes(value, startTime)) return false;
        startTimeGiven = true;
        return true;
      case k::Every: {
        long numbers[3];
        if (!scanNumbers(value, numbers, 3)) return false;
        if (numbers[0] > 1000 || numbers[1] > 23 || numbers[2] > 59) return false;
        every = static_cast<std::int32_t>(numbers[0] * 86400 + numbers[1] * 3600 + numbers[2] * 60);
        everyGiven = true;
        return true;
      }
      case k::Days:
        days = value;
        return true;
    }
    return false;
  }
  if (commandId == c::Retry && keywordId == k::Interval) {
    return hoursAndMinutes(value, retryInterval);
  }
  return false;
}

bool TimerDefinition::resolve(MessageLog& log, ScriptModel&) {
  if (!startTimeGiven) {
    log.AddLine("Missing start time in timerdefinition " + name, Error);
    return false;
  }
  if (timerDebugging) {
    std::tm local{};
    localtime_r(&startDate, &local);
    std::string line = "Timer [" + name + "] start=" + std::to_string(local.tm_year + 1900) + "-" +
                       twoDigits(local.tm_mon + 1) + "-" + twoDigits(local.tm_mday) + " " +
                       twoDigits(startTime / 3600) + ":" + twoDigits(startTime % 3600 / 60) +
                       " days=" + days;
    log.AddDebugLine(line.c_str());
  }
  return true;
}

bool LockDefinition::setCommand(int commandId, const std::string& argument) {
  if (argument.empty()) return false;
  if (commandId == c::Source) {
    source = argument;
    return true;
  }
  if (commandId == c::Accept) {
    acceptColumn = argument;
    return true;
  }
  return false;
}

bool LockDefinition::setKeyword(int commandId, int keywordId, const std::string& value) {
  if (commandId == c::Source) {
    switch (keywordId) {
      case k::Select:
        if (value.empty()) return false;
        select = value;
        return true;
      case k::Userid:
        userid = value;
        return true;
      case k::Password:
        password = value;
        return true;
    }
    return false;
  }
  if (commandId == c::Accept && keywordId == k::Value) {
    acceptValue = value;
    return true;
  }
  return false;
}

std::unique_ptr<Definition> createDefinition(int kind, std::string name,
                                             const DefinitionSettings& settings) {
  switch (kind) {
    case kCopyKind:
      return std::make_unique<CopyDefinition>(std::move(name), settings);
    case kTranslateKind:
      return std::make_unique<TranslateDefinition>(std::move(name));
    case kTimerKind:
      return std::make_unique<TimerDefinition>(std::move(name), settings);
    case kEditKind:
      return std::make_unique<EditDefinition>(std::move(name), settings);
    case kLockKind:
      return std::make_unique<LockDefinition>(std::move(name));
  }
  return nullptr;
}

Definition* ScriptModel::Append(std::unique_ptr<Definition> definition) {
  if (!definition) return nullptr;
  definition->owner = this;
  definition->next = nullptr;
  if (!owned_.empty()) owned_.back()->next = definition.get();
  owned_.push_back(std::move(definition));
  return owned_.back().get();
}

void ScriptModel::Clear() {
  for (std::unique_ptr<Definition>& definition : owned_) definition.reset();
  owned_.clear();
}

bool ScriptModel::ResolveAll(MessageLog& log) {
  for (Definition* definition = first(); definition; definition = definition->next) {
    if (!definition->resolve(log, *this)) return false;
  }
  return true;
}

bool ScriptModel::HasCopyDefinition() const {
  for (Definition* definition = first(); definition; definition = definition->next) {
    if (definition->kind() == kCopyKind) return true;
  }
  return false;
}

bool ScriptModel::AnyBusy() const {
  for (Definition* definition = first(); definition; definition = definition->next) {
    if (definition->isBusy()) return true;
  }
  return false;
}

bool ScriptModel::RunAll(StatusWindowFactory* view) {
  bool all = true;
  for (Definition* definition = first(); definition; definition = definition->next) {
    all = definition->run(log_, view, 0) && all;
  }
  return all;
}

void ScriptModel::LogNextEvent(NextEventSource* scheduler) {
  std::time_t when = 0;
  if (!scheduler || !scheduler->nextEvent(when)) return;
  std::tm local{};
  localtime_r(&when, &local);
  char line[96];
  std::snprintf(line, sizeof line, "Next scheduled event at %04d-%02d-%02d %02d:%02d:%02d",
                local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                local.tm_sec);
  log_.AddLine(line, Normal);
}

Definition* ScriptModel::Find(int kind, const std::string& name) const {
  for (Definition* definition = first(); definition; definition = definition->next) {
    if (definition->kind() == kind && definition->name == name) return definition;
  }
  return nullptr;
}

TimerDefinition* ScriptModel::FindTimer(const std::string& name) const {
  return static_cast<TimerDefinition*>(Find(kTimerKind, name));
}
LockDefinition* ScriptModel::FindLock(const std::string& name) const {
  return static_cast<LockDefinition*>(Find(kLockKind, name));
}
TranslateDefinition* ScriptModel::FindTranslate(const std::string& name) const {
  return static_cast<TranslateDefinition*>(Find(kTranslateKind, name));
}
EditDefinition* ScriptModel::FindEdit(const std::string& name) const {
  return static_cast<EditDefinition*>(Find(kEditKind, name));
}

}  // namespace kestrel
