#pragma once
// Texts from scripts, parameter files and drivers end up in log lines, on a
// terminal and in message boxes. These helpers make such a text safe to show:
// control bytes become visible escapes, and secrets are replaced by a mask.

#include <string>
#include <string_view>

namespace kestrel {

// What a masked secret is shown as.
inline constexpr std::string_view kMaskedSecret = "********";

// The text with every control byte written as a visible escape "\xHH": the
// bytes below 32 (NUL, escape, tab, line ends), DEL, and the UTF-8 form of
// the C1 controls (C2 80 to C2 9F), which terminals obey as well. Every
// other byte stays as it is. Line feeds are escaped too, or kept (a message
// box's text: LF only, a CR could still overwrite what stands before it on a
// terminal), or made blanks (a log line: drivers break their messages into
// lines, and a line feed must never start a line of its own in the log file).
enum class LineFeeds { Escaped, Kept, Blank };
std::string visibleText(std::string_view text, LineFeeds lineFeeds = LineFeeds::Escaped);

}  // namespace kestrel
