// A text a test produces held to a checked-in file, so that any change shows
// in a diff: the test fails at the first line that differs, and with
// ORTAVIA_UPDATE_GOLDEN=1 in the environment it rewrites the file instead.
#pragma once

#include <string>

namespace testsupport {

// The path of a file of the source tree, relative to its top (ORTAVIA_SOURCE_DIR).
std::string SourcePath(const std::string& relative);

// Compares text with the checked-in file at relative (a path of the source
// tree) and records a test failure naming the first differing line; with
// ORTAVIA_UPDATE_GOLDEN=1 it writes text there instead and skips the test.
// The caller returns after it.
void ExpectMatchesGoldenFile(const std::string& relative, const std::string& text);

}  // namespace testsupport
