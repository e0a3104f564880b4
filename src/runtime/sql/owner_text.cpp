// Owner texts written and read back into their parts.
#include "runtime/sql/owner_text.h"

#include "runtime/base/text.h"

namespace rt {

std::string ReadOwnerPart(std::string_view text, size_t& pos, bool toEnd) {
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
    *fields[i] = ReadOwnerPart(owner, pos, false);
    if (pos >= owner.size()) return parts;
    ++pos;  // the comma
  }
  parts.remainder = ReadOwnerPart(owner, pos, true);
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

}  // namespace rt
