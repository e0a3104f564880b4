// Looks at a database through the driver manager, beside the program: which
// tables it holds, and emptying a PostgreSQL database between runs.
#pragma once

#include <set>
#include <string>

namespace testing_support {

// The tables of one database, names in lower case; a failed connection adds a test failure.
std::set<std::string> TablesIn(const std::string& connectionString);
// Drops and recreates schema public; false when no connection can be made.
bool EmptySchema(const std::string& connectionString);

}  // namespace testing_support
