// The relation manager of one table: its TableManager, the relations to
// other tables' relation managers, and open and close passes that visit the
// related tables once per pass.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "classlib/results.h"
#include "classlib/table_manager.h"
#include "runtime/decl/fieldref.h"
#include "runtime/decl/file_decl.h"

namespace classlib {

// One linking pair of a relation, with a value buffer of its own (the
// left field's size).
struct FieldPair {
  rt::FieldRef left;
  rt::FieldRef right;
  std::vector<uint8_t> value;
};
using FieldPairList = std::vector<FieldPair>;

class TableRelations;

// One RELATIONS entry.
struct Relation {
  TableRelations* file = nullptr;         // the related relation manager
  std::unique_ptr<FieldPairList> fields;  // none on the child side
  rt::KeyDescriptor* hisKey = nullptr;    // the related table's key, none on the child side
  uint8_t updateMode = RelationNoAction;
  uint8_t deleteMode = RelationNoAction;
  uint8_t opened = 0;                     // opens of the related table held by this entry
};

class TableRelations {
 public:
  TableRelations() = default;
  virtual ~TableRelations() = default;
  TableRelations(const TableRelations&) = delete;
  TableRelations& operator=(const TableRelations&) = delete;

  // Virtual operations, in the order of the operations table.
  // One close pass (nested: part of a pass already running).
  virtual int CloseWithRelated(bool nested);
  // Releases the relations (pair lists and the list); nothing when there is none.
  virtual void Teardown();
  // One open pass; a top-level pass makes the own table ready (creating it when missing).
  virtual int OpenWithRelated(bool nested);
  // Registers the table's relations; empty here.
  virtual void AttachRelations() {}

  void Setup(TableManager& manager, bool useLogout);
  void ResetDeferred() { deferedRelationsDone = false; }
  void EnsureRelationsAdded();
  void AddRelated(TableRelations& related);
  void AddRelatedByKey(TableRelations& related, uint8_t updateMode, uint8_t deleteMode,
                       rt::KeyDescriptor& key);
  // Appends the pair to the relation made by the latest AddRelatedByKey.
  void AddLinkFields(const rt::FieldRef& left, const rt::FieldRef& right);
  // The same for two LONG fields given by address.
  void AddLinkByAddress(int32_t* left, int32_t* right);

  // Members.
  TableManager* me = nullptr;
  std::unique_ptr<std::vector<Relation>> relations;
  // Kept as Setup sets them: this program runs no logout transaction that would read them.
  bool useLogout = false;
  int logoutTimeout = 0;
  uint64_t lastTouched = 0;       // the pass that last visited the table
  bool forcingOpen = false;
  bool deferedRelationsDone = false;

 private:
  bool BeginPass(bool nested);
  int lastByKey_ = -1;            // index of the latest AddRelatedByKey entry
};

}  // namespace classlib
