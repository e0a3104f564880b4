// The program's frame of life: module records and routines, the thread's
// class-library objects, start-up and shut-down.
#include "app/program.h"

#include <cfenv>
#include <cstring>
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

std::unique_ptr<classlib::FuzzyScorer> g_fuzzy;
std::unique_ptr<classlib::ErrorReporter> g_errors;
std::unique_ptr<classlib::IniStore> g_ini;
int32_t g_dragFullWindowsWasOn = 0;
ProgramQueues g_queues;
std::vector<std::string>* g_trace = nullptr;

thread_local uint8_t t_windowRequest = 0;
thread_local uint8_t t_windowResponse = 0;
thread_local int32_t t_windowVcrRequest = 0;
thread_local std::unique_ptr<classlib::ThreadErrorState> t_errorStatus;
thread_local std::unique_ptr<dict::DictionaryLifetime> t_threadDictionary;

void Trace(const char* step) {
  if (g_trace) g_trace->emplace_back(step);
}

void RegisterKinds(std::initializer_list<const char*> kinds) {
  if (!rt::ui::HasLayer()) return;
  for (const char* kind : kinds) rt::ui::Layer().RegisterControlKind(kind);
}

}  // namespace

classlib::ErrorReporter& ProgramErrors() {
  // Outside a running program (tests of single windows) a reporter still exists.
  if (!g_errors) g_errors = std::make_unique<classlib::ErrorReporter>();
  return *g_errors;
}
classlib::IniStore& ProgramIni() {
  if (!g_ini) g_ini = std::make_unique<classlib::IniStore>();
  return *g_ini;
}
classlib::FuzzyScorer& ProgramFuzzy() {
  if (!g_fuzzy) g_fuzzy = std::make_unique<classlib::FuzzyScorer>();
  return *g_fuzzy;
}

uint8_t& WindowRequest() { return t_windowRequest; }
uint8_t& WindowResponse() { return t_windowResponse; }
int32_t& WindowVcrRequest() { return t_windowVcrRequest; }
int32_t DragFullWindowsWasOn() { return g_dragFullWindowsWasOn; }
ProgramQueues& Queues() { return g_queues; }
void SetLifeTrace(std::vector<std::string>* trace) { g_trace = trace; }

void ProgramThreadFilesSetup() {
  Trace("ProgramThreadFilesSetup");
  // Each thread's instance of every declaration, prepared in dictionary order.
  for (const auto& table : dict::Tables()) rt::ThreadFile(table.decl);
}

void ProgramModuleInit() {
  Trace("ProgramModuleInit");
  rt::SeedRandomOnce();
  std::memset(&g_queues.rec1, 0, sizeof g_queues.rec1);
  std::memset(&g_queues.rec2, 0, sizeof g_queues.rec2);
  std::memset(&g_queues.rec3, 0, sizeof g_queues.rec3);
  std::memset(&g_queues.rec4, 0, sizeof g_queues.rec4);
  std::memset(&g_queues.rec5, 0, sizeof g_queues.rec5);
  std::memset(&g_queues.rec6, 0, sizeof g_queues.rec6);
  g_fuzzy = std::make_unique<classlib::FuzzyScorer>();
  g_errors = std::make_unique<classlib::ErrorReporter>();
  g_ini = std::make_unique<classlib::IniStore>();
  g_dragFullWindowsWasOn = 0;
}

void ProgramThreadInit() {
  Trace("ProgramThreadInit");
  t_errorStatus = std::make_unique<classlib::ThreadErrorState>();
  t_windowRequest = 0;
  t_windowResponse = 0;
  t_windowVcrRequest = 0;
  t_threadDictionary = std::make_unique<dict::DictionaryLifetime>();
  t_threadDictionary->OnThreadStart();
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
  if (t_threadDictionary) {
    t_threadDictionary->OnThreadEnd();
    t_threadDictionary.reset();
  }
  t_errorStatus.reset();
  dict::ReleaseThreadFiles();
}

void ProgramModuleKill() {
  Trace("ProgramModuleKill");
  g_ini.reset();
  g_errors.reset();
  // The fuzzy scorer has no destructor of its own to run; it goes with the process.
  g_queues.q6.clear();
  g_queues.q5.clear();
  g_queues.q4.clear();
  g_queues.q3.clear();
  g_queues.q2.clear();
  g_queues.q1.clear();
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
  ProgramErrors().Setup(*t_errorStatus);
  ProgramFuzzy().Setup();
  ProgramFuzzy().SetMatchOption(classlib::FuzzyScorer::OptionCaseInsensitive, true);
  ProgramFuzzy().SetMatchOption(classlib::FuzzyScorer::OptionWholeWord, false);
  ProgramIni().Setup("Ortavia.INI", 0);
  dict::SetReporter(&ProgramErrors());
  dict::DictionaryInit();

  int drag = 0;
  if (rt::sys::GetDragFullWindows(drag)) g_dragFullWindowsWasOn = drag;
  const unsigned flags = rt::sys::SPIF_UPDATEINIFILE | rt::sys::SPIF_SENDCHANGE;
  if (g_dragFullWindowsWasOn == 1) rt::sys::SetDragFullWindows(0, flags);

  SetSchemaButtonAction(CreateSchema);
  Main();

  ProgramIni().ProgramEndHook();
  if (g_dragFullWindowsWasOn == 1) rt::sys::SetDragFullWindows(1, flags);
  ProgramIni().Teardown();
  ProgramFuzzy().Teardown();
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
