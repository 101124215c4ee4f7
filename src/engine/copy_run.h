#pragma once
// One run of a copy definition once its lock check has passed and its
// columns are loaded, in its phases. A simple copy inserts every source row
// into the target. A replication spools the selected source rows into a
// temporary file with a hash index on the key (spoolSource), walks the
// target, updating each row whose key it finds and deleting each row whose
// key it does not (walkTarget), and inserts the source rows that no target
// row matched (insertUnmatched). The temporary file belongs to the run and is
// deleted on every path, also on error and cancel.
//
// Every phase returns false after writing its reason to the log; the caller
// (CopyDefinition::run) then ends the run as failed. The run's changes to the
// target are one transaction, which the caller commits when the run
// succeeds and rolls back when it fails (MaxBeforeCommit above 0 commits
// batches on the way).

#include <cstdint>

#include "base/message_log.h"
#include "base/status_display.h"
#include "engine/run_options.h"

namespace kestrel {

class CopyDefinition;
class TableEndpoint;
class TemporaryFile;

class CopyRun {
 public:
  // `operation` and `rowNumber` are the status lines the phases fill in.
  CopyRun(CopyDefinition& definition, MessageLog& log, StatusDisplay& status, StatusLine* operation,
          StatusLine* rowNumber, const RunOptions& options);
  CopyRun(const CopyRun&) = delete;
  CopyRun& operator=(const CopyRun&) = delete;

  bool simpleCopy();
  bool replicate();

  // Processes pending window messages, then tells whether the operator
  // cancelled (or the program was asked to end), writing the line that says so.
  bool cancelled();

 private:
  bool spoolSource(TemporaryFile& file);
  bool walkTarget(TemporaryFile& file);
  bool insertUnmatched(TemporaryFile& file);
  void logStatistics(const TemporaryFile& file);

  CopyDefinition& definition_;
  MessageLog& log_;
  StatusDisplay& status_;
  const RunOptions& options_;
  TableEndpoint& source_;
  TableEndpoint& target_;
  StatusLine* operation_;
  StatusLine* rowNumber_;
};

// Whether values of a binding type are numbers (integers, floating point,
// bits): such a target makes its source key compare as a number.
bool isNumberBinding(int bindingType);

}  // namespace kestrel
