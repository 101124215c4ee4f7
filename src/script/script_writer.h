#pragma once
// Writes a ParagraphList as a script file that the ScriptReader reads back
// to the same paragraphs, commands, arguments and values.

#include <string>

#include "script/paragraph_list.h"

namespace kestrel {

class ScriptWriter {
 public:
  // Writes the list to a new file beside `fileName` (or beside the file a
  // symbolic link of that name points to), flushes it to the disk and renames
  // it over the old one, so that the script on disk is at every moment either
  // the old one or the new one, whole: a failed save never damages the script
  // a service is running. A new file keeps the old one's permissions.
  // False, with the reason in `reason` when given, when the name is empty,
  // the list is missing, a text cannot be represented in the format, the name
  // is not a regular file, or creating, writing or renaming fails; the old
  // file is then untouched and no new file is left behind.
  static bool Save(const std::string& fileName, const ParagraphList* paragraphs,
                   std::string* reason = nullptr);
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
