// Migration of the tables whose declaration changed, run by the creation
// procedure before the creation loop.
#pragma once

namespace app {

// Brings the changed tables to their current structure (under the wait cursor).
void MigrateStructures();

// Thread end: releases the migration's own file instances prepared on this thread.
void ReleaseMigrationFiles();

}  // namespace app
