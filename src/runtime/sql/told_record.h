// Which of a failed call's diagnostic records tells the failure.
#pragma once

#include <cstddef>
#include <vector>

#include "runtime/sql/sql_result.h"

namespace rt::odbc {

// The index of the record that tells the failure among the records read, in
// their order (at least one): the first that is no class-01 warning, else the
// first. A driver ranks its records, errors first, but a driver manager may put
// a warning of its own (class 01) ahead of them.
size_t ToldRecord(const std::vector<SqlError>& records);

}  // namespace rt::odbc
