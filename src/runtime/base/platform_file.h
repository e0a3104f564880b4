// Whole files read and replaced on the platform's file system: what a
// program's own small files (its settings) need, with a symbolic link never
// followed and a replacement that readers see whole or not at all.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace rt {

// The whole of a regular file; nothing when it cannot be read, is no regular
// file or is a symbolic link (a link is never followed: what it points to is
// not the program's file).
std::optional<std::string> ReadOwnFile(const std::string& path);

// Whether a regular file is at path itself (a link is not one).
bool IsRegularFile(const std::string& path);

// Replaces the file at path by one holding text: a new file beside it (same
// folder, a name no other file has) is written, flushed to the disk and
// renamed over it, so that a reader sees the old file or the new one whole and
// a link at path is replaced, never written through. A regular file that was
// there keeps its permissions; one the user may not write is not replaced.
// False when the file cannot be replaced; no new file is left then.
bool ReplaceFile(const std::string& path, std::string_view text);

}  // namespace rt
