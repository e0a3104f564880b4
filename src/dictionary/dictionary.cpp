#include "dictionary/dictionary.h"

#include <array>
#include <stdexcept>

#include "dictionary/names.h"
#include "dictionary/modules.h"
#include "runtime/program.h"

namespace dict {

namespace {

classlib::ErrorReporter* g_reporter = nullptr;

// The four per-table variables of one thread. The holders own their objects;
// ownership is handed over explicitly by the module routines.
struct Slot {
  DictTableRelations* relationsHolder = nullptr;
  DictTableManager* managerHolder = nullptr;
  DictTableRelations* tableRelationsRef = nullptr;
  DictTableManager* tableManagerRef = nullptr;
};

thread_local std::array<Slot, kTableCount> t_slots{};

Slot& SlotOf(size_t table) { return t_slots.at(table); }

const TableInfo& Require(std::string_view label) {
  const TableInfo* t = FindTable(label);
  if (!t) throw std::out_of_range("no table " + std::string(label) + " in the dictionary");
  return *t;
}

bool HasDictionary() {
  for (const Slot& s : t_slots)
    if (s.relationsHolder) return true;
  return false;
}

}  // namespace

void SetReporter(classlib::ErrorReporter* reporter) { g_reporter = reporter; }

classlib::ErrorReporter& Reporter() {
  static classlib::ErrorReporter cleared;
  return g_reporter ? *g_reporter : cleared;
}

// --- DictTableManager -------------------------------------------------------

void DictTableManager::Setup() {
  const TableInfo& t = info();
  rt::FileBlock& f = rt::ThreadFile(t.decl);
  initialized = false;
  buffer = classlib::BufferRef{f.buffer(), t.decl.record.get(), t.decl.RecordLength()};
  SetFileNameValue(t.decl.label);
  SetErrorReporter(Reporter());
  file = &f;
  if (rt::TableNameVar* var = TableNameVarOf(t.decl.label); var && t.decl.tableNameVar) {
    rt::FieldRef ref = rt::MakeFieldRef(var->data(), static_cast<int>(rt::FieldType::CString),
                                        static_cast<uint32_t>(rt::NameVar::kSize));
    rt::AssignFieldRef(fileName, ref);
    rt::ReleaseFieldRef(ref);
  }
  TableManager::Setup();
  SlotOf(table_).tableManagerRef = this;
}

void DictTableManager::Teardown() {
  TableManager::Teardown();
  SlotOf(table_).tableManagerRef = nullptr;
}

int DictTableManager::EnsureReady(uint8_t useKind) {
  if (useKind != classlib::UseInitialise) (void)EnsureReady(classlib::UseInitialise);
  if (useKind == classlib::UseInitialise && !initialized) {
    const TableInfo& t = info();
    rt::FileBlock& f = rt::ThreadFile(t.decl);
    inUseFile = 1;
    CompleteSetup(f, Reporter());
    create = (t.decl.attrs & rt::kFileCreate) != 0;
    lockRecover = 10;
    for (size_t k = 0; k < f.keys().size(); ++k) RegisterKey(f.keys()[k], t.keyDescriptions[k], false);
  }
  return TableManager::EnsureReady(useKind);
}

// --- DictTableRelations -----------------------------------------------------

void DictTableRelations::Setup() {
  Slot& s = SlotOf(table_);
  if (s.managerHolder) s.managerHolder->Setup();
  if (s.tableManagerRef) TableRelations::Setup(*s.tableManagerRef, true);
}

void DictTableRelations::Teardown() {
  Slot& s = SlotOf(table_);
  if (s.managerHolder) s.managerHolder->Teardown();
  TableRelations::Teardown();
  s.tableRelationsRef = nullptr;
  if (s.managerHolder) {
    s.managerHolder->Destroy();
    delete s.managerHolder;
  }
  s.managerHolder = nullptr;
}

void DictTableRelations::AttachRelations() {
  DefineRelations();
  TableRelations::AttachRelations();
}

// --- thread variables -------------------------------------------------------

DictTableRelations* RelationsHolder(size_t table) { return SlotOf(table).relationsHolder; }
DictTableManager* ManagerHolder(size_t table) { return SlotOf(table).managerHolder; }
DictTableRelations* TableRelationsRef(size_t table) { return SlotOf(table).tableRelationsRef; }
DictTableManager* TableManagerRef(size_t table) { return SlotOf(table).tableManagerRef; }

DictTableRelations* TableRelationsRef(std::string_view label) {
  int i = TableIndex(label);
  return i < 0 ? nullptr : TableRelationsRef(static_cast<size_t>(i));
}

DictTableManager* TableManagerRef(std::string_view label) {
  int i = TableIndex(label);
  return i < 0 ? nullptr : TableManagerRef(static_cast<size_t>(i));
}

// --- module routines --------------------------------------------------------

void DictModuleCreate(int module) {
  const auto& tables = Tables();
  for (size_t i = 0; i < tables.size(); ++i) {
    if (tables[i].module != module) continue;
    Slot& s = SlotOf(i);
    s.managerHolder = new DictTableManager(i);
    s.relationsHolder = new DictTableRelations(i);
    s.relationsHolder->ResetDeferred();
  }
  for (size_t i = 0; i < tables.size(); ++i)
    if (tables[i].module == module) SlotOf(i).tableRelationsRef = SlotOf(i).relationsHolder;
}

void DictModuleSetup(int module) {
  const auto& tables = Tables();
  for (size_t i = 0; i < tables.size(); ++i)
    if (tables[i].module == module && SlotOf(i).relationsHolder) SlotOf(i).relationsHolder->Setup();
}

void DictModuleDispose(int module) {
  const auto& tables = Tables();
  for (size_t i = 0; i < tables.size(); ++i) {
    if (tables[i].module != module) continue;
    Slot& s = SlotOf(i);
    if (!s.relationsHolder) continue;
    s.relationsHolder->Teardown();
    delete s.relationsHolder;
    s.relationsHolder = nullptr;
  }
}

void DictionaryInit() {
  // A second set-up on the same thread would orphan the first one's objects.
  if (HasDictionary()) return;
  for (int m = 1; m <= kModuleCount; ++m) DictModuleCreate(m);
  for (int m = 1; m <= kModuleCount; ++m) DictModuleSetup(m);
}

void DictionaryKill() {
  for (int m = 1; m <= kModuleCount; ++m) DictModuleDispose(m);
}

void DictionaryLifetime::OnThreadStart() {
  if (rt::CurrentThreadNumber() != 1) DictionaryInit();
}

void DictionaryLifetime::OnThreadEnd() { DictionaryKill(); }

// --- lookups ----------------------------------------------------------------

std::vector<CreationEntry> CreationList() {
  std::vector<CreationEntry> list;
  const auto& tables = Tables();
  for (size_t i = 0; i < tables.size(); ++i)
    if (tables[i].decl.driver == "MSSQL") list.push_back({tables[i].decl.label, TableRelationsRef(i)});
  return list;
}

const rt::FileDecl& DeclOf(std::string_view label) { return Require(label).decl; }

rt::FileBlock& FileOf(std::string_view label) { return rt::ThreadFile(Require(label).decl); }

}  // namespace dict
