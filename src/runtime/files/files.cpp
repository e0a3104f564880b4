// File statements: each finds the driver named by the declaration, runs the
// operation and leaves the outcome in the calling thread's error state.
#include "runtime/files/files.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <filesystem>
#include <map>
#include <mutex>
#include <system_error>
#include <vector>

#include "runtime/base/text.h"

namespace rt {

namespace {

struct ErrorState {
  int code = 0;
  std::string fileCode;
  std::string fileText;
};

ErrorState& Error() {
  thread_local ErrorState state;
  return state;
}

std::atomic<uint64_t>& RunCounter() {
  static std::atomic<uint64_t> run{0};
  return run;
}

std::mutex& RegistryMutex() {
  static std::mutex m;
  return m;
}

std::map<std::string, std::shared_ptr<FileDriver>, std::less<>>& Registry() {
  static std::map<std::string, std::shared_ptr<FileDriver>, std::less<>> drivers;
  return drivers;
}

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
  ErrorState& e = Error();
  e.code = code;
  if (code == kNoError) {
    e.fileCode.clear();
    e.fileText.clear();
  }
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

std::string ErrorTextOf(int code) {
  switch (code) {
    case kNoError: return "";
    case kFileNotFound: return "File Not Found";
    case kPathNotFound: return "Path Not Found";
    case kAccessDenied: return "Access Denied";
    case kRecordNotAvailable: return "Record Not Available";
    case kRecordNotFound: return "Record Not Found";
    case kFileNotOpen: return "File Not Open";
    case kCreatesDuplicateKey: return "Creates Duplicate Key";
    case kRecordIsAlreadyHeld: return "Record Is Already Held";
    case kKeyFileMustBeRebuilt: return "Key File Must Be Rebuilt";
    case kInvalidRecordDeclaration: return "Invalid Record Declaration";
    case kNoCreateAttribute: return "No Create Attribute";
    case kInvalidFieldTypeDescriptor: return "Invalid Field Type Descriptor";
    case kFunctionNotSupported: return "Function Not Supported";
    case kRecordChangedByAnotherStation: return "Record Changed By Another Station";
    case kFileSystemError: return "File System Error";
    default: return "Error " + std::to_string(code);
  }
}

bool FileDriver::GetProperty(FileBlock&, int, std::string&) { return false; }

void BeginFileRun() { ++RunCounter(); }
uint64_t FileRun() { return RunCounter().load(); }

void RegisterDriver(std::shared_ptr<FileDriver> driver) {
  if (!driver) return;
  std::lock_guard lock(RegistryMutex());
  Registry()[driver->Name()] = std::move(driver);
}

FileDriver* FindDriver(std::string_view name) {
  std::lock_guard lock(RegistryMutex());
  auto& drivers = Registry();
  auto it = drivers.find(name);
  return it == drivers.end() ? nullptr : it->second.get();
}

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

void RemoveFileByName(std::string_view name) {
  namespace fs = std::filesystem;
  SetLastError(kNoError);
  const std::string clipped(CLIP(name));
  if (clipped.empty()) {
    SetLastError(kFileNotFound);
    return;
  }
  const std::optional<std::string> found = FindFileNoCase(clipped);
  const fs::path path(found ? *found : clipped);
  std::error_code ec;
  const fs::file_status st = fs::symlink_status(path, ec);
  if (!fs::exists(st)) {
    const fs::path parent = path.parent_path();
    SetLastError(!parent.empty() && !fs::is_directory(parent, ec) ? kPathNotFound : kFileNotFound);
    return;
  }
  if (fs::is_directory(st)) {
    SetLastError(kAccessDenied);
    return;
  }
  if (!fs::remove(path, ec) || ec)
    SetLastError(ec == std::errc::no_such_file_or_directory ? kFileNotFound : kAccessDenied, {},
                 ec ? ec.message() : std::string());
}

std::vector<std::string> FilesNoCase(std::string_view name) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path path{std::string(name)};
  const fs::path parent = path.parent_path();
  const std::string wanted = path.filename().string();
  std::vector<std::string> matches;
  for (fs::directory_iterator it(parent.empty() ? fs::path(".") : parent, ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string entry = it->path().filename().string();
    if (SameText(entry, wanted)) matches.push_back((parent / entry).string());
  }
  // A folder that cannot be listed may still hold the name itself.
  if (matches.empty() && fs::exists(fs::symlink_status(path, ec))) matches.push_back(path.string());
  std::sort(matches.begin(), matches.end());
  return matches;
}

std::optional<std::string> FindFileNoCase(std::string_view name) {
  std::error_code ec;
  if (std::filesystem::exists(std::filesystem::symlink_status(std::string(name), ec))) return std::string(name);
  std::vector<std::string> matches = FilesNoCase(name);
  if (matches.empty()) return std::nullopt;
  return matches.front();  // the same choice on every run
}

int LastErrorCode() { return Error().code; }
std::string LastErrorText() { return ErrorTextOf(Error().code); }
std::string LastFileErrorCode() { return Error().fileCode; }
std::string LastFileErrorText() { return Error().fileText; }

std::string ErrorTextForMessage() {
  const ErrorState& e = Error();
  std::string text = ErrorTextOf(e.code);
  if (!e.fileCode.empty())
    text += " (" + e.fileCode + ") " + e.fileText;
  else if (!e.fileText.empty())
    text += " (" + e.fileText + ")";
  return text;
}

void SetFileError(std::string code, std::string text) {
  ErrorState& e = Error();
  e.fileCode = std::move(code);
  e.fileText = std::move(text);
}

void SetLastError(int code, std::string fileCode, std::string fileText) {
  ErrorState& e = Error();
  e.code = code;
  e.fileCode = std::move(fileCode);
  e.fileText = std::move(fileText);
}

std::string TopSpeedFileName(std::string_view name) {
  const size_t slash = name.find_last_of("/\\");
  const std::string_view base = slash == std::string_view::npos ? name : name.substr(slash + 1);
  std::string result(name);
  if (base.find('.') == std::string_view::npos) result += ".TPS";
  return result;
}

}  // namespace rt
