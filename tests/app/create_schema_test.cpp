// The creation procedure's check of the connection entries and the owners it
// builds from them.
#include <gtest/gtest.h>

#include <string>

#include "app/connect.h"
#include "app/create_schema.h"
#include "dictionary/dictionary.h"
#include "dictionary/names.h"
#include "runtime/sql/sql_connect.h"
#include "support/connection_entries.h"
#include "support/fake_ui.h"

namespace {

using testsupport::ConnectionEntries;

void RunWithEntries(testsupport::FakeWindowLayer& ui, const ConnectionEntries& e) {
  testsupport::TypeConnectionEntries(ui, e);
  app::CreateSchema();
}

TEST(CreateSchema, IncompleteEntriesShowTheMessageOnceAndOpenNothing) {
  const ConnectionEntries cases[] = {
      {"   ", "srv", "data", "admin", ""},  // a server of blanks counts as missing
      {"", "srv", "data", "", ""},          // server and login both empty: one message
      {"host", "srv", "", "admin", "pw"},
      {"host", "", "data", "admin", "pw"},
      {"host", "srv", "data", "  ", "pw"},
  };
  for (const ConnectionEntries& e : cases) {
    SCOPED_TRACE(e.server + "|" + e.dbServer + "|" + e.dbData + "|" + e.login);
    testsupport::FakeWindowLayer ui;
    dict::DataOwner.Set("before");
    dict::ServerOwner.Set("before");
    RunWithEntries(ui, e);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "No se pudo iniciar creaci\xC3\xB3n de bases de datos. Datos faltantes");
    EXPECT_EQ(ui.boxes[0].caption, "Error");
    EXPECT_EQ(ui.boxes[0].icon, rt::ui::ICON_Exclamation);
    EXPECT_EQ(ui.boxes[0].buttons, rt::ui::BUTTON_OK);
    // No owner changed and the progress window, built first, never opened.
    EXPECT_EQ(dict::DataOwner.Get(), "before");
    EXPECT_EQ(dict::ServerOwner.Get(), "before");
    auto progress = ui.Latest("P1$WIN_CREA");
    ASSERT_TRUE(progress);
    EXPECT_FALSE(progress->opened);
    EXPECT_TRUE(progress->destroyed);
  }
}

TEST(CreateSchema, EntryTheCodePageCannotHoldIsRefusedBeforeAnythingIsOpened) {
  struct Case {
    ConnectionEntries entries;
    const char* message;
  } cases[] = {
      {{"srv", "sistema", "\xD0\xB4\xD0\xB0\xD0\xBD\xD0\xBD\xD1\x8B\xD0\xB5.db", "admin", ""},  // Cyrillic
       "No se pudo iniciar creaci\xC3\xB3n de bases de datos. Caracteres no v\xC3\xA1lidos en Base de Datos - DATA"},
      {{"srv", "sistema", "datos", "admin", "clave\xF0\x9F\x98\x80"},  // an emoji
       "No se pudo iniciar creaci\xC3\xB3n de bases de datos. Caracteres no v\xC3\xA1lidos en Contrase\xC3\xB1" "a"},
      {{"\xE2\x84\x96" "1", "\xE2\x84\x96" "2", "datos", "admin", ""},  // the first entry in the check's order
       "No se pudo iniciar creaci\xC3\xB3n de bases de datos. Caracteres no v\xC3\xA1lidos en Servidor"},
      {{"", "sistema", "\xD0\xB4", "admin", ""},  // missing data is told first
       "No se pudo iniciar creaci\xC3\xB3n de bases de datos. Datos faltantes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    testsupport::FakeWindowLayer ui;
    dict::DataOwner.Set("before");
    dict::ServerOwner.Set("before");
    RunWithEntries(ui, c.entries);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, c.message);
    EXPECT_EQ(ui.boxes[0].caption, "Error");
    EXPECT_EQ(ui.boxes[0].icon, rt::ui::ICON_Exclamation);
    EXPECT_EQ(ui.boxes[0].buttons, rt::ui::BUTTON_OK);
    EXPECT_EQ(dict::DataOwner.Get(), "before");
    EXPECT_EQ(dict::ServerOwner.Get(), "before");
    EXPECT_FALSE(ui.Latest("P1$WIN_CREA")->opened);
  }
}

TEST(CreateSchema, OwnersFromTheEntries) {
  struct Case {
    const char *server, *db, *login, *password, *owner;
  } cases[] = {
      {"host", "data", "admin", "", "host,data,admin"},          // no password: three parts
      {"host", "data", "admin", "    ", "host,data,admin"},      // a password of blanks is empty
      {"host  ", "data ", "admin ", "pw  ", "host,data,admin,pw"},  // trailing blanks never reach it
      {"  host", " data", "admin", " pw", "  host, data,admin, pw"},  // leading ones do
      {"host", "data", "admin", "a,b", "host,data,admin,\"a,b\""},  // a comma stays inside its part
  };
  for (const Case& c : cases) {
    EXPECT_EQ(rt::BuildOwner(c.server, c.db, c.login, c.password), c.owner) << c.server << "|" << c.password;
  }
}

}  // namespace
