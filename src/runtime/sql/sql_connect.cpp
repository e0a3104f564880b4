// Owner texts written and read, ODBC connection strings built and masked for the
// trace, and the ODBC driver chosen.
#include "runtime/sql/sql_connect.h"

#include <algorithm>
#include <cctype>

#include "runtime/base/text.h"

namespace rt {

namespace {

// Reads one part from pos: a leading double quote opens a quoted run ("" is one
// quote) that may hold commas; with toEnd the part runs to the end of the text.
std::string ReadPart(std::string_view text, size_t& pos, bool toEnd) {
  std::string out;
  if (pos < text.size() && text[pos] == '"') {
    ++pos;
    while (pos < text.size()) {
      if (text[pos] == '"') {
        if (pos + 1 < text.size() && text[pos + 1] == '"') {
          out += '"';
          pos += 2;
          continue;
        }
        ++pos;
        break;
      }
      out += text[pos++];
    }
  }
  while (pos < text.size() && (toEnd || text[pos] != ',')) out += text[pos++];
  return out;
}

}  // namespace

std::string OwnerPart(std::string_view part) {
  if (part.find_first_of(",\"") == std::string_view::npos) return std::string(part);
  std::string out = "\"";
  for (char c : part) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

OwnerParts ParseOwner(std::string_view owner) {
  OwnerParts parts;
  std::string* fields[] = {&parts.server, &parts.database, &parts.login, &parts.password};
  size_t pos = 0;
  for (int i = 0; i < 4; ++i) {
    *fields[i] = ReadPart(owner, pos, false);
    if (pos >= owner.size()) return parts;
    ++pos;  // the comma
  }
  parts.remainder = ReadPart(owner, pos, true);
  return parts;
}

std::string BuildOwner(std::string_view server, std::string_view database, std::string_view login,
                       std::string_view password) {
  // A part holding a comma or a quote is quoted, so it reaches the server as typed
  // and never splits into further parts.
  std::string owner = OwnerPart(CLIP(server)) + "," + OwnerPart(CLIP(database)) + "," + OwnerPart(CLIP(login));
  if (!CLIP(password).empty()) owner += "," + OwnerPart(CLIP(password));
  return owner;
}

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

namespace {

// The length of the password key ("PWD" or "Password", any case, blanks before
// its "=") that starts at pos, up to and with the "="; 0 when none starts there
// or the key is the end of a longer name.
size_t PasswordKeyAt(std::string_view text, size_t pos) {
  const auto inName = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
  if (pos > 0 && inName(text[pos - 1])) return 0;
  for (std::string_view key : {std::string_view("PWD"), std::string_view("PASSWORD")}) {
    if (!StartsWithNoCase(text.substr(pos), key)) continue;
    size_t eq = pos + key.size();
    while (eq < text.size() && text[eq] == ' ') ++eq;
    if (eq < text.size() && text[eq] == '=') return eq + 1 - pos;
  }
  return 0;
}

// Where the value that starts at pos ends: a brace-quoted run ("}}" a brace
// inside it) and whatever follows it, or the bare text, up to a semicolon, the
// line's end or, inside braces, the lone "}" that closes them.
size_t PasswordValueEnd(std::string_view text, size_t pos, bool inBraces) {
  const auto pairedBrace = [text](size_t i) { return i + 1 < text.size() && text[i + 1] == '}'; };
  while (pos < text.size() && text[pos] == ' ') ++pos;
  if (pos < text.size() && text[pos] == '{') {
    for (++pos; pos < text.size(); ++pos) {
      if (text[pos] != '}') continue;
      const bool paired = pairedBrace(pos++);
      if (!paired) break;
    }
  }
  for (; pos < text.size(); ++pos) {
    const char c = text[pos];
    if (c == ';' || c == '\n' || c == '\r') break;
    if (c != '}') continue;
    if (pairedBrace(pos)) ++pos;  // a brace of the value
    else if (inBraces) break;     // the brace that closes those around it
  }
  return pos;
}

}  // namespace

std::string MaskPassword(std::string_view text) {
  std::string out;
  size_t copied = 0;
  int depth = 0;  // braces open before pos
  for (size_t pos = 0; pos < text.size(); ++pos) {
    if (text[pos] == '{') ++depth;
    if (text[pos] == '}') {
      if (pos + 1 < text.size() && text[pos + 1] == '}') ++pos;  // a brace inside a value
      else if (depth > 0) --depth;
      continue;
    }
    const size_t key = PasswordKeyAt(text, pos);
    if (key == 0) continue;
    const size_t end = PasswordValueEnd(text, pos + key, depth > 0);
    out.append(text.substr(copied, pos + key - copied));
    out += "********";
    copied = end;
    pos = end - 1;
  }
  out.append(text.substr(copied));
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
    ReadPart(owner, pos, part >= 4);
    const std::string_view raw = owner.substr(start, pos - start);
    masked += part == 3 && !raw.empty() ? std::string("********") : MaskPassword(raw);
    if (pos < owner.size()) masked += ',';
    ++pos;  // the comma
  }
  return MaskPassword(BuildConnectionString(odbcDriver, masked));
}

namespace {

// The version of a name "ODBC Driver NN for SQL Server" (any letter case), the
// SQL Server vendor's own driver on this platform; nullopt for any other name.
std::optional<int> VendorDriverVersion(std::string_view name) {
  constexpr std::string_view head = "ODBC Driver ", tail = " for SQL Server";
  if (name.size() <= head.size() + tail.size() || !StartsWithNoCase(name, head) ||
      !SameText(name.substr(name.size() - tail.size()), tail))
    return std::nullopt;
  const std::string_view digits = name.substr(head.size(), name.size() - head.size() - tail.size());
  if (digits.size() > 6 || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return std::nullopt;
  return std::stoi(std::string(digits));
}

}  // namespace

std::optional<std::string> ChooseOdbcDriver(const std::vector<std::string>& installed,
                                            std::string_view configuredPrefix) {
  std::vector<std::string> names;
  for (size_t i = 0; i < installed.size() && i < kMaxOdbcDrivers; ++i)
    if (std::find(names.begin(), names.end(), installed[i]) == names.end()) names.push_back(installed[i]);
  // The first name that fits, tried rule after rule.
  const auto first = [&](auto fits) -> std::optional<std::string> {
    const auto found = std::find_if(names.begin(), names.end(), fits);
    if (found == names.end()) return std::nullopt;
    return *found;
  };
  const auto startsWith = [](std::string_view prefix) {
    return [prefix](const std::string& n) { return StartsWithNoCase(n, prefix); };
  };
  if (!configuredPrefix.empty()) return first(startsWith(configuredPrefix));
  if (auto chosen = first(startsWith("SQL Native Client"))) return chosen;
  if (auto chosen = first(startsWith("SQL Server"))) return chosen;
  // The SQL Server drivers of this platform under their own names: the vendor's,
  // newest first, then FreeTDS.
  std::optional<std::string> newest;
  int newestVersion = -1;
  for (const std::string& n : names)
    if (const std::optional<int> v = VendorDriverVersion(n); v && *v > newestVersion) {
      newestVersion = *v;
      newest = n;
    }
  if (newest) return newest;
  return first([](const std::string& n) { return SameText(n, "FreeTDS"); });
}

std::string StripBracketTags(std::string_view message) {
  size_t pos = 0;
  while (true) {
    while (pos < message.size() && message[pos] == ' ') ++pos;
    if (pos < message.size() && message[pos] == '[') {
      size_t close = message.find(']', pos);
      if (close == std::string_view::npos) break;
      pos = close + 1;
    } else {
      break;
    }
  }
  return std::string(message.substr(pos));
}

}  // namespace rt
