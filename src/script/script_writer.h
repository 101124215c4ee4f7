#pragma once
// Writes a ParagraphList as a script file that the ScriptReader reads back
// to the same paragraphs, commands, arguments and values.

#include <string>

#include "script/paragraph_list.h"

namespace kestrel {

class ScriptWriter {
 public:
  // Creates or truncates the file and writes the list. False when the name
  // is empty, the list is missing, the file cannot be created, a text cannot
  // be represented in the format, or a write fails (a failed write may leave
  // a partly written file; an unrepresentable text leaves the file alone).
  static bool Save(const std::string& fileName, const ParagraphList* paragraphs);
};

// How a value (or a command argument) is written: bare when it is an upper
// case hexadecimal character specification such as X'0D', else enclosed in
// double quotes, or in apostrophes when its first quote character is a
// double quote.
std::string scriptValueText(const std::string& value);

// Whether a text survives writing and reading back unchanged: at most 254
// characters, no line end, and not both quote characters.
bool representableInScript(const std::string& text);

}  // namespace kestrel
