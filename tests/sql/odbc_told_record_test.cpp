// The record that tells a failed call's cause, chosen among the diagnostic
// records as read. The driver manager of this platform ranks the records it
// hands on, so a warning ahead of the error is met only with another one.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/sql/told_record.h"

namespace {

using rt::SqlError;

SqlError R(const char* state, int native, const char* message) { return SqlError{state, native, message, "SQLExecDirect"}; }

TEST(ToldRecord, TheFirstRecordThatIsNoWarning) {
  struct Case {
    const char* name;
    std::vector<SqlError> records;
    std::string told;  // the message of the record told
  };
  const Case cases[] = {
      {"a warning ahead of the error",
       {R("01000", 5701, "Changed database context to 'datos'."), R("42S02", 208, "Invalid object name 'X'.")},
       "Invalid object name 'X'."},
      {"two warnings ahead of the error",
       {R("01000", 5701, "Changed database context."), R("01S02", 0, "Option value changed."),
        R("23000", 2627, "Violation of PRIMARY KEY constraint.")},
       "Violation of PRIMARY KEY constraint."},
      {"only warnings: the first", {R("01004", 0, "String data, right truncated."), R("01S02", 0, "Option value changed.")},
       "String data, right truncated."},
      {"an error alone", {R("42000", 102, "Incorrect syntax near ','.")}, "Incorrect syntax near ','."},
      {"several errors: the first",
       {R("23000", 2627, "Violation of PRIMARY KEY constraint."), R("01000", 3621, "The statement has been terminated."),
        R("HY000", 0, "General error")},
       "Violation of PRIMARY KEY constraint."},
      {"another class beginning with 0 is an error",
       {R("01000", 0, "Changed language setting."), R("07006", 0, "Restricted data type attribute violation.")},
       "Restricted data type attribute violation."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const size_t told = rt::odbc::ToldRecord(c.records);
    ASSERT_LT(told, c.records.size());
    EXPECT_EQ(c.records[told].message, c.told);
  }
}

}  // namespace
