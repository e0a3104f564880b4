// The program-wide name variables of table declarations.
#include "runtime/decl/file_decl.h"

#include <algorithm>
#include <cstring>

namespace rt {

std::string NameVar::Get() const {
  return std::string(value_, strnlen(value_, kSize));
}

void NameVar::Set(std::string_view text) {
  const size_t n = std::min(text.size(), kSize - 1);
  std::memset(value_, 0, kSize);
  std::memcpy(value_, text.data(), n);
}

}  // namespace rt
