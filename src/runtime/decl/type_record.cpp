// The TypeRecord byte form: variable-length numbers, the encoder from declared
// fields and the decoder that checks every part against the bytes it has.
#include "runtime/decl/type_record.h"

#include <algorithm>
#include <stdexcept>

namespace rt {

namespace {

constexpr uint32_t kMaxVarNum = (1u << 29) - 1;  // 5 + 3 * 8 bits of magnitude
constexpr size_t kHeaderSize = 14;
constexpr size_t kGroupPartSize = 12;

void SetU32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

bool IsSizedString(FieldType t) {
  return t == FieldType::String || t == FieldType::CString || t == FieldType::PString ||
         t == FieldType::Memo;
}

// Lays declared fields out in the byte form. The first field that cannot be
// laid out stops the encoding, with the reason kept.
struct Encoder {
  std::vector<uint8_t> out;
  uint32_t count = 0;
  uint32_t storageEnd = 0;
  std::string error;

  bool Fail(std::string why) {
    if (error.empty()) error = std::move(why);
    return false;
  }

  // A variable-length number of the field; one beyond the format's reach fails.
  bool Number(const FieldSpec& f, int64_t value, const char* what) {
    const uint64_t mag = value < 0 ? uint64_t(-value) : uint64_t(value);
    if (mag > kMaxVarNum)
      return Fail(std::string(what) + " " + std::to_string(value) + " of field " + f.label +
                  " is beyond the TypeRecord format's " + std::to_string(kMaxVarNum));
    EncodeVarNum(out, static_cast<int32_t>(value));
    return true;
  }

  // Encodes one field placed at the level's running position and moves the
  // running position to its end.
  bool Field(const FieldSpec& f, uint32_t& running) {
    const int64_t pos = int64_t(running) + f.adjust.value_or(0);
    if (pos < 0) return Fail("field " + f.label + " placed before the record");
    const uint32_t at = static_cast<uint32_t>(pos);
    ++count;
    const size_t start = out.size();
    out.push_back(static_cast<uint8_t>(f.type));
    uint8_t flags = 0;
    if (!f.label.empty()) flags |= kEntryLabel;
    if (!f.externalName.empty()) flags |= kEntryExternalName;
    if (f.adjust) flags |= kEntryAdjust;
    out.push_back(flags);

    uint32_t size = 0;
    size_t groupPart = 0;
    switch (f.type) {
      case FieldType::Decimal:
      case FieldType::PDecimal:
        if (f.size == 0 || f.size > 255) return Fail("DECIMAL field " + f.label + " of size " + std::to_string(f.size));
        out.push_back(static_cast<uint8_t>(f.size));
        out.push_back(f.places);
        size = f.size;
        break;
      case FieldType::String:
      case FieldType::CString:
      case FieldType::PString:
      case FieldType::Memo:
        if (f.size == 0) return Fail("string field " + f.label + " without a size");
        if (!Number(f, f.size, "size")) return false;
        size = f.size;
        break;
      case FieldType::Group:
        groupPart = out.size();
        for (size_t i = 0; i < kGroupPartSize; ++i) out.push_back(0);
        break;
      default:
        size = FixedSizeOf(f.type);
        break;
    }
    auto text = [&](const std::string& s) {
      out.insert(out.end(), s.begin(), s.end());
      out.push_back(0);
    };
    if (flags & kEntryLabel) text(f.label);
    if (flags & kEntryExternalName) text(f.externalName);
    if ((flags & kEntryAdjust) && !Number(f, *f.adjust, "position adjustment")) return false;

    if (f.type == FieldType::Group) {
      const uint32_t before = count;
      uint32_t inner = at;
      uint32_t membersEnd = at;
      for (const FieldSpec& m : f.members) {
        if (!Field(m, inner)) return false;
        membersEnd = std::max(membersEnd, inner);
      }
      size = f.size != 0 ? f.size : membersEnd - at;
      SetU32(out, groupPart, size);
      SetU32(out, groupPart + 4, count - before);
      SetU32(out, groupPart + 8, static_cast<uint32_t>(out.size() - start));
    }
    if (uint64_t(at) + size > 0xFFFFFFFFull) return Fail("field " + f.label + " ends beyond any record size");
    storageEnd = std::max(storageEnd, at + size);
    running = at + size;
    return true;
  }
};

// Bounds-checked reader over the bytes of one TypeRecord. The first failure
// is kept, with the byte it was found at.
struct Reader {
  std::span<const uint8_t> bytes;
  size_t pos = 0;
  std::string error;

  bool Fail(std::string why) {
    if (error.empty()) error = std::move(why) + " at byte " + std::to_string(pos);
    return false;
  }
  // A failure found at an earlier byte than the one reached.
  bool FailAt(size_t at, std::string why) {
    pos = at;
    return Fail(std::move(why));
  }
  bool U8(uint8_t& v) {
    if (pos + 1 > bytes.size()) return Fail("TypeRecord truncated");
    v = bytes[pos++];
    return true;
  }
  bool U32(uint32_t& v) {
    if (pos + 4 > bytes.size()) return Fail("TypeRecord truncated");
    v = uint32_t(bytes[pos]) | uint32_t(bytes[pos + 1]) << 8 | uint32_t(bytes[pos + 2]) << 16 |
        uint32_t(bytes[pos + 3]) << 24;
    pos += 4;
    return true;
  }
  bool Num(int32_t& v) {
    auto n = DecodeVarNum(bytes, pos);
    if (!n) return Fail("TypeRecord truncated in a number");
    v = *n;
    return true;
  }
  bool Text(std::string& s) {
    const auto* begin = bytes.data() + pos;
    const auto* end = bytes.data() + bytes.size();
    const auto* nul = std::find(begin, end, uint8_t{0});
    if (nul == end) return Fail("TypeRecord truncated in a text");
    s.assign(reinterpret_cast<const char*>(begin), static_cast<size_t>(nul - begin));
    pos += static_cast<size_t>(nul - begin) + 1;
    return true;
  }
};

// Reads a TypeRecord's bytes and checks each part against the bytes it has:
// the header, then entry by entry its type, size and optional parts, its place
// in the record and in the groups around it, and last the record's own end.
class Decoder {
 public:
  explicit Decoder(std::span<const uint8_t> bytes) : r_{bytes} {}

  // True when every entry reads and every check holds; else the reason is in error().
  bool Run() {
    if (!Header()) return false;
    levels_.push_back({0, 0, 0, count_, 0, length_, recordSize_});
    entries_.reserve(count_);
    for (uint32_t n = 1; n <= count_; ++n)
      if (!Entry(n)) return false;
    return End();
  }
  const std::string& error() const { return r_.error; }
  uint32_t recordSize() const { return recordSize_; }
  std::vector<TypeEntry> TakeEntries() { return std::move(entries_); }

 private:
  // An open level: the record, then each group being read.
  struct Level {
    int group;            // entry number, 0 for the record
    uint32_t base;        // the level's own position
    uint32_t running;
    uint32_t remaining;   // descendants still to read
    size_t start;         // byte position of the group entry
    uint32_t byteLength;  // announced byte length of the group with descendants
    uint32_t size;
  };

  // The record's group entry: its size, entry count and byte length.
  bool Header() {
    const size_t size = r_.bytes.size();
    uint8_t code = 0, flags = 0;
    if (!r_.U8(code) || !r_.U8(flags) || !r_.U32(recordSize_) || !r_.U32(count_) || !r_.U32(length_))
      return false;
    if (code != static_cast<uint8_t>(FieldType::Group) || flags != 0)
      return r_.FailAt(0, "TypeRecord header is not a group entry");
    if (length_ != size)
      return r_.FailAt(10, length_ > size ? "TypeRecord truncated: header announces " + std::to_string(length_) +
                                                " bytes, " + std::to_string(size) + " given"
                                          : "TypeRecord byte length " + std::to_string(length_) +
                                                " differs from the " + std::to_string(size) + " bytes given");
    // Every entry takes at least two bytes: a count beyond that is inconsistent.
    if (count_ > (size - kHeaderSize) / 2)
      return r_.FailAt(6, "TypeRecord entry count " + std::to_string(count_) + " exceeds its bytes");
    return true;
  }

  bool Entry(uint32_t n) {
    const size_t start = r_.pos;
    TypeEntry e;
    uint32_t groupLength = 0;
    uint64_t elements = 1;
    if (!Kind(n, start, e) || !Size(n, e, groupLength) || !OptionalParts(n, e, elements) ||
        !Place(n, start, e, elements))
      return false;
    entries_.push_back(std::move(e));
    const TypeEntry& added = entries_.back();
    if (added.type == FieldType::Group)
      levels_.push_back({static_cast<int>(n), added.offset, added.offset, added.descendants, start, groupLength,
                         added.size});
    return CloseLevels();
  }

  // The entry's type code and its flags.
  bool Kind(uint32_t n, size_t start, TypeEntry& e) {
    uint8_t code = 0;
    if (!r_.U8(code) || !r_.U8(e.flags)) return false;
    if (!IsKnownTypeCode(code))
      return r_.FailAt(start, "unknown type code " + std::to_string(code) + " in entry " + std::to_string(n));
    e.type = static_cast<FieldType>(code);
    if (e.flags & 0xE0) return r_.FailAt(start + 1, "unknown flags in entry " + std::to_string(n));
    return true;
  }

  // The size part the type has: a group's size, member count and byte length,
  // a DECIMAL's size and places, a string's size; the others' fixed size.
  bool Size(uint32_t n, TypeEntry& e, uint32_t& groupLength) {
    if (e.type == FieldType::Group) {
      if (!r_.U32(e.size) || !r_.U32(e.descendants) || !r_.U32(groupLength)) return false;
      if (e.descendants > levels_.back().remaining - 1)
        return r_.Fail("group entry " + std::to_string(n) + " announces more members than remain");
    } else if (e.type == FieldType::Decimal || e.type == FieldType::PDecimal) {
      uint8_t size = 0;
      if (!r_.U8(size) || !r_.U8(e.places)) return false;
      if (size == 0) return r_.Fail("DECIMAL entry " + std::to_string(n) + " has size 0");
      e.size = size;
    } else if (IsSizedString(e.type)) {
      int32_t size = 0;
      if (!r_.Num(size)) return false;
      if (size <= 0) return r_.Fail("string entry " + std::to_string(n) + " has size " + std::to_string(size));
      e.size = static_cast<uint32_t>(size);
    } else {
      e.size = FixedSizeOf(e.type);
    }
    return true;
  }

  // The parts the flags announce, in their order: picture (read and dropped),
  // label, external name, position adjustment and dimensions.
  bool OptionalParts(uint32_t n, TypeEntry& e, uint64_t& elements) {
    if (e.flags & kEntryPicture) {
      if (!IsSizedString(e.type)) return r_.Fail("picture on a non-string entry " + std::to_string(n));
      std::string picture;
      if (!r_.Text(picture)) return false;
    }
    if ((e.flags & kEntryLabel) && !r_.Text(e.label)) return false;
    if ((e.flags & kEntryExternalName) && !r_.Text(e.externalName)) return false;
    if (e.flags & kEntryAdjust) {
      int32_t adjust = 0;
      if (!r_.Num(adjust)) return false;
      e.adjust = adjust;
    }
    if (e.flags & kEntryDims) {
      uint8_t dims = 0;
      if (!r_.U8(dims)) return false;
      for (uint8_t d = 0; d < dims; ++d) {
        int32_t dim = 0;
        if (!r_.Num(dim)) return false;
        if (dim <= 0) return r_.Fail("non-positive dimension in entry " + std::to_string(n));
        elements *= static_cast<uint64_t>(dim);
      }
    }
    return true;
  }

  // The entry's place: at its level's running position moved by its
  // adjustment, within the record's reach and inside every open group.
  bool Place(uint32_t n, size_t start, TypeEntry& e, uint64_t elements) {
    Level& level = levels_.back();
    const int64_t pos = int64_t(level.running) + e.adjust.value_or(0);
    if (pos < 0) return r_.FailAt(start, "entry " + std::to_string(n) + " placed before the record");
    const uint64_t end = uint64_t(pos) + uint64_t(e.size) * elements;
    if (end > 0xFFFFFFFFull) return r_.FailAt(start, "entry " + std::to_string(n) + " lies beyond any record size");
    e.offset = static_cast<uint32_t>(pos);
    e.parent = level.group;
    level.running = static_cast<uint32_t>(end);
    --level.remaining;
    for (size_t i = 1; i < levels_.size(); ++i) {
      const Level& g = levels_[i];
      if (e.offset < g.base || end > uint64_t(g.base) + g.size)
        return r_.FailAt(start, "entry " + std::to_string(n) + " lies outside its group " + std::to_string(g.group));
    }
    storageEnd_ = std::max(storageEnd_, static_cast<uint32_t>(end));
    return true;
  }

  // Closes each group whose members are all read; its bytes must be the ones it announced.
  bool CloseLevels() {
    while (levels_.size() > 1 && levels_.back().remaining == 0) {
      const Level done = levels_.back();
      levels_.pop_back();
      if (r_.pos - done.start != done.byteLength)
        return r_.Fail("group entry " + std::to_string(done.group) + " announces " +
                       std::to_string(done.byteLength) + " bytes but holds " + std::to_string(r_.pos - done.start));
      levels_.back().running = done.base + done.size;
    }
    return true;
  }

  // Every group closed, no byte left over, and the fields end where the record does.
  bool End() {
    if (levels_.size() != 1 || r_.pos != r_.bytes.size()) return r_.Fail("TypeRecord holds bytes beyond its entries");
    if (storageEnd_ != recordSize_)
      return r_.FailAt(2, "TypeRecord record size " + std::to_string(recordSize_) + " differs from its fields' end " +
                              std::to_string(storageEnd_));
    return true;
  }

  Reader r_;
  uint32_t recordSize_ = 0;
  uint32_t count_ = 0;
  uint32_t length_ = 0;
  std::vector<Level> levels_;
  uint32_t storageEnd_ = 0;
  std::vector<TypeEntry> entries_;
};

}  // namespace

void EncodeVarNum(std::vector<uint8_t>& out, int32_t value) {
  const uint32_t mag = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
  if (mag > kMaxVarNum) throw std::invalid_argument("number too large for the TypeRecord format");
  int extra = 0;
  while (extra < 3 && (mag >> (8 * extra)) >= 32) ++extra;
  uint8_t first = static_cast<uint8_t>((mag >> (8 * extra)) & 0x1F);
  first |= static_cast<uint8_t>(extra << 5);
  if (value < 0) first |= 0x80;
  out.push_back(first);
  for (int i = extra - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(mag >> (8 * i)));
}

std::optional<int32_t> DecodeVarNum(std::span<const uint8_t> bytes, size_t& pos) {
  if (pos >= bytes.size()) return std::nullopt;
  const uint8_t first = bytes[pos];
  const size_t extra = (first >> 5) & 0x03;
  if (bytes.size() - pos - 1 < extra) return std::nullopt;
  uint32_t mag = first & 0x1F;
  for (size_t i = 1; i <= extra; ++i) mag = (mag << 8) | bytes[pos + i];
  pos += 1 + extra;
  const int32_t v = static_cast<int32_t>(mag);
  return (first & 0x80) ? -v : v;
}

uint32_t FixedSizeOf(FieldType type) {
  switch (type) {
    case FieldType::Byte: return 1;
    case FieldType::Short:
    case FieldType::UShort: return 2;
    case FieldType::Date:
    case FieldType::Time:
    case FieldType::Long:
    case FieldType::ULong:
    case FieldType::SReal: return 4;
    case FieldType::Real: return 8;
    default: return 0;
  }
}

Outcome<TypeRecord> TypeRecord::TryEncode(const std::vector<FieldSpec>& fields) {
  Encoder enc;
  enc.out.resize(kHeaderSize, 0);
  enc.out[0] = static_cast<uint8_t>(FieldType::Group);
  uint32_t running = 0;
  for (const FieldSpec& f : fields)
    if (!enc.Field(f, running)) return Reason{enc.error};
  SetU32(enc.out, 2, enc.storageEnd);
  SetU32(enc.out, 6, enc.count);
  SetU32(enc.out, 10, static_cast<uint32_t>(enc.out.size()));
  // The decoder's checks are the format's rules: what it refuses is refused here too.
  return Decode(enc.out);
}

TypeRecord TypeRecord::Encode(const std::vector<FieldSpec>& fields) {
  Outcome<TypeRecord> record = TryEncode(fields);
  if (!record) throw std::invalid_argument(record.error());
  return std::move(*record);
}

Outcome<TypeRecord> TypeRecord::Decode(std::span<const uint8_t> bytes) {
  Decoder decoder(bytes);
  if (!decoder.Run()) return Reason{decoder.error()};
  TypeRecord rec;
  rec.bytes_.assign(bytes.begin(), bytes.end());
  rec.recordSize_ = decoder.recordSize();
  rec.entries_ = decoder.TakeEntries();
  return rec;
}

int TypeRecord::FindLabel(std::string_view label) const {
  for (size_t i = 0; i < entries_.size(); ++i)
    if (entries_[i].label == label) return static_cast<int>(i + 1);
  return 0;
}

int TypeRecord::topLevelCount() const {
  return static_cast<int>(std::count_if(entries_.begin(), entries_.end(),
                                        [](const TypeEntry& e) { return e.parent == 0; }));
}

std::vector<ValueField> ValueFieldsOf(const TypeRecord& record) {
  std::vector<ValueField> out;
  const auto& entries = record.entries();
  for (size_t i = 0; i < entries.size(); ++i) {
    const TypeEntry& e = entries[i];
    if (e.type == FieldType::Group) continue;
    const bool handle = e.type == FieldType::String && i + 1 < entries.size() &&
                        entries[i + 1].type == FieldType::Group && entries[i + 1].offset == e.offset;
    if (handle) continue;
    const size_t colon = e.label.find(':');
    out.push_back({colon == std::string::npos ? e.label : e.label.substr(colon + 1), static_cast<int>(i + 1)});
  }
  return out;
}

}  // namespace rt
