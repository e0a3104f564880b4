// The creation procedure: the connection entries checked, the owners and table
// names set, the migration and the creation loop under the progress window.
#include "app/create_schema.h"

#include <memory>
#include <optional>
#include <string_view>
#include <utility>

#include "app/connect.h"
#include "app/migrate.h"
#include "dictionary/dictionary.h"
#include "dictionary/names.h"
#include "runtime/base/text.h"
#include "runtime/files/files.h"
#include "runtime/sql/odbc_session.h"
#include "runtime/sql/sql_connect.h"

namespace app {
namespace {

bool IsEmptyEntry(const char* entry) { return rt::BlankPaddedEqual(entry, ""); }

// The entries in the order they are checked: each variable with its
// lost-character flag, its prompt in the connection window, and whether the
// entry decides which database file opens on a driver that reads no braces:
// the database entries are the file names there, and the server entry stands
// before them in the connection string.
struct EntryCheck {
  const char* entry;
  bool LostCharacters::*lost;
  std::string_view prompt;
  bool namesTheFile;
};
constexpr EntryCheck kEntryChecks[] = {
    {SERVER, &LostCharacters::server, "Servidor", true},
    {DB_DATA, &LostCharacters::dbData, "Base de Datos - DATA", true},
    {DB_SERVER, &LostCharacters::dbServer, "Base de Datos - SERVER", true},
    {USUARIO, &LostCharacters::usuario, "Usuario", false},
    {PWD, &LostCharacters::pwd, "Contrase\xF1" "a", false},
};

}  // namespace

void CreateSchema() {
  std::unique_ptr<rt::ui::Window> progress =
      rt::ui::Layer().BuildWindow(kCreationModule, kProgressLabel, {}, false);
  Window_Conect();

  if (IsEmptyEntry(SERVER) || IsEmptyEntry(DB_DATA) || IsEmptyEntry(DB_SERVER) || IsEmptyEntry(USUARIO)) {
    rt::ui::Layer().ShowMessageBox(kMissingEntriesMessage, "Error", rt::ui::ICON_Exclamation,
                                   rt::ui::BUTTON_OK, 1, 0);
    progress->Close();
    return;
  }
  // A character the code page cannot hold reached its variable as '?': such an
  // entry would name another database or send another password. On a driver
  // that reads no braces (the SQLite default) an entry that needs them would
  // open another file than the one typed.
  const std::optional<std::string> driver = rt::ChosenOdbcDriver();
  const bool bracesRead = !driver || rt::DriverReadsBraces(*driver);
  for (const EntryCheck& e : kEntryChecks) {
    const bool misread = e.namesTheFile && !bracesRead && rt::NeedsBraces(rt::CLIP(e.entry));
    if (!(EntryLostCharacters.*e.lost) && !misread) continue;
    rt::ui::Layer().ShowMessageBox(std::string(kInvalidCharactersMessage) + std::string(e.prompt), "Error",
                                   rt::ui::ICON_Exclamation, rt::ui::BUTTON_OK, 1, 0);
    progress->Close();
    return;
  }
  // Where a database is a file, a local file of the migration is not one: it
  // would be written while the migration reads it.
  for (const EntryCheck& e : kEntryChecks) {
    if (bracesRead || (e.entry != DB_DATA && e.entry != DB_SERVER) || !NamesALocalFile(rt::CLIP(e.entry))) continue;
    rt::ui::Layer().ShowMessageBox(std::string(kLocalFileEntryMessage) + std::string(e.prompt), "Error",
                                   rt::ui::ICON_Exclamation, rt::ui::BUTTON_OK, 1, 0);
    progress->Close();
    return;
  }

  // The databases may have changed since an earlier press: what the drivers
  // keep of them is read afresh.
  rt::BeginFileRun();
  dict::DataOwner.Set(rt::BuildOwner(SERVER, DB_DATA, USUARIO, PWD));
  dict::ServerOwner.Set(rt::BuildOwner(SERVER, DB_SERVER, USUARIO, PWD));
  // The tables declared with a name variable that the creation sets, each to
  // the name its catalogue item gives.
  for (const dict::TableInfo& table : dict::Tables()) {
    if (table.creationName.empty()) continue;
    if (rt::TableNameVar* var = dict::TableNameVarOf(table.decl.label)) var->Set(table.creationName);
  }

  // A table that could not be migrated stops the run here, so that the next
  // press, once the cause is removed, finds it as it was and migrates it.
  if (!MigrateStructures()) {
    progress->Close();
    return;
  }
  CreateTablesLoop(*progress);
  progress->Close();
}

void CreateTablesLoop(rt::ui::Window& progress) {
  const std::vector<dict::CreationEntry> list = dict::CreationList();
  progress.Open();
  progress.PostEvent({rt::ui::EVENT_OpenWindow, 0});
  // The window may deliver an opening event of its own besides the one posted:
  // the list is walked once, on the first.
  bool done = false;
  progress.RunAcceptLoop([&](const rt::ui::Event& ev) {
    if (ev.event != rt::ui::EVENT_OpenWindow || done) return;
    done = true;
    progress.SetProperty(kProgressBar, rt::ui::PROP_RangeHigh, std::to_string(list.size()));
    for (const dict::CreationEntry& entry : list) {
      progress.SetProperty(kProgressText, rt::ui::PROP_Text, "Creando archivo: " + std::string(entry.label) + " ");
      const int value = std::atoi(progress.GetProperty(kProgressBar, rt::ui::PROP_Progress).c_str());
      progress.SetProperty(kProgressBar, rt::ui::PROP_Progress, std::to_string(value + 1));
      progress.RedrawControls(0, 0);
      entry.relations->OpenWithRelated(false);
      entry.relations->CloseWithRelated(false);
    }
    progress.SetProperty(kProgressText, rt::ui::PROP_Text, "Proceso terminado.");
    progress.RedrawControls(0, 0);
    progress.RefreshNow();
  });
}

}  // namespace app
