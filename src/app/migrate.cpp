// Migration of the six tables whose declaration changed. Three of them
// (RefereExtCove, RefereExtCoveEQ, USUAR_EXT) are renamed on the server with an
// "X" in front, created anew, filled first from the renamed table's own rows and
// then from a local file of the old layout, and the renamed table is dropped
// once every one of its rows arrived; three more are dropped so that the
// creation loop creates them anew; then each user's database password moves
// from USUAR into USUAR_EXT.
#include "app/migrate.h"

#include <array>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "classlib/results.h"
#include "dictionary/dictionary.h"
#include "runtime/base/datetime.h"
#include "runtime/base/program.h"
#include "runtime/base/text.h"
#include "runtime/files/files.h"
#include "runtime/ui/ui.h"

namespace app {
namespace {

using classlib::ResultOk;

// The old layouts, in the dictionary's notation. The SQL declarations name the
// tables that the renames produce, each in the database that holds it.
constexpr std::string_view kCoveFields =
    "UNICO LONG; UNICOREFERE LONG; TIPO CSTRING(2); SUBTIPO CSTRING(3); FACTURA CSTRING(21); TIPOCAMBIO REAL; "
    "INDUSTRIAAUTOMOTRIZ BYTE; IDENTIFICACION CSTRING(51); FECHA_EXPED date pair; CERTIFICADOORIGEN CSTRING(51); "
    "NUMEXPORTADORCONFIABLE CSTRING(31); OBSERVACIONES CSTRING(255); RFCCONSULTA CSTRING(14); SUBDIVISION "
    "CSTRING(31); TIPOFIGURAADUANAL CSTRING(11); CURP CSTRING(19); CORREOELECTRONICO CSTRING(255); "
    "TIPOIDENTIFICADOREMISOR CSTRING(11); IDENTIFICADOREMISOR CSTRING(31); TIPOIDENTIFICADORDESTIN CSTRING(11); "
    "IDENTIFICADORDESTIN CSTRING(31); NOMBREARCHIVOXML CSTRING(255); EDOCUMENT CSTRING(255); FECHA_MOD date pair; "
    "HORA_MOD time pair; USER_MOD CSTRING(3); HORA_MODX BYTE; MIN_MODX BYTE.";
constexpr std::string_view kCoveKeys =
    "@:KEY_UNICA PRIMARY OPT (UNICO); @:KEY_MOD DUP OPT (FECHA_MOD, HORA_MOD, USER_MOD); @:KEY_CODIGO DUP OPT "
    "(TIPO, SUBTIPO, FACTURA); @:FK_REFERE DUP OPT (UNICOREFERE).";
constexpr std::string_view kUsersFields =
    "CODIGO CSTRING(3); FECHA_ALTA date pair; FECHA_BAJA date pair; FECHA_CAMBIOPWD date pair; FECHA_MOD date "
    "pair; HORA_MOD time pair; USER_MOD CSTRING(3); HORA_MODX BYTE; MIN_MODX BYTE.";
constexpr std::string_view kUsersKeys = "@:KEY_CODIGO PRIMARY OPT (CODIGO).";

struct LocalDecl {
  const char* label;
  const char* prefix;
  const char* where;  // kind, driver, name and owner
  int length;
  std::string_view fields;
  std::string_view keys;
};

constexpr const char* kLocal = "TopSpeed file (driver TOPSPEED)";
constexpr const char* kSql = "SQL Server table (driver MSSQL)";

// In the order of their set-up.
const std::array<LocalDecl, 6> kLocalDecls{{
    {"XRefereExtCove", "XRCOV", "name \"XRefereExtCove\", no owner", 1384, kCoveFields, kCoveKeys},
    {"XRefereExtCove1", "XRCOV1", "name \"XRefereExtCove\", DataOwner", 1384, kCoveFields, kCoveKeys},
    {"XRefereExtCoveEq", "XRCOVQ", "name \"XRefereExtCoveEq\", no owner", 1384, kCoveFields, kCoveKeys},
    {"XRefereExtCoveEq1", "XRCOVQ1", "name \"XRefereExtCoveEQ\", DataOwner", 1384, kCoveFields, kCoveKeys},
    {"XUSE1", "XUSE1", "name \"XUSE1\", no owner", 48, kUsersFields, kUsersKeys},
    {"XUSUAR_EXT", "XUSE11", "name \"XUSUAR_EXT\", ServerOwner", 48, kUsersFields, kUsersKeys},
}};
enum LocalIndex { kXCove, kXCoveSql, kXCoveEq, kXCoveEqSql, kXUse1, kXUsersSql };

std::string Replace(std::string_view text, char mark, std::string_view by) {
  std::string out;
  for (char c : text) {
    if (c == mark) out.append(by);
    else out.push_back(c);
  }
  return out;
}

const std::vector<dict::TableInfo>& LocalTemplates() {
  static const std::vector<dict::TableInfo> templates = [] {
    std::string text;
    for (size_t i = 0; i < kLocalDecls.size(); ++i) {
      const LocalDecl& d = kLocalDecls[i];
      const bool sql = i == kXCoveSql || i == kXCoveEqSql || i == kXUsersSql;
      text += std::string("- ") + d.label + " (prefix " + d.prefix + "): " + (sql ? kSql : kLocal) + ", " + d.where +
              (sql ? "; driver options \"/LOGONSCREEN=FALSE\"" : "") + "; THREAD; record " +
              std::to_string(d.length) + " bytes.\n  - Fields: " + std::string(d.fields) + "\n  - Keys: " +
              Replace(d.keys, '@', d.prefix) + "\n";
    }
    std::vector<dict::TableInfo> out;
    std::vector<dict::CatalogueError> errors;
    dict::ParseCatalogue(4, text, out, errors);
    if (!errors.empty() || out.size() != kLocalDecls.size())
      throw std::logic_error("migration declarations: " + (errors.empty() ? "" : errors.front().Message()));
    out[kXUse1].decl.tableName.clear();
    out[kXUse1].decl.tableNameVar = &XUSE1Name();
    return out;
  }();
  return templates;
}

// Set-up of the six instances, once per thread, and what the thread's end releases.
thread_local int t_setupGuard = 0;
thread_local std::array<uint8_t, 6> t_localFileReady{};
// 1 once USUAR_EXT did not open in this run: the users pass follows.
thread_local uint8_t t_usersMoved = 0;

rt::FileBlock& Local(LocalIndex i) { return rt::ThreadFile(LocalTemplates()[i].decl); }

void SetUpLocalFiles() {
  if (rt::OnceGuardEnter(t_setupGuard)) return;
  for (size_t i = 0; i < kLocalDecls.size(); ++i) {
    rt::ThreadFile(LocalTemplates()[i].decl).ClearRecord();
    t_localFileReady[i] = 1;
  }
  rt::OnceGuardDone(t_setupGuard);
}

rt::KeyDescriptor& KeyOf(rt::FileBlock& file, std::string_view label) {
  for (rt::KeyDescriptor& k : file.keys())
    if (k.label == label) return k;
  throw std::logic_error("no key " + std::string(label));
}

rt::KeyDescriptor& PrimaryKeyOf(rt::FileBlock& file) {
  for (rt::KeyDescriptor& k : file.keys())
    if (k.attrs & rt::kKeyPrimary) return k;
  throw std::logic_error("no primary key in " + file.decl().label);
}

// A field of the record by its name: its place in the buffer and its size.
struct FieldArea {
  uint8_t* data;
  size_t size;
};

FieldArea FieldOf(rt::FileBlock& file, std::string_view name) {
  const rt::TypeRecord& rec = *file.decl().record;
  for (const rt::ValueField& f : rt::ValueFieldsOf(rec))
    if (f.name == name) return {file.buffer() + rec.entry(f.entry).offset, rec.entry(f.entry).size};
  throw std::logic_error("no field " + std::string(name) + " in " + file.decl().label);
}

std::string TextOf(rt::FileBlock& file, std::string_view name) {
  const FieldArea f = FieldOf(file, name);
  return rt::CStringValue(reinterpret_cast<const char*>(f.data), f.size);
}
void SetText(rt::FileBlock& file, std::string_view name, std::string_view text) {
  const FieldArea f = FieldOf(file, name);
  rt::AssignCString(reinterpret_cast<char*>(f.data), f.size, text);
}
void SetDate(rt::FileBlock& file, std::string_view name, int32_t standardDate) {
  rt::DateToStorage(standardDate).Store(FieldOf(file, name).data);
}
void SetTime(rt::FileBlock& file, std::string_view name, int32_t standardTime) {
  rt::TimeToStorage(standardTime).Store(FieldOf(file, name).data);
}

// Fills the target's cleared record from an old-layout record: each field from
// its namesake (dates and times through the standard values, so that what no
// calendar holds is normalised or emptied), the time part of a date empty, the
// date part of a time 1 January 1900, and a field the source lacks (or one
// named in keepEmpty) left empty.
void CopyByName(rt::FileBlock& source, rt::FileBlock& target, std::string_view keepEmpty) {
  target.ClearRecord();
  const rt::TypeRecord& to = *target.decl().record;
  const rt::TypeRecord& from = *source.decl().record;
  const std::vector<rt::ValueField> sourceFields = rt::ValueFieldsOf(from);
  for (const rt::ValueField& f : rt::ValueFieldsOf(to)) {
    const rt::TypeEntry& e = to.entry(f.entry);
    uint8_t* out = target.buffer() + e.offset;
    if (f.name.ends_with("_SQLDATETIMEFIELD")) {
      rt::TimeToStorage(0).Store(out);
      continue;
    }
    if (f.name.ends_with("_SQLDATEDATEFIELD")) {
      rt::DateToStorage(rt::DATE(1, 1, 1900)).Store(out);
      continue;
    }
    if (f.name == keepEmpty) continue;
    const rt::ValueField* src = nullptr;
    for (const rt::ValueField& s : sourceFields)
      if (s.name == f.name) src = &s;
    if (!src) continue;
    const rt::TypeEntry& se = from.entry(src->entry);
    const uint8_t* in = source.buffer() + se.offset;
    switch (e.type) {
      case rt::FieldType::Date:
        rt::DateToStorage(rt::DateFromStorage(rt::DateStorage::Load(in))).Store(out);
        break;
      case rt::FieldType::Time:
        rt::TimeToStorage(rt::TimeFromStorage(rt::TimeStorage::Load(in))).Store(out);
        break;
      case rt::FieldType::CString:
        rt::AssignCString(reinterpret_cast<char*>(out), e.size,
                          rt::CStringValue(reinterpret_cast<const char*>(in), se.size));
        break;
      default:
        std::memcpy(out, in, std::min(e.size, se.size));
        break;
    }
  }
}

// One changed table and where its old rows are.
struct Migrated {
  const char* label;           // the dictionary table
  std::string rename;          // "SP_RENAME ..." statement
  std::string drop;            // "drop table ..." statement
  LocalIndex sqlSource;        // the renamed table, in the old layout
  LocalIndex localSource;      // the local file of the old layout
  const char* keepEmpty;       // a target field that is not carried
  const char* removeLocalFile; // the local file's name to remove once copied, or null
  void (*onMigrate)();         // run when the table is migrated or its migration finished, or null
};

struct CopyOutcome {
  bool present = false;   // the source opened
  bool whole = false;     // every record was read and arrived (or, for a local file, was met by the table's own row)
};

// Carries every record of a source, in its primary key's order, into the
// changed table through its manager. With skipArrived, a record whose row is
// there already, the same in every field, arrived in an earlier run that was
// interrupted before the drop, and is passed over.
CopyOutcome CarryRows(rt::FileBlock& source, const Migrated& m, bool fromRenamedTable, bool skipArrived) {
  CopyOutcome outcome;
  rt::OPEN(source, rt::kAccessReadWriteDenyWrite);
  outcome.present = rt::LastErrorCode() == rt::kNoError;
  if (!outcome.present) {
    outcome.whole = rt::LastErrorCode() == rt::kFileNotFound;  // nothing there to carry
    return outcome;
  }
  rt::SETkey(PrimaryKeyOf(source));
  dict::DictTableManager& manager = *dict::TableManagerRef(m.label);
  rt::FileBlock& target = dict::FileOf(m.label);
  bool allArrived = true;
  for (;;) {
    rt::NEXT(source);
    if (rt::LastErrorCode() != rt::kNoError) break;
    CopyByName(source, target, m.keepEmpty);
    if (skipArrived) {
      const std::vector<uint8_t> row(target.buffer(), target.buffer() + target.length());
      if (manager.LookupByKey(PrimaryKeyOf(target)) == ResultOk &&
          std::memcmp(target.buffer(), row.data(), row.size()) == 0)
        continue;
      std::memcpy(target.buffer(), row.data(), row.size());
    }
    if (manager.AddRecord() != ResultOk) {
      // A local record whose key the table holds gives way to the table's own row.
      const bool gaveWay = !fromRenamedTable && rt::LastErrorCode() == rt::kCreatesDuplicateKey;
      if (!gaveWay) allArrived = false;
    }
  }
  outcome.whole = rt::LastErrorCode() == rt::kRecordNotAvailable && allArrived;
  rt::CLOSE(source);
  return outcome;
}

// The table is created anew, gets the renamed table's rows and then the local
// file's records; the renamed table is dropped once every row of it arrived.
// Resuming a run that ended before the drop, records that arrived then are
// passed over.
void FillAndDrop(const Migrated& m, rt::FileBlock& statements, bool resuming) {
  dict::DictTableRelations& relations = *dict::TableRelationsRef(m.label);
  relations.OpenWithRelated(false);
  const CopyOutcome renamed = CarryRows(Local(m.sqlSource), m, true, true);
  // A local file is removed only when every record of it was read and carried.
  const CopyOutcome local = CarryRows(Local(m.localSource), m, false, resuming);
  relations.CloseWithRelated(false);
  if (m.removeLocalFile && local.present && local.whole) rt::RemoveFileByName(m.removeLocalFile);
  if (renamed.whole) rt::SET_PROPERTY(statements, rt::FilePropSql, m.drop);
}

// A table that opens with its current declaration is left alone, unless its
// renamed table is still there from a run that ended before the drop: then that
// run's migration is finished, the local file included.
void MigrateTable(const Migrated& m, rt::FileBlock& statements) {
  rt::FileBlock& table = dict::FileOf(m.label);
  rt::OPEN(table, rt::kAccessReadWriteDenyWrite);
  const bool current = rt::LastErrorCode() == rt::kNoError;
  rt::CLOSE(table);
  if (current) {
    rt::FileBlock& renamed = Local(m.sqlSource);
    rt::OPEN(renamed, rt::kAccessReadWriteDenyWrite);
    const bool leftOver = rt::LastErrorCode() == rt::kNoError;
    rt::CLOSE(renamed);
    if (!leftOver) return;
    if (m.onMigrate) m.onMigrate();
    FillAndDrop(m, statements, true);
    return;
  }
  if (m.onMigrate) m.onMigrate();
  rt::SET_PROPERTY(statements, rt::FilePropSql, m.rename);
  FillAndDrop(m, statements, false);
  rt::CLOSE(table);
}

// Each user's database password moves from USUAR to PUESTO of the user's USUAR_EXT row.
void MoveUsers() {
  dict::DictTableRelations& usersRel = *dict::TableRelationsRef("USUAR");
  dict::DictTableRelations& extRel = *dict::TableRelationsRef("USUAR_EXT");
  dict::DictTableManager& users = *dict::TableManagerRef("USUAR");
  dict::DictTableManager& ext = *dict::TableManagerRef("USUAR_EXT");
  rt::FileBlock& user = dict::FileOf("USUAR");
  rt::FileBlock& row = dict::FileOf("USUAR_EXT");
  usersRel.OpenWithRelated(false);
  extRel.OpenWithRelated(false);
  user.ClearRecord();
  rt::SETkey(KeyOf(user, "USE:KEY_CODIGO"));
  while (users.ReadNext() == ResultOk) {
    const std::string password = TextOf(user, "DBPASSWORD");
    if (rt::BlankPaddedEqual(password, "")) continue;
    const std::string code = TextOf(user, "CODIGO");
    row.ClearRecord();
    SetText(row, "CODIGO", code);
    if (ext.LookupByKey(KeyOf(row, "USE1:KEY_CODIGO")) == ResultOk) {
      SetText(row, "PUESTO", password);
      ext.RewriteRecord();
    } else {
      row.ClearRecord();
      const int32_t jan1900 = rt::DATE(1, 1, 1900);
      SetText(row, "CODIGO", code);
      SetText(row, "PUESTO", password);
      for (const char* date : {"FECHA_ALTA", "FECHA_BAJA", "FECHA_CAMBIOPWD"}) {
        SetDate(row, date, jan1900);
        SetTime(row, std::string(date) + "_SQLDATETIMEFIELD", 0);
      }
      SetDate(row, "FECHA_MOD", rt::TODAY());
      SetTime(row, "FECHA_MOD_SQLDATETIMEFIELD", 0);
      SetDate(row, "HORA_MOD_SQLDATEDATEFIELD", jan1900);
      SetTime(row, "HORA_MOD", rt::CLOCK());
      SetText(row, "USER_MOD", code);
      ext.AddRecord();
    }
    SetText(user, "DBPASSWORD", "");
    users.RewriteRecord();
  }
  usersRel.CloseWithRelated(false);
  extRel.CloseWithRelated(false);
}

}  // namespace

rt::NameVar& XUSE1Name() {
  static rt::NameVar name;
  return name;
}

const dict::TableInfo& MigrationFile(std::string_view label) {
  for (const dict::TableInfo& t : LocalTemplates())
    if (t.decl.label == label) return t;
  throw std::logic_error("no migration file " + std::string(label));
}

void MigrateStructures() {
  SetUpLocalFiles();
  const bool cursor = rt::ui::HasLayer();
  if (cursor) rt::ui::Layer().SetMouseCursor(rt::ui::CURSOR_Wait, false);
  t_usersMoved = 0;

  rt::FileBlock& referencias = dict::FileOf("REFERENCIAS");
  MigrateTable({"RefereExtCove", "SP_RENAME RefereExtCove,XRefereExtCove", "drop table XRefereExtCove", kXCoveSql,
                kXCove, "", "XRefereExtCove.tps", nullptr},
               referencias);
  MigrateTable({"RefereExtCoveEQ", "SP_RENAME RefereExtCoveEQ,XRefereExtCoveEQ", "drop table XRefereExtCoveEQ",
                kXCoveEqSql, kXCoveEq, "INDUSTRIAAUTOMOTRIZ", nullptr, nullptr},
               referencias);

  constexpr std::pair<const char*, const char*> kDropped[] = {
      {"EmbarqueCTPAT", "drop table EmbarqueCTPAT"},
      {"RutasDefaults", "drop table RutasDefault"},
      {"DetEmbarqueFacturas", "drop table DetEmbarqueFacturas"},
  };
  for (const auto& [label, drop] : kDropped) {
    rt::FileBlock& table = dict::FileOf(label);
    rt::OPEN(table, rt::kAccessReadWriteDenyWrite);
    if (rt::LastErrorCode() != rt::kNoError) rt::SET_PROPERTY(referencias, rt::FilePropSql, drop);
    rt::CLOSE(table);
  }

  // USUAR_EXT's statements go over its own connection, to the system database.
  rt::FileBlock& usersExt = dict::FileOf("USUAR_EXT");
  const std::string n(rt::CLIP(usersExt.decl().TableName()));
  MigrateTable({"USUAR_EXT", "SP_RENAME " + n + ",X" + n, "drop table X" + n, kXUsersSql, kXUse1, "", nullptr,
                [] {
                  t_usersMoved = 1;
                  XUSE1Name().Set("XUSUAR_EXT");
                }},
               usersExt);

  if (t_usersMoved) MoveUsers();
  if (cursor) rt::ui::Layer().SetMouseCursor(0, true);
}

void ReleaseMigrationFiles() {
  for (size_t i = 0; i < kLocalDecls.size(); ++i) {
    if (!t_localFileReady[i]) continue;
    rt::ReleaseThreadFile(LocalTemplates()[i].decl);
    t_localFileReady[i] = 0;
  }
  t_setupGuard = 0;
}

}  // namespace app
