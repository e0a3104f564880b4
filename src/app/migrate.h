// Migration of the tables whose declaration changed, run by the creation
// procedure before the creation loop.
#pragma once

#include <string_view>

#include "dictionary/catalogue.h"
#include "runtime/decl/file_decl.h"

namespace app {

// Brings the changed tables to their current structure (under the wait cursor).
// Each table's migration takes effect whole or not at all. False when one
// could not be made (a local file that cannot be read, a refusal by the
// server): the user has been told, and the creation must not go on.
bool MigrateStructures();

// Thread end: releases the migration's own file instances prepared on this thread.
void ReleaseMigrationFiles();

// The creation module's own declarations of the old layouts, by label
// ("XRefereExtCove", "XRefereExtCove1", "XRefereExtCoveEq", "XRefereExtCoveEq1",
// "XUSE1", "XUSUAR_EXT"); the label must exist.
const dict::TableInfo& MigrationFile(std::string_view label);

// Whether a path names one of the local files the migration reads (in the
// current directory, in any letter case, or the same file by another path).
bool NamesALocalFile(std::string_view path);

// The name variable of XUSE1, empty until the migration of USUAR_EXT sets it.
rt::NameVar& XUSE1Name();

}  // namespace app
