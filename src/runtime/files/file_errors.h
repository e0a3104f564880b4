// The file error state: the codes the file statements and drivers answer with,
// their texts, and the calling thread's last outcome (with, for driver
// failures, a file error code and text).
#pragma once

#include <string>

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

int LastErrorCode();
std::string LastErrorText();
std::string LastFileErrorCode();
std::string LastFileErrorText();
// The "%ErrorText" of messages: the error's text, and for a driver failure its
// file error code and text as well.
std::string ErrorTextForMessage();

// For drivers: record the file error that goes with the code they return.
void SetFileError(std::string code, std::string text);
// For the statements: the code a driver answered, with the file error it set
// for a failure (none for success).
void SetDriverOutcome(int code);
// For the statements and tests: set the whole error state.
void SetLastError(int code, std::string fileCode = {}, std::string fileText = {});

}  // namespace rt
