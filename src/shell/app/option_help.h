#pragma once
// The text of the option help window: the documentation of one option section
// as coloured logical lines, word-wrapped to the window's width. Kept apart
// from the window so that the wrapping can be checked with any measure.

#include <functional>
#include <string>
#include <vector>

#include "base/message_log.h"
#include "base/parameter_file.h"

namespace kestrel {

// The width in pixels of a text drawn in the window's font.
using TextWidth = std::function<int(const std::string&)>;

// Splits a text into lines no wider than `width`. A text that fits is one
// line. Otherwise each line takes as many whole words as fit, measured from
// the line's start to the end of its last word; the blanks after that word
// stay at the end of the line and the next line starts with the next word.
// A word wider than the width gets a line of its own.
std::vector<std::string> wrapWords(const std::string& text, int width, const TextWidth& measure);

// "(Filename)", "(Password)", "(Flag)", "(Integer)" or "(Text)", tested in
// that order.
std::string optionTypeLabel(const Option& option);

struct HelpLine {
  std::string text;  // empty for a blank line
  int indent = 0;    // pixels from the window's left edge
  Rgb colour{0, 0, 0};
};

inline constexpr Rgb kHelpDescriptionColour{128, 0, 128};
inline constexpr Rgb kHelpOptionColour{0, 0, 128};
inline constexpr Rgb kHelpTextColour{0, 128, 0};

// The help window's lines for a section at a client width: the section's
// description from line 1 (line 0 is blank), then for every visible option a
// blank line, its key with the type label, and its help text.
std::vector<HelpLine> sectionHelpLines(const OptionSection& section, int clientWidth,
                                       const TextWidth& measure);

}  // namespace kestrel
