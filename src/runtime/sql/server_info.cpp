// The server's keyword list read from its SQL_KEYWORDS text.
#include "runtime/sql/server_info.h"

#include "runtime/base/text.h"

namespace rt {

void ServerInfo::SetKeywords(std::string_view commaList) {
  keywords.clear();
  size_t start = 0;
  while (start < commaList.size()) {
    size_t comma = commaList.find(',', start);
    if (comma == std::string_view::npos) comma = commaList.size();
    const std::string word = Upper(Trim(commaList.substr(start, comma - start)));
    if (!word.empty()) keywords.insert(word);
    start = comma + 1;
  }
}

int ServerInfo::MajorVersion() const {
  int major = 0;
  for (size_t i = 0; i < dbmsVersion.size() && i < 6 && dbmsVersion[i] >= '0' && dbmsVersion[i] <= '9'; ++i)
    major = major * 10 + (dbmsVersion[i] - '0');
  return major;
}

}  // namespace rt
