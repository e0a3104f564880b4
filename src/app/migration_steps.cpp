#include "app/migration_steps.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <utility>

#include "app/migrate.h"
#include "app/test_hooks.h"
#include "app/users_pass.h"
#include "dictionary/dictionary.h"
#include "runtime/base/program.h"
#include "runtime/base/text.h"
#include "runtime/files/disk_files.h"
#include "runtime/files/files.h"
#include "runtime/files/sqlite_file_driver.h"

namespace app {
namespace {

constexpr OldLayout kCoveLayout{
    1384,
    "UNICO LONG; UNICOREFERE LONG; TIPO CSTRING(2); SUBTIPO CSTRING(3); FACTURA CSTRING(21); TIPOCAMBIO REAL; "
    "INDUSTRIAAUTOMOTRIZ BYTE; IDENTIFICACION CSTRING(51); FECHA_EXPED date pair; CERTIFICADOORIGEN CSTRING(51); "
    "NUMEXPORTADORCONFIABLE CSTRING(31); OBSERVACIONES CSTRING(255); RFCCONSULTA CSTRING(14); SUBDIVISION "
    "CSTRING(31); TIPOFIGURAADUANAL CSTRING(11); CURP CSTRING(19); CORREOELECTRONICO CSTRING(255); "
    "TIPOIDENTIFICADOREMISOR CSTRING(11); IDENTIFICADOREMISOR CSTRING(31); TIPOIDENTIFICADORDESTIN CSTRING(11); "
    "IDENTIFICADORDESTIN CSTRING(31); NOMBREARCHIVOXML CSTRING(255); EDOCUMENT CSTRING(255); FECHA_MOD date pair; "
    "HORA_MOD time pair; USER_MOD CSTRING(3); HORA_MODX BYTE; MIN_MODX BYTE.",
    "@:KEY_UNICA PRIMARY OPT (UNICO); @:KEY_MOD DUP OPT (FECHA_MOD, HORA_MOD, USER_MOD); @:KEY_CODIGO DUP OPT "
    "(TIPO, SUBTIPO, FACTURA); @:FK_REFERE DUP OPT (UNICOREFERE).",
};
constexpr OldLayout kUsersLayout{
    48,
    "CODIGO CSTRING(3); FECHA_ALTA date pair; FECHA_BAJA date pair; FECHA_CAMBIOPWD date pair; FECHA_MOD date "
    "pair; HORA_MOD time pair; USER_MOD CSTRING(3); HORA_MODX BYTE; MIN_MODX BYTE.",
    "@:KEY_CODIGO PRIMARY OPT (CODIGO).",
};

// The statements of the first five go over REFERENCIAS's connection, to the data
// database; USUAR_EXT's over its own, to the system database, where USUAR is
// too: the users pass is part of USUAR_EXT's migration.
constexpr ChangedTable kChangedTables[] = {
    {"RefereExtCove", "REFERENCIAS", "RefereExtCove", false, false, &kCoveLayout, "DataOwner",
     {"XRefereExtCove1", "XRCOV1"}, {"XRefereExtCove", "XRCOV"}, nullptr, "", true, nullptr},
    {"RefereExtCoveEQ", "REFERENCIAS", "RefereExtCoveEQ", false, false, &kCoveLayout, "DataOwner",
     {"XRefereExtCoveEq1", "XRCOVQ1"}, {"XRefereExtCoveEq", "XRCOVQ"}, nullptr, "INDUSTRIAAUTOMOTRIZ", false, nullptr},
    {"EmbarqueCTPAT", "REFERENCIAS", "EmbarqueCTPAT", false, true, nullptr, "", {}, {}, nullptr, "", false, nullptr},
    {"RutasDefaults", "REFERENCIAS", "RutasDefault", false, true, nullptr, "", {}, {}, nullptr, "", false, nullptr},
    {"DetEmbarqueFacturas", "REFERENCIAS", "DetEmbarqueFacturas", false, true, nullptr, "", {}, {}, nullptr, "", false,
     nullptr},
    {"USUAR_EXT", "USUAR_EXT", "USUAR_EXT", true, false, &kUsersLayout, "ServerOwner", {"XUSUAR_EXT", "XUSE11"},
     {"XUSE1", "XUSE1"}, "XUSUAR_EXT", "", false, MoveUsersPasswords},
};

std::string Replace(std::string_view text, char mark, std::string_view by) {
  std::string out;
  for (char c : text) {
    if (c == mark) out.append(by);
    else out.push_back(c);
  }
  return out;
}

// A declaration's item in catalogue text: where says its kind, driver, name and owner.
std::string Item(const OldDecl& d, const OldLayout& layout, const std::string& where) {
  return std::string("- ") + d.label + " (prefix " + d.prefix + "): " + where + "; THREAD; record " +
         std::to_string(layout.length) + " bytes.\n  - Fields: " + std::string(layout.fields) +
         "\n  - Keys: " + Replace(layout.keys, '@', d.prefix) + "\n";
}

// A test's edit of the text (ReplaceInOldLayouts).
std::pair<std::string, std::string>& TextEdit() {
  static std::pair<std::string, std::string> edit;
  return edit;
}

struct Loaded {
  std::vector<dict::TableInfo> tables;  // each migrated row's local file, then its renamed table
  std::vector<dict::CatalogueError> errors;
};

const Loaded& Declarations() {
  static const Loaded loaded = [] {
    Loaded l;
    std::string text;
    for (const ChangedTable& t : kChangedTables) {
      if (t.dropped) continue;
      text += Item(t.local, *t.layout, std::string("TopSpeed file (driver TOPSPEED), name \"") + t.local.label +
                                           "\", no owner");
      text += Item(t.renamed, *t.layout, "SQL Server table (driver MSSQL), name \"X" + std::string(t.sqlName) +
                                             "\", " + t.owner + "; driver options \"/LOGONSCREEN=FALSE\"");
    }
    if (const auto& [from, to] = TextEdit(); !from.empty())
      if (const size_t at = text.find(from); at != std::string::npos) text.replace(at, from.size(), to);
    dict::ParseCatalogue(4, text, l.tables, l.errors);
    for (dict::CatalogueError& e : l.errors) e.module = "Migration";
    // A local file named by a variable: the migration sets the name.
    for (const ChangedTable& t : kChangedTables)
      for (dict::TableInfo& info : l.tables)
        if (!t.dropped && t.localFile && info.decl.label == t.local.label) {
          info.decl.tableName.clear();
          info.decl.tableNameVar = &LocalFileNameVar(t);
        }
    return l;
  }();
  return loaded;
}

const std::vector<dict::TableInfo>& Templates() {
  const Loaded& l = Declarations();
  if (!l.errors.empty()) throw std::logic_error("old-layout declarations: " + l.errors.front().Message());
  return l.tables;
}

const dict::TableInfo* Find(std::string_view label) {
  for (const dict::TableInfo& t : Templates())
    if (t.decl.label == label) return &t;
  return nullptr;
}

// Set-up of the instances, once per thread, and what the thread's end releases.
thread_local int t_setupGuard = 0;
thread_local std::vector<uint8_t> t_localFileReady;

}  // namespace

std::span<const ChangedTable> ChangedTables() { return kChangedTables; }

std::string StatementName(const ChangedTable& t) {
  return t.namedByVariable ? std::string(rt::CLIP(dict::FileOf(t.label).decl().TableName())) : t.sqlName;
}

OldDecls OldDeclsOf(const ChangedTable& t) { return {Find(t.renamed.label), Find(t.local.label)}; }

std::vector<dict::CatalogueError> CheckOldLayouts() { return Declarations().errors; }

void SetUpOldLayoutFiles() {
  if (rt::OnceGuardEnter(t_setupGuard)) return;
  const std::vector<dict::TableInfo>& templates = Templates();
  t_localFileReady.assign(templates.size(), 0);
  for (size_t i = 0; i < templates.size(); ++i) {
    rt::ThreadFile(templates[i].decl).ClearRecord();
    t_localFileReady[i] = 1;
  }
  rt::OnceGuardDone(t_setupGuard);
}

void ReleaseOldLayoutFiles() {
  for (size_t i = 0; i < t_localFileReady.size(); ++i) {
    if (!t_localFileReady[i]) continue;
    rt::ReleaseThreadFile(Templates()[i].decl);
    t_localFileReady[i] = 0;
  }
  t_setupGuard = 0;
}

rt::NameVar& LocalFileNameVar(const ChangedTable& t) {
  static std::map<std::string, rt::NameVar, std::less<>> vars;
  return vars[t.local.label];
}

rt::NameVar& XUSE1Name() {
  for (const ChangedTable& t : kChangedTables)
    if (!t.dropped && t.local.label == std::string_view("XUSE1")) return LocalFileNameVar(t);
  throw std::logic_error("no XUSE1");
}

bool NamesALocalFile(std::string_view path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path entry{std::string(path)};
  const fs::path folder = entry.parent_path().empty() ? fs::path(".") : entry.parent_path();
  const bool here = fs::equivalent(folder, ".", ec);
  for (const ChangedTable& t : kChangedTables) {
    if (t.dropped) continue;
    const std::string file = rt::TopSpeedFileName(t.localFile ? t.localFile : t.local.label);
    if (here && rt::SameText(entry.filename().string(), file)) return true;
    for (const std::string& found : rt::FilesNoCase(file))
      if (fs::equivalent(entry, found, ec)) return true;
  }
  return false;
}

const dict::TableInfo& MigrationFile(std::string_view label) {
  if (const dict::TableInfo* t = Find(label)) return *t;
  throw std::logic_error("no migration file " + std::string(label));
}

void ReleaseMigrationFiles() { ReleaseOldLayoutFiles(); }

void ReplaceInOldLayouts(std::string from, std::string to) { TextEdit() = {std::move(from), std::move(to)}; }

}  // namespace app
