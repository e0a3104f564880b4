// The transaction a table's migration runs in.
#pragma once

#include "runtime/decl/file_block.h"

namespace app {

// A transaction on the connection of a table's owner, rolled back unless
// committed. Inactive where the server cannot roll back what a migration does.
class MigrationTransaction {
 public:
  explicit MigrationTransaction(rt::FileBlock& file) : file_(file) { Begin(); }
  ~MigrationTransaction();
  MigrationTransaction(const MigrationTransaction&) = delete;
  MigrationTransaction& operator=(const MigrationTransaction&) = delete;

  bool active() const { return active_; }
  // False, with the error in the thread's error state, when the server did
  // not confirm the rollback: what it holds of the transaction is not known.
  bool Rollback();
  // False with the error in the thread's error state when the commit failed;
  // the transaction is then still to be rolled back, which tells whether the
  // server holds nothing of it.
  bool Commit();
  // Begins (again, once ended); false with the error in the thread's error state when it did not.
  bool Begin();

 private:
  rt::FileBlock& file_;
  bool active_ = false;
};

}  // namespace app
