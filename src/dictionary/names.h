// Program-wide name variables that declarations name instead of literal texts:
// the two connection owners, and a table-name variable for each table whose
// catalogue item takes its name from one.
#pragma once

#include <string_view>
#include <vector>

#include "runtime/decl/file_decl.h"

namespace dict {

extern rt::OwnerVar DataOwner;    // owner of the tables of the data database
extern rt::OwnerVar ServerOwner;  // owner of the company, user and privilege tables

// The table-name variable of the dictionary table with this label; nullptr
// when the table has a literal name or there is no such table.
rt::TableNameVar* TableNameVarOf(std::string_view label);

// The variable of the label, made on first asking: what the catalogue reader
// gives a table declared with a name variable. Its address never changes.
rt::TableNameVar& TableNameVarFor(std::string_view label);

// Labels of the dictionary tables named by a variable, in dictionary order.
const std::vector<std::string_view>& TableNameVarLabels();

}  // namespace dict
