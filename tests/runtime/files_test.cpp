// File statements dispatched to the driver a declaration names, and the error
// state they leave.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include <unistd.h>

#include "runtime/files/disk_files.h"
#include "runtime/files/files.h"
#include "runtime/files/sqlite_file_driver.h"

namespace rt {
namespace {

// Answers with the codes it is told to and records what it was asked.
class ScriptedDriver : public FileDriver {
 public:
  std::string Name() const override { return "SCRIPTED"; }
  int Open(FileBlock&, int mode) override {
    log += "open " + std::to_string(mode) + ";";
    if (openCode == kFileSystemError) SetFileError("28000", "password authentication failed");
    return openCode;
  }
  int Close(FileBlock&) override { log += "close;"; return 0; }
  int Create(FileBlock&) override { log += "create;"; return 0; }
  int SetKey(FileBlock&, const KeyDescriptor& k) override { log += "set " + k.label + ";"; return 0; }
  int Next(FileBlock&) override { log += "next;"; return kRecordNotAvailable; }
  bool GetProperty(FileBlock&, int prop, std::string& value) override {
    if (prop != 0x1234) return false;
    value = "answer";
    return true;
  }
  int SetProperty(FileBlock&, int prop, const std::string& value) override {
    log += "prop " + std::to_string(prop) + "=" + value + ";";
    return 0;
  }
  void Destroy(FileBlock&) override { log += "destroy;"; }

  int openCode = 0;
  std::string log;
};

class FileStatements : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterDriver(driver);
    decl.label = "T";
    decl.driver = "SCRIPTED";
    decl.tableName = "TBL";
    decl.keys = {KeyDescriptor{"", "T:KEY_A", kKeyDup, {1}, nullptr}};
  }
  void TearDown() override {
    if (HasThreadFile(decl)) ReleaseThreadFile(decl);
  }
  std::shared_ptr<ScriptedDriver> driver = std::make_shared<ScriptedDriver>();
  FileDecl decl;
};

TEST_F(FileStatements, DispatchToTheNamedDriverAndKeepTheCode) {
  FileBlock& f = ThreadFile(decl);
  CLOSE(f);  // not open: only the code
  EXPECT_EQ(LastErrorCode(), kFileNotOpen);
  NEXT(f);
  EXPECT_EQ(LastErrorCode(), kFileNotOpen);
  EXPECT_EQ(driver->log, "");

  OPEN(f);
  EXPECT_EQ(LastErrorCode(), 0);
  SETkey(f.keys()[0]);
  NEXT(f);
  EXPECT_EQ(LastErrorCode(), kRecordNotAvailable);
  EXPECT_EQ(LastErrorText(), "Record Not Available");
  EXPECT_EQ(ErrorTextForMessage(), "Record Not Available");
  SET_PROPERTY(f, FilePropSql, "drop table x");
  CLOSE(f);
  EXPECT_EQ(LastErrorCode(), 0);
  CLOSE(f);
  EXPECT_EQ(LastErrorCode(), kFileNotOpen);
  EXPECT_EQ(driver->log, "open 34;set T:KEY_A;next;prop 29184=drop table x;close;");

  ReleaseThreadFile(decl);
  EXPECT_EQ(driver->log.substr(driver->log.size() - 8), "destroy;");
  EXPECT_FALSE(HasThreadFile(decl));
}

TEST_F(FileStatements, DriverFailureCarriesItsFileErrorIntoTheMessageText) {
  FileBlock& f = ThreadFile(decl);
  driver->openCode = kFileSystemError;
  OPEN(f);
  EXPECT_EQ(LastErrorCode(), kFileSystemError);
  EXPECT_EQ(LastFileErrorCode(), "28000");
  EXPECT_EQ(ErrorTextForMessage(), "File System Error (28000) password authentication failed");
  CLOSE(f);  // the failed open left it closed
  EXPECT_EQ(LastErrorCode(), kFileNotOpen);
  EXPECT_EQ(LastFileErrorCode(), "");

  // A successful statement clears what a failure left.
  driver->openCode = 0;
  OPEN(f);
  EXPECT_EQ(ErrorTextForMessage(), "");
}

TEST_F(FileStatements, UnknownDriverIsAFileSystemError) {
  decl.driver = "NOSUCH";
  FileBlock& f = ThreadFile(decl);
  OPEN(f);
  EXPECT_EQ(LastErrorCode(), kFileSystemError);
  EXPECT_NE(LastFileErrorText().find("NOSUCH"), std::string::npos);
  EXPECT_NE(ErrorTextForMessage().find("File System Error"), std::string::npos);
  CREATE(f);
  EXPECT_EQ(LastErrorCode(), kFileSystemError);
  EXPECT_EQ(GET_PROPERTY(f, FilePropDriver), "NOSUCH");
}

TEST_F(FileStatements, PropertiesFallBackToTheDeclaration) {
  NameVar name;
  decl.tableNameVar = &name;
  FileBlock& f = ThreadFile(decl);
  EXPECT_EQ(GET_PROPERTY(f, FilePropDriver), "SCRIPTED");
  EXPECT_EQ(GET_PROPERTY(f, FilePropName), "");  // an unset name variable
  name.Set("USUAR");
  EXPECT_EQ(GET_PROPERTY(f, FilePropName), "USUAR");  // read at the moment of use
  EXPECT_EQ(GET_PROPERTY(f, 0x1234), "answer");
  EXPECT_EQ(LastErrorCode(), 0);
}

TEST(ErrorTexts, CodesAndTexts) {
  const std::pair<int, const char*> cases[] = {
      {0, ""},
      {2, "File Not Found"},
      {3, "Path Not Found"},
      {5, "Access Denied"},
      {33, "Record Not Available"},
      {35, "Record Not Found"},
      {37, "File Not Open"},
      {40, "Creates Duplicate Key"},
      {43, "Record Is Already Held"},
      {46, "Key File Must Be Rebuilt"},
      {47, "Invalid Record Declaration"},
      {54, "No Create Attribute"},
      {75, "Invalid Field Type Descriptor"},
      {80, "Function Not Supported"},
      {89, "Record Changed By Another Station"},
      {90, "File System Error"},
  };
  for (const auto& [code, text] : cases) EXPECT_EQ(ErrorTextOf(code), text) << code;
}

TEST(ErrorTexts, ErrorStateIsPerThread) {
  SetLastError(kFileSystemError, "08001", "no server");
  std::thread([] {
    EXPECT_EQ(LastErrorCode(), 0);
    SetLastError(kFileNotFound);
  }).join();
  EXPECT_EQ(ErrorTextForMessage(), "File System Error (08001) no server");
  SetLastError(kNoError);
}

TEST(DiskFiles, RemoveByClippedNameAndTopSpeedNames) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("ortavia_rm_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const fs::path file = dir / "XRefereExtCove.tps";
  std::ofstream(file) << "x";

  RemoveFileByName(file.string() + "   ");
  EXPECT_EQ(LastErrorCode(), 0);
  EXPECT_FALSE(fs::exists(file));
  RemoveFileByName(file.string());
  EXPECT_EQ(LastErrorCode(), kFileNotFound);
  RemoveFileByName((dir / "missing" / "f.tps").string());
  EXPECT_EQ(LastErrorCode(), kPathNotFound);
  RemoveFileByName(dir.string());  // a directory is not removed
  EXPECT_EQ(LastErrorCode(), kAccessDenied);
  EXPECT_TRUE(fs::exists(dir));
  RemoveFileByName("   ");
  EXPECT_EQ(LastErrorCode(), kFileNotFound);
  fs::remove_all(dir);

  EXPECT_EQ(TopSpeedFileName("XUSUAR_EXT"), "XUSUAR_EXT.TPS");
  EXPECT_EQ(TopSpeedFileName("XRefereExtCove.tps"), "XRefereExtCove.tps");
  EXPECT_EQ(TopSpeedFileName("dir.x/NAME"), "dir.x/NAME.TPS");
  EXPECT_EQ(TopSpeedFileName("C:\\dir.x\\NAME"), "C:\\dir.x\\NAME.TPS");
}

}  // namespace
}  // namespace rt
