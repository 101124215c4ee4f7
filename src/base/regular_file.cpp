#include "base/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace kestrel {

std::FILE* openRegularFile(const std::string& name) {
  // Non-blocking, so that a FIFO without a writer cannot hold the open.
  const int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return nullptr;
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    const int reason = S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
    ::close(fd);
    errno = reason;
    return nullptr;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  std::FILE* file = ::fdopen(fd, "rb");
  if (!file) {
    const int reason = errno;
    ::close(fd);
    errno = reason;
  }
  return file;
}

}  // namespace kestrel
