// Types the five entries into the next connection windows built by a recording
// window layer and presses "&Aceptar", as a user would.
#pragma once

#include <string>

#include "support/fake_ui.h"

namespace testsupport {

struct ConnectionEntries {
  std::string server, dbServer, dbData, login, password;
};

// From now on every connection window of ui opens, gets these entries, and closes.
void TypeConnectionEntries(FakeWindowLayer& ui, const ConnectionEntries& entries);

}  // namespace testsupport
