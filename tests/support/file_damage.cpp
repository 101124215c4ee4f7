#include "file_damage.h"

#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

namespace kestrel::test {

std::vector<unsigned char> readFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool overwriteBytes(const std::string& path, std::uint64_t offset,
                    const std::vector<unsigned char>& bytes) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  ssize_t written = ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset));
  ::close(fd);
  return written == static_cast<ssize_t>(bytes.size());
}

bool flipByte(const std::string& path, std::uint64_t offset, unsigned char mask) {
  std::vector<unsigned char> bytes = readFileBytes(path);
  if (offset >= bytes.size()) return false;
  return overwriteBytes(path, offset, {static_cast<unsigned char>(bytes[offset] ^ mask)});
}

bool cutFile(const std::string& path, std::uint64_t length) {
  return ::truncate(path.c_str(), static_cast<off_t>(length)) == 0;
}

std::vector<unsigned char> littleEndian32(std::uint32_t value) {
  return {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
          static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
}

}  // namespace kestrel::test
