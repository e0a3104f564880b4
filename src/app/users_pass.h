// The users pass, the extra pass of USUAR_EXT's migration.
#pragma once

namespace app {

// Each user's database password moves from USUAR to PUESTO of the user's
// USUAR_EXT row (a row added for a user who has none) and is emptied in USUAR.
void MoveUsersPasswords();

}  // namespace app
