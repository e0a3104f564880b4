// Checked-in files that a test's text must match, rewritten on request.
#include "support/golden.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

namespace testsupport {

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace

std::string SourcePath(const std::string& relative) {
  const char* src = std::getenv("ORTAVIA_SOURCE_DIR");
  return std::string(src ? src : ".") + "/" + relative;
}

void ExpectMatchesGoldenFile(const std::string& relative, const std::string& text) {
  const std::string path = SourcePath(relative);
  const char* update = std::getenv("ORTAVIA_UPDATE_GOLDEN");
  if (update && std::string(update) == "1") {
    ASSERT_FALSE(::testing::Test::HasFailure()) << "not rewritten: the test failed before it was written";
    std::ofstream(path, std::ios::binary) << text;
    GTEST_SKIP() << "rewrote " << path;
  }
  std::ifstream in(path, std::ios::binary);
  ASSERT_TRUE(in) << path << " is missing; write it with ORTAVIA_UPDATE_GOLDEN=1";
  const std::string want((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (text == want) return;
  const std::vector<std::string> a = Lines(want), b = Lines(text);
  size_t i = 0;
  while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
  ADD_FAILURE() << "the text differs from " << path << " from line " << i + 1 << " on:\n  file: "
                << (i < a.size() ? a[i] : "(end)") << "\n  made: " << (i < b.size() ? b[i] : "(end)") << "\n("
                << a.size() << " lines in the file, " << b.size()
                << " made; after a deliberate change rerun with ORTAVIA_UPDATE_GOLDEN=1 and review the diff)";
}

}  // namespace testsupport
