#include "runtime/files/disk_files.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "runtime/base/text.h"
#include "runtime/files/file_errors.h"

namespace rt {

void RemoveFileByName(std::string_view name) {
  namespace fs = std::filesystem;
  SetLastError(kNoError);
  const std::string clipped(CLIP(name));
  if (clipped.empty()) {
    SetLastError(kFileNotFound);
    return;
  }
  const std::optional<std::string> found = FindFileNoCase(clipped);
  const fs::path path(found ? *found : clipped);
  std::error_code ec;
  const fs::file_status st = fs::symlink_status(path, ec);
  if (!fs::exists(st)) {
    const fs::path parent = path.parent_path();
    SetLastError(!parent.empty() && !fs::is_directory(parent, ec) ? kPathNotFound : kFileNotFound);
    return;
  }
  if (fs::is_directory(st)) {
    SetLastError(kAccessDenied);
    return;
  }
  if (!fs::remove(path, ec) || ec)
    SetLastError(ec == std::errc::no_such_file_or_directory ? kFileNotFound : kAccessDenied, {},
                 ec ? ec.message() : std::string());
}

std::vector<std::string> FilesNoCase(std::string_view name) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path path{std::string(name)};
  const fs::path parent = path.parent_path();
  const std::string wanted = path.filename().string();
  std::vector<std::string> matches;
  for (fs::directory_iterator it(parent.empty() ? fs::path(".") : parent, ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string entry = it->path().filename().string();
    if (SameText(entry, wanted)) matches.push_back((parent / entry).string());
  }
  // A folder that cannot be listed may still hold the name itself.
  if (matches.empty() && fs::exists(fs::symlink_status(path, ec))) matches.push_back(path.string());
  std::sort(matches.begin(), matches.end());
  return matches;
}

std::optional<std::string> FindFileNoCase(std::string_view name) {
  std::error_code ec;
  if (std::filesystem::exists(std::filesystem::symlink_status(std::string(name), ec))) return std::string(name);
  std::vector<std::string> matches = FilesNoCase(name);
  if (matches.empty()) return std::nullopt;
  return matches.front();  // the same choice on every run
}

}  // namespace rt
