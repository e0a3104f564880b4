// Password values in connection strings and driver messages shown as "********".
#include "runtime/sql/password_mask.h"

#include <cctype>

#include "runtime/base/text.h"

namespace rt {

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

}  // namespace rt
