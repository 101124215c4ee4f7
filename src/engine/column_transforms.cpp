#include "engine/column_transforms.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "base/message_log.h"

namespace kestrel {

namespace {
// Key-stream generator: a 16-bit linear congruential sequence started at the
// key plus an offset; each entry is the state's upper byte. Never change these:
// coded values stored in target tables depend on them.
constexpr unsigned kStreamOffset = 0x2D5B;
constexpr unsigned kStreamMultiplier = 25173;
constexpr unsigned kStreamIncrement = 13849;
constexpr unsigned kStreamShift = 8;

bool isDigit(char c) { return c >= '0' && c <= '9'; }
}  // namespace

std::string applyChangeRules(const std::vector<ChangeRule>& rules, std::string text) {
  for (const ChangeRule& rule : rules) {
    for (int pass = 0; pass < kMaxChangePasses; ++pass) {
      if (rule.fromText.empty()) {
        if (!text.empty()) break;
        text = rule.toText;
        continue;  // an empty value filled counts as a change
      }
      if (text.empty()) break;
      std::size_t at = text.find(rule.fromText);
      if (at == std::string::npos) break;
      text.replace(at, rule.fromText.size(), rule.toText);
    }
  }
  return text;
}

void CodingTables::build() {
  if (built_) return;
  int size = 0;
  for (int c = 0; c < 256; ++c) {
    alphabetPosition_[c] = size;
    bool inAlphabet = c == 32 || (c >= 33 && c <= 126) || (c >= 161 && c <= 254);
    if (inAlphabet) alphabet_[size++] = static_cast<unsigned char>(c);
  }
  unsigned state = (static_cast<unsigned long>(key_) + kStreamOffset) & 0xFFFF;
  for (auto& entry : keyStream_) {
    state = (state * kStreamMultiplier + kStreamIncrement) & 0xFFFF;
    entry = static_cast<std::uint8_t>(state >> kStreamShift);
  }
  built_ = true;
}

void CodingTables::encodeRun(std::string& text, std::size_t begin, std::size_t end, bool digits) {
  std::reverse(text.begin() + begin, text.begin() + end);
  streamPosition_ = streamPosition_ + 1 == 256 ? 0 : streamPosition_ + 1;
  for (std::size_t i = begin; i < end; ++i) {
    int s = keyStream_[streamPosition_] + previousOutput_;
    unsigned char ch = static_cast<unsigned char>(text[i]);
    unsigned char out = digits
                            ? static_cast<unsigned char>('0' + (s + ch - 48) % kDigitAlphabetSize)
                            : alphabet_[(s + alphabetPosition_[ch]) % kAlphabetSize];
    text[i] = static_cast<char>(out);
    previousOutput_ = out;
  }
}

std::string CodingTables::code(const std::string& input, bool digitsOnly) {
  build();
  streamPosition_ = 0;
  previousOutput_ = 0;
  if (input.empty()) return input;
  std::string text = input;
  if (!digitsOnly) {
    encodeRun(text, 0, text.size(), false);
  } else {
    std::size_t i = 0;
    while (i < text.size()) {
      if (!isDigit(text[i])) {
        ++i;
        continue;
      }
      std::size_t end = i;
      while (end < text.size() && isDigit(text[end])) ++end;
      encodeRun(text, i, end, true);
      i = end;
    }
  }
  if (debug_) DebugLine("Coding", input.c_str(), "-->", text.c_str());
  return text;
}

std::string edit(const EditRules& rules, const std::string& text, bool digitsOnly) {
  std::string result = applyChangeRules(rules.changes, text);
  if (rules.coding) result = rules.coding->code(result, digitsOnly);
  return result;
}

long long readDecimalInteger(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long number = 0;
  for (; i < text.size() && isDigit(text[i]); ++i) {
    if (number > (LLONG_MAX - 9) / 10) break;  // beyond any column; stop before overflow
    number = number * 10 + (text[i] - '0');
  }
  return negative ? -number : number;
}

std::int32_t editInteger(const EditRules& rules, std::int32_t value, bool* fits) {
  long long result = readDecimalInteger(edit(rules, std::to_string(value), true));
  bool inRange = result >= INT32_MIN && result <= INT32_MAX;
  if (fits) *fits = inRange;
  return inRange ? static_cast<std::int32_t>(result) : value;
}

double editFloat(const EditRules& rules, double value) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, "%30.15f", value);
  std::string text(buffer);
  text.erase(0, text.find_first_not_of(' '));
  if (text.size() > 98) text.resize(98);
  if (text.find('.') != std::string::npos) {
    while (!text.empty() && text.back() == '0') text.pop_back();
  }
  return std::strtod(edit(rules, text, true).c_str(), nullptr);
}

}  // namespace kestrel
