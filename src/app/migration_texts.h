// What the migration tells the user, in the system's own Spanish (Windows-1252).
#pragma once

#include <cstddef>
#include <string>

namespace app::migration_texts {

// "N things", the noun in the plural when N is not one.
std::string Count(size_t n, const char* one, const char* many);

// A source of the table's migration could not be read (source: "el archivo local F"
// or "la tabla T"); nothing of the migration was made.
std::string LocalFileUnreadable(const std::string& fileName, const std::string& label, const std::string& why);
std::string TableUnreadable(const std::string& table, const std::string& label, const std::string& why);

// The server refused the migration: undone when it confirmed the rollback,
// else the table's state on the server is not known.
std::string NotMigrated(const std::string& label, const std::string& why, bool undone);
// The server refused, on a server that cannot roll a migration back.
std::string NotMigratedNextRunAlone(const std::string& label, const std::string& why);

// Rows of a renamed table whose keys the new table holds with other values.
std::string RenamedRowsClash(const std::string& label, const std::string& renamedTable, size_t rows,
                             const std::string& keyFields, const std::string& keys);
// Local records whose keys the table holds with other values.
std::string LocalRecordsNotTaken(const std::string& label, const std::string& fileName, size_t records,
                                 const std::string& keyFields, const std::string& keys);

}  // namespace app::migration_texts
