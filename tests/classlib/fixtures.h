// Shared set-up of the class library's tests: a small table on the scripted
// driver, the recording window layer, a reporter bound to this thread and a
// halt handler that records the exit code instead of ending the process.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "classlib/error_reporter.h"
#include "classlib/table_manager.h"
#include "runtime/base/program.h"
#include "runtime/decl/file_block.h"
#include "runtime/files/files.h"
#include "runtime/test_hooks.h"
#include "support/fake_ui.h"
#include "support/program_state.h"
#include "support/test_driver.h"

namespace testsupport {

using testsupport::DriverAnswer;
using testsupport::DriverOp;

// One table's declaration with its own instance.
struct TestTable {
  TestTable(const std::string& name, const std::string& driver, std::vector<rt::FieldSpec> fields,
            std::vector<rt::KeyDescriptor> keys) {
    decl.label = name;
    decl.driver = driver;
    decl.tableName = name;
    decl.record = std::make_shared<rt::TypeRecord>(rt::TypeRecord::Encode(fields));
    decl.keys = std::move(keys);
    decl.attrs = rt::kFileCreate;
    block = std::make_unique<rt::FileBlock>(decl);
  }
  rt::KeyDescriptor& key(size_t i) { return block->keys().at(i); }
  uint8_t* field(const std::string& label) {
    return block->buffer() + decl.record->entry(decl.record->FindLabel(label)).offset;
  }

  rt::FileDecl decl;
  std::unique_ptr<rt::FileBlock> block;
};

// ID LONG, NAME CSTRING(21), CODE STRING(10); keys: primary ID, unique
// case-insensitive NAME, CODE with duplicates (descending).
inline std::unique_ptr<TestTable> MakeCustomers(const std::string& driver, const std::string& name = "Clientes") {
  std::vector<rt::FieldSpec> fields = {
      {rt::FieldType::Long, 4, 0, "CLI:ID"},
      {rt::FieldType::CString, 21, 0, "CLI:NAME"},
      {rt::FieldType::String, 10, 0, "CLI:CODE"},
  };
  std::vector<rt::KeyDescriptor> keys = {
      {"", "CLI:PK_ID", rt::kKeyPrimary, {1}},
      {"", "CLI:KEY_NAME", rt::kKeyNoCase, {2}},
      {"", "CLI:KEY_CODE", rt::kKeyDup | rt::kKeyNoCase, {-3, 1}},
  };
  return std::make_unique<TestTable>(name, driver, fields, keys);
}

class ClasslibTest : public ::testing::Test {
 protected:
  void SetUp() override {
    driverName = std::string("CLTEST_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    driver = testsupport::InstallScriptedDriver(driverName);
    reporter.Setup(state);
    program.emplace(ProgramState::Options{.onHalt = [this](int code) { haltCode = code; }});
    rt::SetLastError(0);
  }
  void TearDown() override { program.reset(); }

  // Runs a step that may end the program; true when it did.
  template <class F>
  bool Halts(F&& step) {
    try {
      step();
    } catch (const rt::ProgramHalted&) {
      return true;
    }
    return false;
  }

  testsupport::FakeWindowLayer layer;
  std::shared_ptr<testsupport::ScriptedDriver> driver;
  std::string driverName;
  classlib::ThreadErrorState state;
  classlib::ErrorReporter reporter;
  std::optional<int> haltCode;
  std::optional<ProgramState> program;
};

}  // namespace testsupport
