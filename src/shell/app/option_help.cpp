#include "shell/app/option_help.h"

namespace kestrel {

std::vector<std::string> wrapWords(const std::string& text, int width, const TextWidth& measure) {
  if (measure(text) <= width) return {text};
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    // The end of the first word; blanks before it belong to it.
    std::size_t end = text.find(' ', text.find_first_not_of(' ', start));
    if (end == std::string::npos) end = text.size();
    // Take further words while the line up to their end still fits.
    while (end < text.size()) {
      std::size_t nextWord = text.find_first_not_of(' ', end);
      if (nextWord == std::string::npos) break;
      std::size_t nextEnd = text.find(' ', nextWord);
      if (nextEnd == std::string::npos) nextEnd = text.size();
      if (measure(text.substr(start, nextEnd - start)) > width) break;
      end = nextEnd;
    }
    std::size_t next = text.find_first_not_of(' ', end);
    if (next == std::string::npos) next = text.size();
    lines.push_back(text.substr(start, next - start));
    start = next;
  }
  return lines;
}

std::string optionTypeLabel(const Option& option) {
  if (option.filename) return "(Filename)";
  if (option.password) return "(Password)";
  if (option.flag) return "(Flag)";
  if (option.numeric) return "(Integer)";
  return "(Text)";
}

std::vector<HelpLine> sectionHelpLines(const OptionSection& section, int clientWidth,
                                       const TextWidth& measure) {
  std::vector<HelpLine> lines;
  auto add = [&](const std::string& text, int indent, int margin, Rgb colour) {
    for (std::string& line : wrapWords(text, clientWidth - margin, measure)) {
      lines.push_back({std::move(line), indent, colour});
    }
  };
  if (!section.description.empty()) {
    lines.push_back({});
    add(section.description + ":", 30, 40, kHelpDescriptionColour);
  }
  for (const Option& option : section.options) {
    if (!option.visible) continue;
    lines.push_back({});
    add(option.key + "  " + optionTypeLabel(option) + " :", 10, 20, kHelpOptionColour);
    if (!option.help.empty()) add(option.help + ". ", 20, 30, kHelpTextColour);
  }
  return lines;
}

}  // namespace kestrel
