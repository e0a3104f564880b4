// The settings store: profile files read and written line by line, and the
// window positions kept in them.
#include "classlib/ini_store.h"

#include <algorithm>
#include <charconv>

#include "runtime/base/platform_file.h"
#include "runtime/base/text.h"

namespace classlib {
namespace {

// Blanks around names, keys and values.
std::string_view Trim(std::string_view s) { return rt::Trim(s, " \t"); }

// The section name of a "[name]" line; nullopt for any other line.
std::optional<std::string_view> SectionOf(std::string_view line) {
  std::string_view t = Trim(line);
  if (t.size() < 2 || t.front() != '[') return std::nullopt;
  size_t close = t.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trim(t.substr(1, close - 1));
}

// The key of a "key=value" entry line; nullopt for any other line.
std::optional<std::string_view> EntryKey(std::string_view line, std::string_view* value = nullptr) {
  std::string_view t = Trim(line);
  if (t.empty() || t.front() == ';' || t.front() == '[') return std::nullopt;
  size_t eq = t.find('=');
  if (eq == std::string_view::npos || eq == 0) return std::nullopt;
  std::string_view key = Trim(t.substr(0, eq));
  if (key.empty()) return std::nullopt;
  if (value) {
    std::string_view v = Trim(t.substr(eq + 1));
    if (v.size() >= 2 && ((v.front() == '"' && v.back() == '"') || (v.front() == '\'' && v.back() == '\''))) {
      v = v.substr(1, v.size() - 2);
    }
    *value = v;
  }
  return key;
}

std::optional<int> ToInt(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  std::string_view t = Trim(*text);
  int value = 0;
  auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
  if (ec != std::errc() || end != t.data() + t.size()) return std::nullopt;
  return value;
}

}  // namespace

ProfileFile ProfileFile::Load(const std::string& path) {
  ProfileFile profile;
  std::optional<std::string> read = rt::ReadOwnFile(path);
  if (!read) {
    // Its sections would be lost with it: such a file is left as it is.
    profile.unread_ = rt::IsRegularFile(path);
    return profile;
  }
  std::string& text = *read;
  text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
  bool sawEol = false;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    std::string line = text.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
    bool cr = !line.empty() && line.back() == '\r';
    if (cr) line.pop_back();
    if (nl != std::string::npos && !sawEol) {
      profile.eol_ = cr ? "\r\n" : "\n";
      sawEol = true;
    }
    profile.lines_.push_back(std::move(line));
    if (nl == std::string::npos) break;
    pos = nl + 1;
  }
  return profile;
}

// The first section of that name: its header line and the line after its last line.
static std::optional<std::pair<size_t, size_t>> FindSection(const std::vector<std::string>& lines,
                                                            std::string_view section) {
  for (size_t i = 0; i < lines.size(); ++i) {
    auto s = SectionOf(lines[i]);
    if (!s || !rt::SameText(*s, section)) continue;
    size_t end = i + 1;
    while (end < lines.size() && !SectionOf(lines[end])) ++end;
    return std::make_pair(i, end);
  }
  return std::nullopt;
}

std::optional<std::string> ProfileFile::Get(std::string_view section, std::string_view key) const {
  auto range = FindSection(lines_, section);
  if (!range) return std::nullopt;
  for (size_t i = range->first + 1; i < range->second; ++i) {
    std::string_view value;
    if (auto k = EntryKey(lines_[i], &value); k && rt::SameText(*k, key)) return std::string(value);
  }
  return std::nullopt;
}

void ProfileFile::Set(std::string_view section, std::string_view key, std::string_view value) {
  std::string entry = std::string(key) + "=" + std::string(value);
  auto range = FindSection(lines_, section);
  if (!range) {
    if (!lines_.empty() && !Trim(lines_.back()).empty()) lines_.emplace_back();
    lines_.push_back("[" + std::string(section) + "]");
    lines_.push_back(entry);
    return;
  }
  size_t insertAt = range->first + 1;
  for (size_t i = range->first + 1; i < range->second; ++i) {
    if (auto k = EntryKey(lines_[i]); k && rt::SameText(*k, key)) {
      lines_[i] = entry;
      return;
    }
    if (!Trim(lines_[i]).empty()) insertAt = i + 1;
  }
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), entry);
}

bool ProfileFile::Save(const std::string& path) const {
  if (unread_) return false;
  std::string text;
  for (const std::string& l : lines_) text += l + eol_;
  return rt::ReplaceFile(path, text);
}

void IniStore::Setup(std::string_view fileName, int kind) {
  std::lock_guard<std::mutex> guard(lock_);
  fileName_.assign(fileName.substr(0, kFileNameSize));
  kind_ = kind;
  sections_.clear();
  auto list = ProfileFile::Load(fileName_).Get(kSectorsSection, kSectorsEntry);
  if (!list) return;
  std::string_view rest = *list;
  while (!rest.empty()) {
    size_t comma = rest.find(',');
    std::string_view name = Trim(rest.substr(0, comma));
    if (!name.empty()) NoteSection(name);
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
}

void IniStore::Teardown() {
  std::lock_guard<std::mutex> guard(lock_);
  if (fileName_.empty()) return;
  std::string list;
  for (const std::string& s : sections_) {
    if (!list.empty()) list += ',';
    list += s;
  }
  ProfileFile profile = ProfileFile::Load(fileName_);
  profile.Set(kSectorsSection, kSectorsEntry, list);
  profile.Save(fileName_);
  sections_.clear();
}

void IniStore::NoteSection(std::string_view section) {
  for (const std::string& s : sections_) {
    if (rt::SameText(s, section)) return;
  }
  sections_.emplace_back(section);
}

std::optional<std::string> IniStore::Fetch(std::string_view section, std::string_view key) {
  std::lock_guard<std::mutex> guard(lock_);
  if (fileName_.empty()) return std::nullopt;
  return ProfileFile::Load(fileName_).Get(section, key);
}

void IniStore::Update(std::string_view section, std::string_view key, std::string_view value) {
  std::lock_guard<std::mutex> guard(lock_);
  if (fileName_.empty()) return;
  ProfileFile profile = ProfileFile::Load(fileName_);
  profile.Set(section, key, value);
  profile.Save(fileName_);
  NoteSection(section);
}

void IniStore::RestoreWindow(std::string_view procName, rt::ui::Window& window) {
  std::string section = std::string(rt::CLIP(procName));
  ProfileFile profile;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (fileName_.empty()) return;
    profile = ProfileFile::Load(fileName_);
  }
  auto x = ToInt(profile.Get(section, "XPos"));
  auto y = ToInt(profile.Get(section, "YPos"));
  auto w = ToInt(profile.Get(section, "Width"));
  auto h = ToInt(profile.Get(section, "Height"));
  auto maximize = profile.Get(section, "Maximize");
  auto minimize = profile.Get(section, "Minimize");

  bool withSize = window.Resizable() && (w || h);
  if (x || y || withSize) {
    rt::ui::Geometry g = window.GetGeometry();
    if (x) g.x = *x;
    if (y) g.y = *y;
    if (withSize) {
      if (w && *w > 0) g.width = *w;
      if (h && *h > 0) g.height = *h;
    }
    window.SetGeometry(g, withSize);
  }
  if (maximize && rt::SameText(Trim(*maximize), "Yes")) {
    window.SetState(rt::ui::WindowState::Maximized);
  } else if (minimize && rt::SameText(Trim(*minimize), "Yes")) {
    window.SetState(rt::ui::WindowState::Minimized);
  }
}

void IniStore::SaveWindow(std::string_view procName, rt::ui::Window& window) {
  std::string section = std::string(rt::CLIP(procName));
  rt::ui::WindowState state = window.State();
  rt::ui::Geometry g = window.GetGeometry();
  bool resizable = window.Resizable();
  std::lock_guard<std::mutex> guard(lock_);
  if (fileName_.empty()) return;
  ProfileFile profile = ProfileFile::Load(fileName_);
  profile.Set(section, "Maximize", state == rt::ui::WindowState::Maximized ? "Yes" : "No");
  profile.Set(section, "Minimize", state == rt::ui::WindowState::Minimized ? "Yes" : "No");
  if (state == rt::ui::WindowState::Normal) {
    profile.Set(section, "XPos", std::to_string(g.x));
    profile.Set(section, "YPos", std::to_string(g.y));
    if (resizable) {
      profile.Set(section, "Width", std::to_string(g.width));
      profile.Set(section, "Height", std::to_string(g.height));
    }
  }
  profile.Save(fileName_);
  NoteSection(section);
}

}  // namespace classlib
