#include "private_server.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace kestrel::test {

namespace {

// The command's standard output and error, and whether it exited with 0.
bool runCommand(const std::string& command, std::string* output) {
  std::FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (!pipe) {
    *output = "cannot run: " + command;
    return false;
  }
  std::array<char, 512> buffer;
  while (std::fgets(buffer.data(), buffer.size(), pipe)) *output += buffer.data();
  return ::pclose(pipe) == 0;
}

// A loopback port that nothing listens on now: the kernel's choice for a
// socket bound to port 0.
int freePort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    port = ntohs(address.sin_port);
  ::close(fd);
  return port;
}

std::string postgresBin() {
  std::string newest;
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/postgresql", ignored)) {
    std::string bin = entry.path().string() + "/bin";
    if (std::filesystem::exists(bin + "/pg_ctl") && bin > newest) newest = bin;
  }
  return newest;
}

}  // namespace

const char* PrivateServer::name() const {
  return kind_ == DatabaseKind::MariaDB ? "mariadb" : "postgresql";
}

const char* PrivateServer::portVariable() const {
  return kind_ == DatabaseKind::MariaDB ? "KESTREL_MARIADB_PORT" : "KESTREL_PG_PORT";
}

bool PrivateServer::available(DatabaseKind kind, std::string* reason) {
  bool installed = kind == DatabaseKind::MariaDB ? std::filesystem::exists("/usr/sbin/mariadbd") ||
                                                       std::filesystem::exists("/usr/bin/mariadbd")
                                                 : !postgresBin().empty();
  if (!installed && reason) *reason = databaseKindName(kind) + " server programs are not installed";
  return installed;
}

PrivateServer::~PrivateServer() {
  if (folder_.empty()) return;
  servers(std::string("stop ") + name());
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

std::string PrivateServer::servers(const std::string& action) {
  std::string output;
  // Temporary files in the server's own folder: servers bootstrapped at the
  // same time in one shared /tmp can remove each other's files.
  std::string command = "TMPDIR='" + folder_ + "/tmp' KESTREL_SERVERS_DIR='" + folder_ + "' " +
                        portVariable() + "=" + std::to_string(port_) +
                        " bash '" KESTREL_SOURCE_DIR "/tests/servers/servers.sh' " + action;
  if (runCommand(command, &output)) return {};
  return output.empty() ? "failed: " + command : output;
}

std::string PrivateServer::start() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/kestrel-server-XXXXXX";
  if (!::mkdtemp(pattern.data())) return "cannot create a temporary folder";
  folder_ = pattern;
  std::error_code error;
  std::filesystem::create_directory(folder_ + "/tmp", error);
  // The server runs as its own user, which must be able to write there.
  std::filesystem::permissions(
      folder_ + "/tmp", std::filesystem::perms::all | std::filesystem::perms::sticky_bit, error);
  if (error) return "cannot create " + folder_ + "/tmp: " + error.message();
  port_ = freePort();
  if (port_ == 0) return "no free port";
  return servers(std::string("start ") + name());
}

std::string PrivateServer::restart() { return servers(std::string("start ") + name()); }

std::string PrivateServer::kill() {
  std::string command;
  if (kind_ == DatabaseKind::MariaDB) {
    // SIGKILL, then wait until the process has gone.
    std::string pidFile = folder_ + "/mariadb/mariadb.pid";
    command = "pid=$(cat '" + pidFile +
              "') && kill -9 \"$pid\" && while kill -0 \"$pid\" 2>/dev/null; do sleep 0.05; done";
  } else {
    // An immediate stop ends every backend without a shutdown. pg_ctl
    // refuses to run as root; the data folder belongs to postgres then.
    std::string pgCtl =
        "'" + postgresBin() + "/pg_ctl' -D '" + folder_ + "/pg/data' -m immediate -w stop";
    command = ::geteuid() == 0 ? "runuser -u postgres -- " + pgCtl : pgCtl;
  }
  std::string output;
  return runCommand(command, &output) ? std::string()
         : output.empty()             ? "failed: " + command
                                      : output;
}

}  // namespace kestrel::test
