#pragma once
// The table of everything a script file may contain: paragraph keywords, the
// commands of each paragraph kind and the keywords of each command, with the
// numeric ids shared by the reader, the definitions and the editor.
//
// The table is built once and never changes, so a ParagraphList may keep
// pointers to its entries for as long as the program runs. What a reading
// needs to remember per entry (latest argument, latest value, seen flags) is
// kept by the ScriptReader, not here.

#include <string>
#include <string_view>
#include <vector>

namespace kestrel {

// Paragraph kinds; the same numbers are returned by Definition::kind().
enum DefinitionKind : int {
  kCopyKind = 1,
  kTranslateKind = 2,
  kTimerKind = 3,
  kEditKind = 4,
  kLockKind = 5,
};

namespace command_id {
enum : int {
  From = 0,
  To = 1,
  Copy = 2,
  Autorun = 7,
  Trans = 8,
  Start = 9,
  Retry = 10,
  Set = 11,
  Coded = 12,
  Change = 13,
  Source = 14,
  Accept = 15,
};
}  // namespace command_id

namespace keyword_id {
enum : int {
  Table = 0,
  Userid = 1,
  Password = 2,
  To = 3,
  Trans = 4,
  Key = 5,
  Time = 6,
  Every = 7,
  Days = 8,
  Interval = 9,
  Creator = 10,
  Qualifier = 11,
  Quote = 12,
  Update = 13,
  First = 14,
  Disconnect = 15,
  Where = 16,
  OrderBy = 17,
  Log = 18,
  Hex = 19,
  Format = 20,
  CurrentDate = 21,
  Value = 22,
  Edit = 23,
  Replicate = 24,
  Inactive = 25,
  LeftTrim = 26,
  Unchanged = 27,
  Select = 28,
  Lock = 29,
};
}  // namespace keyword_id

struct KeywordEntry {
  std::string keyword;
  int id;
  bool required;
};

struct CommandEntry {
  std::string command;
  int id;
  bool repeatable;
  std::vector<KeywordEntry> keywords;  // grammar order: the order values are handed on

  // Exact comparison: the reader upper-cases bare words before looking them up.
  const KeywordEntry* findKeyword(std::string_view keyword) const;
  const KeywordEntry* findKeyword(int id) const;
};

struct ParagraphEntry {
  std::string keyword;
  int kind;
  std::vector<CommandEntry> commands;

  const CommandEntry* findCommand(std::string_view command) const;
  const CommandEntry* findCommand(int id) const;
};

class ScriptGrammar {
 public:
  // The program's one grammar table.
  static const ScriptGrammar& instance();

  const std::vector<ParagraphEntry>& paragraphs() const { return paragraphs_; }
  const ParagraphEntry* findParagraph(std::string_view keyword) const;
  const ParagraphEntry* paragraphOfKind(int kind) const;

 private:
  ScriptGrammar();
  std::vector<ParagraphEntry> paragraphs_;
};

}  // namespace kestrel
