#include "engine/copy_run.h"

#include <sqlext.h>

#include <string>

#include "base/platform.h"
#include "engine/copy_definition.h"
#include "engine/table_endpoint.h"
#include "engine/temporary_file.h"
#include "engine/value_transforms.h"

namespace kestrel {

namespace {

const char kCancelLine[] = "CANCEL pressed by operator...";

// A record read from the temporary file gives every source column its length
// again (also -1 for a stored NULL).
void restoreStoredLengths(TableEndpoint& source) {
  for (EndpointColumn& column : source.columns()) {
    if (column.value) column.value->setIndicator(column.storedLength);
  }
}

}  // namespace

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

CopyRun::CopyRun(CopyDefinition& definition, MessageLog& log, StatusDisplay& status,
                 StatusLine* operation, StatusLine* rowNumber, const RunOptions& options)
    : definition_(definition),
      log_(log),
      status_(status),
      options_(options),
      source_(*definition.sourceEndpoint),
      target_(*definition.targetEndpoint),
      operation_(operation),
      rowNumber_(rowNumber) {}

bool CopyRun::cancelled() {
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

bool CopyRun::simpleCopy() {
  const CopyDefinition& d = definition_;
  log_.AddLine("Starting copying records to " + d.toTable + " in " + d.toSource, Normal);
  status_.SetValue(operation_, "Connecting to TO table");
  status_.SetValue(rowNumber_, " ");
  status_.Show();
  if (!source_.openSourceSelect(d.fromWhere, d.orderBy)) return false;
  if (!target_.prepareInsert()) return false;
  status_.SetValue(operation_, "Copying rows directly to target table");
  while (source_.fetchSource()) {
    if (cancelled()) return false;
    status_.SetValue(rowNumber_, static_cast<long>(source_.rowsFetched));
    if (!target_.insertRow()) return false;
  }
  // A read that ended on an error is no end of the data.
  if (source_.readFailed()) return false;
  source_.commitPending();
  log_.AddLine("Table counts: " + std::to_string(source_.rowsFetched) + " rows copied", Normal);
  return true;
}

bool CopyRun::replicate() {
  const CopyDefinition& d = definition_;
  log_.AddLine(
      "Starting to copy rows from " + d.fromTable + " in " + d.fromSource + " to temporary file",
      Normal);
  status_.SetValue(operation_, "Copying rows to temporary file");
  status_.SetValue(rowNumber_, " ");
  status_.Show();
  TemporaryFile file;
  if (!file.create(options_.tempFile, options_.hashTableBytes(), TemporaryFile::kBufferBytes)) {
    log_.AddLine(file.lastError(), Error);
    log_.AddLine("Error writing to temporary file", Error);
    return false;
  }
  if (!spoolSource(file)) return false;
  log_.AddLine(std::to_string(file.recordCount()) + " rows copied to temporary file", Normal);
  if (cancelled()) return false;
  if (options_.checkForZeroRows && file.recordCount() < 1) {
    log_.AddLine(
        "Operation aborted due to CheckForZeroRows preferences option and zero rows read from "
        "input table",
        Error);
    return false;
  }
  source_.executeCommitStatement();
  if (!walkTarget(file)) return false;
  if (!insertUnmatched(file)) return false;
  logStatistics(file);
  file.destroy();
  return true;
}

// Every selected source row, transformed, into the temporary file.
bool CopyRun::spoolSource(TemporaryFile& file) {
  CopyDefinition& definition = definition_;
  TableEndpoint& source = source_;
  MessageLog& log = log_;
  const bool updateDebugging = options_.updateDebugging;
  file.attachStatus(&source.recordStatusWord);
  source.setRecordStatus(RecordStatus::New);
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
    if (cancelled()) return false;
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
    status_.SetValue(rowNumber_, static_cast<long>(file.recordCount()));
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

// Every target row inside the TO condition: updated from the source row of
// its key, or deleted when the source has none.
bool CopyRun::walkTarget(TemporaryFile& file) {
  const CopyDefinition& d = definition_;
  log_.AddLine("Starting to read records for update from " + d.toTable + " in " + d.toSource,
               Normal);
  status_.SetValue(operation_, "Connecting to TO table");
  status_.SetValue(rowNumber_, " ");
  if (!target_.openForUpdate(d.updateMode, d.toWhere)) return false;
  if (cancelled()) return false;

  status_.SetValue(operation_, "Updating existing rows in TO table");
  while (target_.fetchTarget()) {
    if (cancelled()) return false;
    status_.SetValue(rowNumber_, static_cast<long>(target_.targetRowsRead));
    if (target_.currentKeyIsNull()) {
      // No row is ever changed on the strength of another row's key.
      log_.AddLine("Row " + std::to_string(target_.targetRowsRead) + " of table " + d.toTable +
                       " in copy definition " + d.name +
                       " has a NULL key value and is neither updated nor deleted",
                   Note);
      continue;
    }
    // The target's key values, converted, into the source buffers that the
    // hash and the key comparison read. A key the source's type cannot hold
    // (70000 for a SMALLINT key) is no source key: narrowed, it would match
    // another row.
    bool keyFits = true;
    for (const CopyColumn& column : d.copyColumns) {
      if (!column.key || !column.sourceColumn || !column.targetColumn) continue;
      BoundValue& into = *column.sourceColumn->value;
      std::string shown;
      if (!convertFitting(*column.targetColumn->value, into, "", ValueLimits{}, shown))
        keyFits = false;
      column.sourceColumn->storedLength = into.indicator();
    }
    std::uint32_t offset = keyFits ? file.lookup(0, options_.updateDebugging) : 0;
    if (offset == 0) {
      if (file.failed()) {
        // An unreadable temporary file must never read as "no such key":
        // that would delete the target row.
        log_.AddLine(file.lastError(), Error);
        return false;
      }
      // The run stops at the first changing statement that fails: its
      // uncommitted changes are rolled back, and a later statement would
      // be refused anyway on some databases (PostgreSQL) until then.
      if (!target_.deleteCurrent()) return false;
      continue;
    }
    restoreStoredLengths(source_);
    source_.setRecordStatus(RecordStatus::Matched);
    if (!file.writeStatus(offset) || !file.writeStatusOfEqualKeys(offset)) {
      log_.AddLine(file.lastError(), Error);
      return false;
    }
    if (!target_.updateCurrent()) return false;
  }
  return !target_.readFailed();
}

// Every source record that no target row matched, inserted in file order.
bool CopyRun::insertUnmatched(TemporaryFile& file) {
  log_.AddLine("Starting to copy new records from the temporary file", Normal);
  status_.SetValue(operation_, "Writing new rows to TO table");
  status_.SetValue(rowNumber_, " ");
  file.rewind();
  for (;;) {
    std::uint32_t offset = file.readNext(options_.updateDebugging);
    if (offset == 0) {
      if (file.failed()) {
        log_.AddLine(file.lastError(), Error);
        return false;
      }
      break;
    }
    restoreStoredLengths(source_);
    ++source_.rowsUsed;
    if (cancelled()) return false;
    status_.SetValue(rowNumber_, static_cast<long>(target_.insertedCount));
    if (source_.recordStatus() == RecordStatus::New && !target_.insertRow()) return false;
  }
  return true;
}

void CopyRun::logStatistics(const TemporaryFile& file) {
  if (options_.debugMode) {
    long long lookups = file.lookups();
    long long mean = lookups > 0 ? file.totalProbes() / lookups : 0;
    std::string line =
        "Hash statistics: " + std::to_string(file.usedSlots()) + " table entries used out of " +
        std::to_string(file.slotCount()) + ". " + std::to_string(file.recordCount()) +
        " inserted records resulted in a max search parth of " + std::to_string(file.maxProbe()) +
        " records (Mean value: " + std::to_string(mean) + ")";
    log_.AddDebugLine(line.c_str());
  }
  std::string counts =
      "Table counts: " + std::to_string(source_.rowsRead) + " read from FROM table";
  counts += source_.rowsRead == source_.rowsUsed
                ? ", "
                : " (" + std::to_string(source_.rowsUsed) + " actually used), ";
  counts += std::to_string(target_.targetRowsRead) + " read from TO table.";
  log_.AddLine(counts, Normal);
  log_.AddLine("Output table statistics: " + std::to_string(target_.deletedCount) + " deleted, " +
                   std::to_string(target_.updatedCount) + " updated and " +
                   std::to_string(target_.insertedCount) + " inserted.",
               Normal);
}

}  // namespace kestrel
