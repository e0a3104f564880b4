// The settings store and a file its user may not write: the save is given up
// and the file stays as it was, though the folder would let a new file take
// its place. Root may write any file whatever its mode, so the store is run as
// another user (nobody) in a child process when the tests run as root.
#include <gtest/gtest.h>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "classlib/ini_store.h"

namespace {

namespace fs = std::filesystem;

constexpr int kCannotActAsAnotherUser = 77;

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(IniStoreMode, ReadOnlyFileIsNotReplaced) {
  const fs::path dir = fs::temp_directory_path() / ("ortavia_ini_mode_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const fs::path path = dir / "Ortavia.INI";
  const std::string old = "[Main]\r\nXPos=5\r\n";
  std::ofstream(path, std::ios::binary) << old;

  // As root, the folder and the file belong to the user the store runs as.
  const passwd* nobody = ::geteuid() == 0 ? ::getpwnam("nobody") : nullptr;
  if (::geteuid() == 0) {
    if (!nobody) {
      fs::remove_all(dir);
      GTEST_SKIP() << "running as root and there is no user nobody to run the store as";
    }
    ASSERT_EQ(::chown(dir.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    ASSERT_EQ(::chown(path.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
  }
  fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (nobody && (::setgroups(0, nullptr) != 0 || ::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0))
      ::_exit(kCannotActAsAnotherUser);
    if (::geteuid() == 0) ::_exit(kCannotActAsAnotherUser);
    classlib::IniStore store;
    store.Setup(path.string());
    store.Update("Main", "XPos", "7");
    store.Update("Otra", "YPos", "9");
    store.Teardown();
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  if (WEXITSTATUS(status) == kCannotActAsAnotherUser) {
    fs::remove_all(dir);
    GTEST_SKIP() << "running as root and the process cannot become user nobody";
  }
  EXPECT_EQ(WEXITSTATUS(status), 0);

  EXPECT_EQ(ReadFile(path), old);
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
  EXPECT_EQ(names, std::set<std::string>{"Ortavia.INI"});
  fs::remove_all(dir);
}

}  // namespace
