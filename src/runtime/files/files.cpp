// File statements: each finds the driver named by the declaration, runs the
// operation and leaves the outcome in the calling thread's error state.
#include "runtime/files/files.h"

namespace rt {

namespace {

// The driver of a file, or nullptr with error 90 set.
FileDriver* DriverOf(const FileBlock& file) {
  FileDriver* driver = FindDriver(file.decl().driver);
  if (!driver)
    SetLastError(kFileSystemError, {}, "No file driver named \"" + file.decl().driver + "\"");
  return driver;
}

// Runs one driver operation with a fresh error state.
template <typename Op>
int Run(FileBlock& file, Op op) {
  SetLastError(kNoError);
  FileDriver* driver = DriverOf(file);
  if (!driver) return kFileSystemError;
  const int code = op(*driver);
  SetDriverOutcome(code);
  return code;
}

// Record operations need an open file.
template <typename Op>
void RunOnOpen(FileBlock& file, Op op) {
  if (!file.opened) {
    SetLastError(kFileNotOpen);
    return;
  }
  Run(file, op);
}

}  // namespace

void OPEN(FileBlock& file, int mode) {
  if (Run(file, [&](FileDriver& d) { return d.Open(file, mode); }) == kNoError) file.opened = true;
}

void CLOSE(FileBlock& file) {
  if (!file.opened) {
    SetLastError(kFileNotOpen);
    return;
  }
  if (Run(file, [&](FileDriver& d) { return d.Close(file); }) == kNoError) file.opened = false;
}

void CREATE(FileBlock& file) {
  Run(file, [&](FileDriver& d) { return d.Create(file); });
}

void BUILD(FileBlock& file) {
  Run(file, [&](FileDriver& d) { return d.Build(file); });
}

void REMOVE(FileBlock& file) {
  Run(file, [&](FileDriver& d) { return d.Remove(file); });
}

void SETkey(KeyDescriptor& key) {
  if (!key.file) {
    SetLastError(kFileNotOpen);
    return;
  }
  FileBlock& file = *key.file;
  RunOnOpen(file, [&](FileDriver& d) { return d.SetKey(file, key); });
}

void NEXT(FileBlock& file) {
  RunOnOpen(file, [&](FileDriver& d) { return d.Next(file); });
}

void GET(FileBlock& file, KeyDescriptor& key) {
  RunOnOpen(file, [&](FileDriver& d) { return d.Get(file, key); });
}

void ADD(FileBlock& file) {
  RunOnOpen(file, [&](FileDriver& d) { return d.Add(file); });
}

void PUT(FileBlock& file) {
  RunOnOpen(file, [&](FileDriver& d) { return d.Put(file); });
}

void BeginTransaction(FileBlock& file) {
  Run(file, [&](FileDriver& d) { return d.Transaction(file, TransactionStep::Begin); });
}

void CommitTransaction(FileBlock& file) {
  Run(file, [&](FileDriver& d) { return d.Transaction(file, TransactionStep::Commit); });
}

void RollbackTransaction(FileBlock& file) {
  Run(file, [&](FileDriver& d) { return d.Transaction(file, TransactionStep::Rollback); });
}

void DESTROY(FileBlock& file) {
  Run(file, [&](FileDriver& d) {
    d.Destroy(file);
    return kNoError;
  });
  file.opened = false;
  file.driverState.reset();
}

void ReleaseThreadFile(const FileDecl& decl) {
  if (!HasThreadFile(decl)) return;
  DESTROY(ThreadFile(decl));
  ForgetThreadFile(decl);  // by name: the driver's destroy may have touched the instances
}

std::string GET_PROPERTY(FileBlock& file, int prop) {
  SetLastError(kNoError);
  if (prop == FilePropDriver) return file.decl().driver;
  std::string value;
  if (FileDriver* driver = DriverOf(file)) {
    if (driver->GetProperty(file, prop, value)) return value;
    if (prop == FilePropName) return file.decl().TableName();
    SetLastError(kFunctionNotSupported);
  }
  return {};
}

void SET_PROPERTY(FileBlock& file, int prop, const std::string& value) {
  Run(file, [&](FileDriver& d) { return d.SetProperty(file, prop, value); });
}

}  // namespace rt
