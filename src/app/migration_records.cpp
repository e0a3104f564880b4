#include "app/migration_records.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "app/migration_texts.h"
#include "dictionary/catalogue.h"
#include "runtime/base/datetime.h"
#include "runtime/base/text.h"
#include "runtime/files/files.h"

namespace app {
namespace {

// A field of the record by its name: its place in the buffer and its size.
struct FieldArea {
  uint8_t* data;
  size_t size;
};

FieldArea RecordFieldArea(rt::FileBlock& file, std::string_view name) {
  const rt::TypeRecord& rec = *file.decl().record;
  for (const rt::ValueField& f : rt::ValueFieldsOf(rec))
    if (f.name == name) return {file.buffer() + rec.entry(f.entry).offset, rec.entry(f.entry).size};
  throw std::logic_error("no field " + std::string(name) + " in " + file.decl().label);
}

// A record's key as a message names it: each field's value, without prefixes.
std::string KeyText(rt::FileBlock& file, const rt::KeyDescriptor& key) {
  const rt::TypeRecord& rec = *file.decl().record;
  std::string out;
  for (int32_t c : key.components) {
    const rt::TypeEntry& e = rec.entry(c < 0 ? -c : c);
    const uint8_t* p = file.buffer() + e.offset;
    std::string value;
    switch (e.type) {
      case rt::FieldType::Byte: value = std::to_string(p[0]); break;
      case rt::FieldType::Long: { int32_t v; std::memcpy(&v, p, 4); value = std::to_string(v); break; }
      case rt::FieldType::ULong: { uint32_t v; std::memcpy(&v, p, 4); value = std::to_string(v); break; }
      case rt::FieldType::CString: value = "\"" + rt::CStringValue(reinterpret_cast<const char*>(p), e.size) + "\""; break;
      default: value = "\"" + std::string(rt::CLIP(std::string_view(reinterpret_cast<const char*>(p), e.size))) + "\"";
    }
    out += (out.empty() ? "" : " ") + value;
  }
  return out;
}

}  // namespace

rt::KeyDescriptor& KeyByLabel(rt::FileBlock& file, std::string_view label) {
  for (rt::KeyDescriptor& k : file.keys())
    if (k.label == label) return k;
  throw std::logic_error("no key " + std::string(label));
}

rt::KeyDescriptor& PrimaryKeyOf(rt::FileBlock& file) {
  for (rt::KeyDescriptor& k : file.keys())
    if (k.attrs & rt::kKeyPrimary) return k;
  throw std::logic_error("no primary key in " + file.decl().label);
}

std::string RecordText(rt::FileBlock& file, std::string_view name) {
  const FieldArea f = RecordFieldArea(file, name);
  return rt::CStringValue(reinterpret_cast<const char*>(f.data), f.size);
}
void SetRecordText(rt::FileBlock& file, std::string_view name, std::string_view text) {
  const FieldArea f = RecordFieldArea(file, name);
  rt::AssignCString(reinterpret_cast<char*>(f.data), f.size, text);
}
void SetRecordDate(rt::FileBlock& file, std::string_view name, int32_t standardDate) {
  rt::DateToStorage(standardDate).Store(RecordFieldArea(file, name).data);
}
void SetRecordTime(rt::FileBlock& file, std::string_view name, int32_t standardTime) {
  rt::TimeToStorage(standardTime).Store(RecordFieldArea(file, name).data);
}

CopyPlan::CopyPlan(const rt::TypeRecord& from, const rt::TypeRecord& to, std::string_view keepEmpty) {
  const std::vector<rt::ValueField> sourceFields = rt::ValueFieldsOf(from);
  for (const rt::ValueField& f : rt::ValueFieldsOf(to)) {
    const rt::TypeEntry& e = to.entry(f.entry);
    Step step{Op::Raw, e.offset, e.size, 0, 0};
    if (f.name.ends_with(dict::kTimePartSuffix)) {
      step.op = Op::EmptyTime;
    } else if (f.name.ends_with(dict::kDatePartSuffix)) {
      step.op = Op::Jan1900;
    } else {
      if (f.name == keepEmpty) continue;
      const auto src = std::find_if(sourceFields.begin(), sourceFields.end(),
                                    [&](const rt::ValueField& s) { return s.name == f.name; });
      if (src == sourceFields.end()) continue;
      const rt::TypeEntry& se = from.entry(src->entry);
      step.from = se.offset;
      step.fromSize = se.size;
      step.op = e.type == rt::FieldType::Date    ? Op::Date
                : e.type == rt::FieldType::Time  ? Op::Time
                : e.type == rt::FieldType::CString ? Op::CString
                                                    : Op::Raw;
    }
    steps_.push_back(step);
  }
}


void CopyPlan::Fill(const rt::FileBlock& source, rt::FileBlock& target) const {
  target.ClearRecord();
  const uint8_t* in = source.buffer();
  uint8_t* out = target.buffer();
  for (const Step& s : steps_) {
    switch (s.op) {
      case Op::EmptyTime: rt::TimeToStorage(0).Store(out + s.to); break;
      case Op::Jan1900: rt::kDateOfLoneTime.Store(out + s.to); break;
      case Op::Date:
        rt::DateToStorage(rt::DateFromStorage(rt::DateStorage::Load(in + s.from))).Store(out + s.to);
        break;
      case Op::Time:
        rt::TimeToStorage(rt::TimeFromStorage(rt::TimeStorage::Load(in + s.from))).Store(out + s.to);
        break;
      case Op::CString:
        // Copied from the field's area itself: no string is made per field.
        rt::AssignCString(reinterpret_cast<char*>(out + s.to), s.toSize,
                          rt::CStringView(reinterpret_cast<const char*>(in + s.from), s.fromSize));
        break;
      case Op::Raw: std::memcpy(out + s.to, in + s.from, std::min(s.toSize, s.fromSize)); break;
    }
  }
}


constexpr size_t kKeysShown = 5;

// Carries every record of an open source, in its primary key's order, into the
// changed table. A record whose key the table holds already is passed over
// when the row there is the same in every field (it arrived before) and
// counted as not taken otherwise; any other refusal ends the copy.
void CarryRows(rt::FileBlock& source, rt::FileBlock& target, const CopyPlan& plan, Carried& out, RepaintThrottle& painter) {
  rt::SETkey(PrimaryKeyOf(source));
  rt::KeyDescriptor& key = PrimaryKeyOf(target);
  std::vector<uint8_t> record(target.length());
  for (;;) {
    rt::NEXT(source);
    if (rt::LastErrorCode() == rt::kRecordNotAvailable) return;
    if (rt::LastErrorCode() != rt::kNoError) {
      out.problem = rt::LastFileErrorText().empty() ? rt::ErrorTextForMessage() : rt::LastFileErrorText();
      out.unreadable = true;
      return;
    }
    painter.Tick();
    plan.Fill(source, target);
    rt::ADD(target);
    if (rt::LastErrorCode() == rt::kNoError) continue;
    if (rt::LastErrorCode() != rt::kCreatesDuplicateKey) {
      out.problem = rt::ErrorTextForMessage();
      return;
    }
    // A refusal answered as a duplicate whose key the table does not hold is
    // some other constraint (a server may give all of them one code).
    const std::string refusal = rt::ErrorTextForMessage();
    std::memcpy(record.data(), target.buffer(), record.size());
    rt::GET(target, key);
    if (rt::LastErrorCode() != rt::kNoError) {
      out.problem = rt::LastErrorCode() == rt::kRecordNotFound ? refusal : rt::ErrorTextForMessage();
      return;
    }
    const bool same = std::memcmp(record.data(), target.buffer(), record.size()) == 0;
    std::memcpy(target.buffer(), record.data(), record.size());
    if (same) continue;
    if (++out.notTaken <= kKeysShown) out.notTakenKeys.push_back(KeyText(target, key));
  }
}

std::string NotTakenKeys(const Carried& c) {
  std::string out;
  for (const std::string& k : c.notTakenKeys) out += (out.empty() ? "" : ", ") + k;
  if (c.notTaken > c.notTakenKeys.size()) out += " y " + migration_texts::Count(c.notTaken - c.notTakenKeys.size(), "otro", "otros");
  return out;
}

Carried OpenLocalFile(rt::FileBlock& local) {
  Carried c;
  rt::OPEN(local, rt::kAccessReadWriteDenyWrite);
  if (rt::LastErrorCode() == rt::kFileNotFound) return c;
  c.present = true;
  if (rt::LastErrorCode() != rt::kNoError)
    c.problem = rt::LastFileErrorText().empty() ? rt::ErrorTextForMessage() : rt::LastFileErrorText();
  return c;
}

void ReadThrough(rt::FileBlock& local, Carried& c, RepaintThrottle& painter) {
  do {
    painter.Tick();
    rt::NEXT(local);
  } while (rt::LastErrorCode() == rt::kNoError);
  if (rt::LastErrorCode() == rt::kRecordNotAvailable) return;
  c.problem = rt::LastFileErrorText().empty() ? rt::ErrorTextForMessage() : rt::LastFileErrorText();
  rt::CLOSE(local);
}

std::string KeyFields(const rt::FileBlock& file, const rt::KeyDescriptor& key) {
  std::string out;
  for (const rt::ValueField& f : rt::ValueFieldsOf(*file.decl().record))
    for (int32_t c : key.components)
      if (f.entry == (c < 0 ? -c : c)) out += (out.empty() ? "" : ", ") + f.name;
  return out;
}


}  // namespace app
