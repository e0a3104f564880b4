// The error manager: a table of numbered errors (level, title, message), the
// per-thread error state and a stack of procedure names per thread.
//
// Raising an error fills the placeholders of the entry's message in one pass
// over the message, so substituted texts are never expanded again:
//   "%File"      ErrorContext::file (trailing blanks removed)
//   "%Key"       ErrorContext::key
//   "%ErrorText" rt::ErrorTextForMessage()
//   "%Field"     the thread's FIELDNAME (SetFieldLabel)
//   "%Message"   the thread's MESSAGETEXT (RaiseWithText)
//   "%Procedure" the thread's innermost procedure name (EnterProcedure)
// A "|" of the message breaks the line: the reporter turns it into "\n"
// before the text reaches the window layer ("|" inside substituted texts is
// kept as it is).
//
// The message box has the entry's title as caption, the exclamation icon and
// one OK button. Level 5 returns ResultSoftFail to the caller. Levels 2 and 3
// are fatal: the text gets "  Press OK to end this application" and after OK
// the program ends with kFatalExitCode (rt::HaltProgram), so that whatever
// started it can tell the failed run from a good one. Without a window layer
// the text goes to stderr instead.
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "classlib/results.h"

namespace classlib {

// The entries of the default error table, by name; each value is the entry's number.
enum class ErrorId : int {
  RecordRetrieval = 1,       // a record could not be read
  RecordInsert = 4,          // a record could not be added
  RecordChanged = 7,         // another station changed the record first
  FileCreation = 12,         // a missing table could not be created (fatal)
  DuplicateKey = 15,         // an added record repeats a unique key
  ValueNotInList = 17,       // a field's value is not one of its list
  FileAccess = 26,           // a table could not be opened (fatal)
  RecordUpdate = 28,         // a record could not be rewritten
  KeyBuild = 29,             // a key could not be rebuilt (fatal)
  RecordHeld = 31,           // another station holds the record
  RestrictedDelete = 33,     // references forbid deleting the record
  RestrictedUpdate = 34,     // references forbid changing the linking fields
};

struct ErrorEntry {
  ErrorId id{};
  int level = 0;
  std::string title;
  std::string message;
};

// The default error table, in number order.
const std::vector<ErrorEntry>& DefaultErrorTable();

inline constexpr const char* kFatalSuffix = "  Press OK to end this application";
// The exit status after a fatal error's OK.
inline constexpr int kFatalExitCode = 1;

// One thread's error state. FIELDNAME and MESSAGETEXT are CSTRING(255):
// they hold at most 254 characters, a NUL ends them.
class ThreadErrorState {
 public:
  ThreadErrorState() = default;
  ~ThreadErrorState();  // unbinds itself from the thread it was bound to
  ThreadErrorState(const ThreadErrorState&) = delete;
  ThreadErrorState& operator=(const ThreadErrorState&) = delete;

  static constexpr size_t kTextSize = 255;
  const std::string& fieldName() const { return fieldName_; }
  const std::string& messageText() const { return messageText_; }
  void SetFieldName(std::string_view text) { fieldName_ = Fit(text); }
  void SetMessageText(std::string_view text) { messageText_ = Fit(text); }

 private:
  static std::string Fit(std::string_view text);
  std::string fieldName_;
  std::string messageText_;
};

// What a manager tells about itself for "%File" and "%Key".
struct ErrorContext {
  std::string file;
  std::string key;
};

class ErrorReporter {
 public:
  ErrorReporter();  // a cleared reporter: no table, no names
  virtual ~ErrorReporter();
  ErrorReporter(const ErrorReporter&) = delete;
  ErrorReporter& operator=(const ErrorReporter&) = delete;

  // Binds the state as the calling thread's error state and loads the default table.
  void Setup(ThreadErrorState& state);

  void EnterProcedure(std::string_view name);  // trailing blanks removed
  void LeaveProcedure();
  // The calling thread's innermost procedure name, "" when none.
  std::string CurrentProcedure() const;

  void SetFieldLabel(std::string_view text);
  int RaiseWithText(ErrorId id, std::string_view text, const ErrorContext& context = {});
  // Shows the error of that entry and returns its level's result. An entry
  // the table lacks shows nothing and gives ResultHardFail.
  int Raise(ErrorId id, const ErrorContext& context = {});

  // The entry, null when the table has none.
  const ErrorEntry* FindEntry(ErrorId id) const;
  // The text the user sees for the entry (placeholders filled, lines broken,
  // the fatal suffix added), without showing it.
  std::string FormatMessage(const ErrorEntry& entry, const ErrorContext& context) const;

  // The calling thread's error state: the bound one, else a state of the
  // thread's own that lives as long as the thread.
  ThreadErrorState& ThreadState() const;

 private:
  mutable std::mutex lock_;
  std::vector<ErrorEntry> table_;
  std::vector<std::pair<std::thread::id, std::string>> procedures_;
};

}  // namespace classlib
