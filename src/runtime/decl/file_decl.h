// The constant declaration of a table, shared by all threads: its name and
// owner (literal or read from a program-wide variable), record layout, keys
// and BLOB fields.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/decl/type_record.h"

namespace rt {

// Key attribute bits.
inline constexpr uint32_t kKeyDup = 0x01;
inline constexpr uint32_t kKeyOpt = 0x02;
inline constexpr uint32_t kKeyNoCase = 0x04;
inline constexpr uint32_t kKeyPrimary = 0x10;
inline constexpr uint32_t kKeyIndex = 0x4000;

class FileBlock;

struct KeyDescriptor {
  std::string externalName;
  std::string label;           // "PREFIX:KEY_NAME"
  uint32_t attrs = 0;
  std::vector<int32_t> components;  // +n ascending, -n descending entry n
  FileBlock* file = nullptr;   // back-reference, set in a thread's instance
};

inline constexpr uint8_t kBlobBinary = 0x02;
inline constexpr uint8_t kBlobIsBlob = 0x04;

struct BlobDescriptor {
  std::string externalName;
  std::string label;           // "PREFIX:NAME"
  uint8_t attrs = 0;
  uint32_t memoSize = 0;
};

// File attribute bits.
inline constexpr uint8_t kFileOwner = 0x01;
inline constexpr uint8_t kFileEncrypt = 0x02;
inline constexpr uint8_t kFileCreate = 0x04;
inline constexpr uint8_t kFileReclaim = 0x08;
inline constexpr uint8_t kFileThread = 0x10;

// A program-wide CSTRING(255) variable: a table-name variable or an owner variable.
class NameVar {
 public:
  std::string Get() const;            // up to the terminator
  void Set(std::string_view text);    // cut to 254 characters
  char* data() { return value_; }
  static constexpr size_t kSize = 255;
 private:
  char value_[kSize] = {};
};
using TableNameVar = NameVar;
using OwnerVar = NameVar;

// The constant declaration of one table (shared by all threads).
struct FileDecl {
  std::string label;                   // dictionary label (not stored in the platform's block)
  std::string driver;                  // "MSSQL", "TOPSPEED", ...
  std::string tableName;               // literal name, when tableNameVar is null
  const NameVar* tableNameVar = nullptr;
  std::string options;                 // driver options
  std::string ownerLiteral;            // literal owner, when ownerVar is null
  const NameVar* ownerVar = nullptr;
  std::shared_ptr<const TypeRecord> record;
  std::vector<KeyDescriptor> keys;     // templates, file back-reference empty
  std::vector<BlobDescriptor> blobs;
  uint8_t attrs = 0;

  // The name at the moment of use: a variable is read now.
  std::string TableName() const { return tableNameVar ? tableNameVar->Get() : tableName; }
  std::string Owner() const { return ownerVar ? ownerVar->Get() : ownerLiteral; }
  bool HasOwner() const { return ownerVar != nullptr || !ownerLiteral.empty(); }
  uint32_t RecordLength() const { return record ? record->recordSize() : 0; }
};

}  // namespace rt
