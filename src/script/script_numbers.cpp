#include "script/script_numbers.h"

namespace kestrel {

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

}  // namespace kestrel
