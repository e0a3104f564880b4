// The error manager: the default error table, the per-thread error state and
// procedure names, and the message boxes of raised errors.
#include "classlib/error_reporter.h"

#include "runtime/base/program.h"
#include "runtime/base/text.h"
#include "runtime/files/files.h"
#include "runtime/ui/ui.h"

namespace classlib {
namespace {

// The calling thread's bound error state, and one of its own for a thread
// that never bound any.
thread_local ThreadErrorState* t_boundState = nullptr;

ThreadErrorState& OwnThreadState() {
  thread_local ThreadErrorState state;
  return state;
}

}  // namespace

const std::vector<ErrorEntry>& DefaultErrorTable() {
  static const std::vector<ErrorEntry> table = {
      {ErrorId::RecordRetrieval, 5, "Record Retrieval Error",
       "Error: (%ErrorText) attempting to access a record from the %File file.  Returning to previous window."},
      {ErrorId::RecordInsert, 5, "Record Insert Error",
       "An error was experienced during the creation of a record.|File: %File|Error: %ErrorText."},
      {ErrorId::RecordChanged, 5, "Record Was Not Updated", "This record was changed by another station."},
      {ErrorId::FileCreation, 3, "File Creation Error", "Error: (%ErrorText) creating %File."},
      {ErrorId::DuplicateKey, 5, "Duplicate Key Error", "Adding this record creates a duplicate entry for the key: %Message"},
      {ErrorId::ValueNotInList, 5, "Value Error", "The value of %Field must be in the list : %Message."},
      {ErrorId::FileAccess, 3, "File Access Error", "File %File could not be opened.  Error: %ErrorText."},
      {ErrorId::RecordUpdate, 5, "Record was not updated",
       "An error (%ErrorText) was experienced when making changes to the %File file."},
      {ErrorId::KeyBuild, 3, "Key was not built", "Error: (%ErrorText) repairing key for %File."},
      {ErrorId::RecordHeld, 5, "Record not read",
       "A record held by another station was encountered reading from the %File file."},
      {ErrorId::RestrictedDelete, 5, "Referential Integrity Delete Error",
       "This record is referenced from the file %File. This record cannot be deleted while these references exist."},
      {ErrorId::RestrictedUpdate, 5, "Referential Integrity Update Error",
       "This record is referenced from the file %File. Linking field(s) have been restricted from change and have been reset to original values."},
  };
  return table;
}

ThreadErrorState::~ThreadErrorState() {
  if (t_boundState == this) t_boundState = nullptr;
}

std::string ThreadErrorState::Fit(std::string_view text) {
  // CSTRING(255): up to the first NUL, at most 254 characters.
  size_t nul = text.find('\0');
  if (nul != std::string_view::npos) text = text.substr(0, nul);
  return std::string(text.substr(0, kTextSize - 1));
}

ErrorReporter::ErrorReporter() = default;
ErrorReporter::~ErrorReporter() = default;

void ErrorReporter::Setup(ThreadErrorState& state) {
  t_boundState = &state;
  std::lock_guard<std::mutex> guard(lock_);
  table_ = DefaultErrorTable();
}

ThreadErrorState& ErrorReporter::ThreadState() const {
  return t_boundState ? *t_boundState : OwnThreadState();
}

void ErrorReporter::EnterProcedure(std::string_view name) {
  std::lock_guard<std::mutex> guard(lock_);
  procedures_.emplace_back(std::this_thread::get_id(), std::string(rt::CLIP(name)));
}

void ErrorReporter::LeaveProcedure() {
  std::lock_guard<std::mutex> guard(lock_);
  auto self = std::this_thread::get_id();
  for (auto it = procedures_.rbegin(); it != procedures_.rend(); ++it) {
    if (it->first == self) {
      procedures_.erase(std::next(it).base());
      return;
    }
  }
}

std::string ErrorReporter::CurrentProcedure() const {
  std::lock_guard<std::mutex> guard(lock_);
  auto self = std::this_thread::get_id();
  for (auto it = procedures_.rbegin(); it != procedures_.rend(); ++it) {
    if (it->first == self) return it->second;
  }
  return {};
}

void ErrorReporter::SetFieldLabel(std::string_view text) { ThreadState().SetFieldName(text); }

const ErrorEntry* ErrorReporter::FindEntry(ErrorId id) const {
  std::lock_guard<std::mutex> guard(lock_);
  for (const ErrorEntry& e : table_) {
    if (e.id == id) return &e;
  }
  return nullptr;
}

std::string ErrorReporter::FormatMessage(const ErrorEntry& entry, const ErrorContext& context) const {
  struct Placeholder {
    std::string_view name;
    int id;
  };
  // Longer names first where one is a prefix of another ("%File" / "%Field").
  static constexpr Placeholder kPlaceholders[] = {
      {"%ErrorText", 0}, {"%Procedure", 1}, {"%Message", 2},
      {"%Field", 3},     {"%File", 4},      {"%Key", 5},
  };
  const ThreadErrorState& state = ThreadState();
  std::string_view msg = entry.message;
  std::string out;
  for (size_t i = 0; i < msg.size();) {
    char c = msg[i];
    if (c == '|') {
      out += '\n';
      ++i;
      continue;
    }
    if (c == '%') {
      bool matched = false;
      for (const Placeholder& p : kPlaceholders) {
        if (msg.compare(i, p.name.size(), p.name) != 0) continue;
        switch (p.id) {
          case 0: out += rt::ErrorTextForMessage(); break;
          case 1: out += CurrentProcedure(); break;
          case 2: out += state.messageText(); break;
          case 3: out += state.fieldName(); break;
          case 4: out += rt::CLIP(context.file); break;
          case 5: out += context.key; break;
        }
        i += p.name.size();
        matched = true;
        break;
      }
      if (matched) continue;
    }
    out += c;
    ++i;
  }
  if (entry.level == 2 || entry.level == 3) out += kFatalSuffix;
  return out;
}

int ErrorReporter::RaiseWithText(ErrorId id, std::string_view text, const ErrorContext& context) {
  ThreadState().SetMessageText(text);
  return Raise(id, context);
}

int ErrorReporter::Raise(ErrorId id, const ErrorContext& context) {
  const ErrorEntry* found = FindEntry(id);
  if (!found) return ResultHardFail;
  ErrorEntry entry = *found;  // the table may change while the box is up
  std::string text = FormatMessage(entry, context);
  rt::ui::ShowErrorMessage(text, entry.title);
  if (entry.level == 2 || entry.level == 3) rt::HaltProgram(kFatalExitCode);
  return entry.level == 5 ? ResultSoftFail : ResultHardFail;
}

}  // namespace classlib
