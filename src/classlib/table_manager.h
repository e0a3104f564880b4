// The manager of one table: its record buffer, its registered keys, lazy
// opening with creation of a missing table, and record operations that
// report their failures through the ErrorReporter and return result levels.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "classlib/error_reporter.h"
#include "classlib/results.h"
#include "runtime/decl/fieldref.h"
#include "runtime/decl/file_block.h"

namespace classlib {

// BUFFER: the record area, its layout and length.
struct BufferRef {
  uint8_t* address = nullptr;
  const rt::TypeRecord* type = nullptr;
  uint32_t length = 0;
};

// One component of a registered key.
struct KeyField {
  rt::FieldRef field;      // into the record buffer
  std::string name;        // the field's label; "UPPER(" label ")" for a string field of a NOCASE key
  bool descending = false;
};

// One KEYS entry.
struct RegisteredKey {
  rt::KeyDescriptor* key = nullptr;
  std::string description;  // STRING(80): longer texts are cut
  std::vector<KeyField> fields;
  bool autoInc = false;
  bool dups = false;
  bool noCase = false;
};

class TableManager {
 public:
  static constexpr size_t kFileNameValueSize = 256;
  static constexpr size_t kDescriptionSize = 80;
  static constexpr int kDefaultOpenMode = 0x42;

  TableManager() = default;
  // Runs the base teardown when Destroy was not run; prefer DisposeManager.
  virtual ~TableManager();
  TableManager(const TableManager&) = delete;
  TableManager& operator=(const TableManager&) = delete;

  // Virtual operations, in the order of the operations table.
  // Destroy: the destructor's work while the object is whole: the virtual
  // Teardown unless the manager was killed, then FILENAME released.
  virtual void Destroy();
  virtual int CloseTable();
  virtual int LookupByKey(rt::KeyDescriptor& key);
  virtual void Setup();
  virtual void CompleteSetup(rt::FileBlock& file, ErrorReporter& reporter);
  virtual int AddRecord();
  virtual void Teardown();
  virtual int ReadNext();
  virtual int OpenTable();
  virtual void SetNewRecordDefaults();
  virtual int PrimeRecord(bool keep = false);
  virtual int RewriteRecord();
  virtual int EnsureReady(uint8_t useKind);
  virtual int CheckFieldValueReported(int fieldNumber);
  virtual int CheckFieldValueQuiet(int fieldNumber);
  virtual int CheckFieldValue(int fieldNumber, bool report);

  void SetErrorReporter(ErrorReporter& reporter) { errors = &reporter; }
  // Appends a KEYS entry for the key (the thread's instance of it, whose
  // components name entries of the buffer's TypeRecord).
  void RegisterKey(rt::KeyDescriptor& key, std::string description, bool autoInc);

  // FILENAMEVALUE := text, cut to 256 characters.
  void SetFileNameValue(std::string_view text);
  // The open mode of the manager's OPEN.
  int openMode() const { return openMode_; }
  bool killed() const { return killed_; }
  // The file of the manager is open.
  bool fileOpen() const { return file && file->opened; }
  bool autoNumbered() const { return autoNumbered_; }
  // The registered primary key, null when none.
  const RegisteredKey* primaryKey() const;

  // Members.
  BufferRef buffer;
  std::string fileNameValue;      // "%File" of messages
  ErrorReporter* errors = nullptr;
  rt::FileBlock* file = nullptr;
  rt::FieldRef fileName;          // FILENAME: the variable that holds the table name, or empty
  bool initialized = false;
  int inUseFile = 0;
  bool create = false;
  int16_t lockRecover = 0;       // kept as the set-up sets it (10); no read of this program takes a lock
  bool lazyOpen = false;
  int opened = 0;                 // the open count
  std::vector<RegisteredKey> keys;
  bool skipHeldRecords = false;   // ReadNext passes over records held by another station

 protected:
  // The base's own parts, for overrides that extend them.
  int RunOpenStep();
  int ValidateRecord();
  void ClearBuffer();
  int Report(ErrorId id, std::string key = {});
  ErrorContext Context(std::string key = {}) const;
  // The first registered key that the record in the buffer duplicates.
  const RegisteredKey* FindDuplicatedKey();

 private:
  int openMode_ = kDefaultOpenMode;
  bool killed_ = false;
  bool destroyed_ = false;
  bool autoNumbered_ = false;
  std::optional<size_t> primaryKey_;
};

// DisposeObject for managers: Destroy through the virtual operation, then
// free the object. An empty pointer is ignored.
template <class Ptr>
void DisposeManager(Ptr& manager) {
  if (manager) {
    manager->Destroy();
    manager.reset();
  }
}

}  // namespace classlib
