// Seams for tests of the dictionary layer. The program never sets them.
#pragma once

#include <string>

namespace dict {

// Module n's catalogue text is read as text instead of its own. It takes
// effect only before the dictionary is first read, so a test uses it in a
// process of its own (a death test) to see what a faulty declaration does.
void ReplaceModuleCatalogue(int module, std::string text);

}  // namespace dict
