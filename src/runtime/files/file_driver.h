// The file-driver interface, and the registry the file statements find
// drivers in by name.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "runtime/decl/file_block.h"
#include "runtime/files/file_errors.h"

namespace rt {

// File properties.
inline constexpr int FilePropSql = 0x7200;
inline constexpr int FilePropDriver = 0x730D;
inline constexpr int FilePropName = 0x7316;

enum class TransactionStep { Begin, Commit, Rollback };

// A storage driver. Each operation returns an error code (0 on success) and may
// set the file error with SetFileError.
class FileDriver {
 public:
  virtual ~FileDriver() = default;
  virtual std::string Name() const = 0;
  virtual int Open(FileBlock& file, int mode) = 0;
  virtual int Close(FileBlock& file) = 0;
  virtual int Create(FileBlock& file) = 0;
  virtual int Build(FileBlock&) { return kFunctionNotSupported; }
  virtual int Remove(FileBlock&) { return kFunctionNotSupported; }
  virtual int SetKey(FileBlock&, const KeyDescriptor&) { return kFunctionNotSupported; }
  virtual int Next(FileBlock&) { return kFunctionNotSupported; }
  virtual int Get(FileBlock&, const KeyDescriptor&) { return kFunctionNotSupported; }
  virtual int Add(FileBlock&) { return kFunctionNotSupported; }
  virtual int Put(FileBlock&) { return kFunctionNotSupported; }
  // Reads a property; returns false when the driver does not know it.
  virtual bool GetProperty(FileBlock& file, int prop, std::string& value);
  virtual int SetProperty(FileBlock&, int, const std::string&) { return kFunctionNotSupported; }
  // Begins, commits or rolls back a transaction on what holds the file (for SQL
  // tables, the connection of its owner, shared by every table of that owner).
  virtual int Transaction(FileBlock&, TransactionStep) { return kFunctionNotSupported; }
  // Thread end: release whatever the instance holds.
  virtual void Destroy(FileBlock&) {}
};

// A new run of the program's work (a press of the schema button): drivers read
// afresh what they keep of the files' state between operations, such as a
// server's catalog. FileRun numbers the runs; each BeginFileRun raises it.
void BeginFileRun();
uint64_t FileRun();

// Drivers are found by name; registering a name again replaces the driver.
void RegisterDriver(std::shared_ptr<FileDriver> driver);
FileDriver* FindDriver(std::string_view name);

}  // namespace rt
