// A fault in the migration's declarations of the old layouts at start-up: shown
// as a dictionary fault is, naming the declaration, and the program ends with
// exit code 1 before any of its routines runs. Each case runs in a process of
// its own, whose declarations are read from the faulty text.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/program.h"
#include "app/test_hooks.h"
#include "runtime/test_hooks.h"

namespace {

void StartWithOldLayoutsEdited(const std::string& from, const std::string& to) {
  app::ReplaceInOldLayouts(from, to);
  static std::vector<std::string> trace;
  app::SetLifeTrace(&trace);
  rt::SetHaltHandler([](int code) {
    std::fprintf(stderr, "routines run: %zu\n", trace.size());
    std::_Exit(code);
  });
  app::ProgramEntry();
}

TEST(StartUpOldLayoutFaults, AFaultyOldLayoutIsShownAndNothingStarts) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  struct Case {
    const char* what;
    const char* from;
    const char* to;
    const char* shown;  // a regular expression of what stands on the error output
  };
  const Case cases[] = {
      {"an unknown type in a field", "TIPOCAMBIO REAL;", "TIPOCAMBIO DOUBLE;",
       "Dictionary Error: The table declarations hold faults:\nMigration, table XRefereExtCove: unknown type at "
       "\"DOUBLE\" in \"TIPOCAMBIO DOUBLE\"\n"
       "routines run: 0\n"},
      {"a record length the fields do not make", "record 48 bytes", "record 49 bytes",
       "faults:\nMigration, table XUSE1: .*\nroutines run: 0\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EXIT(StartWithOldLayoutsEdited(c.from, c.to), ::testing::ExitedWithCode(1), c.shown);
  }
}

}  // namespace
