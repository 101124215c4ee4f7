#pragma once
// The spool file of a replication run: every selected source row is written as
// one record, and a table of hash slots in memory holds, per slot, the file
// offset of the newest record whose key hashes there. Older records of a slot
// are chained through the link word of each record, so a lookup walks the
// chain on disk, newest first: among records with equal keys the one inserted
// last is found.
//
// The table starts at the size create is given and grows with the data: when
// the records reach kMaxLoad per slot, the next insert first doubles the table
// (2n + 1 slots, odd, so that keys in steps of two still spread) and relinks
// every record in one sequential pass over the file. A chain therefore holds
// about kMaxLoad records or fewer at any size, and memory stays at 2 to 4
// bytes per record (the 4-byte slots), the records themselves on disk. A grown
// table places keys that are not all integers by a hash that spreads them
// (see hashOf); at the initial size every key has its classic slot.
//
// Reads go through a few 64 KiB blocks of the file kept in memory: sequential
// reads, and lookups that read forward from earlier reads (a target walked in
// the order its rows were spooled), take whole blocks; other lookups read the
// record alone. A status mark made in a cached block reaches the file with
// the block, so marking the records of a walk costs one write per block
// instead of one per record.
//
// File layout (all integers little-endian):
//   offset 0: file magic 2356318, 4 bytes; then the records back to back.
//   record:   0 magic 3579 (2) | 2 status (2) | 4 total length (4) |
//             8 end of key data (4) | 12 link to the previous record of the
//             slot, 0 ends the chain (4) | 16 directory, per field in
//             declaration order: length (4, signed) and offset of the data
//             from the record start (4) | the field bytes, back to back.
// A NULL value (negative length indicator) is stored with directory length -1
// and no bytes, and reads back as length -1.
//
// The object does not own the field buffers: each field descriptor points at
// the caller's value buffer and 32-bit length indicator, which insert and the
// hash read and every read of a record (lookup, readNext) overwrite.
//
// Errors are values: operations return 0 or false and leave the reason in
// lastError(). Debug lines go to the program log through DebugLine, only when
// the caller passes debug and the log has its debug output switched on.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kestrel {

// How a key field is hashed and compared.
enum class HashType : std::int32_t { Text = 0, Integer = 1, Float = 2, NumericText = 3 };

// The hash type of a column from its ODBC binding type and SQL type: the
// integer binding types give Integer, float and double give Float, characters
// bound for a DECIMAL column give NumericText, everything else Text.
HashType hashTypeFor(int bindingType, int sqlType);

class TemporaryFile {
 public:
  static constexpr std::uint32_t kFileMagic = 2356318;
  static constexpr std::uint16_t kRecordMagic = 3579;
  static constexpr std::int32_t kHeaderBytes = 16;
  // The sizes a replication run creates the file with.
  static constexpr std::int32_t kTableBytes = 32000;
  static constexpr std::int32_t kBufferBytes = 32000;
  // The largest slot table the HashSlots option can ask for, and the largest
  // the table grows to (256 MiB).
  static constexpr std::int32_t kMaxHashSlots = 64 * 1024 * 1024;
  // Records per slot at which the table grows.
  static constexpr std::int32_t kMaxLoad = 2;
  // create tries the configured name and then name.1 ... name.<kMaxNameSuffix>.
  static constexpr int kMaxNameSuffix = 100;

  // Why the last insert stored nothing.
  enum class Refusal {
    None,
    NotOpen,         // create failed or was never called
    NullKey,         // a key field holds NULL: the row has no key to be found by
    ValueTooLong,    // a length indicator exceeds its field's buffer capacity
    RecordTooLarge,  // the record would not fit the record buffer
    FileFull,        // the file would pass 4 GiB, the reach of its 32-bit offsets
    WriteFailed,     // the operating system refused the write (disk full, I/O error)
  };

  // Whether the slot table grows with the records or keeps its initial size
  // (then chains grow instead: records / slots long on average).
  enum class TableGrowth { Grows, Fixed };

  TemporaryFile();
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  // Closes the file and deletes it.
  ~TemporaryFile();

  // Creates the file and the in-memory table: tableBytes / 4 zeroed slots (the
  // initial size; the table grows) and a record buffer of bufferBytes. "%p" in path stands for the
  // process id. The file is made new with mode 0600 and never shares a name that already exists
  // (another process's file, another live TemporaryFile of this process, a leftover of a crashed
  // run, a planted link): when the name is taken, ".1", ".2", ... up to kMaxNameSuffix are
  // appended. path() tells the name used. A TemporaryFile that is already open is destroyed
  // first, fields included. False with lastError when no file could be made.
  //
  // The file is locked (flock) for its whole life. Before it is made, the files in its folder
  // that the same name (any process id for "%p", any suffix) made for runs that have ended are
  // removed: regular files of this user, starting with the file magic, whose process is gone
  // and that no process holds locked; each removal gets a Note line in the program log.
  bool create(const std::string& path, std::int32_t tableBytes, std::int32_t bufferBytes,
              TableGrowth growth = TableGrowth::Grows);

  // Appends a field descriptor. data points at capacity bytes of value buffer
  // and length at its length indicator (-1 or any negative value: NULL). Key
  // fields come first: hashing and comparing stop at the first non-key field.
  // Refused (false) with a negative capacity, a null pointer, a key after a
  // non-key, or once records exist.
  bool declareField(void* data, std::int32_t capacity, std::int32_t* length, bool isKey,
                    HashType hashType, bool compareAsNumber);

  // The owner's record status: copied into each record as it is built, written
  // back by writeStatus and set from the record by every read.
  void attachStatus(std::int16_t* status) { statusWord_ = status; }

  // Stores the current field values as a new record and returns its offset;
  // 0 when nothing was stored, with the reason in lastRefusal() and lastError().
  // Records are collected in memory and written in blocks, so a write failure
  // may surface at a later insert, at flush() or at the next read (which then
  // returns 0 with failed() set); after a write failure the file refuses all
  // further work. An insert that grows the table and finds a record it cannot
  // read or relink refuses with WriteFailed and breaks the file the same way:
  // its chains are then only partly relinked.
  std::uint32_t insert(bool debug);

  // Writes every record collected so far and every status mark not yet
  // written. False (and failed()) when the file could not be written.
  bool flush();

  // offset 0: finds the newest record whose key equals the current key field
  // values; non-zero: reads the record at that offset. The record found is
  // unpacked into the field buffers and its offset returned. 0 when there is
  // none, or when the file could not be read (then failed() is true: a caller
  // must not treat that as "no such key"). A current key holding NULL is never
  // found and is not counted as a lookup.
  std::uint32_t lookup(std::uint32_t offset, bool debug);

  // Reads the record at the read position, moves the position behind it,
  // unpacks it and returns its offset; 0 at the end (atEnd()) or when the
  // record cannot be read (failed()). Lookups never move the read position.
  std::uint32_t readNext(bool debug);
  void rewind() { readOffset_ = 4; }
  bool atEnd() const { return readOffset_ >= endOffset_; }

  // Writes the attached status word into the record at offset. A record
  // whose bytes the read cache holds is marked there, and the file gets the
  // mark when that block leaves the cache or at flush(); every read of the
  // object sees it at once. False when no status is attached, the offset
  // holds no record, or the write fails; a deferred write that fails breaks
  // the file like a failed insert.
  bool writeStatus(std::uint32_t offset);

  // After a lookup found the record at `found`: writes the attached status
  // into every older record of its chain whose key equals the key fields'
  // values. A key that several source rows share is then matched by the
  // target row that has it, and none of those rows is inserted again as
  // new; otherwise every run would add the older ones to the target once
  // more. Reads made here count in no statistic. False when the file could
  // not be read or written (failed() tells a read failure).
  bool writeStatusOfEqualKeys(std::uint32_t found);

  // Closes and deletes the file and forgets fields, table and buffer.
  void destroy();

  // True when the current key fields hold a NULL.
  bool keyIsNull() const;

  std::int32_t usedSlots() const;
  std::int32_t slotCount() const { return static_cast<std::int32_t>(slots_.size()); }
  std::int32_t recordCount() const { return recordCount_; }
  std::int32_t maxProbe() const { return maxProbe_; }
  std::int64_t totalProbes() const { return totalProbes_; }
  std::int64_t lookups() const { return lookups_; }
  std::int32_t lastSlot() const { return lastSlot_; }
  std::int32_t fieldCount() const { return static_cast<std::int32_t>(fields_.size()); }
  std::int32_t keyCount() const { return keyCount_; }
  std::uint32_t endOffset() const { return endOffset_; }
  std::uint32_t readOffset() const { return readOffset_; }
  bool isOpen() const { return fd_ >= 0; }
  // True after a read or write of the file failed; cleared by a later
  // successful lookup or read. A write failure stays.
  bool failed() const { return failed_ || broken_; }
  Refusal lastRefusal() const { return refusal_; }
  const std::string& lastError() const { return lastError_; }
  const std::string& path() const { return path_; }

 private:
  struct Field {
    char* data;
    std::int32_t capacity;
    std::int32_t* length;
    bool isKey;
    HashType hashType;
    bool compareAsNumber;
  };

  // A key value as hashing sees it: the field's buffer or a stored copy.
  struct KeyValue {
    const char* data;
    std::int32_t length;
  };
  std::int32_t hash(bool debug) const;
  std::uint32_t hashOf(const KeyValue* keys, std::string* line, bool spread) const;
  bool grow();
  bool growthFailure(std::uint32_t offset, const std::string& reason);
  bool keysEqual(bool debug) const;
  std::uint32_t refuse(Refusal why, std::string message);
  bool writeAt(std::uint64_t offset, const char* bytes, std::size_t count);
  bool writePending();

  // A block of the file kept for reading; dirty when status marks were made
  // in it that the file does not have yet.
  struct CacheBlock {
    std::vector<char> bytes;
    std::uint32_t start = 0;
    std::uint32_t length = 0;  // 0: holds nothing
    bool dirty = false;
    std::uint64_t lastUse = 0;
    std::uint64_t end() const { return std::uint64_t{start} + length; }
    bool holds(std::uint64_t offset, std::uint64_t count) const {
      return length > 0 && offset >= start && offset + count <= end();
    }
    bool overlaps(std::uint64_t offset, std::uint64_t count) const {
      return length > 0 && offset < end() && offset + count > start;
    }
  };
  bool writeBack(CacheBlock& block);
  bool writeBackCache();
  void dropCache();
  CacheBlock* blockHolding(std::uint64_t offset, std::size_t count);
  CacheBlock* fillBlock(std::uint32_t offset);
  bool followsAStream(std::uint32_t offset) const;
  bool readRecord(std::uint32_t offset, bool sequential);
  bool readBytes(std::uint64_t offset, char* into, std::size_t count, std::size_t* got);
  bool checkRecord(std::uint32_t offset, std::int32_t available);
  void unpack(bool debug);
  bool readFailure(std::uint32_t offset, const std::string& reason);

  std::string path_;
  int fd_ = -1;
  std::vector<char> recordBuffer_;
  std::vector<std::uint32_t> slots_;
  std::vector<Field> fields_;
  std::int32_t keyCount_ = 0;
  std::int32_t directorySize_ = 0;
  std::int32_t keyDirectorySize_ = 0;
  std::uint32_t endOffset_ = 4;
  std::uint32_t readOffset_ = 4;
  std::int16_t* statusWord_ = nullptr;
  std::int32_t lastSlot_ = 0;
  std::int32_t recordCount_ = 0;
  std::int32_t maxProbe_ = 0;
  std::int64_t totalProbes_ = 0;
  std::int64_t lookups_ = 0;

  // Set when a larger table could not be allocated: the run goes on with the
  // chains growing longer instead.
  bool growthStopped_ = false;
  bool growing_ = true;
  // Set once the table has grown: slots come from the spreading hash.
  bool spreading_ = false;
  // Every key field is an integer.
  bool integerKeys_ = true;
  mutable std::vector<KeyValue> keyValues_;

  // Longest record written; a probe reads this much (capped) in one call.
  std::int32_t longestRecord_ = 0;
  // Records not yet written start at flushedEnd_ and lie in pending_.
  std::uint32_t flushedEnd_ = 4;
  std::vector<char> pending_;
  // Blocks for sequential reading and for lookups that move forward through
  // the file, and the offsets of the latest lookup reads.
  std::vector<CacheBlock> blocks_;
  std::uint64_t blockUses_ = 0;
  std::array<std::uint32_t, 8> recentProbes_{};
  std::size_t nextProbe_ = 0;
  // Offset of the record now in recordBuffer_, 0 when none.
  std::uint32_t bufferedRecord_ = 0;

  bool failed_ = false;
  bool broken_ = false;
  Refusal refusal_ = Refusal::None;
  std::string lastError_;
  std::string openError_;  // why create failed, repeated by every insert
};

}  // namespace kestrel
