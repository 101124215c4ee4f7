#include "script/script_numbers.h"

#include <cctype>
#include <utility>

#include "script/definitions.h"

namespace kestrel {

namespace {
bool isDecimalDigit(char ch) { return ch >= '0' && ch <= '9'; }
}  // namespace

std::int32_t leadingNumber(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long number = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    number = number * 10 + (text[i] - '0');
    if (number > 2147483648LL) number = 2147483648LL;
  }
  if (negative) number = -number;
  if (number > 2147483647LL) number = 2147483647LL;
  return static_cast<std::int32_t>(number);
}

// "YES" sets the flag, "NO" is accepted and leaves it, anything else is refused.
bool yesFlag(const std::string& value, bool& flag) {
  if (value == "YES") {
    flag = true;
    return true;
  }
  return value == "NO";
}

// A FORMAT value: a width of at least 1, then only digits and the letters I
// and Z (either case) with at least one I. "8I" gives "%8ld", "8IZ" "%08ld".
bool formatPattern(const std::string& value, std::string& pattern) {
  bool sawI = false;
  bool sawZ = false;
  for (char ch : value) {
    char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    if (upper == 'I') {
      sawI = true;
    } else if (upper == 'Z') {
      sawZ = true;
    } else if (!isDecimalDigit(ch)) {
      return false;
    }
  }
  long width = 0;
  for (std::size_t i = 0; i < value.size() && isDecimalDigit(value[i]); ++i) {
    width = width * 10 + (value[i] - '0');
    // A width that printf cannot take is refused rather than wrapped.
    if (width > 2147483647L) return false;
  }
  if (width < 1 || !sawI) return false;
  pattern = std::string("%") + (sawZ ? "0" : "") + std::to_string(width) + "ld";
  return true;
}

}  // namespace kestrel
