#include "base/shown_text.h"

namespace kestrel {

namespace {

bool isControl(unsigned char byte, LineFeeds lineFeeds) {
  if (byte == '\n') return lineFeeds != LineFeeds::Kept;
  return byte < 32 || byte == 127;
}

// A C1 control in UTF-8: C2 followed by 80 to 9F.
bool isC1At(std::string_view text, std::size_t i) {
  return static_cast<unsigned char>(text[i]) == 0xC2 && i + 1 < text.size() &&
         static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
         static_cast<unsigned char>(text[i + 1]) <= 0x9F;
}

void appendEscape(std::string& out, unsigned char byte) {
  static const char kHex[] = "0123456789ABCDEF";
  out += "\\x";
  out += kHex[byte >> 4];
  out += kHex[byte & 15];
}

bool isVisible(std::string_view text, LineFeeds lineFeeds) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (isControl(static_cast<unsigned char>(text[i]), lineFeeds) || isC1At(text, i)) return false;
  }
  return true;
}

}  // namespace

std::string visibleText(std::string_view text, LineFeeds lineFeeds) {
  if (isVisible(text, lineFeeds)) return std::string(text);
  std::string out;
  out.reserve(text.size() + 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte == '\n' && lineFeeds == LineFeeds::Blank) {
      out += ' ';
    } else if (isControl(byte, lineFeeds)) {
      appendEscape(out, byte);
    } else if (isC1At(text, i)) {
      appendEscape(out, byte);
      appendEscape(out, static_cast<unsigned char>(text[++i]));
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace kestrel
