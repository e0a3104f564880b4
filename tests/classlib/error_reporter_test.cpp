// The error manager: its table of texts, the per-thread error state, the
// message boxes it shows and the procedure names it keeps.
#include <gtest/gtest.h>

#include <thread>

#include "classlib/error_reporter.h"
#include "classlib/fixtures.h"
#include "runtime/files/files.h"
#include "runtime/ui/ui.h"

namespace testsupport {
namespace {

using classlib::ErrorContext;
using classlib::ErrorId;

class ErrorReporterTest : public ClasslibTest {};

TEST_F(ErrorReporterTest, DefaultTableHasTheLevelsTitlesAndMessages) {
  struct Row {
    int number, level;
    const char* title;
    const char* message;
  };
  const Row rows[] = {
      {1, 5, "Record Retrieval Error",
       "Error: (%ErrorText) attempting to access a record from the %File file.  Returning to previous window."},
      {4, 5, "Record Insert Error",
       "An error was experienced during the creation of a record.|File: %File|Error: %ErrorText."},
      {7, 5, "Record Was Not Updated", "This record was changed by another station."},
      {12, 3, "File Creation Error", "Error: (%ErrorText) creating %File."},
      {15, 5, "Duplicate Key Error", "Adding this record creates a duplicate entry for the key: %Message"},
      {17, 5, "Value Error", "The value of %Field must be in the list : %Message."},
      {26, 3, "File Access Error", "File %File could not be opened.  Error: %ErrorText."},
      {28, 5, "Record was not updated",
       "An error (%ErrorText) was experienced when making changes to the %File file."},
      {29, 3, "Key was not built", "Error: (%ErrorText) repairing key for %File."},
      {31, 5, "Record not read", "A record held by another station was encountered reading from the %File file."},
      {33, 5, "Referential Integrity Delete Error",
       "This record is referenced from the file %File. This record cannot be deleted while these references "
       "exist."},
      {34, 5, "Referential Integrity Update Error",
       "This record is referenced from the file %File. Linking field(s) have been restricted from change and have "
       "been reset to original values."},
  };
  ASSERT_EQ(classlib::DefaultErrorTable().size(), std::size(rows));
  for (const Row& r : rows) {
    const classlib::ErrorEntry* e = reporter.FindEntry(ErrorId{r.number});
    ASSERT_NE(e, nullptr) << r.number;
    EXPECT_EQ(e->level, r.level) << r.number;
    EXPECT_EQ(e->title, r.title) << r.number;
    EXPECT_EQ(e->message, r.message) << r.number;
  }
  EXPECT_EQ(reporter.FindEntry(ErrorId{2}), nullptr);
}

TEST_F(ErrorReporterTest, NonFatalErrorShowsFilledMessageAndReturnsSoftFail) {
  rt::SetLastError(rt::kFileSystemError, "42S02", "Invalid object name");
  int result = reporter.Raise(ErrorId::RecordInsert, ErrorContext{"CLAVES_P   ", ""});
  EXPECT_EQ(result, classlib::ResultSoftFail);
  EXPECT_FALSE(haltCode.has_value());
  ASSERT_EQ(layer.boxes.size(), 1u);
  const auto& box = layer.boxes[0];
  EXPECT_EQ(box.text,
            "An error was experienced during the creation of a record.\nFile: CLAVES_P\n"
            "Error: File System Error (42S02) Invalid object name.");
  EXPECT_EQ(box.caption, "Record Insert Error");
  EXPECT_EQ(box.icon, rt::ui::ICON_Exclamation);
  EXPECT_EQ(box.buttons, rt::ui::BUTTON_OK);
}

TEST_F(ErrorReporterTest, FatalErrorAddsTheEndTextAndHaltsWithAFailureAfterOk) {
  rt::SetLastError(rt::kInvalidRecordDeclaration);
  EXPECT_TRUE(Halts([&] { reporter.Raise(ErrorId::FileAccess, ErrorContext{"EMPRESAS", ""}); }));
  EXPECT_EQ(haltCode, classlib::kFatalExitCode);
  EXPECT_NE(classlib::kFatalExitCode, 0);
  ASSERT_EQ(layer.boxes.size(), 1u);
  EXPECT_EQ(layer.boxes[0].text,
            "File EMPRESAS could not be opened.  Error: Invalid Record Declaration."
            "  Press OK to end this application");
  EXPECT_EQ(layer.boxes[0].caption, "File Access Error");
}

TEST_F(ErrorReporterTest, FieldLabelAndMessageTextFillTheirPlaceholders) {
  reporter.SetFieldLabel("Tipo de Telefono (0 - Mexico  1 - USA)");
  EXPECT_EQ(reporter.RaiseWithText(ErrorId::ValueNotInList, "'Mexico','USA'"), classlib::ResultSoftFail);
  ASSERT_EQ(layer.boxes.size(), 1u);
  EXPECT_EQ(layer.boxes[0].text,
            "The value of Tipo de Telefono (0 - Mexico  1 - USA) must be in the list : 'Mexico','USA'.");
  EXPECT_EQ(layer.boxes[0].caption, "Value Error");
}

TEST_F(ErrorReporterTest, SubstitutedTextsAreNotExpandedAgain) {
  // A table name or message that itself holds a placeholder or a bar stays as it is.
  reporter.RaiseWithText(ErrorId::DuplicateKey, "%File|%ErrorText", ErrorContext{"T", ""});
  ASSERT_EQ(layer.boxes.size(), 1u);
  EXPECT_EQ(layer.boxes[0].text, "Adding this record creates a duplicate entry for the key: %File|%ErrorText");
}

TEST_F(ErrorReporterTest, ThreadTextsAreCutTo254Characters) {
  reporter.SetFieldLabel(std::string(300, 'f'));
  reporter.RaiseWithText(ErrorId::ValueNotInList, std::string(300, 'm'));
  EXPECT_EQ(state.fieldName(), std::string(254, 'f'));
  EXPECT_EQ(state.messageText(), std::string(254, 'm'));
  // A NUL ends a CSTRING.
  reporter.SetFieldLabel(std::string("ab\0cd", 5));
  EXPECT_EQ(state.fieldName(), "ab");
}

TEST_F(ErrorReporterTest, UnknownErrorNumberShowsNothingAndFails) {
  EXPECT_EQ(reporter.Raise(ErrorId{999}), classlib::ResultHardFail);
  EXPECT_TRUE(layer.boxes.empty());
}

TEST_F(ErrorReporterTest, ProcedureNamesStackPerThread) {
  reporter.EnterProcedure("Main   ");
  reporter.EnterProcedure("CreaEsquema");
  std::string other;
  std::thread t([&] {
    reporter.EnterProcedure("Worker");
    reporter.LeaveProcedure();
    other = reporter.CurrentProcedure();
  });
  t.join();
  EXPECT_EQ(other, "");
  EXPECT_EQ(reporter.CurrentProcedure(), "CreaEsquema");
  reporter.LeaveProcedure();
  EXPECT_EQ(reporter.CurrentProcedure(), "Main");
  reporter.LeaveProcedure();
  reporter.LeaveProcedure();  // more leaves than enters do nothing
  EXPECT_EQ(reporter.CurrentProcedure(), "");
}

TEST_F(ErrorReporterTest, AnotherThreadHasItsOwnErrorState) {
  reporter.SetFieldLabel("main thread");
  std::string seen;
  std::thread t([&] {
    reporter.SetFieldLabel("worker");
    seen = reporter.ThreadState().fieldName();
  });
  t.join();
  EXPECT_EQ(seen, "worker");
  EXPECT_EQ(state.fieldName(), "main thread");
}

TEST_F(ErrorReporterTest, DestroyedStateIsUnbound) {
  {
    classlib::ThreadErrorState temporary;
    reporter.Setup(temporary);
    reporter.SetFieldLabel("gone");
  }
  reporter.SetFieldLabel("still safe");
  EXPECT_EQ(reporter.ThreadState().fieldName(), "still safe");
  reporter.Setup(state);
}

// The real end of the program, in a child process: after OK the process exits
// with a failure, never 0, so that whatever started it sees the run failed.
TEST(ErrorReporterExitTest, FatalErrorEndsTheProcessWithAFailureExitCode) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        testsupport::FakeWindowLayer layer;
        layer.answer = [](const testsupport::MessageBoxCall& box) {
          fprintf(stderr, "[%s] %s\n", box.caption.c_str(), box.text.c_str());
          return rt::ui::BUTTON_OK;
        };
        classlib::ThreadErrorState state;
        classlib::ErrorReporter reporter;
        reporter.Setup(state);
        rt::SetLastError(rt::kAccessDenied);
        reporter.Raise(ErrorId::FileCreation, ErrorContext{"ApTiposTasas", ""});
        fprintf(stderr, "went on after a fatal error\n");
        std::exit(7);
      },
      ::testing::ExitedWithCode(classlib::kFatalExitCode),
      "\\[File Creation Error\\] Error: \\(Access Denied\\) creating ApTiposTasas\\.  Press OK to end this application");
}

}  // namespace
}  // namespace testsupport
