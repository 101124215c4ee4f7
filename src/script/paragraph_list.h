#pragma once
// The text image of a script: its paragraphs, each with its commands, each
// command with its keyword values, all as text exactly as read. The script
// editor works on it and the ScriptWriter writes it back; it never drives
// processing.
//
// Every element refers to its ScriptGrammar entry, which lives as long as the
// program. Elements are kept in std::list so that the editor may hold
// pointers to them while others are added or removed.

#include <list>
#include <ostream>
#include <string>

#include "script/script_grammar.h"

namespace kestrel {

struct KeywordValue {
  const KeywordEntry* entry;
  std::string value;
};

class Command {
 public:
  Command(const CommandEntry* entry, std::string argument)
      : entry(entry), argument(std::move(argument)) {}

  // The first value with that keyword id, or nullptr.
  KeywordValue* Find(int keywordId);
  const KeywordValue* Find(int keywordId) const;
  // Appends a value; returns nullptr when this command has no such keyword.
  KeywordValue* AddKeywordValue(const KeywordEntry* keyword, std::string value);

  // Empty when absent.
  std::string GetText(int keywordId) const;
  // Absent gives the default; present gives true exactly for "YES" or "yes".
  bool GetFlag(int keywordId, bool defaultValue) const;
  // The value read as a decimal integer, 0 when absent.
  long GetInteger(int keywordId) const;

  // A non-empty text replaces or adds the value; an empty text removes it.
  void SetText(int keywordId, const std::string& text);
  // A non-zero number is written in decimal; 0 removes the value.
  void SetInteger(int keywordId, long number);
  // Writes only what differs from the default: "YES" or "NO", else removes.
  void SetFlag(int keywordId, bool value, bool defaultValue);

  const CommandEntry* entry;
  std::string argument;
  std::list<KeywordValue> values;

 private:
  void Remove(int keywordId);
};

class Paragraph {
 public:
  Paragraph(const ParagraphEntry* entry, std::string name) : entry(entry), name(std::move(name)) {}

  Command* AddCommand(const CommandEntry* command, std::string argument);
  void RemoveCommand(Command* command);
  // The first command with that id and, when an argument is given, exactly
  // that argument; nullptr when none.
  Command* FindCommand(int commandId, const std::string* argument = nullptr);
  const Command* FindCommand(int commandId, const std::string* argument = nullptr) const;
  // The label the copy dialogs show for a FROM or TO command: the argument,
  // ": ", then the SELECT value when present, otherwise the QUALIFIER,
  // CREATOR and TABLE values that are present joined with ".". Empty when the
  // paragraph has no such command.
  std::string TableLabel(int commandId) const;

  const ParagraphEntry* entry;
  std::string name;
  std::list<Command> commands;
};

class ParagraphList {
 public:
  ParagraphList() = default;
  ParagraphList(const ParagraphList&) = delete;
  ParagraphList& operator=(const ParagraphList&) = delete;

  // The three calls the script reader makes while reading. AddCommand and
  // AddKeywordValue do nothing (and return nullptr) when there is no
  // paragraph or command to add to.
  Paragraph* AddParagraph(const ParagraphEntry* entry, std::string name);
  Command* AddCommand(const CommandEntry* entry, std::string argument);
  KeywordValue* AddKeywordValue(const KeywordEntry* entry, std::string value);

  void RemoveParagraph(Paragraph* paragraph);
  // The first paragraph with exactly that name, or nullptr.
  Paragraph* FindParagraph(const std::string& name);
  void Clear() { paragraphs.clear(); }
  bool empty() const { return paragraphs.empty(); }

  // Writes the list as a script file; false at the first failed write, or,
  // before anything is written, when a text cannot be represented in the
  // script format (see script_writer.cpp).
  bool Write(std::ostream& stream) const;

  std::list<Paragraph> paragraphs;
};

}  // namespace kestrel
