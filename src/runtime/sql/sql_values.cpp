// A record's fields as the values of SQL statements and back: each column's
// value kind, its value read from the record buffer, a row's value stored.
#include "runtime/sql/sql_values.h"

#include <algorithm>
#include <cstring>

namespace rt {

namespace {

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

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
    static const uint8_t zero[8] = {};
    if (std::memcmp(p, zero, 8) == 0) return SqlValue::Null(SqlValue::Kind::Timestamp);
    SqlTimestamp ts;
    ts.day = p[0];
    ts.month = p[1];
    ts.year = Le16(p + 2);
    if (ts.day == 0 && ts.month == 0 && ts.year == 0) ts = {1900, 1, 1};  // a time without a date
    ts.fraction = static_cast<uint32_t>(p[4]) * 10000000u;
    ts.second = p[5];
    ts.minute = p[6];
    ts.hour = p[7];
    return SqlValue::Time(ts);
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

// Writes a column's value read from the server into the record buffer.
void StoreValue(FileBlock& file, const SqlColumn& col, const SqlValue& v) {
  if (col.blob >= 0) {
    auto& data = file.blobData();
    if (data.size() < file.blobs().size()) data.resize(file.blobs().size());
    if (static_cast<size_t>(col.blob) < data.size())
      data[col.blob].assign(v.bytes.begin(), v.bytes.end());
    return;
  }
  uint8_t* p = file.buffer() + col.offset;
  if (col.dateTime) {
    std::memset(p, 0, 8);
    if (v.isNull) return;
    p[0] = static_cast<uint8_t>(v.ts.day);
    p[1] = static_cast<uint8_t>(v.ts.month);
    p[2] = static_cast<uint8_t>(v.ts.year & 0xFF);
    p[3] = static_cast<uint8_t>((v.ts.year >> 8) & 0xFF);
    p[4] = static_cast<uint8_t>(v.ts.fraction / 10000000u);
    p[5] = static_cast<uint8_t>(v.ts.second);
    p[6] = static_cast<uint8_t>(v.ts.minute);
    p[7] = static_cast<uint8_t>(v.ts.hour);
    return;
  }
  switch (col.type) {
    case FieldType::Byte: p[0] = static_cast<uint8_t>(v.isNull ? 0 : v.i); return;
    case FieldType::Short:
    case FieldType::UShort: { uint16_t x = static_cast<uint16_t>(v.isNull ? 0 : v.i); std::memcpy(p, &x, 2); return; }
    case FieldType::Long:
    case FieldType::ULong: { uint32_t x = static_cast<uint32_t>(v.isNull ? 0 : v.i); std::memcpy(p, &x, 4); return; }
    case FieldType::SReal: { float x = static_cast<float>(v.isNull ? 0 : v.d); std::memcpy(p, &x, 4); return; }
    case FieldType::Real: { double x = v.isNull ? 0 : v.d; std::memcpy(p, &x, 8); return; }
    case FieldType::CString: {
      std::memset(p, 0, col.size);
      if (col.size) std::memcpy(p, v.bytes.data(), std::min<size_t>(v.bytes.size(), col.size - 1));
      return;
    }
    default: {
      std::memset(p, ' ', col.size);
      std::memcpy(p, v.bytes.data(), std::min<size_t>(v.bytes.size(), col.size));
      return;
    }
  }
}

}  // namespace rt
