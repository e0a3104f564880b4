// A settings file the program may write but not read: its sections cannot be
// kept in a new file, so it is never replaced.
#include <gtest/gtest.h>

#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "classlib/ini_store.h"

namespace {

namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;

// File access checked as an ordinary user while it lives: root reads every
// file whatever its permissions, another user does not.
class AsOrdinaryUser {
 public:
  explicit AsOrdinaryUser(const fs::path& dir, const fs::path& file) {
    if (::geteuid() != 0) return;
    root_ = true;
    EXPECT_EQ(::chown(dir.c_str(), kNobody, kNobody), 0);
    EXPECT_EQ(::chown(file.c_str(), kNobody, kNobody), 0);
    ::setfsuid(kNobody);
  }
  ~AsOrdinaryUser() {
    if (root_) ::setfsuid(0);
  }

 private:
  bool root_ = false;
};

TEST(IniStoreUnreadable, AFileThatCanBeWrittenButNotReadIsNeverReplaced) {
  const fs::path dir = fs::temp_directory_path() / ("ortavia_ini_unreadable_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const fs::path path = dir / "Ortavia.INI";
  const std::string old = "[Other]\r\nKeep=1\r\n[Sectors]\r\n__Dont_Touch_Me__=Browse\r\n";
  std::ofstream(path, std::ios::binary) << old;
  fs::permissions(path, fs::perms::owner_write);
  {
    AsOrdinaryUser user(dir, path);
    std::ifstream probe(path);
    ASSERT_FALSE(probe.is_open()) << "the file can still be read";
    classlib::IniStore store;
    store.Setup(path.string());
    EXPECT_FALSE(store.Fetch("Other", "Keep"));
    store.Update("Main", "XPos", "7");
    store.Teardown();
  }
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), old);
  size_t names = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++names;
  EXPECT_EQ(names, 1u) << "a file was left beside it";
  fs::remove_all(dir);
}

}  // namespace
