// The dictionary's per-thread objects: one manager and one relation manager
// per table, owned by the thread's holders, created, set up and released in
// dictionary order.
#include "dictionary/dictionary.h"

#include <memory>
#include <stdexcept>

#include "dictionary/modules.h"
#include "dictionary/names.h"
#include "runtime/base/program.h"
#include "runtime/decl/file_block.h"
#include "runtime/files/files.h"

namespace dict {

namespace {

// The program's one error reporter, which every table manager reports through.
classlib::ErrorReporter* g_reporter = nullptr;

// One table's two objects on one thread. The holders own them; the public
// references are views of the same objects, published and withdrawn at fixed
// points of their life, so a reference never outlives its object.
struct TableObjects {
  std::unique_ptr<DictTableManager> manager;      // ManagerHolder
  std::unique_ptr<DictTableRelations> relations;  // RelationsHolder
  bool managerPublished = false;                  // TableManagerRef
  bool relationsPublished = false;                // TableRelationsRef
};

// The calling thread's objects, in dictionary order, one per table of the
// dictionary (sized on first use). A thread releases them with DictionaryKill
// before it ends. Objects still here when the thread's storage goes are let
// go without teardown: the file instances and the connections they point
// into may be gone by then.
struct ThreadTables {
  std::vector<TableObjects> tables;
  ~ThreadTables() {
    for (TableObjects& o : tables) {
      (void)o.manager.release();
      (void)o.relations.release();
    }
  }
};

thread_local ThreadTables t_tables;

TableObjects& ObjectsOf(size_t table) {
  std::vector<TableObjects>& objects = t_tables.tables;
  if (objects.empty()) objects.resize(Tables().size());
  return objects.at(table);
}

const TableInfo& Require(std::string_view label) {
  const TableInfo* t = FindTable(label);
  if (!t) throw std::out_of_range("no table " + std::string(label) + " in the dictionary");
  return *t;
}

bool HasDictionary() {
  for (const TableObjects& o : t_tables.tables)
    if (o.relations) return true;
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
  ObjectsOf(table_).managerPublished = true;
}

void DictTableManager::Teardown() {
  TableManager::Teardown();
  ObjectsOf(table_).managerPublished = false;
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
  TableObjects& o = ObjectsOf(table_);
  if (o.manager) o.manager->Setup();
  if (DictTableManager* manager = TableManagerRef(table_)) TableRelations::Setup(*manager, true);
}

// The table's manager goes with its relation manager's teardown: torn down
// first, and freed by its holder once the relations are released.
void DictTableRelations::Teardown() {
  TableObjects& o = ObjectsOf(table_);
  if (o.manager) o.manager->Teardown();
  TableRelations::Teardown();
  o.relationsPublished = false;
  classlib::DisposeManager(o.manager);
}

void DictTableRelations::AttachRelations() {
  DefineRelations();
  TableRelations::AttachRelations();
}

// --- thread variables -------------------------------------------------------

DictTableRelations* RelationsHolder(size_t table) { return ObjectsOf(table).relations.get(); }
DictTableManager* ManagerHolder(size_t table) { return ObjectsOf(table).manager.get(); }

DictTableRelations* TableRelationsRef(size_t table) {
  const TableObjects& o = ObjectsOf(table);
  return o.relationsPublished ? o.relations.get() : nullptr;
}

DictTableManager* TableManagerRef(size_t table) {
  const TableObjects& o = ObjectsOf(table);
  return o.managerPublished ? o.manager.get() : nullptr;
}

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
    TableObjects& o = ObjectsOf(i);
    o.manager = std::make_unique<DictTableManager>(i);
    o.relations = std::make_unique<DictTableRelations>(i);
    o.relations->ResetDeferred();
  }
  // Published once the whole module exists.
  for (size_t i = 0; i < tables.size(); ++i)
    if (tables[i].module == module) ObjectsOf(i).relationsPublished = ObjectsOf(i).relations != nullptr;
}

void DictModuleSetup(int module) {
  const auto& tables = Tables();
  for (size_t i = 0; i < tables.size(); ++i)
    if (tables[i].module == module && ObjectsOf(i).relations) ObjectsOf(i).relations->Setup();
}

void DictModuleDispose(int module) {
  const auto& tables = Tables();
  for (size_t i = 0; i < tables.size(); ++i) {
    if (tables[i].module != module) continue;
    TableObjects& o = ObjectsOf(i);
    if (!o.relations) continue;
    o.relations->Teardown();
    o.relations.reset();
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

void ReleaseThreadFiles() {
  const auto& tables = Tables();
  for (auto it = tables.rbegin(); it != tables.rend(); ++it) {
    if (rt::HasThreadFile(it->decl)) rt::ReleaseThreadFile(it->decl);
  }
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
