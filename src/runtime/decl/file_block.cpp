// Per-thread instances of table declarations: created on first use, cleared
// to the record's empty values, freed on release.
#include "runtime/decl/file_block.h"

#include <algorithm>
#include <unordered_map>

namespace rt {

FileBlock::FileBlock(const FileDecl& decl)
    : decl_(&decl),
      record_(decl.RecordLength(), 0),
      keys_(decl.keys),
      blobs_(decl.blobs),
      blobData_(decl.blobs.size()) {
  for (KeyDescriptor& k : keys_) k.file = this;
  ClearRecord();
}

void FileBlock::ClearRecord() {
  std::fill(record_.begin(), record_.end(), uint8_t{0});
  if (!decl_->record) return;
  // In stored order, so that a group's members laid over a blank-filled
  // handle leave their own empty value.
  for (const TypeEntry& e : decl_->record->entries()) {
    if (e.type == FieldType::Group) continue;
    const size_t end = std::min<size_t>(record_.size(), size_t(e.offset) + e.size);
    if (e.offset >= end) continue;
    const uint8_t fill = e.type == FieldType::String ? uint8_t{' '} : uint8_t{0};
    std::fill(record_.begin() + e.offset, record_.begin() + static_cast<long>(end), fill);
  }
}

namespace {
using InstanceMap = std::unordered_map<const FileDecl*, std::unique_ptr<FileBlock>>;
InstanceMap& ThreadInstances() {
  thread_local InstanceMap instances;
  return instances;
}
}  // namespace

FileBlock& ThreadFile(const FileDecl& decl) {
  auto& slot = ThreadInstances()[&decl];
  if (!slot) slot = std::make_unique<FileBlock>(decl);
  return *slot;
}

bool HasThreadFile(const FileDecl& decl) {
  return ThreadInstances().count(&decl) != 0;
}

void ForgetThreadFile(const FileDecl& decl) { ThreadInstances().erase(&decl); }

}  // namespace rt
