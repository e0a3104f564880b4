// A fault in a table's declaration at start-up: the program shows the fault,
// one line per faulty table, and ends with exit code 1 before any of its
// routines runs. Each case runs in a process of its own, whose dictionary (or
// the migration's old-layout declarations) is read from the faulty text.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "app/program.h"
#include "app/test_hooks.h"
#include "dictionary/modules.h"
#include "dictionary/test_hooks.h"
#include "runtime/test_hooks.h"

namespace {

// The program started after edit changed a text of declarations. The halt
// reports how many start-up routines ran and ends the process.
void StartAfter(const std::function<void()>& edit) {
  edit();
  static std::vector<std::string> trace;
  app::SetLifeTrace(&trace);
  rt::SetHaltHandler([](int code) {
    std::fprintf(stderr, "routines run: %zu\n", trace.size());
    std::_Exit(code);
  });
  app::ProgramEntry();
}

// Module 18's text with one more item appended, then the program started.
void StartWithModule18Plus(const std::string& item) {
  StartAfter([&] { dict::ReplaceModuleCatalogue(18, std::string(dict::ModuleCatalogue(18)) + item); });
}

TEST(StartUpFaults, AFaultyDeclarationIsShownAndNothingStarts) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  struct Case {
    const char* what;
    const char* item;
    const char* shown;  // a regular expression of what stands on the error output
  };
  const Case cases[] = {
      {"a size the record format cannot hold",
       "- NUEVA (prefix NUE): SQL Server table (driver MSSQL), name = label, DataOwner; CREATE, THREAD; "
       "record 536870912 bytes.\n  - Fields: CODIGO CSTRING(536870912).\n  - Keys: NUE:KEY_CODIGO PRIMARY OPT (CODIGO).\n",
       "Dictionary Error: The table declarations hold faults:\nM18, table NUEVA: size 536870912 of field "
       "NUE:CODIGO is beyond the TypeRecord format's 536870911 in \"- Fields: CODIGO CSTRING\\(536870912\\)\\.\"\n"
       "routines run: 0\n"},
      {"a label declared twice",
       "- TASAS (prefix TAS9): SQL Server table (driver MSSQL), name = label, DataOwner; CREATE, THREAD; "
       "record 4 bytes.\n  - Fields: A LONG.\n  - Keys: none.\n",
       "faults:\nM18, table TASAS: the label is declared twice in \"TASAS\"\nroutines run: 0\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EXIT(StartWithModule18Plus(c.item), ::testing::ExitedWithCode(1), c.shown);
  }
}

// A fault in the migration's declarations of the old layouts is shown as a
// dictionary fault is, naming the declaration, and nothing starts.
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
    EXPECT_EXIT(StartAfter([&] { app::ReplaceInOldLayouts(c.from, c.to); }), ::testing::ExitedWithCode(1), c.shown);
  }
}

}  // namespace
