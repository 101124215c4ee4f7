#include "engine/temporary_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <string_view>

#include "base/message_log.h"
#include "base/parameter_file.h"
#include "odbc/column_value.h"

namespace kestrel {

namespace {

// Records are gathered up to this many bytes before they are written, and a
// sequential read fetches this many bytes at once.
constexpr std::size_t kBlockBytes = 64 * 1024;
// A lookup reads this much of a record at once.
constexpr std::size_t kProbeBytes = 4096;
// Blocks of the file kept for reading; a lookup refills one when it reads a
// record less than a block ahead of one of them or of a recent lookup read.
constexpr std::size_t kCacheBlocks = 8;
// Growing the slot table reads and rewrites the file in blocks of this size.
constexpr std::size_t kRehashBlockBytes = 1024 * 1024;

// Text compared as a number takes at most this many bytes, and converts at
// most kConvertedBytes of them.
constexpr std::int32_t kNumberTextBytes = 98;
constexpr std::int32_t kConvertedBytes = 69;

constexpr std::uint32_t kHashSeed = 31415;

void putU16(char* at, std::uint16_t value) {
  at[0] = static_cast<char>(value & 0xFF);
  at[1] = static_cast<char>(value >> 8);
}

void putU32(char* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::uint16_t getU16(const char* at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(at[0]) |
                                    (static_cast<unsigned char>(at[1]) << 8));
}

std::uint32_t getU32(const char* at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(at[i]);
  return value;
}

std::int32_t getI32(const char* at) { return static_cast<std::int32_t>(getU32(at)); }

bool debugOn(bool debug) {
  MessageLog* log = programLog();
  return debug && log && log->debugEnabled();
}

std::int32_t trimmedLength(const char* data, std::int32_t length) {
  while (length > 0 && data[length - 1] == ' ') --length;
  return length;
}

// A key value of an integer column in its buffer's width (1, 2 or 4 bytes).
bool readInteger(const char* data, std::int32_t length, std::int64_t* value) {
  switch (length) {
    case 1: {
      std::int8_t v;
      std::memcpy(&v, data, 1);
      *value = v;
      return true;
    }
    case 2: {
      std::int16_t v;
      std::memcpy(&v, data, 2);
      *value = v;
      return true;
    }
    case 4: {
      std::int32_t v;
      std::memcpy(&v, data, 4);
      *value = v;
      return true;
    }
    default:
      return false;
  }
}

bool readFloat(const char* data, std::int32_t length, double* value) {
  if (length == 4) {
    float v;
    std::memcpy(&v, data, 4);
    *value = v;
    return true;
  }
  if (length == 8) {
    std::memcpy(value, data, 8);
    return true;
  }
  return false;
}

// The number rule of the hash: magnitudes between 1e-7 and 1 count as their
// reciprocals, so that small fractions spread over the slots. The result is
// the number truncated toward zero to 64 bits; a value out of that range (and
// NaN) gives the lowest 64-bit integer, as the processor's conversion does.
std::int64_t hashedNumber(double x) {
  x = std::fabs(x);
  if (x > 1e-7 && x < 1) x = 1 / x;
  if (!(x < 9223372036854775808.0)) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(x);
}

// "%30.15f" with the leading blanks removed, at most 98 characters, trailing
// zeros after the decimal point removed. Independent of the process locale.
std::string numberForDebug(double value) {
  char text[400];
  auto [end, error] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 15);
  std::string result = error == std::errc() ? std::string(text, end) : std::string("?");
  if (result.size() > static_cast<std::size_t>(kNumberTextBytes)) result.resize(kNumberTextBytes);
  if (result.find('.') != std::string::npos) {
    while (!result.empty() && result.back() == '0') result.pop_back();
  }
  return result;
}

std::string errnoText() { return std::strerror(errno); }

bool allDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Whether `name` is one the configured temporary file name can produce: the
// name itself or a numbered variant (".1" ...), with any digits where the
// pattern has "%p". The process id found there is returned in pid (0 when
// the pattern has none).
bool matchesPattern(const std::string& name, const std::string& pattern, long& pid) {
  pid = 0;
  std::string_view rest = name;
  std::string_view expected = pattern;
  const std::size_t marker = expected.find("%p");
  if (marker != std::string_view::npos) {
    std::string_view prefix = expected.substr(0, marker);
    if (rest.substr(0, prefix.size()) != prefix) return false;
    rest.remove_prefix(prefix.size());
    std::size_t digits = 0;
    while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') ++digits;
    if (digits == 0 || digits > 9) return false;
    pid = std::atol(std::string(rest.substr(0, digits)).c_str());
    rest.remove_prefix(digits);
    expected.remove_prefix(marker + 2);
    if (expected.find("%p") != std::string_view::npos) return false;
  }
  if (rest.substr(0, expected.size()) != expected) return false;
  rest.remove_prefix(expected.size());
  if (rest.empty()) return true;
  return rest[0] == '.' && allDigits(rest.substr(1));
}

bool processAlive(long pid) {
  return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

// Removes the temporary files that runs killed before they could clean up
// have left in the folder of `path`: only files the configured name can
// produce, regular files of this user that start with the file magic, whose
// process (when the name tells it) is gone, and that no process holds locked
// (every live temporary file is locked by its run for its whole life).
void removeLeftoverFiles(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
  const std::string pattern = slash == std::string::npos ? path : path.substr(slash + 1);
  if (pattern.empty()) return;
  const std::string folderPrefix = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  // A "%p" in the folder part stands for this process.
  const std::string folderName = expandProcessId(folder);
  DIR* directory = ::opendir(folderName.c_str());
  if (!directory) return;
  std::vector<std::string> removed;
  while (const dirent* entry = ::readdir(directory)) {
    const std::string name = entry->d_name;
    long pid = 0;
    if (!matchesPattern(name, pattern, pid) || pid == ::getpid() || processAlive(pid)) continue;
    const std::string full = expandProcessId(folderPrefix) + name;
    struct stat before {};
    if (::lstat(full.c_str(), &before) != 0 || !S_ISREG(before.st_mode) ||
        before.st_uid != ::getuid()) {
      continue;
    }
    const int fd = ::open(full.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    unsigned char magic[4] = {};
    struct stat opened {};
    const bool ours = ::pread(fd, magic, sizeof magic, 0) == sizeof magic &&
                      (magic[0] | magic[1] << 8 | magic[2] << 16 |
                       static_cast<std::uint32_t>(magic[3]) << 24) == TemporaryFile::kFileMagic &&
                      ::fstat(fd, &opened) == 0 && opened.st_ino == before.st_ino &&
                      opened.st_dev == before.st_dev;
    // Locked while we check again that the name is still this file.
    struct stat now {};
    if (ours && ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::lstat(full.c_str(), &now) == 0 &&
        now.st_ino == opened.st_ino && now.st_dev == opened.st_dev && ::unlink(full.c_str()) == 0) {
      removed.push_back(full);
    }
    ::close(fd);
  }
  ::closedir(directory);
  if (MessageLog* log = programLog()) {
    for (const std::string& name : removed) {
      log->AddLine("Temporary file '" + name + "' left by an ended run removed", Note);
    }
  }
}

std::uint64_t mix64(std::uint64_t x) {
  x ^= x >> 30;
  x *= 0xBF58476D1CE4E5B9ull;
  x ^= x >> 27;
  x *= 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// The bits of a number as a spreading hash term: numbers that compare equal
// give equal terms (-0 and 0, every NaN).
std::uint64_t numberTerm(double x) {
  if (x == 0) x = 0;
  if (std::isnan(x)) return 0x7FF8000000000000ull;
  std::uint64_t bits;
  std::memcpy(&bits, &x, sizeof bits);
  return bits;
}

}  // namespace

HashType hashTypeFor(int bindingType, int sqlType) {
  switch (bindingType) {
    case 4:   // SQL_C_LONG
    case 5:   // SQL_C_SHORT
    case -7:  // SQL_C_BIT
    case -6:  // SQL_C_TINYINT
      return HashType::Integer;
    case 7:  // SQL_C_FLOAT
    case 8:  // SQL_C_DOUBLE
      return HashType::Float;
    case 1:  // SQL_C_CHAR
      return sqlType == 3 ? HashType::NumericText : HashType::Text;
    default:
      return HashType::Text;
  }
}

TemporaryFile::TemporaryFile() = default;

TemporaryFile::~TemporaryFile() { destroy(); }

bool TemporaryFile::create(const std::string& path, std::int32_t tableBytes,
                           std::int32_t bufferBytes, TableGrowth growth) {
  if (isOpen()) destroy();
  failed_ = broken_ = false;
  refusal_ = Refusal::None;
  lastError_.clear();
  openError_.clear();
  path_.clear();
  if (tableBytes < 4 || bufferBytes < kHeaderBytes) {
    lastError_ =
        "Temporary file needs a hash table of at least 4 bytes and a record buffer of at "
        "least 16 bytes";
    failed_ = true;
    return false;
  }
  try {
    slots_.assign(static_cast<std::size_t>(tableBytes / 4), 0);
    recordBuffer_.assign(static_cast<std::size_t>(bufferBytes), 0);
    pending_.clear();
    pending_.reserve(kBlockBytes);
    blocks_.assign(kCacheBlocks, CacheBlock{});
    for (CacheBlock& block : blocks_) {
      block.bytes.assign(std::max(kBlockBytes, static_cast<std::size_t>(bufferBytes)), 0);
    }
  } catch (const std::bad_alloc&) {
    slots_ = {};
    recordBuffer_ = {};
    pending_ = {};
    blocks_ = {};
    lastError_ = "Not enough memory for the temporary file's hash table and record buffer";
    failed_ = true;
    return false;
  }
  endOffset_ = readOffset_ = flushedEnd_ = 4;
  recentProbes_ = {};
  nextProbe_ = 0;
  blockUses_ = 0;
  bufferedRecord_ = 0;
  lastSlot_ = recordCount_ = maxProbe_ = 0;
  totalProbes_ = lookups_ = 0;
  longestRecord_ = 0;
  growthStopped_ = false;
  growing_ = growth == TableGrowth::Grows;
  spreading_ = false;

  // O_EXCL: never open a file someone else made (or a link planted in a shared
  // folder); a taken name gets a numeric suffix instead.
  removeLeftoverFiles(path);
  const std::string base = expandProcessId(path);
  for (int suffix = 0; suffix <= kMaxNameSuffix; ++suffix) {
    std::string name = suffix == 0 ? base : base + "." + std::to_string(suffix);
    int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
      // Locked for the file's whole life, before its magic is written: a
      // later run removes a file of ours only when no process holds it.
      ::flock(fd, LOCK_EX | LOCK_NB);
      fd_ = fd;
      path_ = name;
      break;
    }
    if (errno != EEXIST) {
      lastError_ = openError_ = "Cannot create temporary file '" + name + "': " + errnoText();
      failed_ = true;
      return false;
    }
  }
  if (fd_ < 0) {
    lastError_ = openError_ = "Cannot create temporary file '" + base + "': the name and its " +
                              std::to_string(kMaxNameSuffix) + " numbered variants are all taken";
    failed_ = true;
    return false;
  }
  char magic[4];
  putU32(magic, kFileMagic);
  if (!writeAt(0, magic, sizeof magic)) {
    std::string reason = lastError_;
    destroy();
    lastError_ = openError_ = reason;
    failed_ = true;
    return false;
  }
  return true;
}

bool TemporaryFile::declareField(void* data, std::int32_t capacity, std::int32_t* length,
                                 bool isKey, HashType hashType, bool compareAsNumber) {
  if (!length || (!data && capacity > 0) || capacity < 0 || recordCount_ > 0 ||
      (isKey && keyCount_ < fieldCount())) {
    lastError_ = "Field cannot be declared for the temporary file";
    return false;
  }
  fields_.push_back({static_cast<char*>(data), capacity, length, isKey, hashType, compareAsNumber});
  directorySize_ += 8;
  if (isKey) {
    keyDirectorySize_ += 8;
    ++keyCount_;
    if (hashType != HashType::Integer) integerKeys_ = false;
  }
  return true;
}

std::uint32_t TemporaryFile::refuse(Refusal why, std::string message) {
  refusal_ = why;
  lastError_ = std::move(message);
  return 0;
}

bool TemporaryFile::keyIsNull() const {
  for (const Field& field : fields_) {
    if (!field.isKey) break;
    if (*field.length < 0) return true;
  }
  return false;
}

std::uint32_t TemporaryFile::insert(bool debug) {
  refusal_ = Refusal::None;
  if (!isOpen()) {
    return refuse(Refusal::NotOpen,
                  openError_.empty() ? std::string("The temporary file is not open") : openError_);
  }
  if (broken_) return refuse(Refusal::WriteFailed, lastError_);

  std::int64_t total = kHeaderBytes + directorySize_;
  std::int64_t keyEnd = total;
  for (const Field& field : fields_) {
    std::int32_t length = *field.length;
    if (length < 0) {
      if (field.isKey) return refuse(Refusal::NullKey, "A key field holds NULL");
      continue;
    }
    if (length > field.capacity) {
      return refuse(Refusal::ValueTooLong, "A value of " + std::to_string(length) +
                                               " bytes exceeds its buffer of " +
                                               std::to_string(field.capacity) + " bytes");
    }
    total += length;
    if (field.isKey) keyEnd += length;
  }
  const std::int64_t bufferSize = static_cast<std::int64_t>(recordBuffer_.size());
  if (total > bufferSize) {
    return refuse(Refusal::RecordTooLarge,
                  "Record of " + std::to_string(total) +
                      " bytes exceeds the temporary file's record buffer of " +
                      std::to_string(bufferSize) + " bytes");
  }
  if (endOffset_ + static_cast<std::uint64_t>(total) > std::numeric_limits<std::uint32_t>::max()) {
    return refuse(Refusal::FileFull, "Temporary file '" + path_ + "' has reached its 4 GiB limit");
  }

  const bool showing = debugOn(debug);
  char* record = recordBuffer_.data();
  putU16(record, kRecordMagic);
  putU16(record + 2, static_cast<std::uint16_t>(statusWord_ ? *statusWord_ : 0));
  putU32(record + 4, static_cast<std::uint32_t>(total));
  putU32(record + 8, static_cast<std::uint32_t>(keyEnd));
  std::uint32_t length = kHeaderBytes + directorySize_;
  char* directory = record + kHeaderBytes;
  for (const Field& field : fields_) {
    std::int32_t valueLength = *field.length < 0 ? -1 : *field.length;
    putU32(directory, static_cast<std::uint32_t>(valueLength));
    putU32(directory + 4, length);
    directory += 8;
    if (valueLength > 0) {
      std::memcpy(record + length, field.data, static_cast<std::size_t>(valueLength));
      length += static_cast<std::uint32_t>(valueLength);
    }
    if (showing) {
      std::string line = "Building Hash record: length=" + std::to_string(valueLength) + " field='";
      if (valueLength > 0) line.append(field.data, static_cast<std::size_t>(valueLength));
      line += "'";
      DebugLine(line.c_str());
    }
  }

  if (static_cast<std::int64_t>(recordCount_) >=
          static_cast<std::int64_t>(kMaxLoad) * static_cast<std::int64_t>(slots_.size()) &&
      !grow()) {
    return refuse(Refusal::WriteFailed, lastError_);
  }
  const std::int32_t slot = hash(debug);
  lastSlot_ = slot;
  putU32(record + 12, slots_[static_cast<std::size_t>(slot)]);

  if (pending_.size() + static_cast<std::size_t>(total) > kBlockBytes && !writePending()) {
    return refuse(Refusal::WriteFailed, lastError_);
  }
  if (static_cast<std::size_t>(total) > kBlockBytes) {
    // Only with a record buffer larger than a block; the block stays within
    // the capacity reserved at creation.
    if (!writeAt(flushedEnd_, record, static_cast<std::size_t>(total))) {
      return refuse(Refusal::WriteFailed, lastError_);
    }
    flushedEnd_ += static_cast<std::uint32_t>(total);
  } else {
    pending_.insert(pending_.end(), record, record + total);
  }
  const std::uint32_t offset = endOffset_;
  endOffset_ += static_cast<std::uint32_t>(total);
  slots_[static_cast<std::size_t>(slot)] = offset;
  ++recordCount_;
  longestRecord_ = std::max(longestRecord_, static_cast<std::int32_t>(total));
  bufferedRecord_ = offset;
  return offset;
}

bool TemporaryFile::flush() { return writePending() && writeBackCache(); }

bool TemporaryFile::writePending() {
  if (broken_) return false;
  if (pending_.empty()) return true;
  if (!writeAt(flushedEnd_, pending_.data(), pending_.size())) {
    // The slots already point at records that never reached the file.
    broken_ = true;
    pending_.clear();
    return false;
  }
  flushedEnd_ += static_cast<std::uint32_t>(pending_.size());
  pending_.clear();
  return true;
}

bool TemporaryFile::writeAt(std::uint64_t offset, const char* bytes, std::size_t count) {
  while (count > 0) {
    ssize_t written = ::pwrite(fd_, bytes, count, static_cast<off_t>(offset));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      if (written == 0) errno = ENOSPC;
      lastError_ = "Error writing to temporary file '" + path_ + "': " + errnoText();
      return false;
    }
    bytes += written;
    count -= static_cast<std::size_t>(written);
    offset += static_cast<std::uint64_t>(written);
  }
  return true;
}

bool TemporaryFile::writeBack(CacheBlock& block) {
  if (!block.dirty) return true;
  block.dirty = false;
  if (!writeAt(block.start, block.bytes.data(), block.length)) {
    // A record whose mark did not reach the file would read back as new.
    broken_ = true;
    return false;
  }
  return true;
}

bool TemporaryFile::writeBackCache() {
  if (broken_) return false;
  for (CacheBlock& block : blocks_) {
    if (!writeBack(block)) return false;
  }
  return true;
}

void TemporaryFile::dropCache() {
  for (CacheBlock& block : blocks_) block.length = 0;
}

TemporaryFile::CacheBlock* TemporaryFile::blockHolding(std::uint64_t offset, std::size_t count) {
  for (CacheBlock& block : blocks_) {
    if (block.holds(offset, count)) return &block;
  }
  return nullptr;
}

// Reads the bytes from offset into the least recently used block. A block
// that overlaps them is written back and dropped first, so no byte of the file
// is ever held twice.
TemporaryFile::CacheBlock* TemporaryFile::fillBlock(std::uint32_t offset) {
  CacheBlock* victim = &blocks_.front();
  for (CacheBlock& block : blocks_) {
    if (block.length == 0 || block.lastUse < victim->lastUse) victim = &block;
    if (block.length == 0) break;
  }
  const std::size_t want = std::min<std::size_t>(victim->bytes.size(), endOffset_ - offset);
  for (CacheBlock& block : blocks_) {
    if (block.overlaps(offset, want) || &block == victim) {
      if (!writeBack(block)) return nullptr;
      block.length = 0;
    }
  }
  std::size_t got = 0;
  if (!readBytes(offset, victim->bytes.data(), want, &got)) return nullptr;
  victim->start = offset;
  victim->length = static_cast<std::uint32_t>(got);
  return victim;
}

// True when a lookup's record lies less than a block ahead of a cached block
// or of a recent lookup read: a target walked in the order its rows were
// spooled (tables read by their key usually are) reads the file forward, in
// as many streams as the chains interleave.
bool TemporaryFile::followsAStream(std::uint32_t offset) const {
  const std::uint64_t reach = blocks_.front().bytes.size();
  for (const CacheBlock& block : blocks_) {
    if (block.length > 0 && offset >= block.start && offset < block.end() + reach) return true;
  }
  for (std::uint32_t probe : recentProbes_) {
    if (probe != 0 && offset > probe && offset - probe < reach) return true;
  }
  return false;
}

bool TemporaryFile::readBytes(std::uint64_t offset, char* into, std::size_t count,
                              std::size_t* got) {
  *got = 0;
  while (*got < count) {
    ssize_t read = ::pread(fd_, into + *got, count - *got, static_cast<off_t>(offset + *got));
    if (read < 0 && errno == EINTR) continue;
    if (read < 0) {
      lastError_ = "Error reading temporary file '" + path_ + "': " + errnoText();
      return false;
    }
    if (read == 0) break;
    *got += static_cast<std::size_t>(read);
  }
  return true;
}

bool TemporaryFile::readFailure(std::uint32_t offset, const std::string& reason) {
  lastError_ = "Temporary file '" + path_ + "' holds no readable record at offset " +
               std::to_string(offset) + ": " + reason;
  failed_ = true;
  bufferedRecord_ = 0;
  return false;
}

// Reads the record at offset into the record buffer. A sequential read takes
// whole blocks through the cache. A lookup takes the record from the cache
// when a block holds it, refills a block from it when it follows a stream of
// reads (see followsAStream), and otherwise reads the record alone, so that
// lookups in no order read no more than they need.
bool TemporaryFile::readRecord(std::uint32_t offset, bool sequential) {
  if (!writePending()) {
    failed_ = true;
    return false;
  }
  if (offset < 4 || offset >= endOffset_ || endOffset_ - offset < kHeaderBytes) {
    return readFailure(offset, "no record starts there");
  }
  const std::size_t available = std::min<std::size_t>(
      {endOffset_ - offset, recordBuffer_.size(), static_cast<std::size_t>(longestRecord_)});
  CacheBlock* block = blockHolding(offset, available);
  if (!block && (sequential || followsAStream(offset))) {
    block = fillBlock(offset);
    if (!block) return readFailure(offset, lastError_);
  }
  if (!sequential) {
    recentProbes_[nextProbe_] = offset;
    nextProbe_ = (nextProbe_ + 1) % recentProbes_.size();
  }
  std::size_t got = 0;
  if (block) {
    block->lastUse = ++blockUses_;
    got = std::min<std::size_t>(available, block->end() - offset);
    std::memcpy(recordBuffer_.data(), block->bytes.data() + (offset - block->start), got);
    return checkRecord(offset, static_cast<std::int32_t>(got));
  }
  // Marks not yet written must not be read around.
  for (CacheBlock& other : blocks_) {
    if (other.dirty && other.overlaps(offset, available) && !writeBack(other)) {
      return readFailure(offset, lastError_);
    }
  }
  // Most records are short: the first read takes the header and usually all
  // of the record, a second read only the rest of a long one.
  if (!readBytes(offset, recordBuffer_.data(), std::min(available, kProbeBytes), &got)) {
    return readFailure(offset, lastError_);
  }
  const std::size_t total = got >= kHeaderBytes ? getU32(recordBuffer_.data() + 4) : 0;
  if (total > got && total <= available) {
    std::size_t rest = 0;
    if (!readBytes(offset + got, recordBuffer_.data() + got, total - got, &rest)) {
      return readFailure(offset, lastError_);
    }
    got += rest;
  }
  return checkRecord(offset, static_cast<std::int32_t>(got));
}

// A record is accepted only when its header and directory describe bytes that
// lie inside the record, inside the file and inside the field buffers, and its
// link points to an earlier record; so no damage to the file can make a read
// overrun a buffer or a chain walk loop.
bool TemporaryFile::checkRecord(std::uint32_t offset, std::int32_t available) {
  bufferedRecord_ = 0;
  if (available < kHeaderBytes) return readFailure(offset, "the file is shorter than expected");
  const char* record = recordBuffer_.data();
  if (getU16(record) != kRecordMagic) return readFailure(offset, "bad record magic");
  const std::uint32_t total = getU32(record + 4);
  const std::uint32_t keyEnd = getU32(record + 8);
  const std::uint32_t link = getU32(record + 12);
  const std::uint32_t minimum = kHeaderBytes + directorySize_;
  if (total < minimum || total > static_cast<std::uint32_t>(longestRecord_) ||
      total > endOffset_ - offset) {
    return readFailure(offset, "bad record length");
  }
  if (total > static_cast<std::uint32_t>(available)) {
    return readFailure(offset, "the file is shorter than expected");
  }
  if (keyEnd < minimum || keyEnd > total) return readFailure(offset, "bad key length");
  if (link != 0 && (link < 4 || link >= offset)) return readFailure(offset, "bad chain link");
  const char* directory = record + kHeaderBytes;
  for (const Field& field : fields_) {
    const std::int32_t length = getI32(directory);
    const std::uint32_t dataOffset = getU32(directory + 4);
    directory += 8;
    // Keys are never stored as NULL.
    if (length == -1 && !field.isKey) continue;
    if (length < 0 || length > field.capacity || dataOffset < minimum || dataOffset > total ||
        static_cast<std::uint32_t>(length) > total - dataOffset) {
      return readFailure(offset, "bad field directory");
    }
  }
  bufferedRecord_ = offset;
  return true;
}

void TemporaryFile::unpack(bool debug) {
  const bool showing = debugOn(debug);
  const char* record = recordBuffer_.data();
  if (statusWord_) *statusWord_ = static_cast<std::int16_t>(getU16(record + 2));
  const char* directory = record + kHeaderBytes;
  for (const Field& field : fields_) {
    const std::int32_t length = getI32(directory);
    const std::uint32_t dataOffset = getU32(directory + 4);
    directory += 8;
    *field.length = length;
    if (length > 0) std::memcpy(field.data, record + dataOffset, static_cast<std::size_t>(length));
    if (showing) {
      std::string line = "Reading Hash record: length=" + std::to_string(length) + " field='";
      if (length > 0) line.append(record + dataOffset, static_cast<std::size_t>(length));
      line += "'";
      DebugLine(line.c_str());
    }
  }
}

std::int32_t TemporaryFile::hash(bool debug) const {
  const bool showing = debugOn(debug);
  std::string line;
  if (showing) line = "Hashing fields: ";
  keyValues_.clear();
  for (const Field& field : fields_) {
    if (!field.isKey) break;
    keyValues_.push_back({field.data, std::max(*field.length, 0)});
  }
  const std::uint32_t acc = hashOf(keyValues_.data(), showing ? &line : nullptr, spreading_);
  const auto slot = static_cast<std::int32_t>(acc % static_cast<std::uint32_t>(slots_.size()));
  if (showing) {
    line += " Hashvalue=" + std::to_string(slot);
    DebugLine(line.c_str());
  }
  return slot;
}

// The hash of the key values in keys (one per key field, in order), before it
// is reduced to a slot; with line, the debug text of each value is appended.
// The table's initial slots come from the original sum, whose terms are
// small (under 16,384 a character of text), so its values cluster: fine for a
// table of a few thousand slots, but a grown table would leave most of its
// slots empty and the chains long. With spread, keys with any field that is
// not an integer hash with a 64-bit mix of every value's bits instead, so
// that equal keys still hash alike. Integer keys keep the sum (the absolute
// values), which spreads consecutive keys evenly over any odd slot count.
std::uint32_t TemporaryFile::hashOf(const KeyValue* keys, std::string* line, bool spread) const {
  std::uint32_t acc = 0;
  std::uint32_t seed = kHashSeed;
  spread = spread && !integerKeys_;
  std::uint64_t mixed = 0;
  for (const Field& field : fields_) {
    if (!field.isKey) break;
    const char* data = keys->data;
    const std::int32_t length = keys->length;
    ++keys;
    if (spread) {
      std::uint64_t term = 0;
      if (field.hashType == HashType::NumericText ||
          (field.hashType == HashType::Text && field.compareAsNumber)) {
        term = numberTerm(keyTextToNumber(data, length));
      } else if (field.hashType == HashType::Integer) {
        std::int64_t value = 0;
        readInteger(data, length, &value);
        term = static_cast<std::uint64_t>(value);
      } else if (field.hashType == HashType::Float) {
        double value = 0.0;
        readFloat(data, length, &value);
        term = numberTerm(value);
      } else {
        // FNV-1a over the value without its trailing blanks.
        term = 0xCBF29CE484222325ull;
        const std::int32_t n = trimmedLength(data, length);
        for (std::int32_t i = 0; i < n; ++i) {
          term = (term ^ static_cast<unsigned char>(data[i])) * 0x100000001B3ull;
        }
      }
      mixed = mix64(mixed + term + 0x9E3779B97F4A7C15ull);
      if (!line) continue;
    }
    const bool numericText = field.hashType == HashType::NumericText ||
                             (field.hashType == HashType::Text && field.compareAsNumber);
    if (numericText) {
      const double x = keyTextToNumber(data, length);
      const std::int64_t term = hashedNumber(x);
      acc += static_cast<std::uint32_t>(static_cast<std::uint64_t>(term));
      if (line) {
        if (field.hashType == HashType::Text) {
          *line += "'";
          line->append(data, static_cast<std::size_t>(std::min(length, kNumberTextBytes)));
          *line += "' ";
        } else {
          *line += std::to_string(term) + " ";
        }
      }
    } else if (field.hashType == HashType::Integer) {
      std::int64_t value = 0;
      readInteger(data, length, &value);
      acc += static_cast<std::uint32_t>(value < 0 ? -value : value);
      if (line) *line += std::to_string(value) + " ";
    } else if (field.hashType == HashType::Float) {
      double value = 0.0;
      readFloat(data, length, &value);
      const std::int64_t term = hashedNumber(value);
      acc += static_cast<std::uint32_t>(static_cast<std::uint64_t>(term));
      if (line) *line += std::to_string(term) + " ";
    } else {
      const std::int32_t n = trimmedLength(data, length);
      unsigned shift = 0;
      for (std::int32_t i = 0; i < n; ++i) {
        const std::uint32_t byte = static_cast<unsigned char>(data[i]);
        seed = (13849u - 22403u * seed) & 0xFFFFu;
        acc += ((byte + (seed >> 3)) & 0xFFFu) << shift;
        shift = shift == 2 ? 0 : shift + 1;
      }
      if (line && n > 0) {
        *line += "'";
        line->append(data, static_cast<std::size_t>(n));
        *line += "' ";
      }
    }
  }
  if (spread) return static_cast<std::uint32_t>(mixed >> 32) ^ static_cast<std::uint32_t>(mixed);
  return acc;
}

// Doubles the slot table and relinks every record: the file is read in large
// blocks, each record's key is hashed from its stored bytes, its link set to
// the newest earlier record of its new slot, and the block written back.
// Records are relinked in file order, so every chain stays newest first. A
// record that does not check out (a damaged file) stops the pass; the file is
// then broken, since its chains are only partly relinked.
bool TemporaryFile::grow() {
  const std::size_t current = slots_.size();
  if (!growing_ || growthStopped_ || current >= static_cast<std::size_t>(kMaxHashSlots)) {
    return true;
  }
  std::size_t wanted =
      std::min<std::size_t>(current * 2 + 1, static_cast<std::size_t>(kMaxHashSlots));
  if (!flush()) return false;
  std::vector<char> block;
  try {
    block.assign(std::max(kRehashBlockBytes, static_cast<std::size_t>(longestRecord_)), 0);
  } catch (const std::bad_alloc&) {
    growthStopped_ = true;
    return true;
  }
  // The pass rebuilds every chain from the file, so the old table goes first:
  // the peak is the new table alone. Without memory for it the old size is
  // rebuilt and growth stops there.
  slots_ = {};
  try {
    slots_.assign(wanted, 0);
  } catch (const std::bad_alloc&) {
    growthStopped_ = true;
    wanted = current;
    try {
      slots_.assign(wanted, 0);
    } catch (const std::bad_alloc&) {
      return growthFailure(4, "not enough memory for its hash table");
    }
  }
  std::vector<std::uint32_t>& table = slots_;
  spreading_ = true;
  const std::uint32_t minimum = kHeaderBytes + directorySize_;
  std::uint32_t offset = 4;
  while (offset < endOffset_) {
    const std::size_t want = std::min<std::size_t>(block.size(), endOffset_ - offset);
    std::size_t got = 0;
    if (!readBytes(offset, block.data(), want, &got)) return growthFailure(offset, lastError_);
    if (got < want) return growthFailure(offset, "the file is shorter than expected");
    std::size_t used = 0;
    while (got - used >= kHeaderBytes) {
      char* record = block.data() + used;
      const std::uint32_t total = getU32(record + 4);
      const auto at = static_cast<std::uint32_t>(offset + used);
      if (getU16(record) != kRecordMagic) return growthFailure(at, "bad record magic");
      if (total < minimum || total > static_cast<std::uint32_t>(longestRecord_) ||
          total > endOffset_ - at) {
        return growthFailure(at, "bad record length");
      }
      if (total > got - used) break;  // the rest of it comes with the next block
      keyValues_.clear();
      const char* directory = record + kHeaderBytes;
      for (const Field& field : fields_) {
        if (!field.isKey) break;
        const std::int32_t length = getI32(directory);
        const std::uint32_t dataOffset = getU32(directory + 4);
        directory += 8;
        if (length < 0 || length > field.capacity || dataOffset < minimum || dataOffset > total ||
            static_cast<std::uint32_t>(length) > total - dataOffset) {
          return growthFailure(at, "bad field directory");
        }
        keyValues_.push_back({record + dataOffset, length});
      }
      const std::size_t slot = hashOf(keyValues_.data(), nullptr, true) % wanted;
      putU32(record + 12, table[slot]);
      table[slot] = at;
      used += total;
    }
    if (used == 0) return growthFailure(offset, "the file is shorter than expected");
    if (!writeAt(offset, block.data(), used)) return growthFailure(offset, lastError_);
    offset += static_cast<std::uint32_t>(used);
  }
  // Cached bytes and the buffered record hold the old links.
  dropCache();
  bufferedRecord_ = 0;
  return true;
}

bool TemporaryFile::growthFailure(std::uint32_t offset, const std::string& reason) {
  readFailure(offset, reason);
  broken_ = true;
  return false;
}

bool TemporaryFile::keysEqual(bool debug) const {
  const bool showing = debugOn(debug);
  const char* record = recordBuffer_.data();
  const char* directory = record + kHeaderBytes;
  for (const Field& field : fields_) {
    if (!field.isKey) break;
    const std::int32_t storedLength = getI32(directory);
    const char* stored = record + getU32(directory + 4);
    directory += 8;
    const std::int32_t length = *field.length;
    if (storedLength < 0 || length < 0) return false;
    const bool numericText = field.hashType == HashType::NumericText ||
                             (field.hashType == HashType::Text && field.compareAsNumber);
    bool equal = false;
    if (numericText) {
      const double current = keyTextToNumber(field.data, length);
      const double kept = keyTextToNumber(stored, storedLength);
      equal = !(current < kept) && !(kept < current);
      // Decimal texts of more digits than a double holds are equal only
      // when their numbers are; equal numbers read as equal doubles, so the
      // hash still agrees.
      std::string exactCurrent, exactKept;
      if (equal &&
          canonicalDecimal(std::string_view(field.data, static_cast<std::size_t>(length)),
                           exactCurrent) &&
          canonicalDecimal(std::string_view(stored, static_cast<std::size_t>(storedLength)),
                           exactKept))
        equal = exactCurrent == exactKept;
      if (showing) {
        std::string line =
            "Update debug: Hashfile comparing numeric fields: " + numberForDebug(current) + " to " +
            numberForDebug(kept) + " (result=" + (equal ? "TRUE" : "FALSE") + ")";
        DebugLine(line.c_str());
      }
    } else if (field.hashType == HashType::Integer) {
      std::int64_t current = 0, kept = 0;
      equal = readInteger(field.data, length, &current) &&
              readInteger(stored, storedLength, &kept) && current == kept;
    } else if (field.hashType == HashType::Float) {
      double current = 0.0, kept = 0.0;
      // NaN is neither less nor greater than anything; it matches only NaN,
      // never every other key of its slot.
      equal = readFloat(field.data, length, &current) && readFloat(stored, storedLength, &kept) &&
              (std::isnan(current) ? std::isnan(kept)
                                   : !std::isnan(kept) && !(current < kept) && !(kept < current));
    } else {
      const std::int32_t n = trimmedLength(field.data, length);
      equal = n == trimmedLength(stored, storedLength) &&
              std::memcmp(field.data, stored, static_cast<std::size_t>(n)) == 0;
      if (showing) {
        std::string line = "Update debug: Hashfile comparing text fields: '";
        line.append(field.data, static_cast<std::size_t>(length));
        line += "' to '";
        line.append(stored, static_cast<std::size_t>(storedLength));
        line += std::string("' (Result=") + (equal ? "TRUE" : "FALSE") + ")";
        DebugLine(line.c_str());
      }
    }
    if (!equal) return false;
  }
  return true;
}

std::uint32_t TemporaryFile::lookup(std::uint32_t offset, bool debug) {
  failed_ = false;
  if (!isOpen()) {
    lastError_ = "The temporary file is not open";
    failed_ = true;
    return 0;
  }
  // A broken file answers nothing, not even "no such key" (its table may be
  // half rebuilt, or gone when there was no memory for it).
  if (broken_) return 0;
  if (offset != 0) {
    if (!readRecord(offset, false)) return 0;
    unpack(debug);
    return offset;
  }
  if (keyIsNull()) return 0;
  for (const Field& field : fields_) {
    if (field.isKey && *field.length > field.capacity) {
      lastError_ = "A key value of " + std::to_string(*field.length) +
                   " bytes exceeds its buffer of " + std::to_string(field.capacity) + " bytes";
      failed_ = true;
      return 0;
    }
  }
  ++lookups_;
  const std::int32_t slot = hash(debug);
  std::int32_t probes = 0;
  std::uint32_t current = slots_[static_cast<std::size_t>(slot)];
  while (current != 0) {
    if (!readRecord(current, false)) {
      current = 0;
      break;
    }
    ++probes;
    if (keysEqual(debug)) break;
    current = getU32(recordBuffer_.data() + 12);
  }
  maxProbe_ = std::max(maxProbe_, probes);
  totalProbes_ += probes;
  if (current == 0) return 0;
  unpack(debug);
  return current;
}

std::uint32_t TemporaryFile::readNext(bool debug) {
  failed_ = false;
  if (!isOpen() || atEnd()) return 0;
  const std::uint32_t offset = readOffset_;
  if (!readRecord(offset, true)) return 0;
  readOffset_ = offset + getU32(recordBuffer_.data() + 4);
  unpack(debug);
  return offset;
}

bool TemporaryFile::writeStatus(std::uint32_t offset) {
  if (!statusWord_ || !isOpen()) {
    lastError_ = "No record status is attached to the temporary file";
    return false;
  }
  if (!writePending()) return false;
  if (offset < 4 || offset >= endOffset_ || endOffset_ - offset < kHeaderBytes) {
    lastError_ =
        "Temporary file '" + path_ + "' holds no record at offset " + std::to_string(offset);
    return false;
  }
  CacheBlock* block = blockHolding(offset, 4);
  if (offset != bufferedRecord_) {
    char magic[2];
    std::size_t got = sizeof magic;
    if (block) {
      std::memcpy(magic, block->bytes.data() + (offset - block->start), sizeof magic);
    } else if (!readBytes(offset, magic, sizeof magic, &got)) {
      got = 0;
    }
    if (got != sizeof magic || getU16(magic) != kRecordMagic) {
      lastError_ =
          "Temporary file '" + path_ + "' holds no record at offset " + std::to_string(offset);
      return false;
    }
  }
  char status[2];
  putU16(status, static_cast<std::uint16_t>(*statusWord_));
  if (offset == bufferedRecord_) std::memcpy(recordBuffer_.data() + 2, status, 2);
  if (block) {
    // Written with the block when it leaves the cache or is flushed: a walk in
    // spool order marks a block of records with one write.
    std::memcpy(block->bytes.data() + (offset - block->start) + 2, status, 2);
    block->dirty = true;
    return true;
  }
  // A status word on the edge of a block is written at once and kept current
  // in the block, whose write-back would otherwise undo it.
  for (CacheBlock& edge : blocks_) {
    for (std::uint64_t at = offset + 2; at < std::uint64_t{offset} + 4; ++at) {
      if (edge.holds(at, 1)) edge.bytes[at - edge.start] = status[at - offset - 2];
    }
  }
  if (!writeAt(std::uint64_t{offset} + 2, status, sizeof status)) {
    // A record whose mark did not reach the file would read back as new.
    broken_ = true;
    return false;
  }
  return true;
}

bool TemporaryFile::writeStatusOfEqualKeys(std::uint32_t found) {
  failed_ = false;
  // Right after its lookup the found record is still in the buffer: only the
  // older records of its chain need reading.
  if (found != bufferedRecord_ && !readRecord(found, false)) return false;
  std::uint32_t current = getU32(recordBuffer_.data() + 12);
  // Links only ever point to earlier offsets (checked when a record is read),
  // so the walk ends.
  while (current != 0) {
    if (!readRecord(current, false)) return false;
    const std::uint32_t next = getU32(recordBuffer_.data() + 12);
    if (keysEqual(false) && !writeStatus(current)) return false;
    current = next;
  }
  return true;
}

std::int32_t TemporaryFile::usedSlots() const {
  return static_cast<std::int32_t>(
      std::count_if(slots_.begin(), slots_.end(), [](std::uint32_t slot) { return slot != 0; }));
}

void TemporaryFile::destroy() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
    ::unlink(path_.c_str());
  }
  fields_.clear();
  integerKeys_ = true;
  keyCount_ = directorySize_ = keyDirectorySize_ = 0;
  slots_ = {};
  recordBuffer_ = {};
  pending_ = {};
  blocks_ = {};
  recentProbes_ = {};
  bufferedRecord_ = 0;
  endOffset_ = readOffset_ = flushedEnd_ = 4;
  statusWord_ = nullptr;
}

}  // namespace kestrel
