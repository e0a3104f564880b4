// The creation procedure run by the main frame's schema button, and its
// creation loop under the progress window.
#pragma once

#include <string>

#include "layouts/ortav004_win_crea.h"
#include "runtime/ui/ui.h"

namespace app {

inline constexpr const char* kCreationModule = layouts::ortav004_win_crea::kModule;
inline constexpr const char* kProgressLabel = layouts::ortav004_win_crea::kLabel;
inline constexpr int kProgressBar = layouts::ortav004_win_crea::PROGOUTLOOK;
inline constexpr int kProgressText = layouts::ortav004_win_crea::STRING1;

// The messages are Windows-1252, as every text of the program.
inline constexpr const char* kMissingEntriesMessage =
    "No se pudo iniciar creaci\xF3n de bases de datos. Datos faltantes";
// Shown, followed by the entry's prompt, when an entry held a character that
// the program's code page cannot hold, or one that would make the SQLite
// driver open another database file than the one typed.
inline constexpr const char* kInvalidCharactersMessage =
    "No se pudo iniciar creaci\xF3n de bases de datos. Caracteres no v\xE1lidos en ";

// Shown, followed by the entry's prompt, when a database entry names one of
// the local files the migration reads (a database that is a file).
inline constexpr const char* kLocalFileEntryMessage =
    "No se pudo iniciar creaci\xF3n de bases de datos. Archivo local de la migraci\xF3n en ";

// Asks for the connection, checks the entries, sets the owners and the table
// names, migrates the changed tables and creates every missing table.
void CreateSchema();

// Shows the progress window and opens and closes every table of the creation list.
void CreateTablesLoop(rt::ui::Window& progress);

}  // namespace app
