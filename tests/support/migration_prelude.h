// The program's state as the creation procedure leaves it right before the
// migration: error messages reported through the program's reporter, the
// dictionary made, the two owners and the names of USUAR and USUAR_EXT set.
#pragma once

#include <string>

#include "classlib/error_reporter.h"

namespace testsupport {

class MigrationPrelude {
 public:
  // Owners for the SQLite files dataDb and serverDb (relative to the current
  // directory or absolute), reached through the ODBC driver the program picks.
  MigrationPrelude(const std::string& dataDb, const std::string& serverDb);
  // The two owners as written, for any server.
  struct Owners {
    std::string data, server;
  };
  explicit MigrationPrelude(const Owners& owners);
  ~MigrationPrelude();
  MigrationPrelude(const MigrationPrelude&) = delete;
  MigrationPrelude& operator=(const MigrationPrelude&) = delete;

 private:
  classlib::ThreadErrorState state_;
};

// The CREATE TABLE of a local file of the old RefereExtCove layout, table name given.
std::string LocalCoveTable(const std::string& name);
// The CREATE TABLE of the local file of the old USUAR_EXT layout.
std::string LocalUsersTable();

}  // namespace testsupport
