#include "app/migration_transaction.h"

#include "runtime/files/files.h"

namespace app {

MigrationTransaction::~MigrationTransaction() {
  if (active_) rt::RollbackTransaction(file_);
}

bool MigrationTransaction::Rollback() {
  if (!active_) return true;
  active_ = false;
  rt::RollbackTransaction(file_);
  return rt::LastErrorCode() == rt::kNoError;
}

bool MigrationTransaction::Commit() {
  if (!active_) return true;
  rt::CommitTransaction(file_);
  if (rt::LastErrorCode() != rt::kNoError) return false;
  active_ = false;
  return true;
}

bool MigrationTransaction::Begin() {
  rt::BeginTransaction(file_);
  active_ = rt::LastErrorCode() == rt::kNoError;
  return active_;
}

}  // namespace app
