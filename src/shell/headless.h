#pragma once
// The program's modes without a window.

#include "base/parameter_file.h"

namespace kestrel {

// kestrel --check: reads the script named by ScriptFile the way the script
// editor does (every syntax and value error, no database access) and prints
// the log lines to standard output. Returns the exit status: 0 when the
// script is valid, 1 when it is not or cannot be read.
int runCheck(ParameterFile& parameters);

// kestrel --batch: loads the script named by ScriptFile (resolving every
// definition, which connects to the data sources), runs every copy definition
// once as Start processing all does, and prints every log line (also written
// to LogFile when one is set). Returns 0 only when the script loaded and
// every run succeeded, 1 otherwise.
int runBatch(ParameterFile& parameters);

// kestrel --service: loads the script named by ScriptFile with the program's
// timer scheduler (ticking every PollInterval milliseconds on the calling
// thread), writes the next scheduled event, and runs the copy definitions
// with AUTORUN when their time comes, printing every log line (also written
// to LogFile when one is set), until programStopRequested(). A run in
// progress then stops at its next row and fails cleanly. Returns 0 after the
// stop; 1 at once when the script cannot be loaded, holds no copy definition,
// or the timer cannot be started (PollInterval not above 0).
int runService(ParameterFile& parameters);

}  // namespace kestrel
