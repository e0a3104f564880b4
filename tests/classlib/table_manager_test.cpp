// The table manager: set-up, lazy opening with creation of a missing table,
// and the error reports of each file statement.
#include <gtest/gtest.h>

#include <cstring>

#include "classlib/fixtures.h"
#include "classlib/table_manager.h"

namespace testsupport {
namespace {

using classlib::ResultHardFail;
using classlib::ResultOk;
using classlib::ResultSoftFail;
using classlib::TableManager;

class TableManagerTest : public ClasslibTest {
 protected:
  void SetUp() override {
    ClasslibTest::SetUp();
    table = MakeCustomers(driverName);
  }
  // A manager set up as the dictionary does it, with the table's keys registered.
  void Prepare(TableManager& m, const std::vector<std::string>& descriptions = {"CLI:pk_id", "Por nombre",
                                                                                 "CLI:KEY_CODE"}) {
    m.SetFileNameValue(table->decl.label);
    m.SetErrorReporter(reporter);
    m.file = table->block.get();
    m.Setup();
    m.CompleteSetup(*table->block, reporter);
    for (size_t i = 0; i < table->block->keys().size(); ++i) m.RegisterKey(table->key(i), descriptions.at(i), false);
  }
  std::unique_ptr<TestTable> table;
};

TEST_F(TableManagerTest, SetupAndCompleteSetupSetTheMembers) {
  TableManager m;
  m.SetFileNameValue("Clientes label");
  m.Setup();
  EXPECT_TRUE(m.lazyOpen);
  EXPECT_EQ(m.opened, 0);
  EXPECT_FALSE(m.initialized);
  m.CompleteSetup(*table->block, reporter);
  EXPECT_TRUE(m.initialized);
  EXPECT_TRUE(m.create);
  EXPECT_EQ(m.lockRecover, 10);
  EXPECT_EQ(m.openMode(), 0x42);
  EXPECT_EQ(m.fileNameValue, "Clientes");  // the table's name replaces the label
  EXPECT_EQ(m.errors, &reporter);
  EXPECT_EQ(m.file, table->block.get());
  EXPECT_TRUE(driver->calls().size() <= 1);  // at most the name property: nothing opened
  EXPECT_EQ(driver->Count(DriverOp::Open), 0u);
}

TEST_F(TableManagerTest, RegisterKeyBuildsTheKeyEntries) {
  TableManager m;
  Prepare(m, {std::string(100, 'd'), "Por nombre", "CLI:KEY_CODE"});
  ASSERT_EQ(m.keys.size(), 3u);
  EXPECT_EQ(m.keys[0].description, std::string(80, 'd'));
  ASSERT_EQ(m.keys[0].fields.size(), 1u);
  EXPECT_EQ(m.keys[0].fields[0].name, "CLI:ID");
  EXPECT_EQ(m.keys[0].fields[0].field.address, table->field("CLI:ID"));
  EXPECT_EQ(m.keys[0].fields[0].field.type, 6);
  EXPECT_FALSE(m.keys[0].dups);
  // Case-insensitive key: string fields are wrapped, numbers are not.
  EXPECT_EQ(m.keys[1].fields[0].name, "UPPER(CLI:NAME)");
  EXPECT_TRUE(m.keys[1].noCase);
  ASSERT_EQ(m.keys[2].fields.size(), 2u);
  EXPECT_EQ(m.keys[2].fields[0].name, "UPPER(CLI:CODE)");
  EXPECT_TRUE(m.keys[2].fields[0].descending);
  EXPECT_EQ(m.keys[2].fields[1].name, "CLI:ID");
  EXPECT_FALSE(m.keys[2].fields[1].descending);
  EXPECT_TRUE(m.keys[2].dups);
  ASSERT_NE(m.primaryKey(), nullptr);
  EXPECT_EQ(m.primaryKey()->key, &table->key(0));
  EXPECT_FALSE(m.autoNumbered());
}

// The open step, as the driver answers OPEN, CREATE and BUILD.
TEST_F(TableManagerTest, OpenStepCreatesOrRebuildsWhereItCan) {
  struct Case {
    const char* name;
    std::vector<int> open, create, build;
    bool createFlag;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {"exists", {0}, {}, {}, true, {"Open Clientes"}},
      {"missing is created", {2, 0}, {0}, {}, true, {"Open Clientes", "Create Clientes", "Open Clientes"}},
      {"keys rebuilt", {46, 0}, {}, {0}, true, {"Open Clientes", "Build Clientes", "Open Clientes"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    driver->ClearCalls();
    for (int code : c.open) driver->Script(DriverOp::Open, {code});
    for (int code : c.create) driver->Script(DriverOp::Create, {code});
    for (int code : c.build) driver->Script(DriverOp::Build, {code});
    TableManager m;
    Prepare(m);
    m.create = c.createFlag;
    driver->ClearCalls();
    EXPECT_EQ(m.EnsureReady(classlib::UseAccess), ResultOk);
    std::vector<std::string> opens;
    for (const std::string& s : driver->CallLog()) {
      if (s.rfind("GetProperty", 0) != 0) opens.push_back(s);
    }
    EXPECT_EQ(opens, c.calls);
    EXPECT_TRUE(m.fileOpen());
    EXPECT_TRUE(layer.boxes.empty());
    m.Teardown();
  }
}

// Open failures are fatal: the message the user sees, then the end of the program.
TEST_F(TableManagerTest, OpenFailuresAreFatalWithTheirMessages) {
  struct Case {
    const char* name;
    std::vector<DriverAnswer> open, create, build;
    bool createFlag;
    const char* caption;
    const char* text;
  };
  const Case cases[] = {
      {"creation fails", {{2}}, {{90, "42000", "CREATE TABLE permission denied"}}, {}, true, "File Creation Error",
       "Error: (File System Error (42000) CREATE TABLE permission denied) creating Clientes."
       "  Press OK to end this application"},
      {"columns differ", {{47}}, {}, {}, true, "File Access Error",
       "File Clientes could not be opened.  Error: Invalid Record Declaration.  Press OK to end this application"},
      {"missing, no create", {{2}}, {}, {}, false, "File Access Error",
       "File Clientes could not be opened.  Error: File Not Found.  Press OK to end this application"},
      {"created but not opened", {{2}, {90, "08S01", "Communication link failure"}}, {{0}}, {}, true,
       "File Access Error",
       "File Clientes could not be opened.  Error: File System Error (08S01) Communication link failure."
       "  Press OK to end this application"},
      {"keys not rebuilt", {{46}}, {}, {{80}}, true, "Key was not built",
       "Error: (Function Not Supported) repairing key for Clientes.  Press OK to end this application"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    layer.boxes.clear();
    haltCode.reset();
    driver->Script(DriverOp::Open, c.open);
    driver->Script(DriverOp::Create, c.create);
    driver->Script(DriverOp::Build, c.build);
    TableManager m;
    Prepare(m);
    m.create = c.createFlag;
    EXPECT_TRUE(Halts([&] { m.EnsureReady(classlib::UseAccess); }));
    EXPECT_EQ(haltCode, classlib::kFatalExitCode);
    ASSERT_EQ(layer.boxes.size(), 1u);
    EXPECT_EQ(layer.boxes[0].caption, c.caption);
    EXPECT_EQ(layer.boxes[0].text, c.text);
    EXPECT_FALSE(m.fileOpen());
  }
}

TEST_F(TableManagerTest, LazyOpensAreCountedAndTheLastCloseClosesTheFile) {
  TableManager m;
  Prepare(m);
  driver->ClearCalls();
  EXPECT_EQ(m.OpenTable(), ResultOk);
  EXPECT_EQ(m.OpenTable(), ResultOk);
  EXPECT_EQ(m.opened, 2);
  EXPECT_EQ(driver->Count(DriverOp::Open), 0u);  // lazy: nothing opened yet
  EXPECT_EQ(m.EnsureReady(classlib::UseAccess), ResultOk);
  EXPECT_EQ(m.EnsureReady(classlib::UseAccess), ResultOk);
  EXPECT_EQ(driver->Count(DriverOp::Open), 1u);
  EXPECT_EQ(m.opened, 2);
  m.CloseTable();
  EXPECT_EQ(driver->Count(DriverOp::Close), 0u);
  m.CloseTable();
  EXPECT_EQ(m.opened, 0);
  EXPECT_EQ(driver->Count(DriverOp::Close), 1u);
  EXPECT_FALSE(m.fileOpen());
  m.CloseTable();  // never below 0
  EXPECT_EQ(m.opened, 0);
  EXPECT_EQ(driver->Count(DriverOp::Close), 1u);
}

TEST_F(TableManagerTest, FirstUseWithoutOpenCountsItsOpen) {
  TableManager m;
  Prepare(m);
  EXPECT_EQ(m.EnsureReady(classlib::UseAccess), ResultOk);
  EXPECT_EQ(m.opened, 1);
  m.CloseTable();
  EXPECT_FALSE(m.fileOpen());
}

TEST_F(TableManagerTest, CloseOfAnUninitialisedManagerOnlyCounts) {
  TableManager m;
  m.Setup();
  m.OpenTable();
  EXPECT_EQ(m.CloseTable(), ResultOk);
  EXPECT_EQ(m.opened, 0);
  EXPECT_TRUE(driver->calls().empty());
}

// The record operations' answers and messages, as the driver answers.
TEST_F(TableManagerTest, RecordOperationErrorsAndTheirMessages) {
  struct Case {
    const char* name;
    DriverOp op;
    DriverAnswer answer;
    int result;
    const char* caption;  // null: no message
    const char* text;
  };
  const Case cases[] = {
      {"read", DriverOp::Next, {0}, ResultOk, nullptr, nullptr},
      {"end of sequence", DriverOp::Next, {33}, ResultSoftFail, nullptr, nullptr},
      {"held record", DriverOp::Next, {43}, ResultSoftFail, "Record not read",
       "A record held by another station was encountered reading from the Clientes file."},
      {"read failure", DriverOp::Next, {90, "HY000", "General error"}, ResultSoftFail, "Record Retrieval Error",
       "Error: (File System Error (HY000) General error) attempting to access a record from the Clientes file."
       "  Returning to previous window."},
      {"insert", DriverOp::Add, {0}, ResultOk, nullptr, nullptr},
      {"insert failure", DriverOp::Add, {90, "22001", "String data, right truncation"}, ResultSoftFail,
       "Record Insert Error",
       "An error was experienced during the creation of a record.\nFile: Clientes\n"
       "Error: File System Error (22001) String data, right truncation."},
      {"rewrite", DriverOp::Put, {0}, ResultOk, nullptr, nullptr},
      {"changed by another station", DriverOp::Put, {89}, ResultSoftFail, "Record Was Not Updated",
       "This record was changed by another station."},
      {"rewrite failure", DriverOp::Put, {90, "HY000", "General error"}, ResultSoftFail, "Record was not updated",
       "An error (File System Error (HY000) General error) was experienced when making changes to the Clientes file."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    layer.boxes.clear();
    TableManager m;
    Prepare(m);
    driver->Script(c.op, {c.answer});
    int result = c.op == DriverOp::Next ? m.ReadNext() : c.op == DriverOp::Add ? m.AddRecord() : m.RewriteRecord();
    EXPECT_EQ(result, c.result);
    if (!c.caption) {
      EXPECT_TRUE(layer.boxes.empty());
      continue;
    }
    ASSERT_EQ(layer.boxes.size(), 1u);
    EXPECT_EQ(layer.boxes[0].caption, c.caption);
    EXPECT_EQ(layer.boxes[0].text, c.text);
    EXPECT_FALSE(haltCode.has_value());
  }
}

TEST_F(TableManagerTest, HeldRecordsAreSkippedWhenAsked) {
  TableManager m;
  Prepare(m);
  m.skipHeldRecords = true;
  driver->Script(DriverOp::Next, {43, 43, 0});
  EXPECT_EQ(m.ReadNext(), ResultOk);
  EXPECT_EQ(driver->Count(DriverOp::Next), 3u);
  EXPECT_TRUE(layer.boxes.empty());
}

// A duplicate names the first registered key whose values already exist; the
// look-ups leave the record to be added as it was.
TEST_F(TableManagerTest, DuplicateNamesTheFirstKeyTheRecordDuplicates) {
  struct Case {
    const char* name;
    std::vector<int> getAnswers;  // per unique key, in registration order
    const char* message;
  };
  const Case cases[] = {
      {"second key exists", {35, 0}, "Adding this record creates a duplicate entry for the key: Por nombre"},
      {"first key exists", {0}, "Adding this record creates a duplicate entry for the key: CLI:pk_id"},
      {"none found", {35, 35}, "Adding this record creates a duplicate entry for the key: CLI:pk_id"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    layer.boxes.clear();
    driver->ClearCalls();
    TableManager m;
    Prepare(m);
    std::memcpy(table->field("CLI:NAME"), "ACME", 5);
    std::vector<uint8_t> before(table->block->buffer(), table->block->buffer() + table->block->length());
    driver->Script(DriverOp::Add, {DriverAnswer{40}});
    driver->Script(DriverOp::Get, std::vector<DriverAnswer>(c.getAnswers.begin(), c.getAnswers.end()));
    driver->SetHook(DriverOp::Get, [](rt::FileBlock& f, const rt::KeyDescriptor*) {
      std::memset(f.buffer(), 'x', f.length());  // a read overwrites the buffer
      return -1;
    });
    EXPECT_EQ(m.AddRecord(), ResultSoftFail);
    driver->SetHook(DriverOp::Get, nullptr);
    ASSERT_EQ(layer.boxes.size(), 1u);
    EXPECT_EQ(layer.boxes[0].caption, "Duplicate Key Error");
    EXPECT_EQ(layer.boxes[0].text, c.message);
    EXPECT_EQ(std::vector<uint8_t>(table->block->buffer(), table->block->buffer() + table->block->length()), before);
    for (const auto& call : driver->calls()) {
      if (call.op == DriverOp::Get) {
        EXPECT_NE(call.key, "CLI:KEY_CODE");  // keys with duplicates are not looked up
      }
    }
    EXPECT_EQ(rt::LastErrorCode(), rt::kCreatesDuplicateKey);
  }
}

TEST_F(TableManagerTest, LookupByKeyFindsOrClearsTheBuffer) {
  TableManager m;
  Prepare(m);
  std::memcpy(table->field("CLI:NAME"), "ACME", 5);
  driver->Script(DriverOp::Get, {0, 35});
  EXPECT_EQ(m.LookupByKey(table->key(1)), ResultOk);
  EXPECT_STREQ(reinterpret_cast<char*>(table->field("CLI:NAME")), "ACME");
  EXPECT_EQ(m.LookupByKey(table->key(1)), ResultSoftFail);
  EXPECT_STREQ(reinterpret_cast<char*>(table->field("CLI:NAME")), "");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(table->field("CLI:CODE")), 10), std::string(10, ' '));
  EXPECT_TRUE(layer.boxes.empty());

  TableManager unbound;  // no file: cannot be made ready
  unbound.Setup();
  std::memcpy(table->field("CLI:NAME"), "ACME", 5);
  unbound.buffer = {table->block->buffer(), table->decl.record.get(), table->block->length()};
  EXPECT_EQ(unbound.LookupByKey(table->key(1)), ResultHardFail);
  EXPECT_STREQ(reinterpret_cast<char*>(table->field("CLI:NAME")), "");
}

// A manager whose field check fails a field, recording the fields it checked.
class CheckingManager : public TableManager {
 public:
  int CheckFieldValue(int n, bool report) override {
    checked.emplace_back(n, report);
    return n == failing ? ResultSoftFail : TableManager::CheckFieldValue(n, report);
  }
  int failing = 0;
  std::vector<std::pair<int, bool>> checked;
};

TEST_F(TableManagerTest, ValidationStopsAtTheFirstFailingFieldAndNothingIsWritten) {
  CheckingManager m;
  Prepare(m);
  m.failing = 2;
  EXPECT_EQ(m.AddRecord(), ResultSoftFail);
  EXPECT_EQ(m.RewriteRecord(), ResultSoftFail);
  EXPECT_EQ(driver->Count(DriverOp::Add), 0u);
  EXPECT_EQ(driver->Count(DriverOp::Put), 0u);
  std::vector<std::pair<int, bool>> expected = {{1, true}, {2, true}, {1, true}, {2, true}};
  EXPECT_EQ(m.checked, expected);

  m.checked.clear();
  m.failing = 0;
  EXPECT_EQ(m.AddRecord(), ResultOk);
  EXPECT_EQ(m.checked.size(), 3u);  // every top-level field
  EXPECT_EQ(m.CheckFieldValueQuiet(2), ResultOk);
  EXPECT_EQ(m.checked.back(), std::make_pair(2, false));
}

class DefaultsManager : public TableManager {
 public:
  void SetNewRecordDefaults() override { *buffer.address = 1; }
};

TEST_F(TableManagerTest, PrimeRecordClearsThenSetsDefaults) {
  DefaultsManager m;
  Prepare(m);
  m.buffer = {table->block->buffer(), table->decl.record.get(), table->block->length()};
  std::memcpy(table->field("CLI:NAME"), "ACME", 5);
  EXPECT_EQ(m.PrimeRecord(false), ResultOk);
  EXPECT_EQ(*table->block->buffer(), 1);
  EXPECT_STREQ(reinterpret_cast<char*>(table->field("CLI:NAME")), "");
  std::memcpy(table->field("CLI:NAME"), "KEPT", 5);
  EXPECT_EQ(m.PrimeRecord(true), ResultOk);
  EXPECT_STREQ(reinterpret_cast<char*>(table->field("CLI:NAME")), "KEPT");
}

class CountingManager : public TableManager {
 public:
  void Teardown() override {
    ++teardowns;
    TableManager::Teardown();
  }
  int teardowns = 0;
};

TEST_F(TableManagerTest, TeardownClosesAndDestroyRunsItOnlyWhenNotKilled) {
  {
    auto m = std::make_unique<CountingManager>();
    Prepare(*m);
    m->OpenTable();
    m->EnsureReady(classlib::UseAccess);
    m->Teardown();
    EXPECT_TRUE(m->killed());
    EXPECT_FALSE(m->initialized);
    EXPECT_EQ(driver->Count(DriverOp::Close), 1u);
    CountingManager* raw = m.get();
    raw->Destroy();
    EXPECT_EQ(raw->teardowns, 1);
  }
  {
    // Never initialised: Teardown does nothing, so Destroy runs it again.
    auto m = std::make_unique<CountingManager>();
    m->Setup();
    int x = 0;
    m->fileName = rt::MakeFieldRef(&x, 19, 255);
    m->Teardown();
    CountingManager* raw = m.get();
    raw->Destroy();
    EXPECT_EQ(raw->teardowns, 2);
    EXPECT_FALSE(raw->fileName);
    classlib::DisposeManager(m);
    EXPECT_EQ(m, nullptr);
  }
}

TEST(FieldRefExitTest, UnknownTypeCodeIsFatal) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        testsupport::FakeWindowLayer layer;
        layer.answer = [](const testsupport::MessageBoxCall& box) {
          fprintf(stderr, "%s\n", box.text.c_str());
          return rt::ui::BUTTON_OK;
        };
        int x = 0;
        rt::MakeFieldRef(&x, 99, 4);
        std::exit(0);
      },
      ::testing::ExitedWithCode(1), "Make UFO Error");
}

}  // namespace
}  // namespace testsupport
