#include "base/parameter_file.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "base/platform.h"
#include "base/regular_file.h"
#include "base/shown_text.h"

namespace kestrel {

namespace {

const char kCaption[] = "Parameter Error";

std::string trim(const std::string& text) {
  std::size_t begin = text.find_first_not_of(' ');
  if (begin == std::string::npos) return {};
  std::size_t end = text.find_last_not_of(' ');
  return text.substr(begin, end - begin + 1);
}

bool sameKey(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
           return std::tolower(x) == std::tolower(y);
         });
}

void report(const std::string& text) { programMessageBox().show(text, kCaption, BoxIcon::Warning); }

// The scrambling sequence: x := (a - x * b) mod 65536, started from the seed
// for every text. Printable ASCII stays printable ASCII; other bytes of 32 and
// above (UTF-8 sequences) are kept but still advance the sequence, and bytes
// below 32 are kept and do not advance it.
constexpr unsigned kScrambleSeed = 0x4B53;
constexpr unsigned kScrambleA = 0x3A29;
constexpr unsigned kScrambleB = 0x0F4D;

std::string shiftText(const std::string& text, bool store) {
  std::string result = text;
  unsigned x = kScrambleSeed;
  for (char& c : result) {
    unsigned char code = static_cast<unsigned char>(c);
    if (code < 32) continue;
    x = (kScrambleA - x * kScrambleB) & 0xFFFF;
    if (code > 126) continue;
    int shift = static_cast<int>(x % 192) % 95;
    int offset = code - 32;
    offset = store ? (offset + shift) % 95 : (offset - shift + 95) % 95;
    c = static_cast<char>(32 + offset);
  }
  return result;
}

}  // namespace

std::optional<std::string> MemoryProfile::read(const std::string& section, const std::string& key) {
  auto it = values.find({section, key});
  if (it == values.end()) return std::nullopt;
  return it->second;
}

void MemoryProfile::write(const std::string& section, const std::string& key,
                          const std::string& value) {
  values[{section, key}] = value;
}

std::string ParameterFile::scramble(const std::string& text) { return shiftText(text, true); }
std::string ParameterFile::unscramble(const std::string& text) { return shiftText(text, false); }

ParameterFile::ParameterFile(Profile& profile) : profile_(profile) {}

void ParameterFile::DefineSection(const std::string& name, const std::string& description) {
  std::string trimmed = trim(name);
  for (OptionSection& section : sections_) {
    if (sameKey(section.name, trimmed)) {
      if (section.description.empty()) section.description = description;
      current_ = &section;
      return;
    }
  }
  sections_.push_back(OptionSection{trimmed, description, {}});
  current_ = &sections_.back();
}

Option* ParameterFile::DefineText(const std::string& key, const std::string& defaultValue,
                                  const std::string& help, bool numeric, bool filename,
                                  bool password) {
  std::string trimmed = trim(key);
  if (Option* existing = Find(trimmed, false)) return existing;
  if (!current_) DefineSection("General options", "");
  Option option;
  option.key = trimmed;
  option.section = current_;
  option.defaultValue = defaultValue;
  option.help = help;
  option.numeric = numeric;
  option.filename = filename;
  option.password = password;
  std::optional<std::string> stored = profile_.read(current_->name, trimmed);
  option.value = stored ? (password ? unscramble(*stored) : *stored) : defaultValue;
  current_->options.push_back(std::move(option));
  return &current_->options.back();
}

Option* ParameterFile::DefineInteger(const std::string& key, long defaultValue,
                                     const std::string& help, bool flag, bool visible) {
  Option* option = DefineText(key, std::to_string(defaultValue), help, true);
  option->flag = flag;
  option->visible = visible;
  return option;
}

void ParameterFile::DefineWindowOptions(const std::string& prefix,
                                        const std::string& windowDescription) {
  static const std::pair<const char*, const char*> sides[] = {
      {"Left", "left side"}, {"Top", "top"}, {"right", "right side"}, {"Bottom", "bottom"}};
  for (const auto& [word, text] : sides) {
    DefineInteger(prefix + word, kNoWindowPosition,
                  std::string("Defines the ") + text + " screen offset of where the " +
                      windowDescription + " is shown when opened.",
                  false, false);
  }
}

void ParameterFile::SetVisible(Option* option, bool visible) {
  if (option) option->visible = visible;
}

Option* ParameterFile::Find(const std::string& key, bool reportMissing) const {
  std::string trimmed = trim(key);
  for (const OptionSection& section : sections_) {
    for (const Option& option : section.options) {
      if (sameKey(option.key, trimmed)) return const_cast<Option*>(&option);
    }
  }
  if (reportMissing) report("Undefined parameter '" + key + "' ignored");
  return nullptr;
}

std::string ParameterFile::GetText(const Option* option) { return option ? option->value : ""; }

int ParameterFile::GetInt(const Option* option) {
  if (!option) return 0;
  const std::string& text = option->value;
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long number = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    number = number * 10 + (text[i] - '0');
    if (number > 1LL + INT_MAX) number = 1LL + INT_MAX;  // saturate, never overflow
  }
  if (negative) number = -number;
  return static_cast<int>(std::clamp<long long>(number, INT_MIN, INT_MAX));
}

bool ParameterFile::SetText(Option* option, const std::string& text) {
  if (!option) return false;
  option->value = text;
  profile_.write(option->section->name, option->key, option->password ? scramble(text) : text);
  // A copy: a listener may remove itself.
  auto listeners = changeListeners_;
  for (auto& [id, listener] : listeners) listener(option->key);
  return true;
}

int ParameterFile::addChangeListener(std::function<void(const std::string& key)> listener) {
  changeListeners_.emplace_back(nextListenerId_, std::move(listener));
  return nextListenerId_++;
}

void ParameterFile::removeChangeListener(int id) {
  std::erase_if(changeListeners_, [id](const auto& entry) { return entry.first == id; });
}

bool ParameterFile::SetInt(Option* option, long number) {
  return SetText(option, std::to_string(number));
}

bool ParameterFile::Assign(const std::string& text) {
  std::size_t start = text.find_first_not_of(' ');
  if (start == std::string::npos || text[start] == '*' || text[start] == '[') return true;
  std::size_t equals = text.find('=', start);
  if (equals == std::string::npos) return false;
  std::string key = trim(text.substr(start, equals - start));
  if (key.empty()) return false;
  std::string value = trim(text.substr(equals + 1));
  if (!value.empty() && (value[0] == '"' || value[0] == '\'')) {
    std::size_t close = value.find(value[0], 1);
    if (close == std::string::npos) return false;
    value = value.substr(1, close - 1);
  }
  Option* option = Find(key, false);
  if (!option) return false;
  // The value is stored before it is checked: a flag assigned 2 keeps the 2.
  option->value = value;
  if (!option->numeric) return true;
  if (option->flag) return value == "0" || value == "1";
  return value.find_first_not_of(" +-0123456789") == std::string::npos;
}

bool ParameterFile::isSecretKey(const std::string& key) const {
  std::string lower = trim(key);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower.find("pwd") != std::string::npos || lower.find("password") != std::string::npos) {
    return true;
  }
  const Option* option = Find(key, false);
  return option && option->password;
}

std::string ParameterFile::shownAssignment(const std::string& text) const {
  std::size_t equals = text.find('=');
  if (equals == std::string::npos || !isSecretKey(text.substr(0, equals))) return text;
  return text.substr(0, equals + 1) + std::string(kMaskedSecret);
}

bool ParameterFile::ReadParameterFile(const std::string& fileName, bool reportFailure) {
  // A folder (or a FIFO, a device) is no parameter file, just as a missing file is not.
  std::FILE* in = openRegularFile(fileName);
  if (!in) {
    if (reportFailure) report("Cannot open parameter input file '" + fileName + "'");
    return false;
  }
  // Lines are read into a bounded buffer: what goes beyond the longest line
  // accepted is counted, not kept.
  std::string line;
  bool tooLong = false;
  bool atEnd = false;
  while (!atEnd) {
    line.clear();
    tooLong = false;
    int ch;
    while ((ch = std::getc(in)) != EOF && ch != '\n') {
      if (line.size() <= kMaxParameterLine)
        line += static_cast<char>(ch);
      else
        tooLong = true;
    }
    atEnd = ch == EOF;
    if (atEnd && line.empty() && !tooLong) break;
    if (!line.empty() && line.back() == '\r' && !tooLong) line.pop_back();
    // A line too long for the line buffer is refused whole: applying a piece
    // of it could set an option to a value nobody wrote.
    tooLong = tooLong || line.size() > kMaxParameterLine;
    if (tooLong || !Assign(line)) {
      if (reportFailure) {
        std::string shown = tooLong ? line.substr(0, kMaxParameterLine) + "..." : line;
        report("Illegal parameter in file '" + fileName + "' ignored: " + shownAssignment(shown));
      }
    }
  }
  std::fclose(in);
  return true;
}

bool ParameterFile::ProcessCommandLine(const std::string& line) {
  auto isSeparator = [](char c) { return c == ' ' || c == ',' || c == '\t'; };
  std::size_t i = 0;
  const std::size_t n = line.size();
  while (i < n) {
    while (i < n && isSeparator(line[i])) ++i;
    if (i >= n) break;
    if (line[i] == '@') {
      std::size_t j = i + 1;
      while (j < n && line[j] == ' ') ++j;
      std::size_t nameStart = j;
      while (j < n && !isSeparator(line[j])) ++j;
      if (!ReadParameterFile(line.substr(nameStart, j - nameStart), true)) return false;
      i = j;
      continue;
    }
    std::size_t j = i;
    while (j < n && line[j] != '=' && !isSeparator(line[j])) ++j;
    if (j < n && line[j] == '=') {
      ++j;
      while (j < n && line[j] == ' ') ++j;
      if (j < n && (line[j] == '"' || line[j] == '\'')) {
        std::size_t close = line.find(line[j], j + 1);
        j = close == std::string::npos ? n : close + 1;
      } else {
        while (j < n && !isSeparator(line[j])) ++j;
      }
    }
    std::string item = line.substr(i, j - i);
    if (!Assign(item)) {
      report("Illegal command line option '" + shownAssignment(item) + "'");
      return false;
    }
    i = j;
  }
  return true;
}

std::optional<WindowRect> ParameterFile::storedWindowRect(const std::string& prefix) const {
  int left = integer(prefix + "Left");
  if (left == kNoWindowPosition) return std::nullopt;
  return WindowRect{left, integer(prefix + "Top"), integer(prefix + "right"),
                    integer(prefix + "Bottom")};
}

void ParameterFile::SaveWindowRect(const std::string& prefix, const WindowRect& rect) {
  SetInt(Find(prefix + "Left"), rect.left);
  SetInt(Find(prefix + "Top"), rect.top);
  SetInt(Find(prefix + "right"), rect.right);
  SetInt(Find(prefix + "Bottom"), rect.bottom);
}

namespace {
ParameterFile* theProgramOptions = nullptr;
}

void setProgramOptions(ParameterFile* options) { theProgramOptions = options; }
ParameterFile* programOptions() { return theProgramOptions; }
int optionInt(const std::string& key) {
  return theProgramOptions ? theProgramOptions->integer(key) : 0;
}
std::string optionText(const std::string& key) {
  return theProgramOptions ? theProgramOptions->text(key) : std::string();
}

std::string commandLineFromArguments(const std::vector<std::string>& arguments) {
  std::string line;
  for (const std::string& argument : arguments) {
    std::string item = argument;
    std::size_t equals = item.find('=');
    if (item[0] != '@' && equals != std::string::npos &&
        item.find_first_of("\"'") == std::string::npos &&
        item.find_first_of(" \t", equals) != std::string::npos) {
      item = item.substr(0, equals + 1) + '"' + item.substr(equals + 1) + '"';
    }
    if (!line.empty()) line += ' ';
    line += item;
  }
  return line;
}

std::string defaultScriptFile() {
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : ".") + "/kestrel/script.txt";
}

std::string defaultTempFile() {
  const char* tmp = std::getenv("TMPDIR");
  return std::string(tmp && *tmp ? tmp : "/tmp") + "/kestrel-%p.tmp";
}

std::string expandProcessId(const std::string& path) {
  std::string result;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (path[i] == '%' && i + 1 < path.size() && path[i + 1] == 'p') {
      result += std::to_string(::getpid());
      ++i;
    } else {
      result += path[i];
    }
  }
  return result;
}

void DefineKestrelOptions(ParameterFile& p) {
  p.DefineSection("General options",
                  "General options defining the behaviour of the KESTREL program");
  p.DefineText("ScriptFile", defaultScriptFile(),
               "Name of the script file where the program reads the commands telling it what to "
               "do. This file must be present for the program to do any data processing. See the "
               "online HELP documentation in the main window for a description of the format used "
               "to write commands in the script file",
               false, true);
  p.DefineText("LogFile", "",
               "Name of the logfile where the program writes a copy of all lines shown in the "
               "display. It could be a file located on a network drive. The logfile continuously "
               "grows as more lines are added to it and you should from time to time copy the log "
               "to a backup medium and delete the log itself. If you leave the logfile name empty "
               "no log file is used and the displayed lines are not written to disk",
               false, true);
  p.DefineText("TempFile", defaultTempFile(),
               "Name of the temporary file created and later deleted when performing copy "
               "processing. There should be space enough on the disk to accomodate all records of "
               "the largest file to be copied using the KESTRIL program",
               false, true);
  p.DefineInteger("MaxDisplayLines", 200,
                  "Number of lines saved in the display buffer. If more lines are written to the "
                  "display the oldest lines are discarded.");
  p.DefineInteger("InitiallyReadScript", 0,
                  "If this flag is set the program starts by reading the script file when loaded. "
                  "If the flag is not set you must manually load the script using File menu "
                  "selection",
                  true);
  p.DefineInteger("CheckForZeroRows", 0,
                  "Set this flag to abort any replication operation where input consists of zero "
                  "rows. This flag ensures against total deletion of the output table in special "
                  "cases where the input table can be connected to and read, but where no rows are "
                  "returned due to some otherwise undetected error condition. This flag should be "
                  "set in production replication runs",
                  true);
  p.DefineInteger("MaxBeforeCommit", 0,
                  "Number of update SQL commands (Delete, Insert and Update) before committing the "
                  "results to the database manager. Specify zero to commit only when each copying "
                  "process is finished");
  p.DefineInteger(
      "PollInterval", 10000,
      "Period between each test to see if one of the timers is expired in units of "
      "1/1000 seconds. The value should be larger than 0 and less than app. 32000. The "
      "default value of 10000 (check every 10 seconds) is a reasonable value for this "
      "parameter. Note that you have to stop and restart the program to make changes to "
      "this parameter effective");
  p.DefineInteger("HashSlots", 8000,
                  "Initial number of slots in the hash table that a replication keeps in "
                  "memory to find the source rows in the temporary file by their key (4 bytes "
                  "each). The table grows with the rows, doubling whenever they reach two per "
                  "slot, so the default of 8000 is fast at any size; a value near the number of "
                  "rows replicated only saves the passes over the temporary file that each "
                  "doubling makes. Values from 1 to 67108864; any other value means 8000");

  p.DefineSection("Test options",
                  "Options used during debugging and error correction of the program. These "
                  "options are for system use and you would normally not want to change them from "
                  "their default value");
  p.DefineInteger(
      "CancelActive", 1,
      "Set this flag to insert a CANCEL button in the status display shown during copy "
      "and replication operations. This button allows the user to disrupt the operation "
      "at any time during execution",
      true);
  p.DefineInteger("DebugMode", 0,
                  "If this flag is set programming debugging information is written to the display "
                  "(and to the logfile if a log file is specified)",
                  true);
  p.DefineInteger("ListScript", 0,
                  "If this flag is set all lines read from the script file will be listed in the "
                  "display (and written to the log if a logfile is specified)",
                  true);
  p.DefineInteger("ListColumns", 0,
                  "If this flag is set all column definitions read when first connection to a data "
                  "source is displayed in the log. Thes can be used to check if the actual "
                  "definitions in the database confirm to what was expected",
                  true);
  p.DefineInteger(
      "ListSQL", 0,
      "If this flag is set all SQL statements executed will be listed to the display and "
      "written to the log before they are processed. This can create a major overhead "
      "and can fill up the log, so you should only use this option for debuging "
      "purposes",
      true);
  p.DefineInteger("NoUpdate", 0,
                  "If this flag is set the program runs through all operations except that update "
                  "SQL statement (DELETE, UPDATE and INSERT) are generated but never executed. A "
                  "warning is show in the log after each processing of a copy definition if this "
                  "option is set",
                  true);
  p.DefineInteger(
      "UpdateDebugging", 0,
      "If this flag is set the program shows debugging information relevant to the "
      "update process. The output may be voluminous, so you should not use this flag in "
      "a production environment.",
      true);
  p.DefineInteger(
      "TimerDebugging", 0,
      "If this flag is set the program shows debugging information relevant to the "
      "automatic timer procedures. This flag is relevant only when searching for errors "
      "in the program and should not be turned on in a production environment",
      true);
  const std::pair<const char*, const char*> hidden[] = {
      {"BrowseOdbcSoure", "Default for ODBC source in the Browse ODBC selection menu"},
      {"BrowseOdbcQualifierMask",
       "Default for ODBC qualifier mask in the Browse ODBC selection menu"},
      {"BrowseOdbcCreatorMask", "Default for ODBC creator mask in the Browse ODBC selection menu"},
      {"BrowseOdbcTableMask", "Default for ODBC table name mask in the Browse ODBC selection menu"},
      {"LockUserid", "Default for userid in the LOCKDEFINITION edit panel"},
      {"LockPwd", "Default for password in the LOCKDEFINITION edit panel"},
      {"LockSource", "Default for ODBC source in the LOCKDEFINITION edit panel"},
      {"LockSelect", "Default for select statement in the LOCKDEFINITION edit panel"},
      {"LockColumnName", "Default for column name in the LOCKDEFINITION edit panel"},
      {"LockColumnValue", "Default for column value in the LOCKDEFINITION edit panel"},
  };
  for (const auto& [key, help] : hidden) {
    bool password = std::string(key) == "LockPwd";
    ParameterFile::SetVisible(p.DefineText(key, "", help, false, false, password), false);
  }
  p.DefineWindowOptions("Window", "display window");
}

}  // namespace kestrel
