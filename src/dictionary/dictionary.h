// The per-table managers of the dictionary and its per-thread life: every
// table has one DictTableManager and one DictTableRelations per thread,
// made from the table's declaration and values (no class per table).
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "classlib/error_reporter.h"
#include "classlib/table_manager.h"
#include "classlib/table_relations.h"
#include "dictionary/tables.h"

namespace dict {

// The reporter every manager reports through (the program's ProgramErrors).
// Until one is set, managers report through a cleared reporter of the dictionary.
void SetReporter(classlib::ErrorReporter* reporter);
classlib::ErrorReporter& Reporter();

class DictTableManager : public classlib::TableManager {
 public:
  explicit DictTableManager(size_t table) : table_(table) {}
  const TableInfo& info() const { return Tables()[table_]; }

  void Setup() override;
  void Teardown() override;
  void SetNewRecordDefaults() override;
  int EnsureReady(uint8_t useKind) override;
  int CheckFieldValue(int fieldNumber, bool report) override;

 private:
  size_t table_;
};

class DictTableRelations : public classlib::TableRelations {
 public:
  explicit DictTableRelations(size_t table) : table_(table) {}
  const TableInfo& info() const { return Tables()[table_]; }

  // Sets up the table's manager (which publishes TableManagerRef), then itself.
  void Setup();
  // Tears down the table's manager and its own relations, withdraws
  // TableRelationsRef, and has ManagerHolder free the manager.
  void Teardown() override;
  void AttachRelations() override;

 private:
  void DefineRelations();
  size_t table_;
};

// The calling thread's objects of the table at this index (dictionary order).
// The holders own them: each is set from its module's creation until it is
// freed (the manager by its relation manager's teardown, the relation manager
// by its module's dispose). The references are the public view of the same
// objects: TableRelationsRef from the module's creation to the relation
// manager's teardown, TableManagerRef from the manager's set-up to its
// teardown; null outside those spans.
DictTableRelations* RelationsHolder(size_t table);
DictTableManager* ManagerHolder(size_t table);
DictTableRelations* TableRelationsRef(size_t table);
DictTableManager* TableManagerRef(size_t table);
// The same by label; nullptr for an unknown label too.
DictTableRelations* TableRelationsRef(std::string_view label);
DictTableManager* TableManagerRef(std::string_view label);

// Module routines, for module 1 to 18.
void DictModuleCreate(int module);
void DictModuleSetup(int module);
void DictModuleDispose(int module);

// The whole dictionary of the calling thread: create and set up every module
// (M01 to M18), and dispose of them in the same order.
void DictionaryInit();
void DictionaryKill();
// Releases the calling thread's instance of every table's file, last table
// first (each one the thread holds: a table never opened has none).
void ReleaseThreadFiles();

// Ties a thread's dictionary to the thread's life; the first thread's
// dictionary is set up by the program's main body.
class DictionaryLifetime {
 public:
  void OnThreadStart();
  void OnThreadEnd();
};

// One entry of the creation list.
struct CreationEntry {
  std::string_view label;
  DictTableRelations* relations = nullptr;  // the calling thread's TableRelationsRef
};
// The SQL tables in dictionary order, with the calling thread's relation managers.
std::vector<CreationEntry> CreationList();

// A table's declaration and the calling thread's instance of it; the label must exist.
const rt::FileDecl& DeclOf(std::string_view label);
rt::FileBlock& FileOf(std::string_view label);

}  // namespace dict
