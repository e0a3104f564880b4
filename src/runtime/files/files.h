// File statements. Every statement finds the driver named by the declaration
// and leaves its outcome in the calling thread's error state (file_errors.h).
#pragma once

#include <string>

#include "runtime/decl/file_block.h"
#include "runtime/files/file_driver.h"
#include "runtime/files/file_errors.h"

namespace rt {

inline constexpr int kAccessReadWriteDenyWrite = 0x22;

// Statements.
void OPEN(FileBlock& file, int mode = kAccessReadWriteDenyWrite);
void CLOSE(FileBlock& file);
void CREATE(FileBlock& file);
void BUILD(FileBlock& file);
void REMOVE(FileBlock& file);
void SETkey(KeyDescriptor& key);           // through the key's back-reference
void NEXT(FileBlock& file);
void GET(FileBlock& file, KeyDescriptor& key);
void ADD(FileBlock& file);
void PUT(FileBlock& file);
void DESTROY(FileBlock& file);
// A transaction over the file's storage: the statements that follow Begin on
// every file of the same storage (an SQL table's connection) take effect
// together at Commit, or not at all after Rollback or when the process ends
// first. Begin answers 80 (Function Not Supported) where the storage cannot
// roll back what the statements change, tables made and dropped included.
void BeginTransaction(FileBlock& file);
void CommitTransaction(FileBlock& file);
void RollbackTransaction(FileBlock& file);
// DESTROY's release of the calling thread's instance of a declaration: the
// driver's destroy, then the instance is freed. No effect without an instance.
void ReleaseThreadFile(const FileDecl& decl);
std::string GET_PROPERTY(FileBlock& file, int prop);
void SET_PROPERTY(FileBlock& file, int prop, const std::string& value);

}  // namespace rt
