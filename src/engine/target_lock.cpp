#include "engine/target_lock.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "base/platform.h"

namespace kestrel {

namespace {

std::string upperCase(const std::string& text) {
  std::string result = text;
  for (char& c : result) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return result;
}

std::string errnoText(int code) { return std::strerror(code); }

// A folder we may keep lock files in: ours, a real folder (not a link), and
// writable by nobody else. Made when missing.
bool privateFolder(const std::string& path, bool create, std::string& error) {
  if (create && ::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
    error = "Cannot create folder '" + path + "': " + errnoText(errno);
    return false;
  }
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) {
    error = "Cannot use folder '" + path + "': " + errnoText(errno);
    return false;
  }
  if (!S_ISDIR(status.st_mode) || status.st_uid != ::getuid() ||
      (status.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    error = "Folder '" + path + "' is not a private folder of this user";
    return false;
  }
  return true;
}

bool isOwnFolder(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode) &&
         status.st_uid == ::getuid();
}

// "pid program" of the lock's holder, as it wrote them; empty when the file
// does not tell (the holder has not written it yet).
std::string holderOf(int fd) {
  char buffer[256] = {};
  ssize_t n = ::pread(fd, buffer, sizeof buffer - 1, 0);
  if (n <= 0) return {};
  std::string text(buffer, static_cast<std::size_t>(n));
  text = text.substr(0, text.find('\n'));
  std::size_t blank = text.find(' ');
  if (blank == std::string::npos || blank == 0) return {};
  for (std::size_t i = 0; i < blank; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return {};
  }
  return "process " + text.substr(0, blank) + " (" + text.substr(blank + 1) + ")";
}

}  // namespace

std::string TargetLock::lockFolder(std::string& error) {
  error.clear();
  std::string runtime;
  const char* xdg = std::getenv("XDG_RUNTIME_DIR");
  if (xdg && xdg[0] == '/' && isOwnFolder(xdg)) {
    runtime = xdg;
  } else {
    // A cron job has no XDG_RUNTIME_DIR; it still finds the session's folder
    // when one exists, so that its runs and a desktop session's see each other.
    std::string session = "/run/user/" + std::to_string(::getuid());
    if (isOwnFolder(session)) runtime = session;
  }
  std::string folder =
      runtime.empty() ? "/tmp/kestrel-" + std::to_string(::getuid()) : runtime + "/kestrel";
  if (!privateFolder(folder, true, error)) return {};
  return folder;
}

std::string TargetLock::lockFileName(const std::string& dataSource, const std::string& table) {
  // A data source name means what the DSN file in use says: the same name in
  // another ODBCINI file is another data source. FNV-1a over the three, so
  // that any name makes a short, safe file name.
  const char* dsnFile = std::getenv("ODBCINI");
  const std::string key =
      upperCase(dataSource) + '\0' + upperCase(table) + '\0' + (dsnFile && *dsnFile ? dsnFile : "");
  std::uint64_t hash = 14695981039346656037ULL;
  for (unsigned char c : key) {
    hash ^= c;
    hash *= 1099511628211ULL;
  }
  char name[48];
  std::snprintf(name, sizeof name, "target-%016llx.lock", static_cast<unsigned long long>(hash));
  return name;
}

bool TargetLock::acquire(const std::string& dataSource, const std::string& table,
                         std::chrono::milliseconds wait, MessageLog& log) {
  release();
  const std::string what = "target table " + table + " in data source " + dataSource;
  std::string error;
  const std::string folder = lockFolder(error);
  if (folder.empty()) {
    log.AddLine("Cannot lock " + what + ": " + error, Error);
    return false;
  }
  const std::string path = folder + "/" + lockFileName(dataSource, table);
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    log.AddLine("Cannot lock " + what + ": cannot open '" + path + "': " + errnoText(errno), Error);
    return false;
  }
  const auto deadline = std::chrono::steady_clock::now() + wait;
  bool waited = false;
  std::string holder;
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) break;
    if (errno != EWOULDBLOCK && errno != EINTR) {
      log.AddLine("Cannot lock " + what + ": " + errnoText(errno), Error);
      ::close(fd);
      return false;
    }
    std::string current = holderOf(fd);
    if (!current.empty()) holder = current;
    const std::string named = holder.empty() ? "another process" : holder;
    if (programStopRequested()) {
      log.AddLine("Run stopped: the program was asked to end", Error);
      ::close(fd);
      return false;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      log.AddLine("The " + what + " is in use by " + named +
                      ": no second run writes into it at the same time",
                  Error);
      ::close(fd);
      return false;
    }
    if (!waited) {
      waited = true;
      log.AddLine("The " + what + " is in use by " + named + ": waiting up to " +
                      std::to_string((wait.count() + 999) / 1000) + " seconds for it to end",
                  Note);
    }
    PumpMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  // Who holds the table, for the message of a run that has to wait.
  const char* program = program_invocation_short_name;
  std::string self = std::to_string(::getpid()) + " " +
                     (program && *program ? program : "kestrel") + "\n" + dataSource + "\n" +
                     table + "\n";
  if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, self.data(), self.size(), 0) < 0) {
    // The lock holds all the same; a waiting run names "another process".
  }
  if (waited) log.AddLine("The " + what + " is free again", Normal);
  fd_ = fd;
  return true;
}

void TargetLock::release() {
  if (fd_ < 0) return;
  // The file stays: removing it while another process waits on it would let
  // a third process lock a new file of the same name beside it.
  ::close(fd_);
  fd_ = -1;
}

}  // namespace kestrel
