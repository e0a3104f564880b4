// The rows of a renamed table (an old-layout table an earlier program left on
// the server) held to the rule of the local records: a value its field cannot
// hold exactly stops that table's migration with one message naming the row's
// key, the column and the value; nothing changes on the server and the press
// stops before the creation loop. Mended, the next press carries every row.
// On SQLite files, the SQL Server stand-in and PostgreSQL, wherever a column can
// hold such a value.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/create_schema.h"
#include "app/migrate.h"
#include "dictionary/dictionary.h"
#include "dictionary/names.h"
#include "runtime/base/program.h"
#include "runtime/files/sqlite_file_driver.h"
#include "runtime/sql/sql_connect.h"
#include "runtime/sql/sql_driver.h"
#include "runtime/test_hooks.h"
#include "support/connection_entries.h"
#include "support/database_probe.h"
#include "support/fake_ui.h"
#include "support/program_state.h"

namespace {

namespace fs = std::filesystem;

// One bad value: the statements that make the column able to hold it (a wider
// column of an older layout), the value written into row 2, what the message
// says of it, and the value it is mended with.
struct BadValue {
  const char* name;
  bool typed;         // a column of a server with column types (PostgreSQL, the
                      // SQL Server stand-in) can hold it
  const char* widen;  // on PostgreSQL; may be empty
  const char* column;
  std::string value;  // SQL literal
  std::string told;   // the message's middle part
  const char* mended; // SQL literal
};

const std::string kLong(300, 'a');

const std::vector<BadValue> kBadValues = {
    {"a character outside Windows-1252", true, "", "FACTURA", "'Жук'",
     "Record UNICO 2, column FACTURA: \"???\" holds a character that Windows-1252 cannot hold (U+0416).", "'Juk'"},
    {"a text longer than its field", true, "ALTER TABLE xrefereextcove ALTER COLUMN observaciones TYPE varchar(400)",
     "OBSERVACIONES", "'" + kLong + "'",
     "Record UNICO 2, column OBSERVACIONES: \"" + std::string(57, 'a') +
         "...\" has 300 characters, more than the field's 254.",
     "'corto'"},
    {"a byte outside its range", true, "", "INDUSTRIAAUTOMOTRIZ", "300",
     "Record UNICO 2, column INDUSTRIAAUTOMOTRIZ: 300 is outside the field's range (0 to 255).", "255"},
    {"a long outside its range", true, "ALTER TABLE xrefereextcove ALTER COLUMN unicorefere TYPE bigint",
     "UNICOREFERE", "9999999999",
     "Record UNICO 2, column UNICOREFERE: 9999999999 is outside the field's range (-2147483648 to 2147483647).",
     "2147483647"},
    {"a text in a whole-number column", false, "", "UNICOREFERE", "'abc'",
     "Record UNICO 2, column UNICOREFERE: \"abc\" is not a whole number.", "12"},
    {"a text in an amount column", false, "", "TIPOCAMBIO", "'abc'",
     "Record UNICO 2, column TIPOCAMBIO: \"abc\" is not a number.", "17.5"},
    {"a date that is none", false, "", "FECHA_EXPED_SQLDATEHANDLE", "'2019-02-30 00:00:00.000'",
     "Record UNICO 2, column FECHA_EXPED_SQLDATEHANDLE: \"2019-02-30 00:00:00.000\" is not a date and time.",
     "'2019-02-28 00:00:00.000'"},
    {"a time that is none", false, "", "HORA_MOD_SQLDATEHANDLE", "'1900-01-01 24:10:00.000'",
     "Record UNICO 2, column HORA_MOD_SQLDATEHANDLE: \"1900-01-01 24:10:00.000\" is not a date and time.",
     "'1900-01-01 23:10:00.000'"},
};

class RenamedTableValues : public ::testing::TestWithParam<std::string> {
 protected:
  bool Postgres() const { return GetParam() == "PostgreSQL"; }
  bool StandIn() const { return GetParam() == "SqlServerStandIn"; }

  void SetUp() override {
    std::string driver;
    if (Postgres()) {
      const auto pg = testsupport::UsePgTestServer();
      if (!pg) GTEST_SKIP() << "no PostgreSQL test server";
      entries_ = {"127.0.0.1", "ortavia_server", "ortavia_data", pg->login, pg->password};
      data_ = pg->ConnectionString("ortavia_data");
      server_ = pg->ConnectionString("ortavia_server");
      driver = "PostgreSQL Unicode";
    } else {
      entries_ = StandIn() ? testsupport::ConnectionEntries{"servidor", "", "", "sa", "clave"}
                           : testsupport::ConnectionEntries{"localhost", "", "", "admin", ""};
      // The stand-in is found by the program's own driver choice, as a real server's driver is.
      driver = StandIn() ? "SQL Server" : "SQLite3";
    }
    dir_ = testsupport::ProgramState::FolderOf("ortavia-renamed-values-");
    state_.emplace(testsupport::ProgramState::Options{
        .folder = "ortavia-renamed-values-",
        .sqlDriver = driver,
        .drivers = true,
        .owners = testsupport::Owners{rt::BuildOwner(entries_.server.c_str(), entries_.dbData.c_str(),
                                                     entries_.login.c_str(), entries_.password.c_str()),
                                      rt::BuildOwner(entries_.server.c_str(), entries_.dbServer.c_str(),
                                                     entries_.login.c_str(), entries_.password.c_str())},
        .exitCode = &exitCode_});
  }
  void TearDown() override { state_.reset(); }

  // Empty databases for the next case (on SQLite, files of their own: the
  // program keeps its connections to the last ones), the owners set to them.
  void EmptyDatabases() {
    rt::BeginFileRun();
    if (Postgres()) {
      ASSERT_TRUE(testsupport::EmptySchema(data_));
      ASSERT_TRUE(testsupport::EmptySchema(server_));
    } else {
      ++run_;
      entries_.dbData = (dir_ / ("data" + std::to_string(run_) + ".db")).string();
      entries_.dbServer = (dir_ / ("server" + std::to_string(run_) + ".db")).string();
      const std::string driver = StandIn() ? "Driver={SQL Server Stand-in};Database=" : "Driver={SQLite3};Database=";
      data_ = driver + entries_.dbData;
      server_ = driver + entries_.dbServer;
    }
    dict::DataOwner.Set(rt::BuildOwner(entries_.server.c_str(), entries_.dbData.c_str(), entries_.login.c_str(),
                                       entries_.password.c_str()));
    dict::ServerOwner.Set(rt::BuildOwner(entries_.server.c_str(), entries_.dbServer.c_str(),
                                         entries_.login.c_str(), entries_.password.c_str()));
  }

  // XRefereExtCove as an earlier program left it: the old layout, rows 1 to 3.
  void LeaveRenamedTable() {
    rt::FileDecl& decl = state_->Keep(std::make_unique<rt::FileDecl>(app::MigrationFile("XRefereExtCove1").decl));
    decl.attrs |= rt::kFileCreate;
    rt::FileBlock& x = rt::ThreadFile(decl);
    rt::CREATE(x);
    ASSERT_EQ(rt::LastErrorCode(), 0) << rt::ErrorTextForMessage();
    rt::OPEN(x);
    ASSERT_EQ(rt::LastErrorCode(), 0) << rt::ErrorTextForMessage();
    for (int32_t unico = 1; unico <= 3; ++unico) {
      x.ClearRecord();
      std::memcpy(x.buffer(), &unico, 4);  // UNICO is the record's first field
      rt::ADD(x);
      ASSERT_EQ(rt::LastErrorCode(), 0) << rt::ErrorTextForMessage();
    }
    rt::CLOSE(x);
  }

  void Press(testsupport::FakeWindowLayer& ui) {
    testsupport::TypeConnectionEntries(ui, entries_);
    state_->Run(app::CreateSchema);
  }
  bool HasTable(const std::string& connection, const std::string& lowerName) {
    return testsupport::TablesIn(connection).count(lowerName) > 0;
  }
  std::string ValueOfRow2(const char* column) {
    const std::vector<std::string> rows =
        testsupport::Rows(data_, std::string("SELECT ") + column + " FROM xrefereextcove WHERE unico = 2");
    return rows.size() == 1 ? rows[0] : "no row 2";
  }

  fs::path dir_;
  testsupport::ConnectionEntries entries_;
  std::string data_, server_;
  std::optional<testsupport::ProgramState> state_;
  int exitCode_ = -1;
  int run_ = 0;
};

TEST_P(RenamedTableValues, AValueItsFieldCannotHoldStopsThePressUntilItIsMended) {
  for (const BadValue& c : kBadValues) {
    if ((Postgres() || StandIn()) && !c.typed) continue;
    SCOPED_TRACE(c.name);
    EmptyDatabases();
    LeaveRenamedTable();
    if (Postgres() && *c.widen) {
      ASSERT_TRUE(testsupport::Execute(data_, c.widen));
    }
    ASSERT_TRUE(testsupport::Execute(data_, std::string("UPDATE xrefereextcove SET ") + c.column + " = " + c.value +
                                                " WHERE unico = 2"));
    const std::string stored = ValueOfRow2(c.column);

    testsupport::FakeWindowLayer ui;
    Press(ui);
    EXPECT_EQ(exitCode_, -1);
    EXPECT_EQ(ui.boxes.size(), 1u);
    for (const testsupport::MessageBoxCall& box : ui.boxes) {
      EXPECT_EQ(box.caption, "Error");
      EXPECT_EQ(box.text, "No se pudo leer la tabla XRefereExtCove; no se migró RefereExtCove.|" + c.told +
                              "|En el servidor nada cambió: la próxima creación del esquema lo intentará de nuevo.");
    }
    // Nothing changed: the renamed table as it was, no new table; and the
    // press stopped before the creation loop, which makes EmbarqueCTPAT.
    EXPECT_EQ(testsupport::Rows(data_, "SELECT count(*) FROM xrefereextcove"), std::vector<std::string>{"3"});
    EXPECT_EQ(ValueOfRow2(c.column), stored);
    EXPECT_FALSE(HasTable(data_, "refereextcove"));
    EXPECT_FALSE(HasTable(data_, "embarquectpat"));

    if (!testsupport::Execute(data_, std::string("UPDATE xrefereextcove SET ") + c.column + " = " + c.mended +
                                         " WHERE unico = 2")) {
      ADD_FAILURE() << "the row cannot be mended";
      continue;
    }
    testsupport::FakeWindowLayer again;
    Press(again);
    EXPECT_EQ(exitCode_, -1);
    EXPECT_TRUE(again.boxes.empty()) << again.boxes[0].text;
    EXPECT_EQ(testsupport::Rows(data_, "SELECT unico FROM refereextcove ORDER BY unico"),
              (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_FALSE(HasTable(data_, "xrefereextcove"));
    EXPECT_TRUE(HasTable(data_, "embarquectpat"));
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, RenamedTableValues, ::testing::Values("SQLite", "SqlServerStandIn", "PostgreSQL"),
                         [](const auto& info) { return info.param; });

}  // namespace
