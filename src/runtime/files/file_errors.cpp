// The file error state, one per thread.
#include "runtime/files/file_errors.h"

#include <utility>

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

void SetDriverOutcome(int code) {
  ErrorState& e = Error();
  e.code = code;
  if (code == kNoError) {
    e.fileCode.clear();
    e.fileText.clear();
  }
}

void SetLastError(int code, std::string fileCode, std::string fileText) {
  ErrorState& e = Error();
  e.code = code;
  e.fileCode = std::move(fileCode);
  e.fileText = std::move(fileText);
}

}  // namespace rt
