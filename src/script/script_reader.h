#pragma once
// Reads a script file line by line, checks every line against the
// ScriptGrammar and feeds what it reads into a ScriptModel (the typed
// definitions), into a ParagraphList (the text image the script editor
// works on), or into both. The first syntax or value error stops the
// reading; a script that cannot be used leaves the model empty.
//
// The format, in short:
//   - lines end with LF; a CR just before the LF belongs to the line end;
//   - a line whose last non-blank character is "+" continues on the next
//     line (the "+" and the blanks after it are dropped);
//   - empty lines, blank lines and lines starting with "*" are comments;
//   - "KEYWORD: name" starts a paragraph, every other line is a command:
//     "COMMAND argument KEYWORD=value ...", blanks and commas separating;
//   - tokens are quoted ('...' or "...", case kept, no escapes, a missing
//     closing quote takes the rest of the line) or bare (ASCII letters,
//     digits and ' + - . : _, upper-cased). Bytes above 127 belong to no
//     bare token: values that hold them must be quoted.
//   - a token holds at most 254 characters; the rest is read as a further
//     token.
//   - a logical line holds at most 9,999 characters. A longer line is
//     reported as an error (and never cut silently), except a comment,
//     which is skipped whole.

#include <cstdio>
#include <memory>
#include <string>

#include "base/message_log.h"
#include "base/parameter_file.h"
#include "script/definitions.h"
#include "script/paragraph_list.h"
#include "script/script_grammar.h"

namespace kestrel {

class ScriptReader {
 public:
  static constexpr std::size_t kLineBufferSize = 10001;
  static constexpr std::size_t kMaxLogicalLine = 9999;
  static constexpr std::size_t kMaxToken = 254;
  static constexpr std::size_t kMaxWord = 255;

  enum class Failure { None, NoFileName, CannotOpen, CannotRead, Syntax, Check };

  // options gives ListScript, TimerDebugging and DebugMode; without it all
  // three are off. The log and the options must outlive the reader.
  explicit ScriptReader(MessageLog& log, const ParameterFile* options = nullptr);

  // Either, both or (for a plain syntax check) neither may be attached.
  void setModel(ScriptModel* model) { model_ = model; }
  void setListener(ParagraphList* listener) { listener_ = listener; }
  // With a model attached: read into it and check every definition
  // (Definition::check, no database) instead of resolving them, and write no
  // loading lines. What kestrel --check does.
  void setCheckOnly(bool checkOnly) { checkOnly_ = checkOnly; }
  // Makes the record of each paragraph; without one, only translate and
  // timer paragraphs take their commands (createScriptDefinition).
  void setFactory(const DefinitionFactory* factory) { factory_ = factory; }
  // The scheduler given to the TimerDefinitions created while reading.
  void setScheduler(TimerScheduler* scheduler) { scheduler_ = scheduler; }
  // What makes the status windows of the timer runs of the definitions read.
  void setTimerStatusWindows(StatusWindowFactory* factory) { timerStatusWindows_ = factory; }

  // Reads one script file. False when there is no file name, the file cannot
  // be opened or a line is in error; true otherwise, also when resolving
  // failed or the script holds no copy definition (the model is then empty).
  bool Load(const std::string& fileName);
  // The same for a file that is already open (it is not closed); fileName
  // is used in messages only.
  bool Load(std::FILE* file, const std::string& fileName);

  // Why the last Load returned false.
  Failure failure() const { return failure_; }

 private:
  void startReading();
  bool readFile(std::FILE* file, const std::string& fileName);
  // Parses one logical line (leading blanks removed); false after logging
  // the error line.
  bool parseLine(const std::string& line, long lineNumber);
  bool parseHeader(const std::string& line, std::size_t pos, const std::string& word,
                   std::string& error);
  bool parseCommand(const std::string& line, std::size_t pos, const std::string& word,
                    std::string& error);
  void fail(const std::string& message, const std::string& line, long lineNumber);

  MessageLog& log_;
  const ParameterFile* options_;
  ScriptModel* model_ = nullptr;
  ParagraphList* listener_ = nullptr;
  TimerScheduler* scheduler_ = nullptr;
  StatusWindowFactory* timerStatusWindows_ = nullptr;
  const DefinitionFactory* factory_ = nullptr;
  bool checkOnly_ = false;
  const ScriptGrammar& grammar_;
  Failure failure_ = Failure::None;

  // Reading state, reset at the start of every reading.
  DefinitionSettings settings_;
  const ParagraphEntry* currentParagraph_ = nullptr;
  Definition* currentDefinition_ = nullptr;
  std::unique_ptr<Definition> unowned_;  // the current definition when there is no model
  std::vector<bool> commandSeen_;        // per command of the current paragraph
};

}  // namespace kestrel
