// The program's state in a test, made and undone in one place: a scratch folder
// as the current directory, the SQL driver's choice, the SQL and local file
// drivers registered, the module walk, the dictionary of the thread with its
// owners, the halt handler and the window-layer double. A test names only what
// it needs different from the program's own; everything is undone, in reverse
// order, when the state goes.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "classlib/error_reporter.h"
#include "runtime/decl/file_decl.h"
#include "runtime/files/files.h"
#include "runtime/test_hooks.h"
#include "support/fake_ui.h"

namespace testsupport {

// The calling thread's dictionary, reporting through the program's error
// reporter, as the program's main body sets it up; when it goes, the
// migration's files, the dictionary and every table's file instance of the
// thread are released.
class ThreadDictionary {
 public:
  ThreadDictionary();
  ~ThreadDictionary();
  ThreadDictionary(const ThreadDictionary&) = delete;
  ThreadDictionary& operator=(const ThreadDictionary&) = delete;

 private:
  classlib::ThreadErrorState state_;
};

// The two owners of the program's databases, as written.
struct Owners {
  std::string data, server;
};
// Owners for the SQLite files dataDb and serverDb (relative to the current
// directory or absolute), reached through the ODBC driver the program picks.
Owners SqliteOwners(const std::string& dataDb, const std::string& serverDb);

// The thread's dictionary as the creation procedure leaves it right before the
// migration: the two owners and the names of USUAR and USUAR_EXT set.
class MigrationPrelude {
 public:
  using Owners = testsupport::Owners;
  explicit MigrationPrelude(const Owners& owners);
  MigrationPrelude(const std::string& dataDb, const std::string& serverDb)
      : MigrationPrelude(SqliteOwners(dataDb, serverDb)) {}

 private:
  ThreadDictionary dictionary_;
};

// What HaltProgram does while the state lives.
enum class Halt {
  kRecord,  // the code is recorded (exitCode()) and HaltProgram throws ProgramHalted
  kThrow,   // HaltProgram throws std::runtime_error naming the code (for runs that must not end)
  kAsIs,    // the handler is left as it is (one a state around this one set, or none: the process ends)
};

class ProgramState {
 public:
  struct Options {
    // A folder of the test's own under the temporary directory, named after
    // this prefix and the process, made anew and the current directory while
    // the state lives (the local files are read from there); empty: none.
    std::string folder;
    // ORTAVIA_SQL_DRIVER, the ODBC driver the program picks, while the state
    // lives (then as it was); empty: left as it is.
    std::string sqlDriver;
    // Whether the file drivers are registered, and which: null ones are the
    // program's own. The program's own are registered again at the end.
    bool drivers = false;
    std::shared_ptr<rt::FileDriver> sql, local;
    // The module walk forgotten at the start and at the end.
    bool resetModules = false;
    // The dictionary of the thread, with the migration's owners when given.
    bool dictionary = false;
    std::optional<Owners> owners;
    Halt halt = Halt::kRecord;
    // Where kRecord records the code, when not in the state itself.
    int* exitCode = nullptr;
    // Called by kRecord with the code, when set.
    std::function<void(int)> onHalt;
    // A window-layer double installed for the state's life (ui()).
    bool windowLayer = false;
    // The desktop settings' stand-in and the start-up's trace, while the state lives.
    rt::sys::SystemSettings* systemSettings = nullptr;
    std::vector<std::string>* lifeTrace = nullptr;
  };

  explicit ProgramState(Options options);
  ~ProgramState();
  ProgramState(const ProgramState&) = delete;
  ProgramState& operator=(const ProgramState&) = delete;

  // Runs a step that may end the program; the code it ended with is recorded.
  template <class Step>
  void Run(Step&& step) {
    try {
      step();
    } catch (const rt::ProgramHalted& halted) {
      Record(halted.exitCode);
    }
  }
  // The code the program ended with, -1 while it has not.
  int exitCode() const { return options_.exitCode ? *options_.exitCode : exitCode_; }
  const std::filesystem::path& folder() const { return folder_; }
  // The folder a state made with that prefix works in.
  static std::filesystem::path FolderOf(const std::string& prefix);
  FakeWindowLayer& ui() { return *ui_; }
  // A declaration of the test's own whose thread instance is released with the state.
  rt::FileDecl& Keep(std::unique_ptr<rt::FileDecl> decl);

 private:
  void Record(int code);
  Options options_;
  int exitCode_ = -1;
  std::filesystem::path folder_, previousDir_;
  std::optional<std::string> previousSqlDriver_;
  std::optional<FakeWindowLayer> ui_;
  std::optional<ThreadDictionary> dictionary_;
  std::optional<MigrationPrelude> prelude_;
  std::vector<std::unique_ptr<rt::FileDecl>> kept_;
};

}  // namespace testsupport
