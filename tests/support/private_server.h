#pragma once
// A PostgreSQL server of a test's own, for tests that kill the server under a
// running copy: it runs on a free loopback port with its data in a temporary
// folder, started by tests/servers/servers.sh, so the shared test servers are
// never touched. Stopped and removed when the object goes.

#include <string>

namespace kestrel::test {

class PrivatePostgreSql {
 public:
  PrivatePostgreSql() = default;
  PrivatePostgreSql(const PrivatePostgreSql&) = delete;
  PrivatePostgreSql& operator=(const PrivatePostgreSql&) = delete;
  ~PrivatePostgreSql();

  // Whether the PostgreSQL server programs are installed; otherwise `reason`
  // says why.
  static bool available(std::string* reason);

  // Creates the data folder and starts the server with the user, password
  // and database of the shared servers. The script's output on failure.
  std::string start();
  // Stops the server at once, as a crash would: every connection is cut,
  // nothing is shut down cleanly. Waits until the server is gone.
  std::string kill();
  // Starts it again on the same port and data (after a kill).
  std::string restart();

  int port() const { return port_; }

 private:
  std::string servers(const std::string& action);

  std::string folder_;
  int port_ = 0;
};

}  // namespace kestrel::test
