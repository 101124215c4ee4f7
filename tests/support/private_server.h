#pragma once
// A database server of a test's own, for tests that kill the server under a
// running copy: PostgreSQL or MariaDB on a free loopback port with its data
// in a temporary folder, started by tests/servers/servers.sh with the user,
// password and database of the shared servers, so those are never touched.
// Stopped and removed when the object goes.

#include <string>

#include "odbc_test_folder.h"

namespace kestrel::test {

class PrivateServer {
 public:
  explicit PrivateServer(DatabaseKind kind) : kind_(kind) {}
  PrivateServer(const PrivateServer&) = delete;
  PrivateServer& operator=(const PrivateServer&) = delete;
  ~PrivateServer();

  // Whether the server programs are installed; otherwise `reason` says why.
  static bool available(DatabaseKind kind, std::string* reason);

  // Creates the data folder and starts the server; the script's output on
  // failure, an empty text on success.
  std::string start();
  // Ends the server at once, as a crash would: every connection is cut and
  // nothing is shut down cleanly. Returns when the server is gone.
  std::string kill();
  // Starts it again on the same port and data (after a kill).
  std::string restart();

  int port() const { return port_; }
  // The environment variable through which OdbcTestFolder takes the port.
  const char* portVariable() const;

 private:
  std::string servers(const std::string& action);
  const char* name() const;

  DatabaseKind kind_;
  std::string folder_;
  int port_ = 0;
};

}  // namespace kestrel::test
