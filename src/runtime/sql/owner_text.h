// The owner text of a table's connection: written from the connection
// entries and read back into its parts.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace rt {

// One part of an owner text, double-quoted when it holds a comma or a double
// quote (inner quotes doubled), so that ParseOwner reads it back unchanged.
std::string OwnerPart(std::string_view part);

struct OwnerParts {
  std::string server, database, login, password, remainder;
};
// Server, database, login, password and everything after the fourth comma.
OwnerParts ParseOwner(std::string_view owner);

// The owner text of one database: server, database and login, then the
// password when one was given (blanks only are none), each without its
// trailing blanks and written by OwnerPart, so that ParseOwner reads them back.
std::string BuildOwner(std::string_view server, std::string_view database, std::string_view login,
                       std::string_view password);

// Reads one part of owner from pos, up to its comma (or, with toEnd, the
// text's end); a leading double quote opens a quoted run ("" is one quote)
// that may hold commas. pos is left on the comma or the end.
std::string ReadOwnerPart(std::string_view owner, size_t& pos, bool toEnd);

}  // namespace rt
