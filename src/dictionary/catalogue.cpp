// The catalogue reader: turns a module's declaration text into its tables'
// declarations and their managers' values, one fault report per faulty table.
#include "dictionary/catalogue.h"

#include <array>
#include <charconv>
#include <limits>
#include <memory>
#include <utility>

#include "dictionary/names.h"
#include "runtime/base/code_page.h"
#include "runtime/base/text.h"

namespace dict {

namespace {

// A fault in one table's text; caught per table by ParseCatalogue.
struct Fault {
  std::string text;
  std::string reason;
};

[[noreturn]] void Fail(std::string_view text, std::string reason) {
  throw Fault{std::string(text), std::move(reason)};
}

// Blanks around the parts of a declaration line.
std::string_view Trim(std::string_view s) { return rt::Trim(s, " \t\r"); }

bool Eat(std::string_view& s, std::string_view word) {
  if (s.substr(0, word.size()) != word) return false;
  s.remove_prefix(word.size());
  return true;
}

void Expect(std::string_view& s, std::string_view word, std::string_view context) {
  if (!Eat(s, word)) Fail(context, "expected \"" + std::string(word) + "\" before \"" + std::string(s) + "\"");
}

// Splits at sep where it is not inside double quotes or parentheses.
std::vector<std::string_view> SplitOutside(std::string_view s, char sep) {
  std::vector<std::string_view> parts;
  bool quoted = false;
  int depth = 0;
  size_t start = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    if (c == '"') quoted = !quoted;
    else if (!quoted && c == '(') ++depth;
    else if (!quoted && c == ')') --depth;
    else if (!quoted && depth == 0 && c == sep) {
      parts.push_back(Trim(s.substr(start, i - start)));
      start = i + 1;
    }
  }
  parts.push_back(Trim(s.substr(start)));
  return parts;
}

// Drops the sentence's final full stop (one outside quotes).
std::string_view DropStop(std::string_view s) {
  s = Trim(s);
  if (!s.empty() && s.back() == '.') s.remove_suffix(1);
  return s;
}

// A word up to the next blank (or the end).
std::string_view Word(std::string_view& s) {
  size_t n = s.find(' ');
  std::string_view w = s.substr(0, n);
  s.remove_prefix(n == std::string_view::npos ? s.size() : n);
  s = Trim(s);
  return w;
}

uint32_t Number(std::string_view digits, std::string_view context) {
  uint32_t v = 0;
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), v);
  if (ec != std::errc() || end != digits.data() + digits.size() || digits.empty())
    Fail(context, "not a number: \"" + std::string(digits) + "\"");
  return v;
}

// A number of bytes a field is moved by, forward or back.
int32_t Adjustment(std::string_view digits, std::string_view context) {
  const uint32_t n = Number(digits, context);
  if (n > static_cast<uint32_t>(std::numeric_limits<int32_t>::max()))
    Fail(context, "a position moved by " + std::string(digits) + " bytes");
  return static_cast<int32_t>(n);
}

// A text in double quotes at the front of s; s moves past it.
std::string TakeQuoted(std::string_view& s, std::string_view context) {
  if (!Eat(s, "\"")) Fail(context, "expected a quoted text at \"" + std::string(s) + "\"");
  size_t end = s.find('"');
  if (end == std::string_view::npos) Fail(context, "unterminated quoted text");
  std::string text(s.substr(0, end));
  s.remove_prefix(end + 1);
  s = Trim(s);
  return text;
}

// Names are written in UTF-8 in the declaration text; the program holds them
// in its code page, Windows-1252.
std::string ToAnsi(std::string_view utf8, std::string_view context) {
  bool lost = false;
  std::string ansi = rt::Utf8ToCp1252(utf8, &lost);
  if (lost) Fail(context, "character outside the ANSI code page");
  return ansi;
}

bool IsName(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c == ' ' || c == '(' || c == ')' || c == ',' || c == ';' || c == '"' || c == ':') return false;
  return true;
}

struct TableText {
  std::string_view head, fields, keys, blob;
};

class TableParser {
 public:
  explicit TableParser(TableInfo& info) : info_(info) {}

  void Head(std::string_view line) {
    std::string_view s = line;
    Expect(s, "- ", line);
    size_t open = s.find(" (prefix ");
    if (open == std::string_view::npos) Fail(line, "no prefix");
    info_.decl.label = std::string(s.substr(0, open));
    if (!IsName(info_.decl.label)) Fail(line, "bad label");
    s.remove_prefix(open + 9);
    size_t close = s.find("): ");
    if (close == std::string_view::npos) Fail(line, "unterminated prefix");
    info_.prefix = std::string(s.substr(0, close));
    if (!IsName(info_.prefix)) Fail(line, "bad prefix");
    s.remove_prefix(close + 3);

    size_t drv = s.find(" (driver ");
    if (drv == std::string_view::npos) Fail(line, "no driver");
    std::string_view kind = s.substr(0, drv);
    s.remove_prefix(drv + 9);
    size_t drvEnd = s.find(')');
    if (drvEnd == std::string_view::npos) Fail(line, "unterminated driver");
    info_.decl.driver = std::string(s.substr(0, drvEnd));
    s.remove_prefix(drvEnd + 1);
    CheckKind(kind, line);
    Expect(s, ", ", line);

    TableName(s, line);
    Expect(s, ", ", line);

    std::vector<std::string_view> parts = SplitOutside(DropStop(s), ';');
    // parts: owner, [driver options], attributes, record length
    if (parts.size() < 3 || parts.size() > 4) Fail(line, "expected owner; [options;] attributes; record length");
    Owner(parts[0], line);

    size_t next = 1;
    if (parts.size() == 4) {
      std::string_view opt = parts[1];
      Expect(opt, "driver options ", line);
      info_.decl.options = TakeQuoted(opt, line);
      if (!opt.empty()) Fail(line, "text after the driver options");
      next = 2;
    }
    Attributes(parts[next], line);
    std::string_view rec = parts[next + 1];
    Expect(rec, "record ", line);
    size_t sp = rec.find(' ');
    if (sp == std::string_view::npos || rec.substr(sp) != " bytes") Fail(line, "expected record N bytes");
    info_.declaredLength = Number(rec.substr(0, sp), line);
  }

  void Fields(std::string_view line) {
    std::string_view s = line;
    Expect(s, "- Fields: ", line);
    for (std::string_view f : SplitOutside(DropStop(s), ';'))
      for (auto& field : Field(f)) fields_.push_back(std::move(field));
    rt::Outcome<rt::TypeRecord> record = rt::TypeRecord::TryEncode(fields_);
    if (!record) Fail(line, record.error());
    info_.decl.record = std::make_shared<const rt::TypeRecord>(std::move(*record));
  }

  void Keys(std::string_view line) {
    std::string_view s = line;
    Expect(s, "- Keys: ", line);
    s = DropStop(s);
    if (s == "none") return;
    for (std::string_view k : SplitOutside(s, ';')) Key(k);
  }

  void Blob(std::string_view line) {
    std::string_view s = line;
    Expect(s, "- BLOB: ", line);
    for (std::string_view b : SplitOutside(DropStop(s), ';')) {
      std::string_view rest = b;
      std::string_view name = Word(rest);
      if (!IsName(name) || rest != "BLOB BINARY") Fail(b, "expected NAME BLOB BINARY");
      rt::BlobDescriptor blob;
      blob.label = Label(name, b);
      blob.attrs = rt::kBlobIsBlob | rt::kBlobBinary | 0x01;
      blob.memoSize = 0;
      info_.decl.blobs.push_back(std::move(blob));
    }
  }

 private:
  // NAME of the head line: the label, a literal, or a name variable with the
  // name the creation gives it, if any.
  void TableName(std::string_view& s, std::string_view line) {
    if (Eat(s, "name = label")) {
      info_.decl.tableName = info_.decl.label;
    } else if (Eat(s, "name taken from a TableNameVar")) {
      info_.decl.tableNameVar = &TableNameVarFor(info_.decl.label);
      if (Eat(s, " that the creation sets to ")) {
        info_.creationName = TakeQuoted(s, line);
        if (info_.creationName.empty() || info_.creationName.size() >= rt::NameVar::kSize)
          Fail(line, "the creation's table name is empty or too long");
      }
    } else if (Eat(s, "name ")) {
      info_.decl.tableName = TakeQuoted(s, line);
      if (info_.decl.tableName.empty()) Fail(line, "empty table name");
    } else {
      Fail(line, "no table name at \"" + std::string(s) + "\"");
    }
  }

  void Owner(std::string_view owner, std::string_view line) {
    if (owner == "DataOwner") info_.decl.ownerVar = &DataOwner;
    else if (owner == "ServerOwner") info_.decl.ownerVar = &ServerOwner;
    else if (owner == "no owner") {}
    else if (Eat(owner, "the literal owner password ")) {
      if (owner.empty()) Fail(line, "empty owner literal");
      info_.decl.ownerLiteral = std::string(owner);
    } else Fail(line, "unknown owner \"" + std::string(owner) + "\"");
  }

  // The attribute words; the owner bit follows from the owner, read before.
  void Attributes(std::string_view words, std::string_view line) {
    uint8_t attrs = info_.decl.HasOwner() ? rt::kFileOwner : 0;
    if (words != "no attributes") {
      for (std::string_view a : SplitOutside(words, ',')) {
        if (a == "CREATE") attrs |= rt::kFileCreate;
        else if (a == "RECLAIM") attrs |= rt::kFileReclaim;
        else if (a == "ENCRYPT") attrs |= rt::kFileEncrypt;
        else if (a == "THREAD") attrs |= rt::kFileThread;
        else Fail(line, "unknown attribute \"" + std::string(a) + "\"");
      }
    }
    info_.decl.attrs = attrs;
  }

  void CheckKind(std::string_view kind, std::string_view line) {
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 7> kKinds{{
        {"SQL Server table", "MSSQL"},           {"TopSpeed file", "TOPSPEED"},
        {"line-oriented text file", "ASCII"},    {"comma-separated text file", "BASIC"},
        {"raw-record file", "DOS"},              {"FoxPro file", "FoxPro"},
        {"dBase III file", "dBase3"},
    }};
    for (const auto& [k, d] : kKinds)
      if (k == kind) {
        if (d != info_.decl.driver) Fail(line, "the kind of file does not match the driver");
        return;
      }
    Fail(line, "unknown kind of file \"" + std::string(kind) + "\"");
  }

  std::string Label(std::string_view name, std::string_view context) {
    if (!IsName(name)) Fail(context, "bad name \"" + std::string(name) + "\"");
    return info_.prefix + ":" + ToAnsi(name, context);
  }

  static rt::FieldSpec Simple(rt::FieldType type, std::string label, uint32_t size = 0) {
    rt::FieldSpec f;
    f.type = type;
    f.label = std::move(label);
    f.size = size;
    return f;
  }

  // TYPE of a plain field: LONG, REAL, BYTE, DATE, TIME, STRING(n), CSTRING(n).
  rt::FieldSpec Typed(std::string_view name, std::string_view& s, std::string_view context) {
    std::string label = Label(name, context);
    if (Eat(s, "LONG")) return Simple(rt::FieldType::Long, label);
    if (Eat(s, "REAL")) return Simple(rt::FieldType::Real, label);
    if (Eat(s, "BYTE")) return Simple(rt::FieldType::Byte, label);
    if (Eat(s, "DATE")) return Simple(rt::FieldType::Date, label);
    if (Eat(s, "TIME")) return Simple(rt::FieldType::Time, label);
    rt::FieldType type;
    if (Eat(s, "CSTRING(")) type = rt::FieldType::CString;
    else if (Eat(s, "STRING(")) type = rt::FieldType::String;
    else Fail(context, "unknown type at \"" + std::string(s) + "\"");
    size_t close = s.find(')');
    if (close == std::string_view::npos) Fail(context, "unterminated size");
    uint32_t size = Number(s.substr(0, close), context);
    if (size == 0) Fail(context, "size 0");
    s.remove_prefix(close + 1);
    return Simple(type, label, size);
  }

  // "A DATE, B TIME" (either order): the members of a date-time group.
  std::vector<rt::FieldSpec> Members(std::string_view s, std::string_view context) {
    std::vector<rt::FieldSpec> members;
    for (std::string_view m : SplitOutside(s, ',')) {
      std::string_view rest = m;
      std::string_view name = Word(rest);
      rt::FieldSpec f = Typed(name, rest, context);
      if (!Trim(rest).empty()) Fail(context, "text after a group member: \"" + std::string(rest) + "\"");
      members.push_back(std::move(f));
    }
    if (members.empty()) Fail(context, "a group without members");
    return members;
  }

  // The bytes a group's members fill: they follow each other from its start.
  static uint64_t SizeOf(const rt::FieldSpec& g) {
    uint64_t end = 0;
    for (const auto& m : g.members) end += m.size ? m.size : rt::FixedSizeOf(m.type);
    return end;
  }

  rt::FieldSpec Group(std::string name, std::vector<rt::FieldSpec> members, int32_t adjust) {
    rt::FieldSpec g;
    g.type = rt::FieldType::Group;
    g.label = std::move(name);
    g.adjust = adjust;
    g.members = std::move(members);
    return g;
  }

  // A date-time group: one DATE and one TIME, in either order, 8 bytes.
  static void CheckDateTime(const rt::FieldSpec& g, std::string_view context) {
    const auto& m = g.members;
    const bool dateTime = m.size() == 2 && ((m[0].type == rt::FieldType::Date && m[1].type == rt::FieldType::Time) ||
                                            (m[0].type == rt::FieldType::Time && m[1].type == rt::FieldType::Date));
    if (!dateTime) Fail(context, "the group is not one DATE and one TIME");
  }

  // One field line: a group over earlier bytes, a date or time pair, or a
  // typed field with its suffixes; a pair and a handle with a group give two specs.
  std::vector<rt::FieldSpec> Field(std::string_view text) {
    std::string_view s = text;
    if (Eat(s, "GROUP ")) return {GroupOverEarlierBytes(s, text)};
    std::string_view name = Word(s);
    if (!IsName(name)) Fail(text, "bad field name");
    if (s == "date pair" || s == "time pair") return Pair(std::string(name), s == "date pair", text);
    return TypedField(name, s, text);
  }

  // GROUP G over the field N bytes back (S bytes): members
  rt::FieldSpec GroupOverEarlierBytes(std::string_view s, std::string_view text) {
    std::string_view name = Word(s);
    Expect(s, "over the field ", text);
    size_t sp = s.find(' ');
    if (sp == std::string_view::npos) Fail(text, "expected N bytes back");
    const int32_t back = Adjustment(s.substr(0, sp), text);
    s.remove_prefix(sp + 1);
    Expect(s, "bytes back (", text);
    size_t sp2 = s.find(' ');
    if (sp2 == std::string_view::npos) Fail(text, "expected the group size");
    uint32_t size = Number(s.substr(0, sp2), text);
    s.remove_prefix(sp2 + 1);
    Expect(s, "bytes): ", text);
    rt::FieldSpec g = Group(Label(name, text), Members(s, text), -back);
    if (SizeOf(g) != size) Fail(text, "the members do not fill the stated group size");
    CheckDateTime(g, text);
    return g;
  }

  // NAME date pair / NAME time pair: an 8-byte text handle and the group of a
  // DATE and a TIME over it, the named one being the pair's own part.
  std::vector<rt::FieldSpec> Pair(const std::string& n, bool datePair, std::string_view text) {
    rt::FieldSpec handle = Simple(rt::FieldType::String, Label(n + std::string(kPairHandleSuffix), text), 8);
    std::vector<rt::FieldSpec> members;
    members.push_back(Simple(rt::FieldType::Date, Label(datePair ? n : DatePartOf(n), text)));
    members.push_back(Simple(rt::FieldType::Time, Label(datePair ? TimePartOf(n) : n, text)));
    std::vector<rt::FieldSpec> out;
    out.push_back(std::move(handle));
    out.push_back(Group(Label(n + std::string(kPairGroupSuffix), text), std::move(members), -8));
    return out;
  }

  // NAME TYPE, then any of: "with GROUP G over it: members", "(position moved
  // by N bytes)", "with external name \"X\"".
  std::vector<rt::FieldSpec> TypedField(std::string_view name, std::string_view s, std::string_view text) {
    rt::FieldSpec f = Typed(name, s, text);
    s = Trim(s);
    std::optional<rt::FieldSpec> group;
    while (!s.empty()) {
      if (Eat(s, "with GROUP ")) {
        if (f.type != rt::FieldType::String || group) Fail(text, "a group over a field that is not a text handle");
        group = GroupOverHandle(s, f.size, text);
      } else if (Eat(s, "(position moved by ")) {
        size_t sp = s.find(' ');
        if (sp == std::string_view::npos) Fail(text, "expected N bytes");
        f.adjust = Adjustment(s.substr(0, sp), text);
        s.remove_prefix(sp + 1);
        Expect(s, "bytes)", text);
        s = Trim(s);
      } else if (Eat(s, "with external name ")) {
        f.externalName = TakeQuoted(s, text);
      } else {
        Fail(text, "unexpected text \"" + std::string(s) + "\"");
      }
    }
    std::vector<rt::FieldSpec> out;
    out.push_back(std::move(f));
    if (group) out.push_back(std::move(*group));
    return out;
  }

  // G over it: members, up to the field's next suffix; s moves past the members.
  rt::FieldSpec GroupOverHandle(std::string_view& s, uint32_t handleSize, std::string_view text) {
    std::string_view gname = Word(s);
    Expect(s, "over it: ", text);
    size_t stop = std::min(s.find(" (position moved"), s.find(" with external name"));
    std::string_view list = s.substr(0, stop);
    s.remove_prefix(stop == std::string_view::npos ? s.size() : stop);
    s = Trim(s);
    if (handleSize != 8) Fail(text, "the handle is not 8 bytes");
    rt::FieldSpec group = Group(Label(gname, text), Members(list, text), -8);
    CheckDateTime(group, text);
    return group;
  }

  void Key(std::string_view text) {
    std::string_view s = text;
    rt::KeyDescriptor key;
    std::string_view label = Word(s);
    if (label.substr(0, info_.prefix.size() + 1) != info_.prefix + ":" || label.size() <= info_.prefix.size() + 1)
      Fail(text, "the key's label does not carry the table's prefix");
    key.label = ToAnsi(label, text);
    while (!s.empty() && s.front() != '(') {
      std::string_view a = Word(s);
      if (a == "PRIMARY") key.attrs |= rt::kKeyPrimary;
      else if (a == "DUP") key.attrs |= rt::kKeyDup;
      else if (a == "OPT") key.attrs |= rt::kKeyOpt;
      else if (a == "NOCASE") key.attrs |= rt::kKeyNoCase;
      else if (a == "INDEX") key.attrs |= rt::kKeyIndex;
      else Fail(text, "unknown key attribute \"" + std::string(a) + "\"");
    }
    Expect(s, "(", text);
    size_t close = s.find(')');
    if (close == std::string_view::npos) Fail(text, "unterminated component list");
    for (std::string_view c : SplitOutside(s.substr(0, close), ',')) {
      bool descending = Eat(c, "-");
      int n = EntryNumber(Label(Trim(c), text));
      if (n == 0) Fail(text, "no field \"" + std::string(c) + "\" in the record");
      key.components.push_back(descending ? -n : n);
    }
    s.remove_prefix(close + 1);
    s = Trim(s);
    std::string description = key.label;
    while (!s.empty()) {
      if (Eat(s, "described ")) description = TakeQuoted(s, text);
      else if (Eat(s, "with external name ")) key.externalName = TakeQuoted(s, text);
      else Fail(text, "unexpected text \"" + std::string(s) + "\"");
    }
    for (const auto& k : info_.decl.keys)
      if (k.label == key.label) Fail(text, "the key is declared twice");
    info_.decl.keys.push_back(std::move(key));
    info_.keyDescriptions.push_back(std::move(description));
  }

  int EntryNumber(const std::string& label) const {
    for (size_t i = 0; i < labels_.size(); ++i)
      if (labels_[i] == label) return static_cast<int>(i) + 1;
    return 0;
  }

 public:
  // Numbers the entries in stored order and rejects a label used twice.
  void NumberEntries(std::string_view context) {
    auto walk = [&](auto& self, const std::vector<rt::FieldSpec>& list) -> void {
      for (const auto& f : list) {
        if (EntryNumber(f.label) != 0) Fail(context, "the field " + f.label + " is declared twice");
        labels_.push_back(f.label);
        self(self, f.members);
      }
    };
    walk(walk, fields_);
  }

  std::vector<rt::FieldSpec> fields_;

 private:
  TableInfo& info_;
  std::vector<std::string> labels_;
};

}  // namespace

std::string CatalogueError::Message() const {
  std::string m = module;
  if (!table.empty()) m += ", table " + table;
  m += ": " + reason + " in \"" + text + "\"";
  return m;
}

std::string ModuleName(int moduleNumber) {
  std::string n = std::to_string(moduleNumber);
  return "M" + std::string(n.size() < 2 ? "0" : "") + n;
}

void ParseCatalogue(int moduleNumber, std::string_view text, std::vector<TableInfo>& out,
                    std::vector<CatalogueError>& errors) {
  // Gather the lines of each item.
  std::vector<TableText> items;
  std::string module = ModuleName(moduleNumber);
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    std::string_view t = Trim(line);
    if (t.empty()) continue;
    if (line.substr(0, 2) == "- ") {
      items.push_back({Trim(line), {}, {}, {}});
      continue;
    }
    std::string_view* slot = nullptr;
    if (!items.empty()) {
      if (t.substr(0, 10) == "- Fields: ") slot = &items.back().fields;
      else if (t.substr(0, 8) == "- Keys: ") slot = &items.back().keys;
      else if (t.substr(0, 8) == "- BLOB: ") slot = &items.back().blob;
    }
    if (!slot || !slot->empty()) {
      errors.push_back({module, items.empty() ? "" : std::string(items.back().head.substr(2, items.back().head.find(' ', 2) - 2)),
                        std::string(t), "unexpected line"});
      continue;
    }
    *slot = t;
  }

  for (const TableText& item : items) {
    TableInfo info;
    info.module = moduleNumber;
    std::string label(item.head.substr(2, item.head.find(' ', 2) - 2));
    try {
      TableParser p(info);
      p.Head(item.head);
      if (item.fields.empty()) Fail(item.head, "no Fields line");
      if (item.keys.empty()) Fail(item.head, "no Keys line");
      p.Fields(item.fields);
      p.NumberEntries(item.fields);
      p.Keys(item.keys);
      if (!item.blob.empty()) p.Blob(item.blob);
      if (info.decl.RecordLength() != info.declaredLength)
        Fail(item.head, "the fields make a record of " + std::to_string(info.decl.RecordLength()) +
                            " bytes, not " + std::to_string(info.declaredLength));
      out.push_back(std::move(info));
    } catch (const Fault& f) {
      errors.push_back({module, label, f.text, f.reason});
    }
  }
}

}  // namespace dict
