#include "shell/console.h"

#include <unistd.h>

#include <cstdio>

namespace kestrel {

void echoLogToStandardOutput(MessageLog& log) {
  const bool colour = ::isatty(STDOUT_FILENO) != 0;
  log.setLineListener([colour](const LogLine& line) {
    static const char* const kColours[] = {"\033[90m", "", "\033[34m", "\033[31m"};
    const char* start = colour ? kColours[line.kind] : "";
    const char* end = colour && *start ? "\033[0m" : "";
    std::printf("%s%s%s\n", start, line.text.c_str(), end);
    std::fflush(stdout);
  });
}

}  // namespace kestrel
