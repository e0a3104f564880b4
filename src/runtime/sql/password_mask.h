// Password values hidden in texts that may show them.
#pragma once

#include <string>
#include <string_view>

namespace rt {

// The text, a connection string or a driver's message that may echo one, with
// every password value shown as "********": the value after "PWD=" or
// "Password=" (any case, a name of its own), brace-quoted or bare, up to the
// next ";", the line's end or the "}" that closes braces opened before it.
std::string MaskPassword(std::string_view text);

}  // namespace rt
