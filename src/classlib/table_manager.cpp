// The manager of one table: set-up, lazy opening with creation of a missing
// table, key registration and record operations with their error reports.
#include "classlib/table_manager.h"

#include <cstdlib>
#include <cstring>

#include "runtime/base/text.h"
#include "runtime/files/files.h"

namespace classlib {
namespace {

bool IsStringType(rt::FieldType t) {
  return t == rt::FieldType::String || t == rt::FieldType::CString || t == rt::FieldType::PString;
}

bool IsBlank(const std::string& s) { return rt::CLIP(s).empty(); }

// Keeps the calling thread's file error across look-ups made on the way to a report.
class SavedFileError {
 public:
  SavedFileError()
      : code_(rt::LastErrorCode()), fileCode_(rt::LastFileErrorCode()), fileText_(rt::LastFileErrorText()) {}
  ~SavedFileError() { rt::SetLastError(code_, fileCode_, fileText_); }

 private:
  int code_;
  std::string fileCode_;
  std::string fileText_;
};

}  // namespace

TableManager::~TableManager() {
  if (!destroyed_ && !killed_) TableManager::Teardown();
}

void TableManager::Destroy() {
  if (!killed_) Teardown();
  rt::ReleaseFieldRef(fileName);
  destroyed_ = true;
}

void TableManager::SetFileNameValue(std::string_view text) {
  fileNameValue.assign(text.substr(0, kFileNameValueSize));
}

const RegisteredKey* TableManager::primaryKey() const {
  return primaryKey_ && *primaryKey_ < keys.size() ? &keys[*primaryKey_] : nullptr;
}

void TableManager::Setup() {
  opened = 0;
  lazyOpen = true;
  killed_ = false;
  destroyed_ = false;
}

void TableManager::CompleteSetup(rt::FileBlock& f, ErrorReporter& reporter) {
  errors = &reporter;
  file = &f;
  if (!buffer.address) {
    buffer.address = f.buffer();
    buffer.type = f.decl().record.get();
    buffer.length = f.length();
  }
  keys.clear();
  openMode_ = kDefaultOpenMode;
  create = true;
  lockRecover = 10;
  primaryKey_.reset();
  autoNumbered_ = false;
  std::string name = rt::GET_PROPERTY(f, rt::FilePropName);
  SetFileNameValue(name.empty() ? f.decl().TableName() : name);
  initialized = true;
  killed_ = false;
}

void TableManager::RegisterKey(rt::KeyDescriptor& key, std::string description, bool autoInc) {
  RegisteredKey entry;
  entry.key = &key;
  if (description.size() > kDescriptionSize) description.resize(kDescriptionSize);
  entry.description = std::move(description);
  entry.autoInc = autoInc;
  entry.dups = (key.attrs & rt::kKeyDup) != 0;
  entry.noCase = (key.attrs & rt::kKeyNoCase) != 0;

  const rt::TypeRecord* type = buffer.type;
  uint8_t* base = buffer.address;
  if (!type && file) type = file->decl().record.get();
  if (!base && file) base = file->buffer();
  for (int32_t component : key.components) {
    int number = std::abs(component);
    if (!type || number < 1 || static_cast<size_t>(number) > type->entryCount()) continue;
    const rt::TypeEntry& e = type->entry(number);
    KeyField kf;
    kf.field = rt::FieldRef{base ? base + e.offset : nullptr, static_cast<uint8_t>(e.type), e.size, e.places};
    kf.name = entry.noCase && IsStringType(e.type) ? "UPPER(" + e.label + ")" : e.label;
    kf.descending = component < 0;
    entry.fields.push_back(std::move(kf));
  }
  if (autoInc) autoNumbered_ = true;
  keys.push_back(std::move(entry));
  if (key.attrs & rt::kKeyPrimary) primaryKey_ = keys.size() - 1;
}

ErrorContext TableManager::Context(std::string key) const { return ErrorContext{fileNameValue, std::move(key)}; }

int TableManager::Report(ErrorId id, std::string key) {
  if (!errors) return ResultHardFail;
  return errors->Raise(id, Context(std::move(key)));
}

void TableManager::ClearBuffer() {
  if (file && (!buffer.address || buffer.address == file->buffer())) {
    file->ClearRecord();
  } else if (buffer.address) {
    std::memset(buffer.address, 0, buffer.length);
  }
}

int TableManager::RunOpenStep() {
  EnsureReady(UseInitialise);
  if (!file) return ResultHardFail;
  rt::OPEN(*file, openMode_);
  int err = rt::LastErrorCode();
  if (err == rt::kFileNotFound && create) {
    rt::CREATE(*file);
    if (rt::LastErrorCode() != rt::kNoError) {
      Report(ErrorId::FileCreation);
      return ResultHardFail;
    }
    rt::OPEN(*file, openMode_);
    err = rt::LastErrorCode();
  } else if (err == rt::kKeyFileMustBeRebuilt) {
    rt::BUILD(*file);
    if (rt::LastErrorCode() != rt::kNoError) {
      Report(ErrorId::KeyBuild);
      return ResultHardFail;
    }
    rt::OPEN(*file, openMode_);
    err = rt::LastErrorCode();
  }
  if (err != rt::kNoError) {
    Report(ErrorId::FileAccess);
    return ResultHardFail;
  }
  // An open already counted by OpenTable is the one this open serves; a
  // table opened by its first use counts that use, so CloseTable closes it.
  if (opened == 0) opened = 1;
  return ResultOk;
}

int TableManager::EnsureReady(uint8_t useKind) {
  int saved = inUseFile;
  inUseFile = 1;
  int result = ResultOk;
  if (useKind != UseInitialise && !fileOpen()) result = RunOpenStep();
  inUseFile = saved;
  return result;
}

int TableManager::OpenTable() {
  ++opened;
  if (lazyOpen || fileOpen()) return ResultOk;
  return EnsureReady(UseAccess);
}

int TableManager::CloseTable() {
  if (opened > 0) --opened;
  if (opened == 0 && initialized && fileOpen()) {
    rt::CLOSE(*file);
  }
  return ResultOk;
}

void TableManager::Teardown() {
  if (!initialized || killed_) return;
  if (fileOpen()) rt::CLOSE(*file);
  opened = 0;
  keys.clear();
  primaryKey_.reset();
  killed_ = true;
  initialized = false;
}

void TableManager::SetNewRecordDefaults() {}

int TableManager::PrimeRecord(bool keep) {
  if (EnsureReady(UseAccess) != ResultOk) return ResultHardFail;
  if (!keep) ClearBuffer();
  SetNewRecordDefaults();
  return ResultOk;
}

int TableManager::CheckFieldValue(int, bool) { return ResultOk; }
int TableManager::CheckFieldValueReported(int fieldNumber) { return CheckFieldValue(fieldNumber, true); }
int TableManager::CheckFieldValueQuiet(int fieldNumber) { return CheckFieldValue(fieldNumber, false); }

int TableManager::ValidateRecord() {
  const rt::TypeRecord* type = buffer.type;
  if (!type && file) type = file->decl().record.get();
  int count = type ? type->topLevelCount() : 0;
  for (int n = 1; n <= count; ++n) {
    int result = CheckFieldValueReported(n);
    if (result != ResultOk) return result;
  }
  return ResultOk;
}

const RegisteredKey* TableManager::FindDuplicatedKey() {
  if (file) {
    SavedFileError savedError;
    std::vector<uint8_t> record(file->buffer(), file->buffer() + file->length());
    for (const RegisteredKey& k : keys) {
      if (k.dups || !k.key) continue;
      rt::GET(*file, *k.key);
      bool found = rt::LastErrorCode() == rt::kNoError;
      std::memcpy(file->buffer(), record.data(), record.size());
      if (found) return &k;
    }
  }
  for (const RegisteredKey& k : keys) {
    if (!k.dups) return &k;
  }
  return nullptr;
}

int TableManager::AddRecord() {
  if (EnsureReady(UseAccess) != ResultOk) return ResultHardFail;
  if (ValidateRecord() != ResultOk) return ResultSoftFail;
  rt::ADD(*file);
  int err = rt::LastErrorCode();
  if (err == rt::kNoError) return ResultOk;
  if (err == rt::kCreatesDuplicateKey) {
    const RegisteredKey* k = FindDuplicatedKey();
    std::string description = k ? k->description : std::string();
    std::string keyText = k && IsBlank(description) ? k->key->label : description;
    if (errors) errors->RaiseWithText(ErrorId::DuplicateKey, description, Context(keyText));
    return ResultSoftFail;
  }
  int result = Report(ErrorId::RecordInsert);
  return result == ResultOk ? ResultHardFail : result;
}

int TableManager::ReadNext() {
  if (EnsureReady(UseAccess) != ResultOk) return ResultHardFail;
  for (;;) {
    rt::NEXT(*file);
    int err = rt::LastErrorCode();
    if (err == rt::kNoError) return ResultOk;
    if (err == rt::kRecordNotAvailable) return ResultSoftFail;
    if (err == rt::kRecordIsAlreadyHeld) {
      if (skipHeldRecords) continue;
      return Report(ErrorId::RecordHeld);
    }
    return Report(ErrorId::RecordRetrieval);
  }
}

int TableManager::LookupByKey(rt::KeyDescriptor& key) {
  if (EnsureReady(UseAccess) != ResultOk) {
    ClearBuffer();
    return ResultHardFail;
  }
  rt::GET(*file, key);
  if (rt::LastErrorCode() == rt::kNoError) return ResultOk;
  ClearBuffer();
  return ResultSoftFail;
}

int TableManager::RewriteRecord() {
  if (EnsureReady(UseAccess) != ResultOk) return ResultHardFail;
  if (ValidateRecord() != ResultOk) return ResultSoftFail;
  rt::PUT(*file);
  int err = rt::LastErrorCode();
  if (err == rt::kNoError) return ResultOk;
  int result = Report(err == rt::kRecordChangedByAnotherStation ? ErrorId::RecordChanged : ErrorId::RecordUpdate);
  return result == ResultOk ? ResultHardFail : result;
}

}  // namespace classlib
