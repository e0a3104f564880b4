// The program's state in a test: set up as the program's start-up does, and
// undone in reverse order.
#include "support/program_state.h"

#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

#include "app/migrate.h"
#include "app/program.h"
#include "app/test_hooks.h"
#include "dictionary/dictionary.h"
#include "dictionary/names.h"
#include "runtime/files/sqlite_file_driver.h"
#include "runtime/sql/sql_connect.h"
#include "runtime/sql/sql_driver.h"

namespace testsupport {

namespace fs = std::filesystem;

constexpr const char* kSqlDriverVariable = "ORTAVIA_SQL_DRIVER";

ThreadDictionary::ThreadDictionary() {
  app::ProgramErrors().Setup(state_);
  dict::SetReporter(&app::ProgramErrors());
  dict::DictionaryInit();
}

ThreadDictionary::~ThreadDictionary() {
  app::ReleaseMigrationFiles();
  dict::DictionaryKill();
  dict::ReleaseThreadFiles();
}

Owners SqliteOwners(const std::string& dataDb, const std::string& serverDb) {
  return {rt::BuildOwner("localhost", dataDb.c_str(), "admin", ""),
          rt::BuildOwner("localhost", serverDb.c_str(), "admin", "")};
}

MigrationPrelude::MigrationPrelude(const Owners& owners) {
  dict::DataOwner.Set(owners.data);
  dict::ServerOwner.Set(owners.server);
  dict::TableNameVarOf("USUAR")->Set("USUAR");
  dict::TableNameVarOf("USUAR_EXT")->Set("USUAR_EXT");
}

ProgramState::ProgramState(Options options) : options_(std::move(options)) {
  if (!options_.folder.empty()) {
    folder_ = FolderOf(options_.folder);
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    previousDir_ = fs::current_path();
    fs::current_path(folder_);
  }
  if (!options_.sqlDriver.empty()) {
    if (const char* previous = std::getenv(kSqlDriverVariable)) previousSqlDriver_ = previous;
    ::setenv(kSqlDriverVariable, options_.sqlDriver.c_str(), 1);
  }
  if (options_.drivers) {
    // As the program's main registers its drivers.
    if (options_.sql) rt::RegisterDriver(options_.sql); else rt::RegisterSqlDriver();
    if (options_.local) rt::RegisterDriver(options_.local); else rt::RegisterSqliteFileDriver();
  }
  if (options_.lifeTrace) app::SetLifeTrace(options_.lifeTrace);
  if (options_.systemSettings) rt::sys::SetSystemSettings(options_.systemSettings);
  if (options_.resetModules) rt::ResetModules();
  if (options_.windowLayer) ui_.emplace();
  if (options_.owners) {
    prelude_.emplace(*options_.owners);
  } else if (options_.dictionary) {
    dictionary_.emplace();
  }
  switch (options_.halt) {
    case Halt::kRecord: rt::SetHaltHandler([this](int code) { Record(code); }); break;
    case Halt::kThrow:
      rt::SetHaltHandler([](int code) { throw std::runtime_error("the program ended with " + std::to_string(code)); });
      break;
    case Halt::kAsIs: break;
  }
}

ProgramState::~ProgramState() {
  if (options_.halt != Halt::kAsIs) rt::SetHaltHandler({});
  if (prelude_ || dictionary_) app::ReleaseMigrationFiles();
  for (auto& decl : kept_) rt::ReleaseThreadFile(*decl);
  prelude_.reset();
  dictionary_.reset();
  ui_.reset();
  if (options_.resetModules) rt::ResetModules();
  if (options_.systemSettings) rt::sys::SetSystemSettings(nullptr);
  if (options_.lifeTrace) app::SetLifeTrace(nullptr);
  if (options_.drivers) {
    rt::RegisterSqlDriver();
    rt::RegisterSqliteFileDriver();
  }
  if (previousSqlDriver_) {
    ::setenv(kSqlDriverVariable, previousSqlDriver_->c_str(), 1);
  } else if (!options_.sqlDriver.empty()) {
    ::unsetenv(kSqlDriverVariable);
  }
  if (!folder_.empty()) {
    fs::current_path(previousDir_);
    fs::remove_all(folder_);
  }
}

fs::path ProgramState::FolderOf(const std::string& prefix) {
  return fs::temp_directory_path() / (prefix + std::to_string(::getpid()));
}

rt::FileDecl& ProgramState::Keep(std::unique_ptr<rt::FileDecl> decl) {
  kept_.push_back(std::move(decl));
  return *kept_.back();
}

void ProgramState::Record(int code) {
  (options_.exitCode ? *options_.exitCode : exitCode_) = code;
  if (options_.onHalt) options_.onHalt(code);
}

}  // namespace testsupport
