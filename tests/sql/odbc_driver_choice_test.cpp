// The ODBC driver chosen among those installed, by the program and by
// scripts/run.sh, which says on one line what the program will use: a driver
// list per case, written as unixODBC's odbcinst.ini.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "runtime/sql/sql_connect.h"

namespace {
namespace fs = std::filesystem;

struct Case {
  const char* name;
  std::vector<std::string> installed;  // in odbcinst.ini's order
  const char* configured;              // ORTAVIA_SQL_DRIVER; nullptr: not set
  std::optional<std::string> chosen;   // nullopt: none (run.sh: the embedded default)
};

const Case kCases[] = {
    {"the Windows names", {"SQLite3", "SQL Server", "SQL Native Client 11.0", "FreeTDS"}, nullptr,
     "SQL Native Client 11.0"},
    {"SQL Server before the platform's names",
     {"ODBC Driver 18 for SQL Server", "FreeTDS", "SQL Server"}, nullptr, "SQL Server"},
    {"only the vendor's Linux driver", {"PostgreSQL Unicode", "ODBC Driver 17 for SQL Server"}, nullptr,
     "ODBC Driver 17 for SQL Server"},
    {"the vendor's newest first",
     {"ODBC Driver 9 for SQL Server", "ODBC Driver 18 for SQL Server", "ODBC Driver 17 for SQL Server"}, nullptr,
     "ODBC Driver 18 for SQL Server"},
    {"the vendor's before FreeTDS", {"FreeTDS", "ODBC Driver 13 for SQL Server"}, nullptr,
     "ODBC Driver 13 for SQL Server"},
    {"only FreeTDS", {"PostgreSQL ANSI", "PostgreSQL Unicode", "SQLite", "SQLite3", "FreeTDS"}, nullptr, "FreeTDS"},
    {"names that only look like them",
     {"ODBC Driver for SQL Server", "ODBC Driver 18 for SQL Server Beta", "FreeTDS 1.3", "My ODBC Driver 18"},
     nullptr, std::nullopt},
    {"none", {"PostgreSQL Unicode", "SQLite3"}, nullptr, std::nullopt},
    {"nothing installed", {}, nullptr, std::nullopt},
    {"beyond the eighth name",
     {"A", "B", "C", "D", "E", "F", "G", "ODBC Driver 17 for SQL Server", "FreeTDS"}, nullptr,
     "ODBC Driver 17 for SQL Server"},
    {"the configured prefix over every SQL Server driver", {"FreeTDS", "PostgreSQL Unicode"}, "PostgreSQL",
     "PostgreSQL Unicode"},
    {"a configured prefix that nothing begins with", {"FreeTDS"}, "NoSuchDriver", std::nullopt},
};

TEST(OdbcDriverChoice, AmongTheInstalledDrivers) {
  for (const Case& c : kCases)
    EXPECT_EQ(rt::ChooseOdbcDriver(c.installed, c.configured ? c.configured : ""), c.chosen) << c.name;
}

// FreeTDS names its protocol version, without which it waits for a silent
// server past the login timeout; other drivers get the owner's parts alone.
TEST(OdbcDriverChoice, FreeTdsConnectionNamesItsProtocolVersion) {
  EXPECT_EQ(rt::BuildConnectionString("FreeTDS", "db.example,1433,datos,admin,secreto"),
            "Driver={FreeTDS};Server=db.example;Database=1433;UID=datos;PWD=admin;TDS_Version=7.4;secreto");
  EXPECT_EQ(rt::BuildConnectionString("FreeTDS", "\"db.example,1433\",datos,admin"),
            "Driver={FreeTDS};Server={db.example,1433};Database=datos;UID=admin;TDS_Version=7.4");
  for (const char* other : {"ODBC Driver 18 for SQL Server", "SQL Server", "SQLite3", "FreeTDS 2"})
    EXPECT_EQ(rt::BuildConnectionString(other, "srv,datos,admin"),
              std::string("Driver={") + other + "};Server=srv;Database=datos;UID=admin")
        << other;
}

// psqlODBC, under any of its names, leaves a refused statement's transaction
// to the program (level 0 of its rollback on errors) instead of a savepoint of
// its own before every statement; what the owner adds comes after.
TEST(OdbcDriverChoice, PsqlOdbcConnectionLeavesTheRollbackToTheProgram) {
  for (const char* psqlodbc : {"PostgreSQL Unicode", "PostgreSQL ANSI", "PostgreSQL Unicode(x64)", "postgresql"})
    EXPECT_EQ(rt::BuildConnectionString(psqlodbc, "srv,datos,admin,clave,Port=5433"),
              std::string("Driver={") + psqlodbc + "};Server=srv;Database=datos;UID=admin;PWD=clave;Protocol=7.4-0;"
                                                   "Port=5433")
        << psqlodbc;
}

// A copy of the script in a tree of its own whose "build/ortavia" only prints
// the settings it was started with.
class RunScript : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* source = std::getenv("ORTAVIA_SOURCE_DIR");
    ASSERT_NE(source, nullptr) << "ORTAVIA_SOURCE_DIR is not set";
    root_ = fs::temp_directory_path() / ("ortavia-run-" + std::to_string(getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "scripts");
    fs::create_directories(root_ / "build");
    fs::create_directories(root_ / "odbc");
    fs::copy_file(fs::path(source) / "scripts/run.sh", root_ / "scripts/run.sh");
    std::ofstream(root_ / "build/ortavia")
        << "#!/bin/sh\necho \"program: driver=${ORTAVIA_SQL_DRIVER:-} odbc=${ODBCSYSINI:-}\"\n";
    fs::permissions(root_ / "build/ortavia", fs::perms::owner_all);
  }
  void TearDown() override { fs::remove_all(root_); }

  // What the script printed, run over the list in the current directory root_.
  std::string Run(const Case& c) {
    std::ofstream ini(root_ / "odbc/odbcinst.ini");
    for (const std::string& name : c.installed)
      ini << "[" << name << "]\nDescription=" << name << "\nDriver=/nonexistent/" << name.size() << ".so\n\n";
    ini.close();
    std::string cmd = "cd '" + root_.string() + "' && env -u ORTAVIA_SQL_DRIVER ODBCSYSINI='" +
                      (root_ / "odbc").string() + "' ";
    if (c.configured) cmd += std::string("ORTAVIA_SQL_DRIVER='") + c.configured + "' ";
    cmd += "bash scripts/run.sh 2>&1";
    std::string out;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return out;
    char buf[512];
    while (size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    EXPECT_EQ(pclose(p), 0) << c.name << "\n" << out;
    return out;
  }

  fs::path root_;
};

TEST_F(RunScript, SaysWhichDriverTheProgramWillUse) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::string out = Run(c);
    const size_t programLine = out.find("program: ");
    ASSERT_NE(programLine, std::string::npos) << out;
    const std::string said = out.substr(0, programLine), program = out.substr(programLine);
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << "not one line: " << said;
    if (c.chosen) {
      EXPECT_NE(said.find("\"" + *c.chosen + "\""), std::string::npos) << said;
      // The program chooses for itself, among the same drivers.
      EXPECT_EQ(program, std::string("program: driver=") + (c.configured ? c.configured : "") + " odbc=" +
                             (root_ / "odbc").string() + "\n");
    } else if (c.configured) {
      EXPECT_NE(said.find("no installed ODBC driver begins with \"" + std::string(c.configured) + "\""),
                std::string::npos)
          << said;
    } else {
      EXPECT_EQ(said, "Ortavia: no SQL Server ODBC driver installed: the embedded default, the two databases are "
                      "SQLite files in " + root_.string() + ".\n");
      EXPECT_EQ(program, "program: driver=SQLite3 odbc=" + (root_ / "build/odbc").string() + "\n");
    }
  }
}

}  // namespace
