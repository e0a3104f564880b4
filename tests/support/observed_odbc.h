// The program's ODBC sessions with what they send noted, and a hand the test
// puts on each statement once it has been answered (to kill the process, cut
// the connection, ...). Everything else goes to the real session unchanged.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "runtime/sql/sql_driver.h"

namespace testsupport {

struct OdbcObserver {
  std::vector<std::string> statements;  // every statement executed, in order
  std::vector<std::string> ends;        // "commit" or "rollback" for each transaction ended
  int connects = 0;                     // connections made
  int catalogListings = 0;              // catalog calls for every table of a schema
  int tableLookups = 0;                 // catalog calls for one table
  // Called after each statement with its text and whether the server took it.
  std::function<void(const std::string& sql, bool ok)> afterStatement;
};

// Connects through the ODBC driver manager as the program does.
rt::SqlSessionFactory ObservedOdbc(std::shared_ptr<OdbcObserver> observer);

}  // namespace testsupport
