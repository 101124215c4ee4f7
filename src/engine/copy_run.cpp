// One run of a copy definition: a simple copy inserts every source row into
// the target; a replication spools the source rows into a temporary file with
// a hash index on the key, walks the target updating or deleting each row,
// and inserts the source rows that no target row matched. Also the last steps
// of resolving a copy definition: its two table endpoints and their columns.
//
// Every path after the lock check ends in finishRun, which writes "Processing
// could not be performed" on failure. The temporary file is owned by the run
// and deleted on every path, also on error and cancel.

#include <sqlext.h>

#include <cstdio>

#include "base/parameter_file.h"
#include "base/platform.h"
#include "base/status_display.h"
#include "engine/copy_definition.h"
#include "engine/edit_definition.h"
#include "engine/table_endpoint.h"
#include "engine/temporary_file.h"
#include "engine/value_transforms.h"
#include "schedule/timer_scheduler.h"

namespace kestrel {

namespace {

const char kSeparatorLine[] =
    "---------------------------------------------------------------------";
const char kCancelLine[] = "CANCEL pressed by operator...";

bool isNumberBinding(int bindingType) {
  switch (bindingType) {
    case SQL_C_LONG:
    case SQL_C_SHORT:
    case SQL_C_FLOAT:
    case SQL_C_DOUBLE:
    case SQL_C_BIT:
    case SQL_C_TINYINT:
      return true;
    default:
      return false;
  }
}

std::string quoteText(const std::optional<char>& quote) {
  return quote ? std::string(1, *quote) : std::string();
}

// What one run needs besides the definition: the log, the status display and
// the check for a cancel between rows.
class RunContext {
 public:
  RunContext(MessageLog& log, StatusDisplay& status) : log_(log), status_(status) {}

  // Processes pending window messages, then tells whether the operator
  // cancelled (or the program was asked to end), writing the line that says so.
  bool cancelled() {
    PumpMessages();
    if (status_.CancelRequested()) {
      log_.AddLine(kCancelLine, Error);
      return true;
    }
    if (programStopRequested()) {
      log_.AddLine("Run stopped: the program was asked to end", Error);
      return true;
    }
    return false;
  }

 private:
  MessageLog& log_;
  StatusDisplay& status_;
};

}  // namespace

CopyDefinition::~CopyDefinition() = default;

bool CopyDefinition::resolveEndpoints(MessageLog& messageLog) {
  sourceEndpoint = std::make_unique<TableEndpoint>();
  targetEndpoint = std::make_unique<TableEndpoint>();
  if (!selectStatement.empty()) {
    sourceEndpoint->setSelect(fromSource, selectStatement, fromUserid, fromPassword, messageLog);
  } else {
    sourceEndpoint->setTable(fromSource, fromQualifier, fromCreator, fromTable, fromUserid,
                             fromPassword, messageLog);
  }
  targetEndpoint->setTable(toSource, toQualifier, toCreator, toTable, toUserid, toPassword,
                           messageLog);
  bool loaded = loadColumnDefinitions(messageLog);
  if (loaded) {
    sourceEndpoint->applyQuote(quoteText(fromQuote));
    targetEndpoint->applyQuote(quoteText(toQuote));
  }
  return finishRun(loaded);
}

bool CopyDefinition::loadColumnDefinitions(MessageLog& messageLog) {
  if (columnsLoaded) return true;
  if (!log) log = &messageLog;
  if (!sourceEndpoint || !targetEndpoint) {
    messageLog.AddLine("Copy definition " + name + " was not resolved", Error);
    return false;
  }
  messageLog.AddLine("Loading column definitions for copy definition " + name, Normal);
  for (CopyColumn& column : copyColumns) {
    EndpointColumn* source =
        sourceEndpoint->addColumn(column.fromColumn, column.key, column.logged, column.hex, nullptr,
                                  "", nullptr, &column, column.leftTrim, column.unchanged);
    if (!source) return finishRun(false);
    EndpointColumn* target =
        targetEndpoint->addColumn(column.toColumn, column.key, column.logged, column.hex, source,
                                  column.formatted ? column.formatPattern : std::string(), nullptr,
                                  &column, false, column.unchanged);
    if (!target) return finishRun(false);
    if (isNumberBinding(target->description.bindingType)) source->compareAsNumber = true;
    column.sourceColumn = source;
    column.targetColumn = target;
  }
  for (SetColumn& column : setColumns) {
    if (!targetEndpoint->addColumn(column.toColumn, false, false, false, nullptr, "", &column,
                                   nullptr, false, false))
      return false;
  }
  messageLog.AddLine("Column definitions for copy definition " + name + " successfully loaded",
                     Normal);
  columnsLoaded = true;
  return finishRun(true);
}

bool CopyDefinition::finishRun(bool ok) {
  if (fromDisconnect && sourceEndpoint && sourceEndpoint->isConnected())
    sourceEndpoint->disconnect();
  if (toDisconnect && targetEndpoint && targetEndpoint->isConnected()) targetEndpoint->disconnect();
  if (!ok && log) log->AddLine("Processing could not be performed", Error);
  busy = false;
  if (autorunTimer && autorunTimer->scheduler) autorunTimer->scheduler->start();
  return ok;
}

namespace {

// The size of the temporary file's slot table: HashSlots slots of 4 bytes,
// kTableBytes (8000 slots) when the option is unset or out of range.
std::int32_t hashTableBytes() {
  const int slots = optionInt("HashSlots");
  if (slots < 1 || slots > TemporaryFile::kMaxHashSlots) return TemporaryFile::kTableBytes;
  return slots * 4;
}

// A record read from the temporary file gives every source column its length
// again (also -1 for a stored NULL).
void restoreStoredLengths(TableEndpoint& source) {
  for (EndpointColumn& column : source.columns()) {
    if (column.value) column.value->setIndicator(column.storedLength);
  }
}

// Step 4 of a replication: every selected source row into the temporary file.
bool fillTemporaryFile(CopyDefinition& definition, TableEndpoint& source, TemporaryFile& file,
                       StatusDisplay& status, StatusLine* rowField, RunContext& context) {
  MessageLog& log = source.log();
  const bool updateDebugging = optionInt("UpdateDebugging") != 0;
  file.attachStatus(&source.recordStatus);
  source.recordStatus = 1;
  if (!source.executeSourceSelect(definition.fromWhere, definition.orderBy)) return false;

  // Key fields first: hashing and comparing stop at the first other field.
  for (bool keys : {true, false}) {
    for (CopyColumn& column : definition.copyColumns) {
      EndpointColumn* field = column.sourceColumn;
      if (!field || field->key != keys || !field->value) continue;
      const ColumnDescription& d = field->value->description;
      if (!file.declareField(field->value->data(), d.bindingLength, &field->storedLength,
                             field->key, hashTypeFor(d.bindingType, d.sqlType),
                             field->compareAsNumber)) {
        log.AddLine(file.lastError(), Error);
        return false;
      }
    }
  }

  source.rowsRead = 0;
  std::int32_t skipCounter = 0;
  while (source.fetchRow()) {
    if (context.cancelled()) return false;
    ++source.rowsRead;
    if (definition.every > 1) {
      std::int32_t k = skipCounter;
      skipCounter = k + 1;
      if (definition.every >= k) continue;
      skipCounter = 0;
    }
    for (CopyColumn& column : definition.copyColumns) {
      if (!column.sourceColumn || !column.sourceColumn->value) continue;
      std::string error;
      bool targetIsNumber =
          column.targetColumn && isNumberBinding(column.targetColumn->description.bindingType);
      if (!transformSourceValue(column, *column.sourceColumn->value, targetIsNumber, error)) {
        log.AddLine(error, Error);
        return false;
      }
    }
    for (EndpointColumn& column : source.columns()) {
      if (column.value) column.storedLength = column.value->indicator();
    }
    if (updateDebugging) {
      for (EndpointColumn& column : source.columns()) {
        if (!column.value || !column.key) continue;
        std::string line = "Update debug: Copying to temp file: ";
        renderValue(line, *column.value, column.hex);
        log.AddLine(line, Note);
      }
    }
    if (file.insert(updateDebugging) == 0) {
      if (file.lastRefusal() == TemporaryFile::Refusal::NullKey) {
        // A row without a key value could never be matched to a target row;
        // it is read but not used.
        log.AddLine("Row " + std::to_string(source.rowsRead) + " of copy definition " +
                        definition.name + " has a NULL key value and is not copied",
                    Note);
        continue;
      }
      log.AddLine("Error writing to temporary file", Error);
      if (!file.lastError().empty()) log.AddLine(file.lastError(), Error);
      return false;
    }
    if (definition.first >= 0 && file.recordCount() >= definition.first) break;
    status.SetValue(rowField, static_cast<long>(file.recordCount()));
  }
  if (source.readFailed()) return false;
  if (!file.flush()) {
    log.AddLine("Error writing to temporary file", Error);
    log.AddLine(file.lastError(), Error);
    return false;
  }
  source.rowsUsed = 0;
  source.closeCursor();
  return true;
}

}  // namespace

bool CopyDefinition::run(MessageLog& messageLog, StatusWindowFactory* view, int retryNumber) {
  log = &messageLog;
  TimerScheduler* scheduler = autorunTimer ? autorunTimer->scheduler : nullptr;
  if (scheduler) scheduler->stop();
  if (inactive) {
    messageLog.AddLine("Copy definition " + name + " ignored due to INACTIVE flag in FROM command",
                       Note);
    if (scheduler) scheduler->start();
    return true;
  }
  checkForZeroRows = optionInt("CheckForZeroRows") != 0;
  messageLog.AddLine(kSeparatorLine, Normal);
  std::string start = "Starting processing copy definition " + name;
  if (retryNumber >= 1) {
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, " (retry number %ld)", static_cast<long>(retryNumber));
    start += suffix;
  }
  messageLog.AddLine(start, Normal);
  if (lockDefinition && !lockDefinition->check(messageLog)) {
    messageLog.AddLine(
        "Copy definition " + name + " cannot be performed due to LOCKDEFINITION state", Note);
    if (scheduler) scheduler->start();
    return false;
  }

  StatusDisplay status;
  StatusLine* nameLine = status.AddStatusLine("Copy definition name:");
  StatusLine* fromLine = status.AddStatusLine("From table:");
  StatusLine* toLine = status.AddStatusLine("To table:");
  StatusLine* operation = status.AddStatusLine("Current operation:");
  StatusLine* rowNumber = status.AddStatusLine("Processing row number:");
  status.setCancelActive(optionInt("CancelActive") != 0);
  status.setTitle("KESTREL Copy status");
  status.setParent(view);
  RunContext context(messageLog, status);

  if (!loadColumnDefinitions(messageLog)) return finishRun(false);
  busy = true;
  status.SetValue(nameLine, name);
  status.SetValue(fromLine, fromTable + " in " + fromSource);
  status.SetValue(toLine, toTable + " in " + toSource);
  TableEndpoint& source = *sourceEndpoint;
  TableEndpoint& target = *targetEndpoint;

  if (!replicate) {
    messageLog.AddLine("Starting copying records to " + toTable + " in " + toSource, Normal);
    status.SetValue(operation, "Connecting to TO table");
    status.SetValue(rowNumber, " ");
    status.Show();
    if (!source.openSourceSelect(fromWhere, orderBy)) return finishRun(false);
    if (!target.prepareInsert()) return finishRun(false);
    status.SetValue(operation, "Copying rows directly to target table");
    while (source.fetchSource()) {
      if (context.cancelled()) return finishRun(false);
      status.SetValue(rowNumber, static_cast<long>(source.rowsFetched));
      if (!target.insertRow()) return finishRun(false);
      target.commitPending();
    }
    // A read that ended on an error is no end of the data.
    if (source.readFailed()) return finishRun(false);
    target.commitPending();
    source.commitPending();
    messageLog.AddLine("Table counts: " + std::to_string(source.rowsFetched) + " rows copied",
                       Normal);
  } else {
    messageLog.AddLine(
        "Starting to copy rows from " + fromTable + " in " + fromSource + " to temporary file",
        Normal);
    status.SetValue(operation, "Copying rows to temporary file");
    status.SetValue(rowNumber, " ");
    status.Show();
    TemporaryFile file;
    const bool updateDebugging = optionInt("UpdateDebugging") != 0;
    if (!file.create(optionText("TempFile"), hashTableBytes(), TemporaryFile::kBufferBytes)) {
      messageLog.AddLine(file.lastError(), Error);
      messageLog.AddLine("Error writing to temporary file", Error);
      return finishRun(false);
    }
    if (!fillTemporaryFile(*this, source, file, status, rowNumber, context))
      return finishRun(false);
    messageLog.AddLine(std::to_string(file.recordCount()) + " rows copied to temporary file",
                       Normal);
    if (context.cancelled()) return finishRun(false);
    if (checkForZeroRows && file.recordCount() < 1) {
      messageLog.AddLine(
          "Operation aborted due to CheckForZeroRows preferences option and zero rows read from "
          "input table",
          Error);
      return finishRun(false);
    }
    source.executeCommitStatement();
    messageLog.AddLine("Starting to read records for update from " + toTable + " in " + toSource,
                       Normal);
    status.SetValue(operation, "Connecting to TO table");
    status.SetValue(rowNumber, " ");
    if (!target.openForUpdate(updateMode, toWhere)) return finishRun(false);
    if (context.cancelled()) return finishRun(false);

    status.SetValue(operation, "Updating existing rows in TO table");
    while (target.fetchTarget()) {
      if (context.cancelled()) return finishRun(false);
      status.SetValue(rowNumber, static_cast<long>(target.targetRowsRead));
      if (target.currentKeyIsNull()) {
        // No row is ever changed on the strength of another row's key.
        messageLog.AddLine("Row " + std::to_string(target.targetRowsRead) + " of table " + toTable +
                               " in copy definition " + name +
                               " has a NULL key value and is neither updated nor deleted",
                           Note);
        continue;
      }
      // copyKeysToSource: the target's key values, converted, into the source
      // buffers that the hash and the key comparison read.
      for (CopyColumn& column : copyColumns) {
        if (!column.key || !column.sourceColumn || !column.targetColumn) continue;
        BoundValue& into = *column.sourceColumn->value;
        convertValue(*column.targetColumn->value, into, "");
        column.sourceColumn->storedLength = into.indicator();
      }
      std::uint32_t offset = file.lookup(0, updateDebugging);
      if (offset == 0) {
        if (file.failed()) {
          // An unreadable temporary file must never read as "no such key":
          // that would delete the target row.
          messageLog.AddLine(file.lastError(), Error);
          return finishRun(false);
        }
        // A failed DELETE does not end the run, unless it lost the
        // connection: every further statement would fail as well, and the
        // run must not end as if it had succeeded.
        if (!target.deleteCurrent() && !target.isConnected()) return finishRun(false);
        continue;
      }
      restoreStoredLengths(source);
      source.recordStatus = 2;
      if (!file.writeStatus(offset) || !file.writeStatusOfEqualKeys(offset)) {
        messageLog.AddLine(file.lastError(), Error);
        return finishRun(false);
      }
      if (!target.updateCurrent()) return finishRun(false);
    }
    if (target.readFailed()) return finishRun(false);

    messageLog.AddLine("Starting to copy new records from the temporary file", Normal);
    status.SetValue(operation, "Writing new rows to TO table");
    status.SetValue(rowNumber, " ");
    file.rewind();
    for (;;) {
      std::uint32_t offset = file.readNext(updateDebugging);
      if (offset == 0) {
        if (file.failed()) {
          messageLog.AddLine(file.lastError(), Error);
          return finishRun(false);
        }
        break;
      }
      restoreStoredLengths(source);
      ++source.rowsUsed;
      if (context.cancelled()) return finishRun(false);
      status.SetValue(rowNumber, static_cast<long>(target.insertedCount));
      if (source.recordStatus == 1 && !target.insertRow()) return finishRun(false);
    }
    target.commitPending();
    if (optionInt("DebugMode") != 0) {
      long long lookups = file.lookups();
      long long mean = lookups > 0 ? file.totalProbes() / lookups : 0;
      std::string line =
          "Hash statistics: " + std::to_string(file.usedSlots()) + " table entries used out of " +
          std::to_string(file.slotCount()) + ". " + std::to_string(file.recordCount()) +
          " inserted records resulted in a max search parth of " + std::to_string(file.maxProbe()) +
          " records (Mean value: " + std::to_string(mean) + ")";
      messageLog.AddDebugLine(line.c_str());
    }
    file.destroy();
    std::string counts =
        "Table counts: " + std::to_string(source.rowsRead) + " read from FROM table";
    counts += source.rowsRead == source.rowsUsed
                  ? ", "
                  : " (" + std::to_string(source.rowsUsed) + " actually used), ";
    counts += std::to_string(target.targetRowsRead) + " read from TO table.";
    messageLog.AddLine(counts, Normal);
    messageLog.AddLine("Output table statistics: " + std::to_string(target.deletedCount) +
                           " deleted, " + std::to_string(target.updatedCount) + " updated and " +
                           std::to_string(target.insertedCount) + " inserted.",
                       Normal);
  }
  if (optionInt("NoUpdate") != 0) {
    messageLog.AddLine(
        "WARNING: No updates were performed - updates were surpressed using an option in "
        "preferences",
        Note);
  }
  messageLog.AddLine("Ending processing copy definition " + name, Normal);
  return finishRun(true);
}

}  // namespace kestrel
