#include "script/definitions.h"

#include <cctype>
#include <cstdio>
#include <numeric>

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
bool Definition::check(MessageLog&, ScriptModel&) { return true; }
bool Definition::loadColumnDefinitions(MessageLog&) { return true; }
bool Definition::run(MessageLog&, StatusWindowFactory*, int) { return true; }

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

bool TimerDefinition::check(MessageLog& log, ScriptModel&) {
  if (!startTimeGiven) {
    log.AddLine("Missing start time in timerdefinition " + name, Error);
    return false;
  }
  return true;
}

bool TimerDefinition::resolve(MessageLog& log, ScriptModel& definitions) {
  if (!check(log, definitions)) return false;
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

std::unique_ptr<Definition> createScriptDefinition(int kind, std::string name,
                                                   const DefinitionSettings& settings) {
  switch (kind) {
    case kTranslateKind:
      return std::make_unique<TranslateDefinition>(std::move(name));
    case kTimerKind:
      return std::make_unique<TimerDefinition>(std::move(name), settings);
    case kCopyKind:
    case kEditKind:
    case kLockKind:
      return std::make_unique<Definition>(std::move(name));
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

bool ScriptModel::CheckAll(MessageLog& log) {
  bool all = true;
  for (Definition* definition = first(); definition; definition = definition->next) {
    all = definition->check(log, *this) && all;
  }
  return all;
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

TranslateDefinition* ScriptModel::FindTranslate(const std::string& name) const {
  return static_cast<TranslateDefinition*>(Find(kTranslateKind, name));
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
}  // namespace kestrel
