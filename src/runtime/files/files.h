// File statements and the file-driver interface. Every statement leaves its
// outcome in the calling thread's LastErrorCode (and, for driver failures, a
// file error code and text).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/decl/file_block.h"

namespace rt {

enum ErrorCode : int {
  kNoError = 0,
  kFileNotFound = 2,
  kPathNotFound = 3,
  kAccessDenied = 5,
  kRecordNotAvailable = 33,
  kRecordNotFound = 35,
  kFileNotOpen = 37,
  kCreatesDuplicateKey = 40,
  kRecordIsAlreadyHeld = 43,
  kKeyFileMustBeRebuilt = 46,
  kInvalidRecordDeclaration = 47,
  kNoCreateAttribute = 54,
  kInvalidFieldTypeDescriptor = 75,
  kFunctionNotSupported = 80,
  kRecordChangedByAnotherStation = 89,
  kFileSystemError = 90,
};

// The text of an error code ("File Not Found", ...); "" for 0.
std::string ErrorTextOf(int code);

inline constexpr int kAccessReadWriteDenyWrite = 0x22;

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
// Deletes a disk file; a name that is not there as written is looked for
// without regard to letter case, as on the platform's file system.
void RemoveFileByName(std::string_view name);
// The path of the existing file of that name: as written when it is there,
// else the first entry of its directory whose name differs only in letter case.
std::optional<std::string> FindFileNoCase(std::string_view name);
// Every file of name's folder whose name is name's in any letter case, sorted.
std::vector<std::string> FilesNoCase(std::string_view name);

int LastErrorCode();
std::string LastErrorText();
std::string LastFileErrorCode();
std::string LastFileErrorText();
// The "%ErrorText" of messages: the error's text, and for a driver failure its
// file error code and text as well.
std::string ErrorTextForMessage();

// For drivers: record the file error that goes with the code they return.
void SetFileError(std::string code, std::string text);
// For the statements and tests: set the whole error state.
void SetLastError(int code, std::string fileCode = {}, std::string fileText = {});

// TopSpeed naming: ".TPS" added to a name without an extension; a name without
// a directory is relative to the current directory.
std::string TopSpeedFileName(std::string_view name);

}  // namespace rt
