// The settings store: window positions in a profile file of sections and
// "key=value" entries. Sections and keys compare without letter case; a
// missing or unreadable file, and a symbolic link, has no values; lines that
// are neither a section header nor an entry are skipped on reading and kept on
// writing; a write creates the file, keeps every other section and entry and
// replaces only the entry written. The file is replaced whole at each write
// (written beside it, then renamed over it): a link in its place is replaced,
// never written through.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/ui/ui.h"

namespace classlib {

// A profile file read into memory, edited and written back.
class ProfileFile {
 public:
  // Reads the file; a missing or unreadable one, or a link, gives an empty
  // profile. One that is there but cannot be read is never replaced by Save.
  static ProfileFile Load(const std::string& path);
  std::optional<std::string> Get(std::string_view section, std::string_view key) const;
  void Set(std::string_view section, std::string_view key, std::string_view value);
  // Writes every line into a new file that replaces the one at path; false
  // (the old file as it was, no new file left) when that cannot be done.
  bool Save(const std::string& path) const;

 private:
  std::vector<std::string> lines_;  // without their line ends
  std::string eol_ = "\r\n";
  bool unread_ = false;  // a regular file is at the path and could not be read
};

class IniStore {
 public:
  static constexpr size_t kFileNameSize = 259;
  static constexpr const char* kSectorsSection = "Sectors";
  static constexpr const char* kSectorsEntry = "__Dont_Touch_Me__";

  IniStore() = default;
  virtual ~IniStore() = default;

  // Remembers the file (name cut to 259 characters) and the storage kind
  // (0: a profile file) and reads the store's section list.
  void Setup(std::string_view fileName, int kind = 0);
  // Writes the section list back and releases it.
  void Teardown();
  void RestoreWindow(std::string_view procName, rt::ui::Window& window);
  void SaveWindow(std::string_view procName, rt::ui::Window& window);
  void ProgramEndHook() {}

  // Read and write one entry of the store's file.
  std::optional<std::string> Fetch(std::string_view section, std::string_view key);
  void Update(std::string_view section, std::string_view key, std::string_view value);

  const std::string& fileName() const { return fileName_; }
  // The sections the store keeps, in the order first written.
  const std::vector<std::string>& sections() const { return sections_; }

 private:
  void NoteSection(std::string_view section);
  std::mutex lock_;
  std::string fileName_;
  int kind_ = 0;
  std::vector<std::string> sections_;
};

}  // namespace classlib
