// Whole files read and replaced on the platform's file system (POSIX).
#include "runtime/base/platform_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>

namespace rt {

namespace {

// Writes all of text to fd; false at the first failure.
bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    text.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

}  // namespace

std::optional<std::string> ReadOwnFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::optional<std::string> text;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    text.emplace();
    char buf[8192];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
      if (n > 0) text->append(buf, static_cast<size_t>(n));
    if (n < 0) text.reset();
  }
  ::close(fd);
  return text;
}

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool ReplaceFile(const std::string& path, std::string_view text) {
  struct stat old {};
  const bool hadFile = ::lstat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode);
  if (hadFile && ::access(path.c_str(), W_OK) != 0) return false;

  const std::filesystem::path target(path);
  const std::string stem = (target.parent_path() / ("." + target.filename().string() + ".")).string();
  std::string temp;
  int fd = -1;
  const auto seed = std::chrono::steady_clock::now().time_since_epoch().count();
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    temp = stem + std::to_string(::getpid()) + "-" + std::to_string((seed + attempt) & 0xFFFFFF) + ".tmp";
    // O_EXCL: a name already taken, a link among them, is never opened.
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;
  bool ok = WriteAll(fd, text) && (!hadFile || ::fchmod(fd, old.st_mode & 07777) == 0) && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  ok = ok && ::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

}  // namespace rt
