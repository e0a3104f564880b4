// A record's fields as the values of SQL statements and back: each column's
// value kind, its value read from the record buffer, a row's value stored.
#include "runtime/sql/sql_values.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "runtime/base/datetime.h"
#include "runtime/decl/value_fit.h"

namespace rt {

namespace {

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

constexpr uint32_t kNanosecondsPerHundredth = 10000000;

}  // namespace

SqlValue::Kind KindOf(const SqlColumn& col) {
  if (col.blob >= 0) return SqlValue::Kind::Binary;
  if (col.dateTime) return SqlValue::Kind::Timestamp;
  switch (col.type) {
    case FieldType::Byte:
    case FieldType::Short:
    case FieldType::UShort:
    case FieldType::Long:
    case FieldType::ULong: return SqlValue::Kind::Long;
    case FieldType::SReal:
    case FieldType::Real: return SqlValue::Kind::Double;
    default: return SqlValue::Kind::Text;
  }
}

// The value of a column taken from the record buffer (or the BLOB's data).
SqlValue ValueOf(FileBlock& file, const SqlColumn& col) {
  if (col.blob >= 0) {
    auto& data = file.blobData();
    if (static_cast<size_t>(col.blob) >= data.size() || data[col.blob].empty())
      return SqlValue::Null(SqlValue::Kind::Binary);
    return SqlValue::Binary(std::string(data[col.blob].begin(), data[col.blob].end()));
  }
  const uint8_t* p = file.buffer() + col.offset;
  if (col.dateTime) {
    const DateTimeStorage stamp = DateTimeStorage::Load(p);
    if (stamp == DateTimeStorage{}) return SqlValue::Null(SqlValue::Kind::Timestamp);
    const DateStorage& date = stamp.date == DateStorage{} ? kDateOfLoneTime : stamp.date;
    const TimeStorage& time = stamp.time;
    return SqlValue::Time({date.year, date.month, date.day, time.hours, time.minutes, time.seconds,
                           time.hundredths * kNanosecondsPerHundredth});
  }
  switch (col.type) {
    case FieldType::Byte: return SqlValue::Long(p[0]);
    case FieldType::Short: { int16_t v; std::memcpy(&v, p, 2); return SqlValue::Long(v); }
    case FieldType::UShort: return SqlValue::Long(Le16(p));
    case FieldType::Long: { int32_t v; std::memcpy(&v, p, 4); return SqlValue::Long(v); }
    case FieldType::ULong: { uint32_t v; std::memcpy(&v, p, 4); return SqlValue::Long(v); }
    case FieldType::SReal: { float v; std::memcpy(&v, p, 4); return SqlValue::Double(v); }
    case FieldType::Real: { double v; std::memcpy(&v, p, 8); return SqlValue::Double(v); }
    case FieldType::CString: {
      size_t len = strnlen(reinterpret_cast<const char*>(p), col.size);
      return SqlValue::Text(std::string(reinterpret_cast<const char*>(p), len));
    }
    default: return SqlValue::Text(std::string(reinterpret_cast<const char*>(p), col.size));
  }
}

std::string ShownValue(const SqlValue& v) {
  if (v.isNull) return "NULL";
  const bool text = v.kind == SqlValue::Kind::Text || !v.unfit.empty();
  if (text) {
    std::string t = v.bytes;
    if (t.size() > 60) t = t.substr(0, 57) + "...";
    return "\"" + t + "\"";
  }
  switch (v.kind) {
    case SqlValue::Kind::Long: return std::to_string(v.i);
    case SqlValue::Kind::Double: {
      char buf[40];
      std::snprintf(buf, sizeof buf, "%.17g", v.d);
      return buf;
    }
    case SqlValue::Kind::Binary: return "binary data of " + std::to_string(v.bytes.size()) + " bytes";
    default: {
      char buf[48];
      std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", v.ts.year, v.ts.month, v.ts.day, v.ts.hour,
                    v.ts.minute, v.ts.second);
      return buf;
    }
  }
}

// Why the field cannot hold the value exactly; empty when it can.
static std::string Unfit(const SqlColumn& col, const SqlValue& v) {
  if (!v.unfit.empty()) return v.unfit;
  if (v.isNull || col.blob >= 0 || col.dateTime) return {};
  switch (col.type) {
    case FieldType::Byte: case FieldType::Short: case FieldType::UShort: case FieldType::Long:
    case FieldType::ULong:
      return WholeNumberUnfit(col.type, v.i);
    case FieldType::SReal: return RealUnfit(col.type, v.d);
    case FieldType::Real: return {};
    case FieldType::CString:
      if (v.bytes.find('\0') != std::string::npos) return "holds a NUL character";
      return TextUnfit(col.type, col.size, v.bytes.size());
    default: return TextUnfit(FieldType::String, col.size, v.bytes.size());
  }
}

std::string StoreValue(FileBlock& file, const SqlColumn& col, const SqlValue& v) {
  if (std::string why = Unfit(col, v); !why.empty()) return why;
  if (col.blob >= 0) {
    auto& data = file.blobData();
    if (data.size() < file.blobs().size()) data.resize(file.blobs().size());
    if (static_cast<size_t>(col.blob) < data.size())
      data[col.blob].assign(v.bytes.begin(), v.bytes.end());
    return {};
  }
  uint8_t* p = file.buffer() + col.offset;
  if (col.dateTime) {
    DateTimeStorage stamp;
    if (!v.isNull) {
      const SqlTimestamp& ts = v.ts;
      stamp.date = {static_cast<uint8_t>(ts.day), static_cast<uint8_t>(ts.month), static_cast<uint16_t>(ts.year)};
      stamp.time = {static_cast<uint8_t>(ts.fraction / kNanosecondsPerHundredth), static_cast<uint8_t>(ts.second),
                    static_cast<uint8_t>(ts.minute), static_cast<uint8_t>(ts.hour)};
    }
    stamp.Store(p);
    return {};
  }
  switch (col.type) {
    case FieldType::Byte: p[0] = static_cast<uint8_t>(v.isNull ? 0 : v.i); break;
    case FieldType::Short:
    case FieldType::UShort: { uint16_t x = static_cast<uint16_t>(v.isNull ? 0 : v.i); std::memcpy(p, &x, 2); break; }
    case FieldType::Long:
    case FieldType::ULong: { uint32_t x = static_cast<uint32_t>(v.isNull ? 0 : v.i); std::memcpy(p, &x, 4); break; }
    case FieldType::SReal: { float x = static_cast<float>(v.isNull ? 0 : v.d); std::memcpy(p, &x, 4); break; }
    case FieldType::Real: { double x = v.isNull ? 0 : v.d; std::memcpy(p, &x, 8); break; }
    case FieldType::CString: {
      std::memset(p, 0, col.size);
      if (col.size) std::memcpy(p, v.bytes.data(), std::min<size_t>(v.bytes.size(), col.size - 1));
      break;
    }
    default: {
      std::memset(p, ' ', col.size);
      std::memcpy(p, v.bytes.data(), std::min<size_t>(v.bytes.size(), col.size));
      break;
    }
  }
  return {};
}

}  // namespace rt
