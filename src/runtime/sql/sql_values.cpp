// A record's fields as the values of SQL statements and back: each column's
// value kind, its value read from the record buffer, a row's value stored.
#include "runtime/sql/sql_values.h"

#include <algorithm>
#include <cstring>

#include "runtime/base/datetime.h"

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
    DateTimeStorage stamp;
    if (!v.isNull) {
      const SqlTimestamp& ts = v.ts;
      stamp.date = {static_cast<uint8_t>(ts.day), static_cast<uint8_t>(ts.month), static_cast<uint16_t>(ts.year)};
      stamp.time = {static_cast<uint8_t>(ts.fraction / kNanosecondsPerHundredth), static_cast<uint8_t>(ts.second),
                    static_cast<uint8_t>(ts.minute), static_cast<uint8_t>(ts.hour)};
    }
    stamp.Store(p);
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
