// The migration in a process of its own that stops at a chosen point and waits
// there, so that a test can kill it as a power cut would end a user's run.
//
//   migration_child DATA_DB SERVER_DB STOP
//
// STOP is "add:LABEL:N" (stop before the N-th record is added to table LABEL)
// or "sql:STATEMENT" (stop before STATEMENT is sent). On reaching it the child
// writes "stopped" to standard output and waits; a run that never reaches it
// writes "finished" and ends with code 3.
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "app/migrate.h"
#include "runtime/files/files.h"
#include "runtime/files/sqlite_file_driver.h"
#include "runtime/sql/sql_driver.h"
#include "support/fake_ui.h"
#include "support/program_state.h"

namespace {

[[noreturn]] void Stop() {
  std::fputs("stopped\n", stdout);
  std::fflush(stdout);
  for (;;) ::pause();
}

class StoppingSqlDriver : public rt::SqlDriver {
 public:
  explicit StoppingSqlDriver(std::string stop) : stop_(std::move(stop)) {}
  int Add(rt::FileBlock& file) override {
    if (stop_.rfind("add:", 0) == 0) {
      const size_t colon = stop_.rfind(':');
      if (stop_.substr(4, colon - 4) == file.decl().label && ++adds_ == std::stoi(stop_.substr(colon + 1))) Stop();
    }
    return SqlDriver::Add(file);
  }
  int SetProperty(rt::FileBlock& file, int prop, const std::string& value) override {
    if (prop == rt::FilePropSql && stop_ == "sql:" + value) Stop();
    return SqlDriver::SetProperty(file, prop, value);
  }

 private:
  std::string stop_;
  int adds_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fputs("usage: migration_child DATA_DB SERVER_DB STOP\n", stderr);
    return 2;
  }
  {
    // A halt ends this process, as it ends the program's.
    testsupport::ProgramState state({.drivers = true,
                                     .sql = std::make_shared<StoppingSqlDriver>(argv[3]),
                                     .owners = testsupport::SqliteOwners(argv[1], argv[2]),
                                     .halt = testsupport::Halt::kAsIs,
                                     .windowLayer = true});
    app::MigrateStructures();
  }
  std::fputs("finished\n", stdout);
  return 3;
}
