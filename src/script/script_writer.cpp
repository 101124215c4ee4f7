#include "script/script_writer.h"

#include <cstdio>
#include <ctime>
#include <fstream>

#include "base/platform.h"
#include "script/script_reader.h"

namespace kestrel {

namespace {

bool isHexDigit(char ch) { return (ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'F'); }

// Only a specification that the reader takes back bare as the very same five
// characters is written unquoted; x'0d', or a longer text that merely starts
// with X', would come back changed or split, so those are quoted.
bool isBareHexSpecification(const std::string& value) {
  return value.size() == 5 && value[0] == 'X' && value[1] == '\'' && isHexDigit(value[2]) &&
         isHexDigit(value[3]) && value[4] == '\'';
}

std::string nameText(const std::string& name) {
  // The header keeps its double quotes unless the name itself holds one.
  if (name.find('"') != std::string::npos) return "'" + name + "'";
  return "\"" + name + "\"";
}

bool listIsRepresentable(const ParagraphList& list) {
  for (const Paragraph& paragraph : list.paragraphs) {
    if (!representableInScript(paragraph.name)) return false;
    for (const Command& command : paragraph.commands) {
      if (!representableInScript(command.argument)) return false;
      for (const KeywordValue& value : command.values) {
        if (!representableInScript(value.value)) return false;
      }
    }
  }
  return true;
}

}  // namespace

std::string scriptValueText(const std::string& value) {
  if (isBareHexSpecification(value)) return value;
  std::size_t quote = value.find_first_of("'\"");
  if (quote != std::string::npos && value[quote] == '"') return "'" + value + "'";
  return "\"" + value + "\"";
}

bool representableInScript(const std::string& text) {
  return text.size() <= ScriptReader::kMaxToken &&
         text.find_first_of("\r\n") == std::string::npos &&
         (text.find('\'') == std::string::npos || text.find('"') == std::string::npos);
}

bool ParagraphList::Write(std::ostream& stream) const {
  // A text the format cannot hold would read back as something else, or not
  // at all: refuse before anything is written.
  if (!listIsRepresentable(*this)) return false;

  std::time_t now = programClock().now();
  std::tm local{};
  localtime_r(&now, &local);
  char header[64];
  std::snprintf(header, sizeof header, "* Last updated: %04d-%02d-%02d at %02d:%02d *\n\n",
                local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min);
  if (!(stream << header)) return false;

  for (const Paragraph& paragraph : paragraphs) {
    std::string text = paragraph.entry->keyword + ": " + nameText(paragraph.name) + "\n";
    for (const Command& command : paragraph.commands) {
      text += "  " + command.entry->command + " " + scriptValueText(command.argument);
      for (const KeywordValue& value : command.values) {
        text += " " + value.entry->keyword + "=" + scriptValueText(value.value);
      }
      text += "\n";
    }
    text += "\n";
    if (!(stream << text)) return false;
  }
  return static_cast<bool>(stream.flush());
}

bool ScriptWriter::Save(const std::string& fileName, const ParagraphList* paragraphs) {
  if (fileName.empty() || !paragraphs) return false;
  if (!listIsRepresentable(*paragraphs)) return false;
  std::ofstream file(fileName, std::ios::out | std::ios::trunc);
  if (!file) return false;
  bool ok = paragraphs->Write(file);
  file.close();
  return ok && !file.fail();
}

}  // namespace kestrel
