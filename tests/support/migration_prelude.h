// The local files of the old layouts the migration reads. The program's state
// right before the migration is MigrationPrelude (support/program_state.h).
#pragma once

#include <string>

#include "support/program_state.h"

namespace testsupport {

// The CREATE TABLE of a local file of the old RefereExtCove layout, table name given.
std::string LocalCoveTable(const std::string& name);
// The CREATE TABLE of the local file of the old USUAR_EXT layout.
std::string LocalUsersTable();

}  // namespace testsupport
