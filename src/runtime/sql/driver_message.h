// A driver's diagnostic message made fit to show.
#pragma once

#include <string>
#include <string_view>

namespace rt {

// A server message without its leading bracketed tags ("[unixODBC][Driver]...").
std::string StripBracketTags(std::string_view message);

}  // namespace rt
