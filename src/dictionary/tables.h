// The dictionary's 354 declarations, read once from the modules' texts, in
// dictionary order (modules M01 to M18, each in its own order).
#pragma once

#include <string_view>
#include <vector>

#include "dictionary/catalogue.h"

namespace dict {

inline constexpr size_t kTableCount = 354;

const std::vector<TableInfo>& Tables();
// The table with this label (compared exactly); nullptr when there is none.
const TableInfo* FindTable(std::string_view label);
// Position of a table in dictionary order; -1 when there is none.
int TableIndex(std::string_view label);

// Parses every module; the dictionary's own texts give no errors.
std::vector<CatalogueError> CheckCatalogues();

}  // namespace dict
