// The migration of the changed tables through the real driver manager, on
// SQLite databases and on the tests' SQL Server stand-in, with local files in
// the current directory: the statements it sends, the rows it carries from the
// renamed tables and the local files with their values, the users pass, what a
// second run does, and a run killed half-way then run again. On the stand-in the
// old tables are renamed by the real "SP_RENAME"; SQLite refuses it, so there a
// renamed table is laid out by the test as a rename leaves it.
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/create_schema.h"
#include "app/migrate.h"
#include "app/program.h"
#include "dictionary/dictionary.h"
#include "dictionary/names.h"
#include "runtime/base/datetime.h"
#include "runtime/base/program.h"
#include "runtime/files/sqlite_file_driver.h"
#include "runtime/sql/sql_connect.h"
#include "runtime/sql/sql_driver.h"
#include "runtime/test_hooks.h"
#include "support/connection_entries.h"
#include "support/database_probe.h"
#include "support/fake_ui.h"
#include "support/migration_fixture.h"
#include "support/migration_prelude.h"

namespace {

using namespace testsupport::migration;


using testsupport::LocalCoveTable;

const std::vector<std::string> kEveryStatement = {
    "REFERENCIAS: SP_RENAME RefereExtCove,XRefereExtCove",
    "REFERENCIAS: drop table XRefereExtCove",
    "REFERENCIAS: SP_RENAME RefereExtCoveEQ,XRefereExtCoveEQ",
    "REFERENCIAS: drop table XRefereExtCoveEQ",
    "REFERENCIAS: drop table EmbarqueCTPAT",
    "REFERENCIAS: drop table RutasDefault",
    "REFERENCIAS: drop table DetEmbarqueFacturas",
    "USUAR_EXT: SP_RENAME USUAR_EXT,XUSUAR_EXT",
    "USUAR_EXT: drop table XUSUAR_EXT",
};

TEST_P(Migration, OnEmptyDatabasesEveryStatementFailsQuietlyThenOverCurrentTablesNoneIsSent) {
  testsupport::FakeWindowLayer ui;
  Migrate();
  EXPECT_TRUE(ui.boxes.empty()) << ui.boxes[0].caption << ": " << ui.boxes[0].text;
  EXPECT_EQ(sql_->statements, kEveryStatement);
  EXPECT_EQ(local_->opened, (std::vector<std::string>{"XRefereExtCove", "XRefereExtCoveEq", "XUSUAR_EXT"}));
  // The migration makes its three tables and, in the users pass, USUAR; the
  // three dropped tables are left to the creation loop.
  for (const char* t : {"RefereExtCove", "RefereExtCoveEq"}) EXPECT_TRUE(HasTable(Data(), t)) << t;
  for (const char* t : {"USUAR", "USUAR_EXT"}) EXPECT_TRUE(HasTable(Server(), t)) << t;
  for (const char* t : {"EmbarqueCTPAT", "RutasDefault", "DetEmbarqueFacturas"}) EXPECT_FALSE(HasTable(Data(), t)) << t;
  EXPECT_TRUE(Opened("USUAR"));
  // The wait cursor is on while the migration runs, and put back after it; the
  // windows on screen are let repaint (the connection window has just gone).
  EXPECT_GE(ui.paints, 1);
  ASSERT_EQ(ui.cursorCalls.size(), 2u);
  EXPECT_EQ(ui.cursorCalls[0], std::make_pair(rt::ui::CURSOR_Wait, false));
  EXPECT_TRUE(ui.cursorCalls[1].second);

  // The press drops the three again, still missing, and its creation loop makes them.
  PressSchemaButton(ui);
  EXPECT_TRUE(ui.boxes.empty()) << ui.boxes[0].caption << ": " << ui.boxes[0].text;
  EXPECT_EQ(sql_->statements,
            std::vector<std::string>(kEveryStatement.begin() + 4, kEveryStatement.begin() + 7));
  for (const char* t : {"EmbarqueCTPAT", "RutasDefault", "DetEmbarqueFacturas"}) EXPECT_TRUE(HasTable(Data(), t)) << t;

  // Over current tables nothing is sent, a local file is neither read nor
  // removed, and the users pass does not run.
  Exec("XRefereExtCove.TPS", LocalCoveTable("XRefereExtCove") + "INSERT INTO XRefereExtCove (UNICO) VALUES (1);");
  Migrate();
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_TRUE(sql_->statements.empty()) << sql_->statements[0];
  EXPECT_TRUE(local_->opened.empty());
  EXPECT_FALSE(Opened("USUAR"));
  EXPECT_TRUE(fs::exists("XRefereExtCove.TPS"));
  EXPECT_EQ(Query(Data(), "SELECT count(*) FROM RefereExtCove"), std::vector<std::string>{"0"});
}

TEST_P(Migration, AnOldEmbarqueCTPATIsDroppedAndTheCreationMakesItAnew) {
  testsupport::FakeWindowLayer ui;
  PressSchemaButton(ui);
  ASSERT_TRUE(ui.boxes.empty()) << ui.boxes[0].caption << ": " << ui.boxes[0].text;
  // An EmbarqueCTPAT of an older layout, without VALOR1, holding a row.
  Exec(Data(), "ALTER TABLE EmbarqueCTPAT DROP COLUMN VALOR1; INSERT INTO EmbarqueCTPAT (UNICO) VALUES (7);");
  PressSchemaButton(ui);
  EXPECT_TRUE(ui.boxes.empty()) << ui.boxes[0].caption << ": " << ui.boxes[0].text;
  EXPECT_EQ(sql_->statements, std::vector<std::string>{"REFERENCIAS: drop table EmbarqueCTPAT"});
  EXPECT_EQ(Query(Data(), "SELECT count(*) FROM pragma_table_info('EmbarqueCTPAT') WHERE name = 'VALOR1'"),
            std::vector<std::string>{"1"});
  EXPECT_EQ(Query(Data(), "SELECT count(*) FROM EmbarqueCTPAT"), std::vector<std::string>{"0"});
  // It opens now: the next run sends nothing.
  Migrate();
  EXPECT_TRUE(sql_->statements.empty()) << sql_->statements[0];
}

}  // namespace
namespace {

TEST_P(Migration, LocalFileOfRefereExtCoveArrivesInKeyOrderWithItsValuesCarriedThenIsRemoved) {
  // Three records out of order, with dates and times that no calendar holds.
  Exec("XRefereExtCove.TPS",
       LocalCoveTable("XRefereExtCove") +
           "INSERT INTO XRefereExtCove (UNICO, UNICOREFERE, TIPO, FACTURA, TIPOCAMBIO, INDUSTRIAAUTOMOTRIZ, "
           "FECHA_EXPED, FECHA_EXPED_SQLDATETIMEFIELD, FECHA_MOD, HORA_MOD_SQLDATEDATEFIELD, HORA_MOD, USER_MOD, "
           "HORA_MODX, NOMBREARCHIVOXML, EDOCUMENT) VALUES"
           " (30, 3, 'I', 'F-30', 17.25, 1, '2015-02-30', '11:11:11.11', '2015-00-10', '2020-05-05', '24:00:00.00', "
           "'AB', 9, 'x30.xml', 'E30'),"
           " (10, 1, 'E', 'F-10', 18.5, 1, '2015-03-00', NULL, '10000-01-01', NULL, NULL, 'DE', 0, NULL, NULL),"
           " (20, 2, 'I', 'F-20', 19, 0, '2015-13-05', NULL, NULL, NULL, '13:45:10.25', 'GH', '1', '', '');");
  testsupport::FakeWindowLayer ui;
  Migrate();
  EXPECT_TRUE(migrated_);
  EXPECT_TRUE(ui.boxes.empty()) << ui.boxes[0].caption << ": " << ui.boxes[0].text;
  // In ascending UNICO; UNICOHCOVE 0; the time part of each date empty, the date
  // part of HORA_MOD 1 January 1900; dates and times carried through the calendar.
  EXPECT_EQ(Query(Data(), "SELECT UNICO, UNICOREFERE, UNICOHCOVE, TIPO, FACTURA, TIPOCAMBIO, FECHA_EXPED_SQLDATEHANDLE,"
                          " FECHA_MOD_SQLDATEHANDLE, HORA_MOD_SQLDATEHANDLE, USER_MOD, HORA_MODX, NOMBREARCHIVOXML,"
                          " EDOCUMENT FROM RefereExtCove ORDER BY rowid"),
            (std::vector<std::string>{
                "10|1|0|E|F-10|18.5|2015-02-28 00:00:00.000|9999-12-31 00:00:00.000|1900-01-01 00:00:00.000|DE|0||",
                "20|2|0|I|F-20|19.0|2016-01-05 00:00:00.000|NULL|1900-01-01 13:45:10.250|GH|1||",
                "30|3|0|I|F-30|17.25|2015-03-02 00:00:00.000|NULL|1900-01-01 00:00:00.000|AB|9|x30.xml|E30"}));
  EXPECT_FALSE(fs::exists("XRefereExtCove.TPS"));
}

TEST_P(Migration, LocalFileOfRefereExtCoveEqKeepsItsTextsApartDropsIndustriaAndStays) {
  Exec("xrefereextcoveeq.tps",
       LocalCoveTable("XRefereExtCoveEq") +
           "INSERT INTO XRefereExtCoveEq (UNICO, INDUSTRIAAUTOMOTRIZ, NOMBREARCHIVOXML, EDOCUMENT, FECHA_EXPED) VALUES"
           " (2, 1, 'b.xml', 'EB', ''), (1, 7, 'a.xml', 'EA', '2024-02-29');");
  testsupport::FakeWindowLayer ui;
  Migrate();
  EXPECT_TRUE(ui.boxes.empty()) << ui.boxes[0].caption << ": " << ui.boxes[0].text;
  EXPECT_EQ(Query(Data(), "SELECT UNICO, INDUSTRIAAUTOMOTRIZ, NOMBREARCHIVOXML, EDOCUMENT, FECHA_EXPED_SQLDATEHANDLE"
                          " FROM RefereExtCoveEq ORDER BY rowid"),
            (std::vector<std::string>{"1|0|a.xml|EA|2024-02-29 00:00:00.000", "2|0|b.xml|EB|NULL"}));
  EXPECT_TRUE(fs::exists("xrefereextcoveeq.tps"));
}


// Texts of a local file are UTF-8; they arrive as written, accents, the euro
// sign and a field's whole length included.
TEST_P(Migration, TextsOfALocalFileArriveAsTheyWereWritten) {
  std::string accented;
  for (int i = 0; i < 127; ++i) accented += "ñÁ";  // 254 characters, 508 bytes of UTF-8
  Exec("XRefereExtCove.TPS", LocalCoveTable("XRefereExtCove") +
                                 "INSERT INTO XRefereExtCove (UNICO, IDENTIFICACION, FACTURA, OBSERVACIONES) VALUES"
                                 " (1, 'Ávila', '€ 5 «año»', '" + accented + "');");
  testsupport::FakeWindowLayer ui;
  Migrate();
  EXPECT_TRUE(migrated_);
  EXPECT_TRUE(ui.boxes.empty()) << ui.boxes[0].caption << ": " << ui.boxes[0].text;
  EXPECT_EQ(Query(Data(), "SELECT IDENTIFICACION, FACTURA, OBSERVACIONES = '" + accented +
                              "', length(OBSERVACIONES) FROM RefereExtCove"),
            std::vector<std::string>{"Ávila|€ 5 «año»|1|254"});
}

// The rows of a renamed table, in the old layout, as a rename on the server leaves them.
void OldCoveRow(rt::FileBlock& x, int32_t unico, const char* factura, rt::DateStorage fechaMod) {
  Record(x).Long("UNICO", unico).Text("FACTURA", factura).Byte("INDUSTRIAAUTOMOTRIZ", 1).Date("FECHA_MOD", fechaMod)
      .Time("HORA_MOD", {0, 30, 15, 9}).Text("USER_MOD", "OLD");
}

// The local file's record of the same values as OldCoveRow's row.
std::string LocalCoveRow(int32_t unico, const std::string& factura, const std::string& fechaMod) {
  return "(" + std::to_string(unico) + ", '" + factura + "', 1, '" + fechaMod + "', '9:15:30', 'OL')";
}
constexpr const char* kLocalCoveColumns = "(UNICO, FACTURA, INDUSTRIAAUTOMOTRIZ, FECHA_MOD, HORA_MOD, USER_MOD)";

TEST_P(Migration, RowsOfTheRenamedTableArriveBeforeTheLocalRecordsThenItIsDropped) {
  rt::FileBlock& x = OldTable("XRefereExtCove1");
  for (int32_t unico = 200; unico >= 1; --unico) {
    OldCoveRow(x, unico, ("T-" + std::to_string(unico)).c_str(), {31, 12, 2019});
    Add(x);
  }
  rt::CLOSE(x);
  // The local file repeats the table's rows (an overlap passed over without a
  // word), holds six rows of their keys with other values, and one new record.
  std::string records;
  for (int32_t unico = 1; unico <= 200; ++unico)
    records += LocalCoveRow(unico, (unico % 40 == 2 ? "L-" : "T-") + std::to_string(unico), "2019-12-31") + ",";
  Exec("XRefereExtCove.TPS", LocalCoveTable("XRefereExtCove") + "INSERT INTO XRefereExtCove " + kLocalCoveColumns +
                                 " VALUES " + records + LocalCoveRow(201, "L-201", "2020-01-01") + ";");
  testsupport::FakeWindowLayer ui;
  Migrate();
  EXPECT_TRUE(migrated_);
  // The table's own rows win; the user hears once how many records were not taken.
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].caption, "Aviso");
  EXPECT_EQ(ui.boxes[0].text,
            "5 registros del archivo local XRefereExtCove.TPS no se tomaron: RefereExtCove ya tiene otra fila con su "
            "clave (UNICO 2, 42, 82, 122, 162).|El archivo se conserva.");
  EXPECT_EQ(Query(Data(), "SELECT count(*), sum(FACTURA = 'T-' || UNICO) FROM RefereExtCove WHERE UNICO <= 200"),
            std::vector<std::string>{"200|200"});
  EXPECT_EQ(Query(Data(), "SELECT UNICO, FACTURA, FECHA_MOD_SQLDATEHANDLE, HORA_MOD_SQLDATEHANDLE, USER_MOD"
                          " FROM RefereExtCove WHERE UNICO IN (1, 201) ORDER BY UNICO"),
            (std::vector<std::string>{"1|T-1|2019-12-31 00:00:00.000|1900-01-01 09:15:30.000|OL",
                                      "201|L-201|2020-01-01 00:00:00.000|1900-01-01 09:15:30.000|OL"}));
  EXPECT_FALSE(HasTable(Data(), "XRefereExtCove"));
  // Records not taken are still in the file.
  EXPECT_TRUE(fs::exists("XRefereExtCove.TPS"));

  // The next run finds the table current: nothing is read and nothing is said.
  ExpectAnotherRunDoesNothingTo("RefereExtCove");
  EXPECT_TRUE(local_->opened.empty());
}

TEST_P(Migration, ARenamedTableLeftByAnEarlierRunIsFinishedOrKeptWhole) {
  rt::FileBlock& x = OldTable("XRefereExtCoveEq1");
  OldCoveRow(x, 1, "T-1", {1, 2, 2020});
  Add(x);
  rt::CLOSE(x);
  testsupport::FakeWindowLayer first;
  Migrate();
  ASSERT_TRUE(first.boxes.empty()) << first.boxes[0].text;
  ASSERT_FALSE(HasTable(Data(), "XRefereExtCoveEQ"));

  // As an earlier program left it when it stopped after carrying row 1: the
  // new table holds row 1, the renamed table still holds rows 1 and 2.
  rt::FileBlock& again = OldTable("XRefereExtCoveEq1", Where::kRenamed);
  OldCoveRow(again, 1, "T-1", {1, 2, 2020});
  Add(again);
  OldCoveRow(again, 2, "T-2", {1, 2, 2020});
  Add(again);
  testsupport::FakeWindowLayer resumed;
  Migrate();
  EXPECT_TRUE(resumed.boxes.empty()) << resumed.boxes[0].text;
  EXPECT_EQ(Sent("REFERENCIAS: SP_RENAME RefereExtCoveEQ,XRefereExtCoveEQ"), 0u);
  EXPECT_EQ(Sent("REFERENCIAS: drop table XRefereExtCoveEQ"), 1u);
  EXPECT_EQ(Query(Data(), "SELECT UNICO, FACTURA FROM RefereExtCoveEq ORDER BY rowid"),
            (std::vector<std::string>{"1|T-1", "2|T-2"}));
  EXPECT_FALSE(HasTable(Data(), "XRefereExtCoveEQ"));

  // Renamed rows whose keys the new table holds with other values cannot
  // arrive, and the new table's rows may not be lost either: both tables stay
  // as they were, the user is told once, and the run goes on.
  rt::FileBlock& clash = OldTable("XRefereExtCoveEq1", Where::kRenamed);
  OldCoveRow(clash, 2, "OTRA", {1, 2, 2020});
  Add(clash);
  OldCoveRow(clash, 3, "T-3", {1, 2, 2020});
  Add(clash);
  testsupport::FakeWindowLayer kept;
  Migrate();
  EXPECT_TRUE(migrated_);
  ASSERT_EQ(kept.boxes.size(), 1u);
  EXPECT_EQ(kept.boxes[0].caption, "Error");
  EXPECT_EQ(kept.boxes[0].text,
            "No se pudo terminar la migración de RefereExtCoveEQ: 1 fila de XRefereExtCoveEQ tiene la clave de otra "
            "fila de RefereExtCoveEQ con otros valores (UNICO 2).|Las dos tablas quedan como estaban.");
  EXPECT_EQ(Sent("REFERENCIAS: drop table XRefereExtCoveEQ"), 0u);
  EXPECT_EQ(Query(Data(), "SELECT UNICO, FACTURA FROM XRefereExtCoveEQ ORDER BY UNICO"),
            (std::vector<std::string>{"2|OTRA", "3|T-3"}));
  EXPECT_EQ(Query(Data(), "SELECT UNICO, FACTURA FROM RefereExtCoveEq ORDER BY rowid"),
            (std::vector<std::string>{"1|T-1", "2|T-2"}));
}

// Runs the migration in a process of its own up to stop (see
// tests/support/migration_child), kills it there and waits for its end.
void RunKilledAt(const fs::path& data, const fs::path& server, const std::string& stop) {
  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  const std::string dataDb = data.string(), serverDb = server.string();
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::dup2(out[1], STDOUT_FILENO);
    ::close(out[0]);
    ::close(out[1]);
    ::execl(MIGRATION_CHILD, "migration_child", dataDb.c_str(), serverDb.c_str(), stop.c_str(),
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(out[1]);
  std::string said;
  pollfd ready{out[0], POLLIN, 0};
  while (said.find('\n') == std::string::npos && ::poll(&ready, 1, 60000) > 0) {
    char buf[64];
    const ssize_t n = ::read(out[0], buf, sizeof buf);
    if (n <= 0) break;
    said.append(buf, static_cast<size_t>(n));
  }
  ::close(out[0]);
  ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_EQ(said, "stopped\n");
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
}

TEST_P(Migration, ARunKilledAnywhereInATableMigrationLeavesItAsItWasAndTheNextRunDoesItWhole) {
  struct Case {
    const char* where;
    bool renamedRows;  // an old table with two rows is there
    const char* stop;
  };
  const Case cases[] = {
      {"before any row arrived", true, "add:RefereExtCove:1"},
      {"after one row of the renamed table", true, "add:RefereExtCove:2"},
      {"after the renamed table's rows, before the local file's", true, "add:RefereExtCove:3"},
      {"with the local records half carried", true, "add:RefereExtCove:20"},
      {"right before the drop", true, "sql:drop table XRefereExtCove"},
      {"a new database, the local records half carried", false, "add:RefereExtCove:19"},
  };
  std::vector<std::string> want;
  std::string records;
  for (int32_t unico = 3; unico <= 40; ++unico) {
    records += std::string(unico > 3 ? "," : "") + "(" + std::to_string(unico) + ", 'L-" + std::to_string(unico) + "')";
    want.push_back(std::to_string(unico) + "|L-" + std::to_string(unico) + "|NULL");
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.where);
    Exec(Data(), "DROP TABLE IF EXISTS RefereExtCove; DROP TABLE IF EXISTS XRefereExtCove;");
    std::vector<std::string> rows;
    if (c.renamedRows) {
      rt::FileBlock& x = OldTable("XRefereExtCove1");
      for (int32_t unico : {2, 1}) {
        OldCoveRow(x, unico, ("T-" + std::to_string(unico)).c_str(), {31, 12, 2019});
        Add(x);
      }
      rt::CLOSE(x);
      rows = {"1|T-1|2019-12-31 00:00:00.000", "2|T-2|2019-12-31 00:00:00.000"};
    }
    rows.insert(rows.end(), want.begin(), want.end());
    fs::remove("XRefereExtCove.TPS");
    Exec("XRefereExtCove.TPS",
         LocalCoveTable("XRefereExtCove") + "INSERT INTO XRefereExtCove (UNICO, FACTURA) VALUES " + records + ";");

    const std::string schema = "SELECT name, sql FROM sqlite_master ORDER BY name";
    const std::vector<std::string> before = Query(Data(), schema);
    RunKilledAt(Data(), Server(), c.stop);
    // Each table is either as it was or migrated whole: here, as it was.
    EXPECT_EQ(Query(Data(), schema), before);
    if (c.renamedRows) {
      EXPECT_EQ(Query(Data(), std::string("SELECT count(*) FROM ") + (StandIn() ? "RefereExtCove" : "XRefereExtCove")),
                std::vector<std::string>{"2"});
    }
    EXPECT_TRUE(fs::exists("XRefereExtCove.TPS"));
    testsupport::FakeWindowLayer ui;
    Migrate();
    EXPECT_TRUE(migrated_);
    EXPECT_TRUE(ui.boxes.empty()) << ui.boxes[0].caption << ": " << ui.boxes[0].text;
    EXPECT_EQ(Query(Data(), "SELECT UNICO, FACTURA, FECHA_MOD_SQLDATEHANDLE FROM RefereExtCove ORDER BY UNICO"), rows);
    EXPECT_FALSE(HasTable(Data(), "XRefereExtCove"));
    EXPECT_FALSE(fs::exists("XRefereExtCove.TPS"));
    ExpectAnotherRunDoesNothingTo("RefereExtCove");
  }
}

TEST_P(Migration, UsersPassMovesEachDatabasePasswordIntoUsuarExt) {
  // In one run, and in runs killed right before USUAR_EXT's renamed table was
  // dropped and in the middle of the users pass (adding user D's row), each of
  // which leaves every password in USUAR for the next run to move.
  for (const char* killedAt : {"", "sql:drop table XUSUAR_EXT", "add:USUAR_EXT:2"}) {
    SCOPED_TRACE(*killedAt ? std::string("killed at ") + killedAt + ", then run again" : "in one run");
    Exec(Server(), "DROP TABLE IF EXISTS USUAR; DROP TABLE IF EXISTS USUAR_EXT; DROP TABLE IF EXISTS XUSUAR_EXT;");
    // USUAR holds four users; the old USUAR_EXT holds a row of user C.
    dict::DictTableRelations& usersRel = *dict::TableRelationsRef("USUAR");
    usersRel.OpenWithRelated(false);
    rt::FileBlock& user = dict::FileOf("USUAR");
    const std::pair<const char*, const char*> users[] = {{"A", ""}, {"B", "   "}, {"C", "claveC"}, {"D", "claveD"}};
    int32_t unico = 0;
    for (const auto& [code, password] : users) {
      Record(user).Long("UNICO", ++unico).Text("CODIGO", code).Text("DBPASSWORD", password).Text("NOM_US", code);
      ASSERT_EQ(dict::TableManagerRef("USUAR")->AddRecord(), classlib::ResultOk);
    }
    usersRel.CloseWithRelated(false);
    rt::FileBlock& x = OldTable("XUSUAR_EXT");
    Record(x).Text("CODIGO", "C").Date("FECHA_ALTA", {5, 6, 2001}).Date("FECHA_BAJA", {1, 5, 2001})
        .Time("HORA_MOD", {0, 0, 30, 10}).Text("USER_MOD", "ZZ").Byte("MIN_MODX", 7);
    Add(x);
    rt::CLOSE(x);

    if (*killedAt) {
      RunKilledAt(Data(), Server(), killedAt);
      EXPECT_EQ(Query(Server(), "SELECT CODIGO, DBPASSWORD FROM USUAR ORDER BY CODIGO"),
                (std::vector<std::string>{"A|", "B|   ", "C|claveC", "D|claveD"}));
    }
    testsupport::FakeWindowLayer ui;
    Migrate();
    EXPECT_TRUE(ui.boxes.empty()) << ui.boxes[0].caption << ": " << ui.boxes[0].text;
    EXPECT_EQ(Sent("USUAR_EXT: SP_RENAME USUAR_EXT,XUSUAR_EXT"), 1u);
    EXPECT_EQ(sql_->statements.back(), "USUAR_EXT: drop table XUSUAR_EXT");
    EXPECT_FALSE(HasTable(Server(), "XUSUAR_EXT"));
    EXPECT_EQ(app::XUSE1Name().Get(), "XUSUAR_EXT");

    const rt::DateStorage today = rt::DateToStorage(rt::TODAY());
    char todayText[16];
    std::snprintf(todayText, sizeof todayText, "%04u-%02u-%02u", unsigned{today.year}, unsigned{today.month},
                  unsigned{today.day});
    const std::vector<std::string> rows =
        Query(Server(), "SELECT CODIGO, PUESTO, FECHA_ALTA_SQLDATEHANDLE, FECHA_BAJA_SQLDATEHANDLE,"
                        " FECHA_MOD_SQLDATEHANDLE, substr(HORA_MOD_SQLDATEHANDLE, 1, 10), USER_MOD, MIN_MODX"
                        " FROM USUAR_EXT ORDER BY CODIGO");
    ASSERT_EQ(rows.size(), 2u);
    // C kept its carried row, PUESTO aside; D got a new row.
    EXPECT_EQ(rows[0], "C|claveC|2001-06-05 00:00:00.000|2001-05-01 00:00:00.000|NULL|1900-01-01|ZZ|7");
    EXPECT_EQ(rows[1], "D|claveD|1900-01-01 00:00:00.000|1900-01-01 00:00:00.000|" + std::string(todayText) +
                           " 00:00:00.000|1900-01-01|D|0");
    EXPECT_EQ(Query(Server(), "SELECT CODIGO, DBPASSWORD FROM USUAR ORDER BY CODIGO"),
              (std::vector<std::string>{"A|", "B|   ", "C|", "D|"}));
  }
}

// A local file that is there but cannot be read is not a missing file: the
// user is told which file, why, and for a value the record, the column and
// the value; that table's migration is not made (nothing changes on the
// server, the file stays) and the run stops before the creation. Once the
// cause is removed, the next run carries every record.
TEST_P(Migration, AnUnreadableLocalFileIsToldChangesNothingAndIsCarriedOnceMended) {
  const std::string good = LocalCoveTable("XRefereExtCove") +
                           "INSERT INTO XRefereExtCove (UNICO, UNICOREFERE, FACTURA, FECHA_MOD, HORA_MOD, HORA_MODX)"
                           " VALUES (7, 70, 'F-7', '2015-02-28', '10:00:00', 1), (8, 80, 'F-8', '', '', 2);";
  struct Case {
    const char* what;
    std::string sql;    // made into the file; empty: another process is writing the good file
    const char* reason;
  };
  auto bad = [&](const char* column, const std::string& value) {
    return good + "UPDATE XRefereExtCove SET " + column + " = " + value + " WHERE UNICO = 8;";
  };
  const Case cases[] = {
      {"columns of another layout", "CREATE TABLE XRefereExtCove (UNICO INTEGER, FACTURA TEXT);",
       "Its table XRefereExtCove has no column UNICOREFERE."},
      {"not an SQLite database", "", "The file is not an SQLite database."},
      {"written by another process", "", "Another process is writing the file."},
      {"a date no storage holds", bad("FECHA_MOD", "'2015-02-300'"),
       "Record UNICO 8, column FECHA_MOD: \"2015-02-300\" is not a date written year-month-day."},
      {"a date that is no date", bad("FECHA_MOD", "'abc'"),
       "Record UNICO 8, column FECHA_MOD: \"abc\" is not a date written year-month-day."},
      {"a time that is no time", bad("HORA_MOD", "'10h'"),
       "Record UNICO 8, column HORA_MOD: \"10h\" is not a time written hours:minutes:seconds.hundredths."},
      {"a LONG past its range", bad("UNICOREFERE", "4294967297"),
       "Record UNICO 8, column UNICOREFERE: 4294967297 is outside the field's range (-2147483648 to 2147483647)."},
      {"a key past its range", bad("UNICO", "5000000000"),
       "Record UNICO 5000000000, column UNICO: 5000000000 is outside the field's range (-2147483648 to "
       "2147483647)."},
      {"a BYTE past its range", bad("HORA_MODX", "300"),
       "Record UNICO 8, column HORA_MODX: 300 is outside the field's range (0 to 255)."},
      {"a negative BYTE", bad("HORA_MODX", "-1"),
       "Record UNICO 8, column HORA_MODX: -1 is outside the field's range (0 to 255)."},
      {"text in a number column", bad("UNICOREFERE", "'abc'"),
       "Record UNICO 8, column UNICOREFERE: \"abc\" is not a whole number."},
      {"a number followed by text", bad("UNICOREFERE", "'4x'"),
       "Record UNICO 8, column UNICOREFERE: \"4x\" is not a whole number."},
      {"a character Windows-1252 lacks", bad("FACTURA", "'Жук'"),
       "Record UNICO 8, column FACTURA: \"???\" holds a character that Windows-1252 cannot hold (U+0416)."},
      {"a text longer than its field", bad("FACTURA", "'" + std::string(21, 'x') + "'"),
       "Record UNICO 8, column FACTURA: \"xxxxxxxxxxxxxxxxxxxxx\" has 21 characters, more than the field's 20."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Exec(Data(), "DROP TABLE IF EXISTS RefereExtCove; DROP TABLE IF EXISTS XRefereExtCove;");
    // On the stand-in an old table waits under its own name to be renamed.
    if (StandIn()) {
      rt::FileBlock& old = OldTable("XRefereExtCove1");
      OldCoveRow(old, 1, "T-1", {31, 12, 2019});
      Add(old);
      rt::CLOSE(old);
    }
    const std::string objects =
        "SELECT name, sql FROM sqlite_master WHERE tbl_name IN ('RefereExtCove', 'XRefereExtCove') ORDER BY name";
    const std::vector<std::string> before = Query(Data(), objects);
    fs::remove("XRefereExtCove.TPS");
    if (std::string(c.what) == "not an SQLite database") std::ofstream("XRefereExtCove.TPS") << "UNICO,FACTURA\n7,F-7\n";
    else Exec("XRefereExtCove.TPS", c.sql.empty() ? good : c.sql);
    // Another process in the middle of writing the file.
    sqlite3* writer = nullptr;
    if (std::string(c.what) == "written by another process") {
      ASSERT_EQ(sqlite3_open("XRefereExtCove.TPS", &writer), SQLITE_OK);
      ASSERT_EQ(sqlite3_exec(writer, "BEGIN IMMEDIATE; DELETE FROM XRefereExtCove WHERE UNICO = 8;", nullptr,
                             nullptr, nullptr), SQLITE_OK);
    }
    const std::string file = Bytes("XRefereExtCove.TPS");

    testsupport::FakeWindowLayer ui;
    Migrate();
    EXPECT_FALSE(migrated_);
    ASSERT_GE(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].caption, "Error");
    EXPECT_EQ(ui.boxes[0].text, "No se pudo leer el archivo local XRefereExtCove.TPS; no se migró RefereExtCove.|" +
                                    std::string(c.reason) +
                                    "|En el servidor nada cambió y el archivo se conserva: la próxima creación del "
                                    "esquema lo intentará de nuevo.");
    EXPECT_EQ(ui.boxes.size(), 1u) << ui.boxes.back().text;
    EXPECT_EQ(Query(Data(), objects), before);
    EXPECT_EQ(Bytes("XRefereExtCove.TPS"), file);

    // The cause removed, the next run carries every record.
    if (writer) {
      sqlite3_exec(writer, "ROLLBACK", nullptr, nullptr, nullptr);
      sqlite3_close(writer);
    } else {
      fs::remove("XRefereExtCove.TPS");
      Exec("XRefereExtCove.TPS", good);
    }
    testsupport::FakeWindowLayer mended;
    Migrate();
    EXPECT_TRUE(migrated_);
    EXPECT_TRUE(mended.boxes.empty()) << mended.boxes[0].text;
    std::vector<std::string> rows = {"7|70|F-7|2015-02-28 00:00:00.000|1", "8|80|F-8|NULL|2"};
    if (StandIn()) rows.insert(rows.begin(), "1|0|T-1|2019-12-31 00:00:00.000|0");
    EXPECT_EQ(Query(Data(), "SELECT UNICO, UNICOREFERE, FACTURA, FECHA_MOD_SQLDATEHANDLE, HORA_MODX FROM RefereExtCove"
                            " ORDER BY UNICO"),
              rows);
    EXPECT_FALSE(fs::exists("XRefereExtCove.TPS"));
    ExpectAnotherRunDoesNothingTo("RefereExtCove");
  }
}

// A file that cannot be read stops the press before the creation loop opens
// its window; the press after the file is mended creates everything.
TEST_P(Migration, AnUnreadableLocalFileStopsThePressBeforeTheCreation) {
  Exec("XRefereExtCove.TPS", LocalCoveTable("XRefereExtCove") + "INSERT INTO XRefereExtCove (UNICO) VALUES ('x');");
  testsupport::FakeWindowLayer ui;
  PressSchemaButton(ui);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].caption, "Error");
  EXPECT_FALSE(ui.Latest(app::kProgressLabel)->opened);
  EXPECT_FALSE(HasTable(Data(), "REFERE"));
  Exec("XRefereExtCove.TPS", "UPDATE XRefereExtCove SET UNICO = 1;");
  testsupport::FakeWindowLayer mended;
  PressSchemaButton(mended);
  EXPECT_TRUE(mended.boxes.empty()) << mended.boxes[0].text;
  EXPECT_TRUE(HasTable(Data(), "REFERE"));
  EXPECT_EQ(Query(Data(), "SELECT UNICO FROM RefereExtCove"), std::vector<std::string>{"1"});
}

// A record the server refuses for another reason than its key undoes the
// table's migration: the file stays, and the next run carries it whole. So
// does a refusal answered as a duplicate key whose key the table does not hold
// (a server may give every constraint one code).
TEST_P(Migration, ARecordRefusedByTheServerUndoesTheMigrationAndKeepsTheFile) {
  struct Case {
    const char* what;
    int code;
    const char* error;
  };
  const Case cases[] = {
      {"a refusal", rt::kFileSystemError, "File System Error"},
      {"a duplicate key the table does not hold", rt::kCreatesDuplicateKey, "Creates Duplicate Key"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Exec(Data(), "DROP TABLE IF EXISTS RefereExtCove;");
    fs::remove("XRefereExtCove.TPS");
    Exec("XRefereExtCove.TPS", LocalCoveTable("XRefereExtCove") +
                                   "INSERT INTO XRefereExtCove (UNICO) VALUES (1), (2), (3), (4), (5);");
    testsupport::FakeWindowLayer ui;
    MigrateRefusingAdd("RefereExtCove", 3, c.code);
    EXPECT_FALSE(migrated_);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "No se pudo migrar RefereExtCove.|" + std::string(c.error) +
                                    " (HY000) Refused by the server|En el servidor nada cambió; la próxima "
                                    "creación del esquema lo intentará de nuevo.");
    EXPECT_FALSE(HasTable(Data(), "RefereExtCove"));
    EXPECT_TRUE(fs::exists("XRefereExtCove.TPS"));
    testsupport::FakeWindowLayer again;
    Migrate();
    EXPECT_TRUE(migrated_);
    EXPECT_TRUE(again.boxes.empty()) << again.boxes[0].text;
    EXPECT_EQ(Query(Data(), "SELECT count(*) FROM RefereExtCove"), std::vector<std::string>{"5"});
    EXPECT_FALSE(fs::exists("XRefereExtCove.TPS"));
  }
}

// A statement the server refuses in the middle of a table's migration undoes
// all of it: here the drop of a "renamed table" that is a view.
TEST_P(Migration, ARefusalInTheMiddleUndoesTheWholeMigration) {
  rt::FileBlock& x = OldTable("XRefereExtCove1", Where::kRenamed);
  OldCoveRow(x, 1, "T-1", {31, 12, 2019});
  Add(x);
  rt::CLOSE(x);
  Exec(Data(), "ALTER TABLE XRefereExtCove RENAME TO OLDROWS; CREATE VIEW XRefereExtCove AS SELECT * FROM OLDROWS;");
  Exec("XRefereExtCove.TPS", LocalCoveTable("XRefereExtCove") + "INSERT INTO XRefereExtCove (UNICO) VALUES (2);");
  testsupport::FakeWindowLayer ui;
  Migrate();
  EXPECT_FALSE(migrated_);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].caption, "Error");
  EXPECT_EQ(ui.boxes[0].text.rfind("No se pudo migrar RefereExtCove.|", 0), 0u) << ui.boxes[0].text;
  EXPECT_NE(ui.boxes[0].text.find("|En el servidor nada cambió; la próxima creación del esquema lo intentará de "
                                  "nuevo."), std::string::npos) << ui.boxes[0].text;
  EXPECT_EQ(Sent("REFERENCIAS: drop table XRefereExtCove"), 1u);
  EXPECT_FALSE(HasTable(Data(), "RefereExtCove"));
  EXPECT_EQ(Query(Data(), "SELECT UNICO, FACTURA FROM XRefereExtCove"), std::vector<std::string>{"1|T-1"});
  EXPECT_TRUE(fs::exists("XRefereExtCove.TPS"));
}

INSTANTIATE_TEST_SUITE_P(Backends, Migration, ::testing::Values("SQLite", "SqlServerStandIn"),
                         [](const auto& info) { return info.param; });

// On PostgreSQL a refused statement ends the transaction it runs in: there the
// refused rename starts the transaction afresh, and records met twice are
// recognised before they are sent, so every migration still takes effect.
TEST(MigrationOnPostgreSQL, RecordsMetTwiceAreRecognisedBeforeTheyAreSent) {
  const auto pg = testsupport::UsePgTestServer();
  if (!pg) GTEST_SKIP() << "no PostgreSQL test server";
  const std::string data = pg->ConnectionString("ortavia_data"), server = pg->ConnectionString("ortavia_server");
  // The ODBC driver's own statement-level rollback, and the server's plain
  // behaviour, where a refused statement leaves the transaction refusing all.
  for (const std::string extra : {"", ",Protocol=7.4-0"}) {
    SCOPED_TRACE(extra.empty() ? "the ODBC driver's settings" : "the server's own rollback");
    ASSERT_TRUE(testsupport::EmptySchema(data));
    ASSERT_TRUE(testsupport::EmptySchema(server));
    testsupport::ProgramState state(
        {.folder = "ortavia-migration-pg-",
         .sqlDriver = "PostgreSQL Unicode",
         .drivers = true,
         .owners = testsupport::Owners{rt::BuildOwner("127.0.0.1", "ortavia_data", pg->login, pg->password) + extra,
                                       rt::BuildOwner("127.0.0.1", "ortavia_server", pg->login, pg->password) + extra}});
    // USUAR holds users C and D with database passwords.
    dict::DictTableRelations& usersRel = *dict::TableRelationsRef("USUAR");
    usersRel.OpenWithRelated(false);
    int32_t unico = 0;
    for (const char* code : {"C", "D"}) {
      Record(dict::FileOf("USUAR")).Long("UNICO", ++unico).Text("CODIGO", code).Text("DBPASSWORD", std::string("clave") + code);
      ASSERT_EQ(dict::TableManagerRef("USUAR")->AddRecord(), classlib::ResultOk);
    }
    usersRel.CloseWithRelated(false);
    // Record 2 twice the same, record 3 twice with other values.
    Exec("XRefereExtCove.TPS", testsupport::LocalCoveTable("XRefereExtCove") +
                                   "INSERT INTO XRefereExtCove (UNICO, FACTURA) VALUES"
                                   " (3, 'C'), (2, 'B'), (1, 'A'), (2, 'B'), (3, 'OTRA'), (4, 'Ávila');");
    Exec("XUSUAR_EXT.TPS", testsupport::LocalUsersTable() +
                               "INSERT INTO XUSUAR_EXT (CODIGO, FECHA_ALTA, USER_MOD) VALUES ('C', '2001-06-05', 'ZZ');");

    for (const bool first : {true, false}) {
      SCOPED_TRACE(first ? "first run" : "second run");
      testsupport::FakeWindowLayer ui;
      bool migrated = false;
      try {
        migrated = app::MigrateStructures();
      } catch (const rt::ProgramHalted&) {
        ADD_FAILURE() << "the program ended";
      }
      EXPECT_TRUE(migrated);
      if (first) {
        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_EQ(ui.boxes[0].text,
                  "1 registro del archivo local XRefereExtCove.TPS no se tomó: RefereExtCove ya tiene otra fila con "
                  "su clave (UNICO 3).|El archivo se conserva.");
      } else {
        EXPECT_TRUE(ui.boxes.empty()) << ui.boxes[0].text;
      }
      EXPECT_EQ(testsupport::Rows(data, "SELECT unico || '|' || factura FROM refereextcove ORDER BY unico"),
                (std::vector<std::string>{"1|A", "2|B", "3|C", "4|Ávila"}));
      EXPECT_EQ(testsupport::Rows(server, "SELECT codigo || '|' || puesto || '|' || user_mod FROM usuar_ext"
                                          " ORDER BY codigo"),
                (std::vector<std::string>{"C|claveC|ZZ", "D|claveD|D"}));
      EXPECT_EQ(testsupport::Rows(server, "SELECT codigo || '|' || dbpassword FROM usuar ORDER BY codigo"),
                (std::vector<std::string>{"C|", "D|"}));
    }
  }
}
}  // namespace
