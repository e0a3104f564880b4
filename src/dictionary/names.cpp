// The program-wide name variables: the two connection owners and the
// table-name variables, one per label, made as the catalogue asks for them.
#include "dictionary/names.h"

#include <map>
#include <mutex>
#include <string>

#include "dictionary/tables.h"

namespace dict {

// Program-wide: set once the connection entries check, read by every SQL declaration.
rt::OwnerVar DataOwner;
rt::OwnerVar ServerOwner;

rt::TableNameVar& TableNameVarFor(std::string_view label) {
  static std::mutex mutex;
  static std::map<std::string, rt::TableNameVar, std::less<>> vars;  // nodes stay where they are
  std::lock_guard lock(mutex);
  auto it = vars.find(label);
  if (it == vars.end()) it = vars.try_emplace(std::string(label)).first;
  return it->second;
}

rt::TableNameVar* TableNameVarOf(std::string_view label) {
  const TableInfo* t = FindTable(label);
  return t && t->decl.tableNameVar ? &TableNameVarFor(label) : nullptr;
}

const std::vector<std::string_view>& TableNameVarLabels() {
  static const std::vector<std::string_view> labels = [] {
    std::vector<std::string_view> v;
    for (const TableInfo& t : Tables())
      if (t.decl.tableNameVar) v.push_back(t.decl.label);
    return v;
  }();
  return labels;
}

}  // namespace dict
