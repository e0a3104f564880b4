// The dictionary's declarations, read once from the modules' catalogue texts,
// in dictionary order (modules M01 to M18, each in its own order). How many
// there are, and which, follows from those texts alone.
#pragma once

#include <string_view>
#include <vector>

#include "dictionary/catalogue.h"

namespace dict {

// Every table; asked while the texts hold a fault (CheckCatalogues), it throws std::logic_error.
const std::vector<TableInfo>& Tables();
// The table with this label (compared exactly); nullptr when there is none.
const TableInfo* FindTable(std::string_view label);
// Position of a table in dictionary order; -1 when there is none.
int TableIndex(std::string_view label);

// The faults of the texts, one per faulty table (none for a sound dictionary);
// the program's start-up shows them and ends rather than start.
std::vector<CatalogueError> CheckCatalogues();

}  // namespace dict
