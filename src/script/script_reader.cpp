#include "script/script_reader.h"

#include <optional>
#include <vector>

#include "base/platform.h"
#include "base/regular_file.h"
#include "base/shown_text.h"

namespace kestrel {

namespace {

const char kNoProcessing[] = "No processing will be performed";

bool isBareCharacter(char ch) {
  return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') ||
         ch == '\'' || ch == '+' || ch == '-' || ch == '.' || ch == ':' || ch == '_';
}

char upper(char ch) { return ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 'a' + 'A') : ch; }

void skipBlanks(const std::string& line, std::size_t& pos) {
  while (pos < line.size() && line[pos] == ' ') ++pos;
}

// Reads one token at pos, after any blanks (and commas, when they separate).
// False when what stands there starts no token; pos is then left at it.
bool readToken(const std::string& line, std::size_t& pos, std::string& token,
               bool commasSeparate = true) {
  while (pos < line.size() && (line[pos] == ' ' || (commasSeparate && line[pos] == ','))) ++pos;
  if (pos >= line.size()) return false;
  token.clear();
  const char first = line[pos];
  if (first == '\'' || first == '"') {
    ++pos;
    while (pos < line.size() && line[pos] != first) {
      // The rest of a long token stays on the line as the next token.
      if (token.size() == ScriptReader::kMaxToken) return true;
      token += line[pos++];
    }
    if (pos < line.size()) ++pos;  // the closing quote
    return true;
  }
  if (!isBareCharacter(first)) return false;
  while (pos < line.size() && isBareCharacter(line[pos]) &&
         token.size() < ScriptReader::kMaxToken) {
    token += upper(line[pos++]);
  }
  return true;
}

bool samePasswordWord(const std::string& token) {
  static const char kWord[] = "PASSWORD";
  if (token.size() != sizeof kWord - 1) return false;
  for (std::size_t i = 0; i < token.size(); ++i) {
    if (upper(token[i]) != kWord[i]) return false;
  }
  return true;
}

// Masks the values of PASSWORD keywords in script text that is echoed (the
// listing, error lines). Works piece by piece on the physical lines of one
// logical line, so that a value continued on the next line is masked there
// too; reset() at the start of every logical line.
class PasswordMask {
 public:
  void reset() { state_ = State::None; }

  // `continued`: the piece ends with the continuation "+" (kept as it is).
  std::string apply(const std::string& piece, bool continued) {
    std::size_t end = piece.size();
    if (continued) {
      std::size_t plus = piece.find_last_not_of(' ');
      if (plus != std::string::npos && piece[plus] == '+') end = plus;
    }
    std::string out;
    std::size_t i = 0;
    while (i < end) {
      const char ch = piece[i];
      switch (state_) {
        case State::InQuote: {
          std::size_t close = piece.find(quote_, i);
          if (close == std::string::npos || close >= end) close = end;
          if (close > i) out += kMaskedSecret;
          i = close;
          if (i < end) {
            out += quote_;
            ++i;
            state_ = State::None;
          }
          break;
        }
        case State::InBare: {
          std::size_t stop = i;
          while (stop < end && isBareCharacter(piece[stop])) ++stop;
          if (stop > i) out += kMaskedSecret;
          i = stop;
          if (i < end) state_ = State::None;
          break;
        }
        case State::AfterEquals:
          if (ch == ' ') {
            out += ch;
            ++i;
          } else if (ch == '\'' || ch == '"') {
            quote_ = ch;
            out += ch;
            ++i;
            state_ = State::InQuote;
          } else {
            state_ = isBareCharacter(ch) ? State::InBare : State::None;
          }
          break;
        case State::AfterKeyword:
          if (ch == ' ') {
            out += ch;
            ++i;
          } else if (ch == '=') {
            out += ch;
            ++i;
            state_ = State::AfterEquals;
          } else {
            state_ = State::None;
          }
          break;
        case State::None: {
          std::size_t stop = i;
          std::string token;
          if (ch == '\'' || ch == '"') {
            std::size_t close = piece.find(ch, i + 1);
            stop = close == std::string::npos || close >= end ? end : close + 1;
            token = piece.substr(i + 1, (close == std::string::npos ? end : close) - i - 1);
          } else if (isBareCharacter(ch)) {
            while (stop < end && isBareCharacter(piece[stop])) ++stop;
            token = piece.substr(i, stop - i);
          } else {
            stop = i + 1;
          }
          out.append(piece, i, stop - i);
          i = stop;
          if (samePasswordWord(token)) state_ = State::AfterKeyword;
          break;
        }
      }
    }
    out.append(piece, end, std::string::npos);
    return out;
  }

 private:
  enum class State { None, AfterKeyword, AfterEquals, InQuote, InBare };
  State state_ = State::None;
  char quote_ = 0;
};

std::string maskedLine(const std::string& line) {
  PasswordMask mask;
  return mask.apply(line, false);
}

struct PhysicalLine {
  bool stopped = false;  // the program was asked to end while the line was read
  bool endOfFile = false;
  bool overflow = false;  // characters beyond the buffer were dropped
  bool endsWithPlus = false;
  std::size_t plusIndex = std::string::npos;  // in the buffer, when it was held
};

// Appends the next physical line, without its line end, to the buffer. The
// buffer never grows beyond the logical line limit: what does not fit is
// read and dropped, and reported through overflow.
PhysicalLine readPhysicalLine(std::FILE* file, std::string& buffer) {
  PhysicalLine line;
  char lastNonBlank = 0;
  std::size_t lastNonBlankIndex = std::string::npos;
  for (std::size_t count = 0;; ++count) {
    // A huge file (a sparse one reads as endless zeros) must not keep the
    // program from ending when it is asked to.
    if (count % 65536 == 0 && programStopRequested()) {
      line.stopped = true;
      line.endOfFile = true;
      return line;
    }
    int ch = std::getc(file);
    if (ch == EOF) {
      line.endOfFile = true;
      break;
    }
    if (ch == '\n') break;
    if (ch == '\r') {
      int following = std::getc(file);
      if (following == '\n') break;
      if (following != EOF) std::ungetc(following, file);
    }
    std::size_t index = std::string::npos;
    if (buffer.size() < ScriptReader::kMaxLogicalLine) {
      index = buffer.size();
      buffer += static_cast<char>(ch);
    } else {
      line.overflow = true;
    }
    if (ch != ' ') {
      lastNonBlank = static_cast<char>(ch);
      lastNonBlankIndex = index;
    }
  }
  if (lastNonBlank == '+') {
    line.endsWithPlus = true;
    line.plusIndex = lastNonBlankIndex;
  }
  return line;
}

}  // namespace

ScriptReader::ScriptReader(MessageLog& log, const ParameterFile* options)
    : log_(log), options_(options), grammar_(ScriptGrammar::instance()) {}

void ScriptReader::startReading() {
  currentParagraph_ = nullptr;
  currentDefinition_ = nullptr;
  unowned_.reset();
  commandSeen_.clear();
  settings_ = DefinitionSettings{};
  if (options_) {
    settings_.timerDebugging = options_->integer("TimerDebugging") != 0;
    settings_.debugMode = options_->integer("DebugMode") != 0;
  }
  settings_.scheduler = scheduler_;
  settings_.timerStatusWindows = timerStatusWindows_;
  if (listener_) listener_->Clear();
}

bool ScriptReader::Load(const std::string& fileName) {
  failure_ = Failure::None;
  if (fileName.empty()) {
    if (model_ && !checkOnly_) {
      log_.AddLine("No script file specified - no copy actions will be performed", Note);
    }
    failure_ = Failure::NoFileName;
    return false;
  }
  startReading();
  // A script is a regular file: a folder reads as nothing, a FIFO may block
  // and a device such as /dev/zero never ends.
  std::FILE* file = openRegularFile(fileName);
  if (!file) {
    if (model_ && !checkOnly_) {
      log_.AddLine("Cannot open script file '" + fileName + "' - no copy actions will be performed",
                   Error);
    }
    failure_ = Failure::CannotOpen;
    return false;
  }
  bool ok = readFile(file, fileName);
  std::fclose(file);
  return ok;
}

bool ScriptReader::Load(std::FILE* file, const std::string& fileName) {
  failure_ = Failure::None;
  startReading();
  return readFile(file, fileName);
}

bool ScriptReader::readFile(std::FILE* file, const std::string& fileName) {
  if (model_ && !checkOnly_) {
    log_.AddLine(std::string(69, '-'), Normal);
    log_.AddLine("Starting to read script file '" + fileName + "'", Normal);
  }
  const bool listScript = options_ && options_->integer("ListScript") != 0;
  long lineCount = 0;
  PasswordMask mask;
  // Nothing of a script read in part is kept.
  auto abandonReading = [this](const std::string& reason) {
    log_.AddLine(reason, Error);
    currentDefinition_ = nullptr;
    unowned_.reset();
    if (model_) model_->Clear();
    failure_ = Failure::CannotRead;
    return false;
  };

  std::string line;  // the logical line being assembled
  line.reserve(kLineBufferSize);
  bool atEnd = false;
  while (!atEnd) {
    line.clear();
    mask.reset();
    bool overflow = false;
    std::size_t start = 0;
    for (;;) {
      PhysicalLine physical = readPhysicalLine(file, line);
      if (physical.stopped) {
        return abandonReading("Reading script file '" + fileName +
                              "' stopped: the program was asked to end - no copy actions will "
                              "be performed");
      }
      if (physical.endOfFile && std::ferror(file)) {
        // A script cut short by a read error must not pass for a whole one.
        return abandonReading("Cannot read script file '" + fileName +
                              "' - no copy actions will be performed");
      }
      // The last line of a file without a line end is parsed but neither
      // counted nor listed.
      if (physical.endOfFile) {
        atEnd = true;
      } else {
        ++lineCount;
        if (listScript) log_.AddLine(mask.apply(line.substr(start), physical.endsWithPlus), Note);
      }
      overflow = overflow || physical.overflow;
      if (!physical.endsWithPlus) break;
      if (physical.plusIndex != std::string::npos) line.resize(physical.plusIndex);
      if (atEnd) break;
      start = line.size();
    }

    std::size_t first = line.find_first_not_of(' ');
    if (first == std::string::npos || line[first] == '*') continue;
    std::string text = line.substr(first);
    if (overflow) {
      fail("Line longer than 9999 characters", text, lineCount);
      return false;
    }
    if (!parseLine(text, lineCount)) return false;
  }

  currentDefinition_ = nullptr;
  unowned_.reset();
  if (model_ && checkOnly_) {
    if (model_->CheckAll(log_)) return true;
    failure_ = Failure::Check;
    return false;
  }
  if (model_) {
    if (!model_->ResolveAll(log_)) model_->Clear();
    if (!model_->HasCopyDefinition()) {
      model_->Clear();
      log_.AddLine(kNoProcessing, Error);
    }
    log_.AddLine("Ending load of script file. " + std::to_string(lineCount) + " lines read from '" +
                     fileName + "'",
                 Normal);
  }
  return true;
}

void ScriptReader::fail(const std::string& message, const std::string& line, long lineNumber) {
  log_.AddLine("Error: " + message + " (in line " + std::to_string(lineNumber) + ": '" +
                   maskedLine(line) + "')",
               Error);
  currentDefinition_ = nullptr;
  unowned_.reset();
  if (model_) model_->Clear();
  log_.AddLine(kNoProcessing, Error);
  failure_ = Failure::Syntax;
}

bool ScriptReader::parseLine(const std::string& line, long lineNumber) {
  std::size_t pos = 0;
  std::string word;
  while (pos < line.size() && line[pos] != ' ' && line[pos] != ':' && word.size() < kMaxWord) {
    word += upper(line[pos++]);
  }
  skipBlanks(line, pos);
  std::string error;
  bool ok = pos < line.size() && line[pos] == ':' ? parseHeader(line, pos + 1, word, error)
                                                  : parseCommand(line, pos, word, error);
  if (!ok) fail(error, line, lineNumber);
  return ok;
}

bool ScriptReader::parseHeader(const std::string& line, std::size_t pos, const std::string& word,
                               std::string& error) {
  const ParagraphEntry* entry = grammar_.findParagraph(word);
  if (!entry) {
    error = "Unknown paragraph name";
    return false;
  }
  std::string name;
  if (!readToken(line, pos, name, false)) {
    error = "Missing or illegal paragraph name after colon";
    return false;
  }
  skipBlanks(line, pos);
  if (pos < line.size()) {
    error = "Illegal end of line after paragraph name";
    return false;
  }
  if (listener_) listener_->AddParagraph(entry, name);

  std::unique_ptr<Definition> definition =
      factory_ ? factory_->create(entry->kind, name, settings_)
               : createScriptDefinition(entry->kind, name, settings_);
  if (model_) {
    unowned_.reset();
    currentDefinition_ = model_->Append(std::move(definition));
  } else {
    // Checked like the program's own reading, but not kept.
    unowned_ = std::move(definition);
    currentDefinition_ = unowned_.get();
  }
  currentParagraph_ = entry;
  commandSeen_.assign(entry->commands.size(), false);
  return true;
}

bool ScriptReader::parseCommand(const std::string& line, std::size_t pos, const std::string& word,
                                std::string& error) {
  if (!currentDefinition_ || !currentParagraph_) {
    error = "Missing paragraph definition";
    return false;
  }
  const CommandEntry* command = currentParagraph_->findCommand(std::string_view(word));
  if (!command) {
    error = "Undefined command";
    return false;
  }
  std::string argument;
  if (!readToken(line, pos, argument)) {
    error = "Missing or illegal command argument";
    return false;
  }
  const std::size_t commandIndex =
      static_cast<std::size_t>(command - &currentParagraph_->commands[0]);
  if (commandSeen_[commandIndex] && !command->repeatable) {
    error = "More than one occurrence of this command in the same paragraph";
    return false;
  }
  commandSeen_[commandIndex] = true;

  // Values by keyword, in grammar order; empty while a keyword is not seen.
  std::vector<std::optional<std::string>> values(command->keywords.size());
  std::string keyword;
  while (readToken(line, pos, keyword)) {
    const KeywordEntry* entry = command->findKeyword(std::string_view(keyword));
    if (!entry) {
      error = "Unknown keyword";
      return false;
    }
    skipBlanks(line, pos);
    if (pos >= line.size() || line[pos] != '=') {
      error = "Missing '=' after keyword";
      return false;
    }
    ++pos;
    std::string value;
    if (!readToken(line, pos, value)) {
      error = "Missing keyword value";
      return false;
    }
    std::optional<std::string>& slot =
        values[static_cast<std::size_t>(entry - &command->keywords[0])];
    if (slot) {
      error = "Duplicate keyword";
      return false;
    }
    slot = std::move(value);
  }
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (command->keywords[i].required && !values[i]) {
      error = "Missing required keyword " + command->keywords[i].keyword;
      return false;
    }
  }
  skipBlanks(line, pos);
  if (pos < line.size()) {
    error = "Illegal keyword format";
    return false;
  }

  if (listener_) listener_->AddCommand(command, argument);
  if (!currentDefinition_->setCommand(command->id, argument)) {
    error = "Illegal value follows command name";
    return false;
  }
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (!values[i]) continue;
    const KeywordEntry& entry = command->keywords[i];
    if (listener_) listener_->AddKeywordValue(&entry, *values[i]);
    if (!currentDefinition_->setKeyword(command->id, entry.id, *values[i])) {
      error = "Illegal value in " + entry.keyword + " keyword";
      return false;
    }
  }
  return true;
}

}  // namespace kestrel
