#include "script/paragraph_list.h"

#include "script/script_numbers.h"

namespace kestrel {

KeywordValue* Command::Find(int keywordId) {
  for (KeywordValue& value : values) {
    if (value.entry->id == keywordId) return &value;
  }
  return nullptr;
}

const KeywordValue* Command::Find(int keywordId) const {
  return const_cast<Command*>(this)->Find(keywordId);
}

KeywordValue* Command::AddKeywordValue(const KeywordEntry* keyword, std::string value) {
  if (!keyword) return nullptr;
  values.push_back({keyword, std::move(value)});
  return &values.back();
}

std::string Command::GetText(int keywordId) const {
  const KeywordValue* value = Find(keywordId);
  return value ? value->value : std::string();
}

bool Command::GetFlag(int keywordId, bool defaultValue) const {
  const KeywordValue* value = Find(keywordId);
  if (!value) return defaultValue;
  return value->value == "YES" || value->value == "yes";
}

long Command::GetInteger(int keywordId) const {
  const KeywordValue* value = Find(keywordId);
  return value ? leadingNumber(value->value) : 0;
}

void Command::Remove(int keywordId) {
  values.remove_if([keywordId](const KeywordValue& value) { return value.entry->id == keywordId; });
}

void Command::SetText(int keywordId, const std::string& text) {
  if (text.empty()) {
    Remove(keywordId);
    return;
  }
  if (KeywordValue* value = Find(keywordId)) {
    value->value = text;
    return;
  }
  AddKeywordValue(entry ? entry->findKeyword(keywordId) : nullptr, text);
}

void Command::SetInteger(int keywordId, long number) {
  SetText(keywordId, number ? std::to_string(number) : std::string());
}

void Command::SetFlag(int keywordId, bool value, bool defaultValue) {
  if (value == defaultValue) {
    Remove(keywordId);
  } else {
    SetText(keywordId, value ? "YES" : "NO");
  }
}

Command* Paragraph::AddCommand(const CommandEntry* command, std::string argument) {
  commands.emplace_back(command, std::move(argument));
  return &commands.back();
}

void Paragraph::RemoveCommand(Command* command) {
  commands.remove_if([command](const Command& held) { return &held == command; });
}

Command* Paragraph::FindCommand(int commandId, const std::string* argument) {
  for (Command& command : commands) {
    if (command.entry->id == commandId && (!argument || command.argument == *argument)) {
      return &command;
    }
  }
  return nullptr;
}

const Command* Paragraph::FindCommand(int commandId, const std::string* argument) const {
  return const_cast<Paragraph*>(this)->FindCommand(commandId, argument);
}

std::string Paragraph::TableLabel(int commandId) const {
  const Command* command = FindCommand(commandId);
  if (!command) return {};
  std::string label = command->argument + ": ";
  if (const KeywordValue* select = command->Find(keyword_id::Select)) return label + select->value;
  bool first = true;
  for (int id : {keyword_id::Qualifier, keyword_id::Creator, keyword_id::Table}) {
    const KeywordValue* part = command->Find(id);
    if (!part) continue;
    if (!first) label += '.';
    label += part->value;
    first = false;
  }
  return label;
}

Paragraph* ParagraphList::AddParagraph(const ParagraphEntry* entry, std::string name) {
  paragraphs.emplace_back(entry, std::move(name));
  return &paragraphs.back();
}

Command* ParagraphList::AddCommand(const CommandEntry* entry, std::string argument) {
  if (paragraphs.empty()) return nullptr;
  return paragraphs.back().AddCommand(entry, std::move(argument));
}

KeywordValue* ParagraphList::AddKeywordValue(const KeywordEntry* entry, std::string value) {
  if (paragraphs.empty() || paragraphs.back().commands.empty()) return nullptr;
  return paragraphs.back().commands.back().AddKeywordValue(entry, std::move(value));
}

void ParagraphList::RemoveParagraph(Paragraph* paragraph) {
  paragraphs.remove_if([paragraph](const Paragraph& held) { return &held == paragraph; });
}

Paragraph* ParagraphList::FindParagraph(const std::string& name) {
  for (Paragraph& paragraph : paragraphs) {
    if (paragraph.name == name) return &paragraph;
  }
  return nullptr;
}

}  // namespace kestrel
