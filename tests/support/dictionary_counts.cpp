// Figures of the dictionary, counted from its declarations.
#include "support/dictionary_counts.h"

#include <algorithm>

#include "dictionary/tables.h"

namespace testsupport {

namespace {

bool IsSql(const dict::TableInfo& t) { return t.decl.driver == "MSSQL"; }

}  // namespace

size_t SqlTableCount() {
  return static_cast<size_t>(std::count_if(dict::Tables().begin(), dict::Tables().end(), IsSql));
}

size_t TablesCreatedFor(const rt::OwnerVar& owner) {
  return static_cast<size_t>(std::count_if(dict::Tables().begin(), dict::Tables().end(), [&](const dict::TableInfo& t) {
    return IsSql(t) && t.decl.ownerVar == &owner && t.decl.label != "D_SQL";
  }));
}

}  // namespace testsupport
