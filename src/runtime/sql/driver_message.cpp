// Driver messages without the driver manager's and driver's bracketed tags.
#include "runtime/sql/driver_message.h"

namespace rt {

std::string StripBracketTags(std::string_view message) {
  size_t pos = 0;
  while (true) {
    while (pos < message.size() && message[pos] == ' ') ++pos;
    if (pos < message.size() && message[pos] == '[') {
      size_t close = message.find(']', pos);
      if (close == std::string_view::npos) break;
      pos = close + 1;
    } else {
      break;
    }
  }
  return std::string(message.substr(pos));
}

}  // namespace rt
