// Migration of the changed tables, read from their rows (migration_steps.cpp):
// a migrated table is renamed on the server with an "X" in front, created
// anew, filled first from the renamed table's own rows and then from a local
// file of the old layout, the renamed table dropped once every one of its
// rows arrived and its extra pass run; a dropped table is dropped so that the
// creation loop creates it anew.
#include "app/migrate.h"

#include <optional>
#include <string>

#include "app/migration_records.h"
#include "app/migration_steps.h"
#include "app/migration_texts.h"
#include "app/migration_transaction.h"
#include "app/repaint_throttle.h"
#include "dictionary/dictionary.h"
#include "runtime/base/outcome.h"
#include "runtime/base/text.h"
#include "runtime/files/disk_files.h"
#include "runtime/files/files.h"
#include "runtime/files/sqlite_file_driver.h"
#include "runtime/ui/ui.h"

namespace app {
namespace texts = migration_texts;
namespace {

// 1 once USUAR_EXT's migration began in this run: its users pass is part of it.
thread_local uint8_t t_usersMoved = 0;

// Whether a table opens with its declaration.
bool Opens(rt::FileBlock& file) {
  rt::OPEN(file, rt::kAccessReadWriteDenyWrite);
  const bool opens = rt::LastErrorCode() == rt::kNoError;
  rt::CLOSE(file);
  return opens;
}

// One migrated table's run, phase by phase. A table that opens with its
// current declaration is left alone, unless its renamed table is still there
// from an earlier run that ended before the drop: then that migration is
// finished. On a server that can roll back every statement, the whole of it
// (the rename, the creation, every row and record carried, the drop and the
// extra pass) is one transaction: interrupted at any point, it leaves the
// tables as they were, and the next run does it all again.
class TableMigration {
 public:
  TableMigration(const ChangedTable& row, RepaintThrottle& painter)
      : row_(row),
        painter_(painter),
        name_(StatementName(row)),
        statements_(dict::FileOf(row.carrier)),
        table_(dict::FileOf(row.label)),
        renamed_(rt::ThreadFile(OldDeclsOf(row).renamed->decl)),
        local_(rt::ThreadFile(OldDeclsOf(row).local->decl)) {}
  // False when it could not be made: the user has been told why.
  bool Run();

 private:
  bool ReadOldLayout();
  rt::Outcome<void> CheckLocalFile();
  rt::Outcome<bool> Rename();
  CopyPlan Create();
  void CarryRenamedRows(const CopyPlan& plan);
  void CarryLocalRecords(const CopyPlan& plan);
  rt::Outcome<void> Drop();
  void ExtraPass();
  rt::Outcome<void> Commit();
  bool Undo(const std::string& problem);
  bool Done();
  std::string Failed(const std::string& why, bool undone);
  bool Tell(const std::string& message);

  const ChangedTable& row_;
  RepaintThrottle& painter_;
  const std::string name_;  // the table as its statements name it
  rt::FileBlock& statements_;
  rt::FileBlock& table_;
  rt::FileBlock& renamed_;
  rt::FileBlock& local_;
  std::optional<MigrationTransaction> transaction_;
  bool current_ = false;     // the table opened with its current declaration
  bool renamedNow_ = false;  // this run renamed it
  bool atomic_ = false;      // the server could roll all of it back
  std::string fileName_;     // the local file, as it was opened
  Carried file_, old_, records_;
};

bool TableMigration::Run() {
  if (!ReadOldLayout()) return true;
  if (row_.extraPass) t_usersMoved = 1;
  if (row_.localFile) LocalFileNameVar(row_).Set(row_.localFile);
  if (const rt::Outcome<void> checked = CheckLocalFile(); !checked) return Tell(checked.error());
  const rt::Outcome<bool> renamed = Rename();
  if (!renamed) return Tell(renamed.error());
  renamedNow_ = *renamed;
  const CopyPlan plan = Create();
  CarryRenamedRows(plan);
  if (old_.problem.empty() && !old_.notTaken && file_.present) CarryLocalRecords(plan);
  dict::TableRelationsRef(row_.label)->CloseWithRelated(false);

  std::string problem = !old_.problem.empty() ? old_.problem : records_.problem;
  const bool carried = problem.empty() && !old_.notTaken;
  if (carried) {
    if (const rt::Outcome<void> dropped = Drop(); !dropped) problem = dropped.error();
  }
  if (carried && problem.empty()) ExtraPass();
  atomic_ = transaction_->active();
  if (carried && problem.empty()) {
    if (const rt::Outcome<void> committed = Commit(); !committed) problem = committed.error();
  }
  if (!problem.empty() || old_.notTaken) return Undo(problem);
  return Done();
}

// Read the old layout: whether there is anything to migrate.
bool TableMigration::ReadOldLayout() {
  current_ = Opens(table_);
  return !current_ || Opens(renamed_);
}

// Check the local file; where the server cannot roll the migration back, it
// is read through before anything is sent. The reason is the message.
rt::Outcome<void> TableMigration::CheckLocalFile() {
  file_ = OpenLocalFile(local_);
  fileName_ = rt::GET_PROPERTY(local_, rt::FilePropName);
  if (fileName_.empty()) fileName_ = rt::TopSpeedFileName(local_.decl().TableName());
  if (file_.problem.empty()) {
    transaction_.emplace(statements_);
    if (!transaction_->active() && file_.present) ReadThrough(local_, file_, painter_);
  }
  if (!file_.problem.empty()) return rt::Reason{texts::LocalFileUnreadable(fileName_, row_.label, file_.problem)};
  return {};
}

// Rename: whether this run renamed the table. Nothing to rename (or no such
// statement on this server) is no fault; a refused statement may have ended
// the transaction, which holds nothing yet. The reason is the message.
rt::Outcome<bool> TableMigration::Rename() {
  if (current_) return false;
  rt::SET_PROPERTY(statements_, rt::FilePropSql, "SP_RENAME " + name_ + ",X" + name_);
  if (rt::LastErrorCode() == rt::kNoError) return true;
  if (!transaction_->active()) return false;
  const std::string refusal = rt::ErrorTextForMessage();
  if (!transaction_->Rollback()) return rt::Reason{Failed(refusal, false)};
  if (!transaction_->Begin()) return rt::Reason{Failed(rt::ErrorTextForMessage(), true)};
  return false;
}

// Create: the table's relations open it, and its manager creates it.
CopyPlan TableMigration::Create() {
  dict::TableRelationsRef(row_.label)->OpenWithRelated(false);
  return CopyPlan(*renamed_.decl().record, *table_.decl().record, row_.keepEmpty);
}

// Carry the renamed rows: a renamed table that is there but cannot be opened
// is kept, and nothing more is carried.
void TableMigration::CarryRenamedRows(const CopyPlan& plan) {
  rt::OPEN(renamed_, rt::kAccessReadWriteDenyWrite);
  old_.present = rt::LastErrorCode() != rt::kFileNotFound;
  if (rt::LastErrorCode() != rt::kNoError && old_.present) old_.problem = rt::ErrorTextForMessage();
  if (old_.present && old_.problem.empty()) CarryRows(renamed_, table_, plan, old_, painter_);
  rt::CLOSE(renamed_);
}

// Carry the local records.
void TableMigration::CarryLocalRecords(const CopyPlan& plan) {
  records_ = file_;
  CarryRows(local_, table_, plan, records_, painter_);
}

// Drop the renamed table, once every row of it is in the new table.
rt::Outcome<void> TableMigration::Drop() {
  if (!old_.present) return {};
  rt::SET_PROPERTY(statements_, rt::FilePropSql, "drop table X" + name_);
  if (rt::LastErrorCode() != rt::kNoError) return rt::Reason{rt::ErrorTextForMessage()};
  return {};
}

// The extra pass, in the same transaction.
void TableMigration::ExtraPass() {
  if (row_.extraPass && t_usersMoved) row_.extraPass();
}

// Commit.
rt::Outcome<void> TableMigration::Commit() {
  if (!transaction_->Commit()) return rt::Reason{rt::ErrorTextForMessage()};
  return {};
}

// After a refusal, or renamed rows that clash: whatever the server took of the
// migration is undone where it can be, and the user told. The first refusal of
// a chain is the one told; the table's state on the server is known only after
// a rollback the server confirmed.
bool TableMigration::Undo(const std::string& problem) {
  if (!transaction_->Rollback()) return Tell(Failed(problem.empty() ? rt::ErrorTextForMessage() : problem, false));
  rt::CLOSE(local_);
  rt::CLOSE(table_);
  if (old_.notTaken) {
    // Rows of an earlier run's renamed table that differ from the new table's
    // rows of the same key: neither may be lost, so both stay for the user.
    Tell(texts::RenamedRowsClash(row_.label, renamed_.decl().TableName(), old_.notTaken,
                                 KeyFields(table_, PrimaryKeyOf(table_)), NotTakenKeys(old_)));
    // Where the rename was rolled back the table keeps its old layout,
    // which the creation loop cannot open.
    return current_;
  }
  if (records_.unreadable) return Tell(texts::LocalFileUnreadable(fileName_, row_.label, problem));
  // A row of the renamed table that could not be read, or whose value its
  // field cannot hold exactly: it stays where the rollback leaves it.
  if (old_.unreadable && atomic_)
    return Tell(texts::TableUnreadable(renamedNow_ ? row_.label : renamed_.decl().TableName(), row_.label, problem));
  if (atomic_) return Tell(Failed(problem, true));
  // What was sent stays. A renamed table still there marks the migration
  // unfinished, and the next run finishes it; without one, the table made
  // here would open as current with part of its rows, so it goes and the
  // next run makes it whole.
  if (!current_ && !old_.present) {
    rt::SET_PROPERTY(statements_, rt::FilePropSql, "drop table " + name_);
    if (rt::LastErrorCode() != rt::kNoError) return Tell(Failed(problem, false));
  }
  return Tell(texts::NotMigratedNextRunAlone(row_.label, problem));
}

// Every row and record arrived: the local file is removed where the row says
// so and has all its records in the table.
bool TableMigration::Done() {
  rt::CLOSE(local_);
  // Without a renamed table the drop finds nothing; sent outside the
  // transaction, its refusal cannot undo the migration.
  if (!old_.present) rt::SET_PROPERTY(statements_, rt::FilePropSql, "drop table X" + name_);
  // The file removed is the one read, by the name it was opened with.
  if (row_.removeLocalFile && file_.present && !records_.notTaken) rt::RemoveFileByName(fileName_);
  if (records_.notTaken)
    rt::ui::ShowErrorMessage(texts::LocalRecordsNotTaken(row_.label, fileName_, records_.notTaken,
                                                         KeyFields(table_, PrimaryKeyOf(table_)), NotTakenKeys(records_)),
                             "Aviso");
  rt::CLOSE(table_);
  return true;
}

// The refusal told as the server's state after it: closes what the migration opened.
std::string TableMigration::Failed(const std::string& why, bool undone) {
  rt::CLOSE(local_);
  rt::CLOSE(table_);
  return texts::NotMigrated(row_.label, why, undone);
}

bool TableMigration::Tell(const std::string& message) {
  rt::ui::ShowErrorMessage(message, "Error");
  return false;
}

// A dropped table: the check and the drop in one transaction where the server
// can roll it back, so that a table another copy of the program has just made
// with its current layout is not dropped: the check sees the server as the
// drop does, and a drop that finds a table where the check found none is undone.
void DropForCreation(const ChangedTable& row) {
  rt::FileBlock& carrier = dict::FileOf(row.carrier);
  MigrationTransaction transaction(carrier);
  rt::FileBlock& table = dict::FileOf(row.label);
  rt::OPEN(table, rt::kAccessReadWriteDenyWrite);
  const int found = rt::LastErrorCode();
  rt::CLOSE(table);
  if (found == rt::kNoError) return;
  rt::SET_PROPERTY(carrier, rt::FilePropSql, "drop table " + StatementName(row));
  if (rt::LastErrorCode() == rt::kNoError && found != rt::kFileNotFound) transaction.Commit();
}

}  // namespace

bool MigrateStructures() {
  SetUpOldLayoutFiles();
  const bool cursor = rt::ui::HasLayer();
  if (cursor) rt::ui::Layer().SetMouseCursor(rt::ui::CURSOR_Wait, false);
  t_usersMoved = 0;
  // The connection window has just gone: its place is painted before the work starts.
  RepaintThrottle painter;
  painter.Paint(true);
  // Each table's failure has been told; the others are still migrated, so one
  // run shows every cause there is.
  bool done = true;
  for (const ChangedTable& row : ChangedTables()) {
    if (row.dropped) DropForCreation(row);
    else done &= TableMigration(row, painter).Run();
  }
  if (cursor) rt::ui::Layer().SetMouseCursor(0, true);
  return done;
}

}  // namespace app
