// A record's fields as the values of SQL statements and back, column by column
// of the table's SQL form.
#pragma once

#include "runtime/decl/file_block.h"
#include "runtime/sql/sql_schema.h"
#include "runtime/sql/sql_session.h"

namespace rt {

// The kind of value a column takes and gives.
SqlValue::Kind KindOf(const SqlColumn& col);
// The value of a column taken from the record buffer (or the BLOB's data).
SqlValue ValueOf(FileBlock& file, const SqlColumn& col);
// Writes a column's value read from the server into the record buffer; why
// not, the field left as it was, when the field cannot hold it exactly.
std::string StoreValue(FileBlock& file, const SqlColumn& col, const SqlValue& v);
// A value as a message about it shows it: a text in quotes, cut when long.
std::string ShownValue(const SqlValue& v);

}  // namespace rt
