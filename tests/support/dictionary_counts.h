// Figures of the dictionary that tests of the whole creation hold its outcome
// to, taken from the dictionary itself: a table added to a module's catalogue
// text changes them without a test being edited. (The figures the dictionary is
// known to have are held to their values by tests/dictionary/facts_test.cpp.)
#pragma once

#include <cstddef>

#include "runtime/decl/file_decl.h"

namespace testsupport {

// The SQL tables, the length of the creation list.
size_t SqlTableCount();
// The tables the creation makes in the database of the owner: the SQL tables
// declared with it, but D_SQL, which is never checked and so never created.
size_t TablesCreatedFor(const rt::OwnerVar& owner);

}  // namespace testsupport
