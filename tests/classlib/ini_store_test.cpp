// The settings store: profile lines read and written, and window positions
// kept and restored.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
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
  void Write(const std::string& text) { WriteFile(path, text); }
  std::string Read() { return ReadFile(path); }
  static void WriteFile(const fs::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
  }
  static std::string ReadFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  // The names in the test's folder.
  std::set<std::string> Names() const {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
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

// A link planted in place of the file, pointing into another folder: to a file
// that does not exist (a save must not create it) or to one that does (a save
// must not change it, nor a restore read it).
TEST_F(IniStoreTest, LinkInPlaceOfTheFileIsReplacedByTheProgramsOwnFile) {
  const std::string foreign = std::string("[Main]\nXPos=999\nYPos=999\n\0binary\0", 30);
  for (const bool targetExists : {false, true}) {
    SCOPED_TRACE(targetExists ? "link to an existing file" : "link to a missing file");
    const fs::path elsewhere = dir / "elsewhere";
    fs::remove_all(elsewhere);
    fs::remove(path);
    fs::create_directories(elsewhere);
    const fs::path target = elsewhere / "target.ini";
    if (targetExists) WriteFile(target, foreign);
    fs::create_symlink(target, path);

    IniStore store;
    store.Setup(path);
    FakeWindow w;
    w.record().geometry = {31, 42, 640, 480};
    FakeWindow restored;
    store.RestoreWindow("Main", restored);
    EXPECT_TRUE(restored.record().geometrySets.empty()) << "read through the link";
    store.SaveWindow("Main", w);
    store.Teardown();

    EXPECT_FALSE(fs::is_symlink(path));
    EXPECT_TRUE(fs::is_regular_file(path));
    EXPECT_EQ(Read(),
              "[Main]\r\nMaximize=No\r\nMinimize=No\r\nXPos=31\r\nYPos=42\r\nWidth=640\r\nHeight=480\r\n"
              "\r\n[Sectors]\r\n__Dont_Touch_Me__=Main\r\n");
    EXPECT_EQ(fs::exists(target), targetExists);
    if (targetExists) {
      EXPECT_EQ(ReadFile(target), foreign);
    }
    EXPECT_EQ(Names(), (std::set<std::string>{"Ortavia.INI", "elsewhere"}));
  }
}

// A save replaces the file whole: a reader that opened it before still reads
// the old file whole, and the new one keeps the old one's permissions.
TEST_F(IniStoreTest, SaveReplacesTheFileWholeKeepingItsPermissions) {
  const std::string old = "[Other]\nKeep=1\n";
  Write(old);
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  std::ifstream reader(path, std::ios::binary);
  IniStore store;
  store.Setup(path);
  store.Update("Main", "XPos", "7");
  std::stringstream before;
  before << reader.rdbuf();
  EXPECT_EQ(before.str(), old);
  EXPECT_EQ(Read(), old + "\n[Main]\nXPos=7\n");
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(Names(), std::set<std::string>{"Ortavia.INI"});
}

// A save that cannot be made ends in silence, leaves whatever was there as it
// was and no file beside it.
TEST_F(IniStoreTest, FailedSaveLeavesTheOldFileAndNothingElse) {
  struct Case {
    const char* name;
    std::function<void()> prepare;     // what stands at the file's name
    std::function<void()> save;        // the save, in the conditions that make it fail
    std::function<void()> expectKept;  // what stood there is unchanged
  };
  const std::string old = "[Main]\r\nXPos=5\r\n";
  IniStore store;
  const Case cases[] = {
      {"the disk fills while writing", [&] { Write(old); },
       [&] {
         // Files of this process cannot grow past 64 bytes: the write fails halfway.
         rlimit before{};
         ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
         rlimit small = before;
         small.rlim_cur = 64;
         const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
         ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
         store.Update("Main", "Note", std::string(200, 'x'));
         ::setrlimit(RLIMIT_FSIZE, &before);
         ::signal(SIGXFSZ, oldHandler);
       },
       [&] { EXPECT_EQ(Read(), old); }},
      {"a directory in its place", [&] { fs::create_directory(path); },
       [&] { store.Update("Main", "XPos", "7"); },
       [&] {
         EXPECT_TRUE(fs::is_directory(path));
         EXPECT_TRUE(fs::is_empty(path));
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(path);
    c.prepare();
    store.Setup(path);
    c.save();
    c.expectKept();
    EXPECT_EQ(Names(), std::set<std::string>{"Ortavia.INI"});
  }
}

TEST_F(IniStoreTest, LongFileNameIsCut) {
  IniStore store;
  store.Setup(std::string(300, 'a'));
  EXPECT_EQ(store.fileName().size(), 259u);
}

}  // namespace
}  // namespace testsupport
