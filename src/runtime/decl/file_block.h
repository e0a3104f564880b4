// One thread's instance of a table declaration (FileBlock): its record buffer,
// its keys with back-references and its driver's state; one instance per
// declaration and thread, prepared on first use.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "runtime/decl/file_decl.h"

namespace rt {

// State a file driver keeps on an instance (connection, statements, names).
struct DriverState {
  virtual ~DriverState() = default;
};

// One thread's instance of a declaration: its record buffer, its keys with
// back-references and the driver's state.
class FileBlock {
 public:
  explicit FileBlock(const FileDecl& decl);  // PrepareThreadFile: record cleared
  FileBlock(const FileBlock&) = delete;
  FileBlock& operator=(const FileBlock&) = delete;

  const FileDecl& decl() const { return *decl_; }
  uint8_t* buffer() { return record_.data(); }
  const uint8_t* buffer() const { return record_.data(); }
  uint32_t length() const { return static_cast<uint32_t>(record_.size()); }
  void ClearRecord();
  std::vector<KeyDescriptor>& keys() { return keys_; }
  std::vector<BlobDescriptor>& blobs() { return blobs_; }
  std::vector<std::vector<uint8_t>>& blobData() { return blobData_; }

  std::unique_ptr<DriverState> driverState;
  bool opened = false;  // set by a successful OPEN, cleared by CLOSE and DESTROY

 private:
  const FileDecl* decl_;
  std::vector<uint8_t> record_;
  std::vector<KeyDescriptor> keys_;
  std::vector<BlobDescriptor> blobs_;
  std::vector<std::vector<uint8_t>> blobData_;
};

// The calling thread's instance of a declaration, prepared on first use.
FileBlock& ThreadFile(const FileDecl& decl);
// True when the calling thread has an instance of the declaration.
bool HasThreadFile(const FileDecl& decl);
// Frees the calling thread's instance of the declaration, if any, without a
// word to its driver: the file statements' ReleaseThreadFile runs the driver's
// destroy first, then calls this.
void ForgetThreadFile(const FileDecl& decl);

}  // namespace rt
