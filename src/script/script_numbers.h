#pragma once
// Numbers as script values hold them.

#include <cstdint>
#include <string>

namespace kestrel {

// The leading, optionally signed decimal number of a text (after blanks); 0
// when there is none. Saturates at the 32-bit range instead of overflowing.
std::int32_t leadingNumber(const std::string& text);

}  // namespace kestrel
