#pragma once
// The options a copy definition reads, taken once when a run (or the loading
// of its columns) starts, so that a change made in the preferences window
// while a run works reaches the next run, never half of this one, and so that
// no option is read by a misspelt key deep inside the engine.

#include <cstdint>
#include <string>

namespace kestrel {

class ParameterFile;

struct RunOptions {
  bool noUpdate = false;             // NoUpdate: no INSERT, UPDATE or DELETE is sent
  bool listSql = false;              // ListSQL: every statement text is logged
  bool updateDebugging = false;      // UpdateDebugging: per-row trace lines
  bool listColumns = false;          // ListColumns: the catalog's columns are logged
  bool checkForZeroRows = false;     // CheckForZeroRows: an empty source fails a replication
  bool cancelActive = false;         // CancelActive: the status window has a Cancel button
  bool debugMode = false;            // DebugMode: debug lines such as the hash statistics
  std::int32_t maxBeforeCommit = 0;  // MaxBeforeCommit: changes between two commits
  std::int32_t hashSlots = 0;        // HashSlots: the temporary file's slots; 0 the default
  std::string tempFile;              // TempFile: the temporary file's name

  // The values of `options`; every option has its default when it is null.
  static RunOptions from(const ParameterFile* options);
  // The values of the program's option store (programOptions()).
  static RunOptions current();

  // The size in bytes of the temporary file's slot table: HashSlots slots of
  // 4 bytes, or the file's default when HashSlots is unset or out of range.
  std::int32_t hashTableBytes() const;
};

}  // namespace kestrel
