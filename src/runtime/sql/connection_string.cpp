// ODBC connection strings built from owner texts, and masked for the trace.
#include "runtime/sql/connection_string.h"

#include "runtime/base/text.h"
#include "runtime/sql/owner_text.h"
#include "runtime/sql/password_mask.h"

namespace rt {

bool NeedsBraces(std::string_view value) { return value.find_first_of(",;{}\"") != std::string_view::npos; }

bool DriverReadsBraces(std::string_view odbcDriver) { return !StartsWithNoCase(odbcDriver, "SQLite"); }

std::string OdbcValue(std::string_view value) {
  if (!NeedsBraces(value)) return std::string(value);
  std::string out = "{";
  for (char c : value) {
    out += c;
    if (c == '}') out += '}';
  }
  return out + "}";
}

namespace {

// The attributes a driver is given, by its name or (prefix) the beginning of it.
struct DriverRow {
  std::string_view name;
  bool prefix;
  std::string_view attributes;
};

constexpr DriverRow kDriverRows[] = {
    {"FreeTDS", false, "TDS_Version=7.4"},
    // psqlODBC, by default, rolls back only a refused statement: before every
    // statement in a transaction it sends a SAVEPOINT (and the RELEASE of the
    // last one), a round trip of its own. Level 0 of its rollback on errors
    // rolls back nothing: the server's transaction is left refusing every
    // statement until the program rolls it back, as the dialect says of
    // PostgreSQL. (Level 1 would roll it back at once, and the statements after
    // would go, unseen, to a transaction begun anew.)
    {"PostgreSQL", true, "Protocol=7.4-0"},
};

}  // namespace

std::string DriverAttributes(std::string_view odbcDriver) {
  for (const DriverRow& row : kDriverRows)
    if (row.prefix ? StartsWithNoCase(odbcDriver, row.name) : SameText(odbcDriver, row.name))
      return std::string(row.attributes);
  return "";
}

std::string BuildConnectionString(std::string_view odbcDriver, std::string_view owner) {
  OwnerParts p = ParseOwner(owner);
  if (Upper(p.login).find("UID=") != std::string::npos) return std::string(owner);
  std::string driverName;
  for (char c : odbcDriver) {
    driverName += c;
    if (c == '}') driverName += '}';
  }
  std::string out = "Driver={" + driverName + "}";
  if (owner.empty()) return out;
  out += ";";
  bool any = false;
  auto add = [&](std::string attr) {
    if (any) out += ";";
    out += attr;
    any = true;
  };
  if (!p.server.empty()) {
    if (StartsWithNoCase(p.server, "Address")) {
      size_t eq = p.server.find('=');
      add("Address=" + OdbcValue(eq == std::string::npos ? std::string_view() : std::string_view(p.server).substr(eq + 1)));
    } else {
      add("Server=" + OdbcValue(p.server));
    }
    if (!p.database.empty()) add("Database=" + OdbcValue(p.database));
  }
  if (!p.login.empty()) add("UID=" + OdbcValue(p.login));
  if (!p.password.empty()) add("PWD=" + OdbcValue(p.password));
  if (std::string more = DriverAttributes(odbcDriver); !more.empty()) add(std::move(more));
  if (!p.remainder.empty()) add(p.remainder);
  return out;
}

std::string TracedConnectionString(std::string_view odbcDriver, std::string_view owner) {
  // The owner with its fourth part (the password) replaced and the password
  // values inside every other part masked, so that none shows whatever the
  // connection string makes of them.
  std::string masked;
  size_t pos = 0;
  for (int part = 0; pos <= owner.size(); ++part) {
    const size_t start = pos;
    ReadOwnerPart(owner, pos, part >= 4);
    const std::string_view raw = owner.substr(start, pos - start);
    masked += part == 3 && !raw.empty() ? std::string("********") : MaskPassword(raw);
    if (pos < owner.size()) masked += ',';
    ++pos;  // the comma
  }
  return MaskPassword(BuildConnectionString(odbcDriver, masked));
}

}  // namespace rt
