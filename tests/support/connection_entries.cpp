// Types the connection entries into the variables the window binds, by their names.
#include "support/connection_entries.h"

#include <cstring>
#include <string_view>
#include <utility>

#include "app/connect.h"
#include "runtime/base/code_page.h"

namespace testsupport {
namespace {

// Stores typed text (UTF-8) as the window layer does: in the code page, a
// character it cannot hold as '?', and says so through the variable's flag.
void Put(const rt::ui::BoundVar& var, const std::string& typed) {
  bool lost = false;
  const std::string text = rt::Utf8ToCp1252(typed, &lost);
  std::memset(var.data, 0, var.size);
  std::strncpy(var.data, text.c_str(), var.size - 1);
  if (var.lost) *var.lost = lost;
}

}  // namespace

void TypeConnectionEntries(FakeWindowLayer& ui, const ConnectionEntries& e) {
  ui.onBuild = [e](FakeWindowRecord& w) {
    if (w.label != app::kConnectLabel) return;
    w.afterEvent = [e](FakeWindow& win, const rt::ui::Event& ev) {
      if (ev.event != rt::ui::EVENT_OpenWindow) return;
      const std::pair<std::string_view, const std::string*> typed[] = {
          {"SERVER", &e.server}, {"DB_SERVER", &e.dbServer}, {"DB_DATA", &e.dbData},
          {"USUARIO", &e.login}, {"PWD", &e.password}};
      for (const rt::ui::BoundVar& var : win.record().vars)
        for (const auto& [name, text] : typed)
          if (var.name == name) Put(var, *text);
      win.RequestClose();
    };
  };
}

}  // namespace testsupport
