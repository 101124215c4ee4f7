#pragma once
// Keeps two processes of this program from writing into one target table at
// the same time. A run holds an exclusive lock (flock) on a small file named
// after the target's data source and table, in the user's runtime folder, for
// as long as it runs; a second run into the same table waits a bounded time
// for it and then fails, naming the process that holds the table.
//
// The lock covers runs of one user on one machine that name the target by the
// same data source name in the same DSN file (ODBCINI). Runs from other machines
// (or of other users) are not seen: those need a unique key on the target or
// a lock definition.

#include <chrono>
#include <string>

#include "base/message_log.h"

namespace kestrel {

class TargetLock {
 public:
  // How long a run waits for another process's run into its target.
  static constexpr std::chrono::seconds kDefaultWait{60};

  TargetLock() = default;
  TargetLock(const TargetLock&) = delete;
  TargetLock& operator=(const TargetLock&) = delete;
  ~TargetLock() { release(); }

  // Takes the lock of table in dataSource (both compared without regard to
  // case). While another process holds it, writes a line naming that process
  // and waits up to `wait`, pumping window messages; gives up at once when
  // the program is asked to end. False, after an error line, when the lock
  // could not be had.
  bool acquire(const std::string& dataSource, const std::string& table,
               std::chrono::milliseconds wait, MessageLog& log);
  void release();
  bool held() const { return fd_ >= 0; }

  // The folder of the lock files: $XDG_RUNTIME_DIR/kestrel, else
  // /run/user/<uid>/kestrel when that runtime folder exists, else
  // /tmp/kestrel-<uid>. Made (mode 0700) when missing; empty, with the reason
  // in `error`, when it cannot be made or is not a private folder of ours.
  static std::string lockFolder(std::string& error);
  // The lock file's name in the folder for a data source and table, read
  // through the DSN file that ODBCINI names (if it names one).
  static std::string lockFileName(const std::string& dataSource, const std::string& table);

 private:
  int fd_ = -1;
};

}  // namespace kestrel
