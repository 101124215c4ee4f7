#pragma once
// Headless runs: every line of the MessageLog goes to standard output as its
// own text, coloured by kind when standard output is a terminal.

#include "shell/message_log.h"

namespace kestrel {

void echoLogToStandardOutput(MessageLog& log);

}  // namespace kestrel
