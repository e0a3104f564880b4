// The program's frame of life: module records and routines, the thread's
// class-library objects, start-up and shut-down.
#include "app/program.h"

#include <cfenv>
#include <memory>
#include <utility>
#include <vector>

#include "app/create_schema.h"
#include "app/frame.h"
#include "app/migrate.h"
#include "app/migration_steps.h"
#include "app/test_hooks.h"
#include "dictionary/dictionary.h"
#include "dictionary/tables.h"
#include "runtime/decl/file_block.h"
#include "runtime/files/files.h"
#include "runtime/ui/syssettings.h"
#include "runtime/ui/ui.h"

namespace app {
namespace {

// The program's own process-wide services, made by the program module's start
// routine and destroyed by its end routine. The members are made in the order
// the start routine names them (the queues' record areas cleared, then the
// scorer, the reporter, the INI store) and destroyed in reverse: the INI store,
// then the reporter (the scorer's destruction does nothing), then the queues'
// entries, queue 6 first.
struct ProgramServices {
  ProgramQueues queues{};
  classlib::FuzzyScorer fuzzy;
  classlib::ErrorReporter errors;
  classlib::IniStore ini;
  int32_t dragFullWindowsWasOn = 0;
};

// What the window procedures and the thread's set-up and release share on one
// thread; every thread has its own.
struct ProgramThreadState {
  uint8_t windowRequest = 0;
  uint8_t windowResponse = 0;
  int32_t windowVcrRequest = 0;
  std::unique_ptr<classlib::ThreadErrorState> errorStatus;
  std::unique_ptr<dict::DictionaryLifetime> dictionary;
};

std::unique_ptr<ProgramServices> g_services;
std::vector<std::string>* g_trace = nullptr;
thread_local ProgramThreadState t_thread;

// The running program's services. Outside a running program (tests of single
// windows) a set is made on first use and lives until a start replaces it or
// an end destroys it.
ProgramServices& Services() {
  if (!g_services) g_services = std::make_unique<ProgramServices>();
  return *g_services;
}

void Trace(const char* step) {
  if (g_trace) g_trace->emplace_back(step);
}

void RegisterKinds(std::initializer_list<const char*> kinds) {
  if (!rt::ui::HasLayer()) return;
  for (const char* kind : kinds) rt::ui::Layer().RegisterControlKind(kind);
}

}  // namespace

classlib::ErrorReporter& ProgramErrors() { return Services().errors; }
classlib::IniStore& ProgramIni() { return Services().ini; }
classlib::FuzzyScorer& ProgramFuzzy() { return Services().fuzzy; }

uint8_t& WindowRequest() { return t_thread.windowRequest; }
uint8_t& WindowResponse() { return t_thread.windowResponse; }
int32_t& WindowVcrRequest() { return t_thread.windowVcrRequest; }
int32_t DragFullWindowsWasOn() { return g_services ? g_services->dragFullWindowsWasOn : 0; }
ProgramQueues& Queues() { return Services().queues; }
void SetLifeTrace(std::vector<std::string>* trace) { g_trace = trace; }

void ProgramThreadFilesSetup() {
  Trace("ProgramThreadFilesSetup");
  // Each thread's instance of every declaration, prepared in dictionary order.
  for (const auto& table : dict::Tables()) rt::ThreadFile(table.decl);
}

void ProgramModuleInit() {
  Trace("ProgramModuleInit");
  rt::SeedRandomOnce();
  g_services.reset();
  g_services = std::make_unique<ProgramServices>();
}

void ProgramThreadInit() {
  Trace("ProgramThreadInit");
  t_thread.errorStatus = std::make_unique<classlib::ThreadErrorState>();
  t_thread.windowRequest = 0;
  t_thread.windowResponse = 0;
  t_thread.windowVcrRequest = 0;
  t_thread.dictionary = std::make_unique<dict::DictionaryLifetime>();
  t_thread.dictionary->OnThreadStart();
}

void FrameModuleInit() {
  Trace("FrameModuleInit");
  RegisterKinds({"button", "panel"});
}

void ConnectModuleInit() {
  Trace("ConnectModuleInit");
  RegisterKinds({"entry", "button", "prompt", "panel"});
}

void CreationModuleInit() {
  Trace("CreationModuleInit");
  RegisterKinds({"string", "image", "group", "progress"});
}

void CreationModuleThreadKill() {
  Trace("CreationModuleThreadKill");
  ReleaseMigrationFiles();
}

void ProgramThreadKill() {
  Trace("ProgramThreadKill");
  if (t_thread.dictionary) {
    t_thread.dictionary->OnThreadEnd();
    t_thread.dictionary.reset();
  }
  t_thread.errorStatus.reset();
  dict::ReleaseThreadFiles();
}

void ProgramModuleKill() {
  Trace("ProgramModuleKill");
  g_services.reset();
}

std::vector<rt::ModuleRecord> ProgramModules() {
  return {
      {5, ProgramModuleInit, ProgramModuleKill, ProgramThreadInit, ProgramThreadKill, nullptr,
       ProgramThreadFilesSetup},
      {5, FrameModuleInit, nullptr, nullptr, nullptr, nullptr, nullptr},
      {5, ConnectModuleInit, nullptr, nullptr, nullptr, nullptr, nullptr},
      {5, CreationModuleInit, nullptr, nullptr, CreationModuleThreadKill, nullptr, nullptr},
  };
}

void ProgramMain() {
  Trace("ProgramMain");
  ProgramServices& services = Services();
  services.errors.Setup(*t_thread.errorStatus);
  services.fuzzy.Setup();
  services.fuzzy.SetMatchOption(classlib::FuzzyScorer::OptionCaseInsensitive, true);
  services.fuzzy.SetMatchOption(classlib::FuzzyScorer::OptionWholeWord, false);
  services.ini.Setup("Ortavia.INI", 0);
  dict::SetReporter(&services.errors);
  dict::DictionaryInit();

  int drag = 0;
  if (rt::sys::GetDragFullWindows(drag)) services.dragFullWindowsWasOn = drag;
  const unsigned flags = rt::sys::SPIF_UPDATEINIFILE | rt::sys::SPIF_SENDCHANGE;
  if (services.dragFullWindowsWasOn == 1) rt::sys::SetDragFullWindows(0, flags);

  SetSchemaButtonAction(CreateSchema);
  Main();

  services.ini.ProgramEndHook();
  if (services.dragFullWindowsWasOn == 1) rt::sys::SetDragFullWindows(1, flags);
  services.ini.Teardown();
  services.fuzzy.Teardown();
  Trace("ProgramMain end");
}

void ProgramEntry() {
  std::feclearexcept(FE_ALL_EXCEPT);
  std::fesetround(FE_TONEAREST);
  // Every part of the program reads the dictionary, and the migration its
  // old-layout declarations: a fault in a table's declaration is shown, one
  // line per faulty table, and nothing starts.
  std::vector<dict::CatalogueError> faults = dict::CheckCatalogues();
  for (dict::CatalogueError& fault : CheckOldLayouts()) faults.push_back(std::move(fault));
  if (!faults.empty()) {
    std::string text = "The table declarations hold faults:";
    for (const dict::CatalogueError& fault : faults) text += "\n" + fault.Message();
    rt::ui::ShowErrorMessage(text, "Dictionary Error");
    rt::HaltProgram(1);
  }
  if (rt::RuntimeStart(ProgramModules()) == 1) {
    rt::RunMainProcedure(ProgramMain);
    rt::RuntimeShutdown();
  }
  rt::HaltProgram(0);
}

}  // namespace app
