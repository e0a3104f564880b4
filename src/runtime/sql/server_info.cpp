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

}  // namespace rt
