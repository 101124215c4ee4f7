#pragma once
// Numbers and keyword values as scripts write them.

#include <cstdint>
#include <optional>
#include <string>

namespace kestrel {

// The leading, optionally signed decimal number of a text (after blanks); 0
// when there is none. Saturates at the 32-bit range instead of overflowing.
std::int32_t leadingNumber(const std::string& text);

// Keyword values shared by several kinds of paragraph; each returns false
// for a value it does not accept.
// "YES" sets the flag, "NO" is accepted and leaves it.
bool yesFlag(const std::string& value, bool& flag);
// A FORMAT value as a printf pattern for a long: "8I" gives "%8ld", "8IZ" "%08ld".
bool formatPattern(const std::string& value, std::string& pattern);

}  // namespace kestrel
