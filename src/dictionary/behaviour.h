// Data of the tables with behaviour beyond their declaration.
#pragma once

#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

namespace dict {

// A relation registered by the parent: the child, the one referential mode
// used for update and delete, the child's key and the linking fields
// (parent field, child field; names without prefix) in key order.
struct ParentRelation {
  std::string_view parent;
  std::string_view child;
  uint8_t mode;
  std::string_view childKey;
  std::vector<std::pair<const char*, const char*>> pairs;
};

// The parents a child registers (plain entries), in its order.
struct ChildRelations {
  std::string_view table;
  std::vector<const char*> parents;
};

struct NewRecordDefault {
  std::string_view table;
  std::vector<const char*> fields;  // BYTE fields set to 1, in order
};

const std::vector<ParentRelation>& ParentRelations();  // in each parent's order
const std::vector<ChildRelations>& ChildRelationList();
const std::vector<NewRecordDefault>& NewRecordDefaults();

}  // namespace dict
