// Program-wide name variables that declarations name instead of literal texts:
// the two connection owners and the table-name variables of 24 tables.
#pragma once

#include <string_view>
#include <vector>

#include "runtime/decl/file_decl.h"

namespace dict {

extern rt::OwnerVar DataOwner;    // owner of the tables of the data database
extern rt::OwnerVar ServerOwner;  // owner of the company, user and privilege tables

// The table-name variable of the table with this label; nullptr when the table
// has a literal name.
rt::TableNameVar* TableNameVarOf(std::string_view label);

// Labels of the tables named by a variable.
const std::vector<std::string_view>& TableNameVarLabels();

}  // namespace dict
