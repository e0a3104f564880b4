#include "support/connection_entries.h"

#include <cstring>

#include "app/connect.h"

namespace testing_support {
namespace {

void Put(char* var, size_t size, const std::string& text) {
  std::memset(var, 0, size);
  std::strncpy(var, text.c_str(), size - 1);
}

}  // namespace

void TypeConnectionEntries(FakeWindowLayer& ui, const ConnectionEntries& e) {
  ui.onBuild = [e](FakeWindowRecord& w) {
    if (w.label != app::kConnectLabel) return;
    w.afterEvent = [e](FakeWindow& win, const rt::ui::Event& ev) {
      if (ev.event != rt::ui::EVENT_OpenWindow) return;
      Put(app::SERVER, sizeof app::SERVER, e.server);
      Put(app::DB_SERVER, sizeof app::DB_SERVER, e.dbServer);
      Put(app::DB_DATA, sizeof app::DB_DATA, e.dbData);
      Put(app::USUARIO, sizeof app::USUARIO, e.login);
      Put(app::PWD, sizeof app::PWD, e.password);
      win.RequestClose();
    };
  };
}

}  // namespace testing_support
