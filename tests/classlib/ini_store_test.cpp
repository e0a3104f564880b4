// The settings store: profile lines read and written, and window positions
// kept and restored.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

#include "classlib/ini_store.h"
#include "support/fake_ui.h"

namespace testsupport {
namespace {

namespace fs = std::filesystem;
using classlib::IniStore;
using rt::ui::WindowState;
using testsupport::FakeWindow;

class IniStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("ortavia_ini_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    path = (dir / "Ortavia.INI").string();
  }
  void TearDown() override { fs::remove_all(dir); }
  void Write(const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
  std::string Read() {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  fs::path dir;
  std::string path;
};

TEST_F(IniStoreTest, SavedWindowIsRestoredOnAnotherWindow) {
  IniStore store;
  store.Setup(path);
  FakeWindow saved;
  saved.record().geometry = {31, 42, 640, 480};
  store.SaveWindow("Main", saved);
  EXPECT_EQ(Read(), "[Main]\r\nMaximize=No\r\nMinimize=No\r\nXPos=31\r\nYPos=42\r\nWidth=640\r\nHeight=480\r\n");

  FakeWindow restored;
  store.RestoreWindow("Main", restored);
  EXPECT_EQ(restored.record().geometry.x, 31);
  EXPECT_EQ(restored.record().geometry.y, 42);
  EXPECT_EQ(restored.record().geometry.width, 640);
  EXPECT_EQ(restored.record().geometry.height, 480);
  EXPECT_EQ(restored.State(), WindowState::Normal);
}

TEST_F(IniStoreTest, MaximisedOrMinimisedWindowSavesOnlyItsState) {
  for (WindowState s : {WindowState::Maximized, WindowState::Minimized}) {
    fs::remove(path);
    IniStore store;
    store.Setup(path);
    FakeWindow w;
    w.SetState(s);
    store.SaveWindow("Main", w);
    EXPECT_EQ(Read(), s == WindowState::Maximized ? "[Main]\r\nMaximize=Yes\r\nMinimize=No\r\n"
                                                  : "[Main]\r\nMaximize=No\r\nMinimize=Yes\r\n");
    FakeWindow r;
    store.RestoreWindow("Main", r);
    EXPECT_EQ(r.State(), s);
    EXPECT_TRUE(r.record().geometrySets.empty());
  }
}

TEST_F(IniStoreTest, FixedSizeWindowKeepsItsSize) {
  IniStore store;
  store.Setup(path);
  FakeWindow w;
  w.record().resizable = false;
  store.SaveWindow("Main", w);
  EXPECT_EQ(Read().find("Width"), std::string::npos);
  Write("[Main]\nXPos=5\nYPos=6\nWidth=999\nHeight=999\n");
  FakeWindow r;
  r.record().resizable = false;
  store.RestoreWindow("Main", r);
  EXPECT_EQ(r.record().geometry.x, 5);
  EXPECT_EQ(r.record().geometry.width, 400);  // as laid out
  ASSERT_EQ(r.record().geometrySets.size(), 1u);
  EXPECT_FALSE(r.record().geometrySets[0].second);
}

TEST_F(IniStoreTest, NoSectionOrNoFileLeavesTheWindowAsLaidOut) {
  IniStore store;
  store.Setup(path);  // no file yet
  FakeWindow w;
  store.RestoreWindow("Main", w);
  EXPECT_TRUE(w.record().geometrySets.empty());
  EXPECT_FALSE(fs::exists(path));  // reading creates nothing

  Write("[Other]\nXPos=1\nYPos=2\nMaximize=Yes\n");
  store.RestoreWindow("Main", w);
  EXPECT_TRUE(w.record().geometrySets.empty());
  EXPECT_EQ(w.State(), WindowState::Normal);
}

TEST_F(IniStoreTest, SaveKeepsOtherSectionsEntriesAndLines) {
  Write("; settings\n[Other]\nKeep=1\n\n[MAIN]\nxpos=1\nExtra=kept\n[Last]\nA=b\n");
  IniStore store;
  store.Setup(path);
  FakeWindow w;
  w.record().geometry = {7, 8, 100, 50};
  store.SaveWindow("Main", w);
  EXPECT_EQ(Read(),
            "; settings\n[Other]\nKeep=1\n\n[MAIN]\nXPos=7\nExtra=kept\nMaximize=No\nMinimize=No\nYPos=8\n"
            "Width=100\nHeight=50\n[Last]\nA=b\n");
  EXPECT_EQ(store.Fetch("other", "KEEP"), "1");
}

TEST_F(IniStoreTest, DamagedFileGivesWhatItCanAndNeverFails) {
  std::string junk = "\x01\x02garbage without equals\n[Main\n=novalue\n[Main]\nXPos=12\nYPos=abc\n";
  junk += std::string("Width\0=3\n", 9);
  junk += "Height=  77  \nMaximize\n[unterminated";
  Write(junk);
  IniStore store;
  store.Setup(path);
  FakeWindow w;
  store.RestoreWindow("Main", w);
  EXPECT_EQ(w.record().geometry.x, 12);
  EXPECT_EQ(w.record().geometry.y, 20);         // "abc" is no number
  EXPECT_EQ(w.record().geometry.height, 77);
  EXPECT_EQ(w.State(), WindowState::Normal);
  store.SaveWindow("Main", w);  // writing over it works as well
  EXPECT_EQ(store.Fetch("Main", "XPos"), "12");

  // A name that cannot be read or written (a directory) has no values.
  IniStore unreadable;
  unreadable.Setup(dir.string());
  FakeWindow u;
  unreadable.RestoreWindow("Main", u);
  unreadable.SaveWindow("Main", u);
  unreadable.Teardown();
  EXPECT_TRUE(u.record().geometrySets.empty());
}

TEST_F(IniStoreTest, SectionListIsReadAtSetupAndWrittenAtTeardown) {
  Write("[Sectors]\n__Dont_Touch_Me__=Browse\n");
  IniStore store;
  store.Setup(path);
  EXPECT_EQ(store.sections(), std::vector<std::string>{"Browse"});
  FakeWindow w;
  store.SaveWindow("Main", w);
  store.Teardown();
  EXPECT_TRUE(store.sections().empty());
  IniStore again;
  again.Setup(path);
  EXPECT_EQ(again.Fetch("Sectors", "__Dont_Touch_Me__"), "Browse,Main");
}

TEST_F(IniStoreTest, LongFileNameIsCut) {
  IniStore store;
  store.Setup(std::string(300, 'a'));
  EXPECT_EQ(store.fileName().size(), 259u);
}

}  // namespace
}  // namespace testsupport
