// Migration of the six tables whose declaration changed. Three of them
// (RefereExtCove, RefereExtCoveEQ, USUAR_EXT) are renamed on the server with an
// "X" in front, created anew, filled first from the renamed table's own rows and
// then from a local file of the old layout, and the renamed table is dropped
// once every one of its rows arrived; three more are dropped so that the
// creation loop creates them anew; then each user's database password moves
// from USUAR into USUAR_EXT.
#include "app/migrate.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "classlib/results.h"
#include "dictionary/catalogue.h"
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
// The local file of USUAR_EXT's old layout, named by XUSE1's variable.
constexpr const char* kUsersLocalFile = "XUSUAR_EXT";

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
// 1 once USUAR_EXT's migration began in this run: the users pass is part of it.
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

// How a changed table's record is filled from an old-layout record: each field
// from its namesake (dates and times through the standard values, so that what
// no calendar holds is normalised or emptied), the time part of a date empty,
// the date part of a time 1 January 1900, and a field the source lacks (or the
// one named keepEmpty) left empty. Worked out once per table, used per record.
class CopyPlan {
 public:
  CopyPlan(const rt::TypeRecord& from, const rt::TypeRecord& to, std::string_view keepEmpty) {
    const std::vector<rt::ValueField> sourceFields = rt::ValueFieldsOf(from);
    for (const rt::ValueField& f : rt::ValueFieldsOf(to)) {
      const rt::TypeEntry& e = to.entry(f.entry);
      Step step{Op::Raw, e.offset, e.size, 0, 0};
      if (f.name.ends_with(dict::kTimePartSuffix)) {
        step.op = Op::EmptyTime;
      } else if (f.name.ends_with(dict::kDatePartSuffix)) {
        step.op = Op::Jan1900;
      } else {
        if (f.name == keepEmpty) continue;
        const auto src = std::find_if(sourceFields.begin(), sourceFields.end(),
                                      [&](const rt::ValueField& s) { return s.name == f.name; });
        if (src == sourceFields.end()) continue;
        const rt::TypeEntry& se = from.entry(src->entry);
        step.from = se.offset;
        step.fromSize = se.size;
        step.op = e.type == rt::FieldType::Date    ? Op::Date
                  : e.type == rt::FieldType::Time  ? Op::Time
                  : e.type == rt::FieldType::CString ? Op::CString
                                                      : Op::Raw;
      }
      steps_.push_back(step);
    }
  }

  void Fill(const rt::FileBlock& source, rt::FileBlock& target) const {
    target.ClearRecord();
    const uint8_t* in = source.buffer();
    uint8_t* out = target.buffer();
    for (const Step& s : steps_) {
      switch (s.op) {
        case Op::EmptyTime: rt::TimeToStorage(0).Store(out + s.to); break;
        case Op::Jan1900: rt::kDateOfLoneTime.Store(out + s.to); break;
        case Op::Date:
          rt::DateToStorage(rt::DateFromStorage(rt::DateStorage::Load(in + s.from))).Store(out + s.to);
          break;
        case Op::Time:
          rt::TimeToStorage(rt::TimeFromStorage(rt::TimeStorage::Load(in + s.from))).Store(out + s.to);
          break;
        case Op::CString:
          rt::AssignCString(reinterpret_cast<char*>(out + s.to), s.toSize,
                            rt::CStringValue(reinterpret_cast<const char*>(in + s.from), s.fromSize));
          break;
        case Op::Raw: std::memcpy(out + s.to, in + s.from, std::min(s.toSize, s.fromSize)); break;
      }
    }
  }

 private:
  enum class Op { EmptyTime, Jan1900, Date, Time, CString, Raw };
  struct Step {
    Op op;
    uint32_t to, toSize, from, fromSize;
  };
  std::vector<Step> steps_;
};

// A record's key as a message names it: each field's value, without prefixes.
std::string KeyText(rt::FileBlock& file, const rt::KeyDescriptor& key) {
  const rt::TypeRecord& rec = *file.decl().record;
  std::string out;
  for (int32_t c : key.components) {
    const rt::TypeEntry& e = rec.entry(c < 0 ? -c : c);
    const uint8_t* p = file.buffer() + e.offset;
    std::string value;
    switch (e.type) {
      case rt::FieldType::Byte: value = std::to_string(p[0]); break;
      case rt::FieldType::Long: { int32_t v; std::memcpy(&v, p, 4); value = std::to_string(v); break; }
      case rt::FieldType::ULong: { uint32_t v; std::memcpy(&v, p, 4); value = std::to_string(v); break; }
      case rt::FieldType::CString: value = "\"" + rt::CStringValue(reinterpret_cast<const char*>(p), e.size) + "\""; break;
      default: value = "\"" + std::string(rt::CLIP(std::string_view(reinterpret_cast<const char*>(p), e.size))) + "\"";
    }
    out += (out.empty() ? "" : " ") + value;
  }
  return out;
}

// The fields of a key, without prefixes, as a message names them.
std::string KeyFields(const rt::FileBlock& file, const rt::KeyDescriptor& key) {
  std::string out;
  for (const rt::ValueField& f : rt::ValueFieldsOf(*file.decl().record))
    for (int32_t c : key.components)
      if (f.entry == (c < 0 ? -c : c)) out += (out.empty() ? "" : ", ") + f.name;
  return out;
}

// Keeps the windows on screen painted while records are carried: the
// connection window's place redrawn, the frame not left blank.
class Painter {
 public:
  void Tick() {
    if ((++ticks_ & 255) == 0) Paint(false);
  }
  void Paint(bool now) {
    const auto t = std::chrono::steady_clock::now();
    if (!now && t - last_ < std::chrono::milliseconds(100)) return;
    last_ = t;
    if (rt::ui::HasLayer()) rt::ui::Layer().KeepPainted();
  }

 private:
  uint32_t ticks_ = 0;
  std::chrono::steady_clock::time_point last_{};
};

// A transaction on the connection of a table's owner, rolled back unless
// committed. Inactive where the server cannot roll back what a migration does.
class Transaction {
 public:
  explicit Transaction(rt::FileBlock& file) : file_(file) { Begin(); }
  ~Transaction() {
    if (active_) rt::RollbackTransaction(file_);
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  bool active() const { return active_; }
  // False, with the error in the thread's error state, when the server did
  // not confirm the rollback: what it holds of the transaction is not known.
  bool Rollback() {
    if (!active_) return true;
    active_ = false;
    rt::RollbackTransaction(file_);
    return rt::LastErrorCode() == rt::kNoError;
  }
  // False with the error in the thread's error state when the commit failed;
  // the transaction is then still to be rolled back, which tells whether the
  // server holds nothing of it.
  bool Commit() {
    if (!active_) return true;
    rt::CommitTransaction(file_);
    if (rt::LastErrorCode() != rt::kNoError) return false;
    active_ = false;
    return true;
  }
  // Begins (again, once ended); false with the error in the thread's error state when it did not.
  bool Begin() {
    rt::BeginTransaction(file_);
    active_ = rt::LastErrorCode() == rt::kNoError;
    return active_;
  }

 private:
  rt::FileBlock& file_;
  bool active_ = false;
};

// One changed table and where its old rows are.
struct Migrated {
  const char* label;            // the dictionary table
  std::string rename;           // "SP_RENAME ..." statement
  std::string drop;             // "drop table ..." statement
  LocalIndex sqlSource;         // the renamed table, in the old layout
  LocalIndex localSource;       // the local file of the old layout
  const char* keepEmpty;        // a target field that is not carried
  bool removeLocalFile;         // the local file is removed once carried
  bool users;                   // USUAR_EXT: the users pass is part of its migration
};

// What became of one source's records.
struct Carried {
  bool present = false;              // the source is there
  std::string problem;               // why a record could not be read or added; empty when none
  bool unreadable = false;           // the problem is the source's: a record could not be read
  size_t notTaken = 0;               // records whose key the table holds with other values
  std::vector<std::string> notTakenKeys;  // the first few of them
};

constexpr size_t kKeysShown = 5;

// Carries every record of an open source, in its primary key's order, into the
// changed table. A record whose key the table holds already is passed over
// when the row there is the same in every field (it arrived before) and
// counted as not taken otherwise; any other refusal ends the copy.
void CarryRows(rt::FileBlock& source, rt::FileBlock& target, const CopyPlan& plan, Carried& out, Painter& painter) {
  rt::SETkey(PrimaryKeyOf(source));
  rt::KeyDescriptor& key = PrimaryKeyOf(target);
  std::vector<uint8_t> record(target.length());
  for (;;) {
    rt::NEXT(source);
    if (rt::LastErrorCode() == rt::kRecordNotAvailable) return;
    if (rt::LastErrorCode() != rt::kNoError) {
      out.problem = rt::LastFileErrorText().empty() ? rt::ErrorTextForMessage() : rt::LastFileErrorText();
      out.unreadable = true;
      return;
    }
    painter.Tick();
    plan.Fill(source, target);
    rt::ADD(target);
    if (rt::LastErrorCode() == rt::kNoError) continue;
    if (rt::LastErrorCode() != rt::kCreatesDuplicateKey) {
      out.problem = rt::ErrorTextForMessage();
      return;
    }
    // A refusal answered as a duplicate whose key the table does not hold is
    // some other constraint (a server may give all of them one code).
    const std::string refusal = rt::ErrorTextForMessage();
    std::memcpy(record.data(), target.buffer(), record.size());
    rt::GET(target, key);
    if (rt::LastErrorCode() != rt::kNoError) {
      out.problem = rt::LastErrorCode() == rt::kRecordNotFound ? refusal : rt::ErrorTextForMessage();
      return;
    }
    const bool same = std::memcmp(record.data(), target.buffer(), record.size()) == 0;
    std::memcpy(target.buffer(), record.data(), record.size());
    if (same) continue;
    if (++out.notTaken <= kKeysShown) out.notTakenKeys.push_back(KeyText(target, key));
  }
}

// "N things" with the noun in the plural when N is not one.
std::string Count(size_t n, const char* one, const char* many) { return std::to_string(n) + " " + (n == 1 ? one : many); }

std::string KeysList(const Carried& c) {
  std::string out;
  for (const std::string& k : c.notTakenKeys) out += (out.empty() ? "" : ", ") + k;
  if (c.notTaken > c.notTakenKeys.size()) out += " y " + Count(c.notTaken - c.notTakenKeys.size(), "otro", "otros");
  return out;
}

// The local file of the old layout, opened and held against writers: a
// missing file has nothing to carry; one that is there but cannot be opened
// stops this table's migration.
Carried OpenLocalFile(rt::FileBlock& local) {
  Carried c;
  rt::OPEN(local, rt::kAccessReadWriteDenyWrite);
  if (rt::LastErrorCode() == rt::kFileNotFound) return c;
  c.present = true;
  if (rt::LastErrorCode() != rt::kNoError)
    c.problem = rt::LastFileErrorText().empty() ? rt::ErrorTextForMessage() : rt::LastFileErrorText();
  return c;
}

// Reads an open local file through, in its own order: a value that its field
// cannot hold exactly is found before anything changes on the server.
void ReadThrough(rt::FileBlock& local, Carried& c, Painter& painter) {
  do {
    painter.Tick();
    rt::NEXT(local);
  } while (rt::LastErrorCode() == rt::kNoError);
  if (rt::LastErrorCode() == rt::kRecordNotAvailable) return;
  c.problem = rt::LastFileErrorText().empty() ? rt::ErrorTextForMessage() : rt::LastFileErrorText();
  rt::CLOSE(local);
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
        SetTime(row, dict::TimePartOf(date), 0);
      }
      SetDate(row, "FECHA_MOD", rt::TODAY());
      SetTime(row, dict::TimePartOf("FECHA_MOD"), 0);
      SetDate(row, dict::DatePartOf("HORA_MOD"), jan1900);
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


constexpr const char* kNothingChanged = "En el servidor nada cambi\xF3";
constexpr const char* kNextRun = "la pr\xF3xima creaci\xF3n del esquema lo intentar\xE1 de nuevo.";
constexpr const char* kNextRunAlone = "La pr\xF3xima creaci\xF3n del esquema lo intentar\xE1 de nuevo.";

// After a failure whose rollback the server did not confirm.
std::string StateUnknown(const std::string& label) {
  return "No se sabe en qu\xE9 estado qued\xF3 " + label +
         " en el servidor: no confirm\xF3 que deshizo lo enviado. La pr\xF3xima creaci\xF3n del esquema lo "
         "revisar\xE1 en el servidor y lo intentar\xE1 de nuevo.";
}

// Migrates one changed table; false when it could not be done (the user has
// been told why). A table that opens with its current declaration is left
// alone, unless its renamed table is still there from an earlier run that
// ended before the drop: then that migration is finished. On a server that
// can roll back every statement, the whole of it (the rename, the creation,
// every row and record carried, the drop and, for USUAR_EXT, the users pass)
// is one transaction: interrupted at any point, it leaves the tables as they
// were, and the next run does it all again.
bool MigrateTable(const Migrated& m, rt::FileBlock& statements, Painter& painter) {
  rt::FileBlock& table = dict::FileOf(m.label);
  rt::OPEN(table, rt::kAccessReadWriteDenyWrite);
  const bool current = rt::LastErrorCode() == rt::kNoError;
  rt::CLOSE(table);
  rt::FileBlock& renamed = Local(m.sqlSource);
  if (current) {
    rt::OPEN(renamed, rt::kAccessReadWriteDenyWrite);
    const bool leftOver = rt::LastErrorCode() == rt::kNoError;
    rt::CLOSE(renamed);
    if (!leftOver) return true;
  }
  if (m.users) {
    t_usersMoved = 1;
    XUSE1Name().Set(kUsersLocalFile);
  }

  rt::FileBlock& local = Local(m.localSource);
  Carried file = OpenLocalFile(local);
  std::string fileName = rt::GET_PROPERTY(local, rt::FilePropName);
  if (fileName.empty()) fileName = rt::TopSpeedFileName(local.decl().TableName());
  // A source that could not be read: nothing of the table's migration was made.
  auto cannotRead = [&](const std::string& source, const std::string& why, const char* kept) {
    rt::ui::ShowErrorMessage("No se pudo leer " + source + "; no se migr\xF3 " + m.label + ".|" + why + "|" +
                                 kNothingChanged + kept + kNextRun,
                             "Error");
    return false;
  };
  auto unreadable = [&](const std::string& why) {
    return cannotRead("el archivo local " + fileName, why, " y el archivo se conserva: ");
  };
  if (!file.problem.empty()) return unreadable(file.problem);

  // The first refusal of a chain is the one told; the table's state on the
  // server is known only after a rollback the server confirmed.
  auto failed = [&](const std::string& why, bool undone) {
    rt::CLOSE(local);
    rt::CLOSE(table);
    rt::ui::ShowErrorMessage("No se pudo migrar " + std::string(m.label) + ".|" + why + "|" +
                                 (undone ? std::string(kNothingChanged) + "; " + kNextRun : StateUnknown(m.label)),
                             "Error");
    return false;
  };
  Transaction transaction(statements);
  // Where the server cannot roll the migration back, the file is read through
  // first; otherwise a record that cannot be read rolls it back.
  if (!transaction.active() && file.present) {
    ReadThrough(local, file, painter);
    if (!file.problem.empty()) return unreadable(file.problem);
  }
  bool renamedNow = false;
  if (!current) {
    rt::SET_PROPERTY(statements, rt::FilePropSql, m.rename);
    renamedNow = rt::LastErrorCode() == rt::kNoError;
    // Nothing to rename (or no such statement on this server): a refused
    // statement may have ended the transaction, which holds nothing yet.
    if (!renamedNow && transaction.active()) {
      const std::string refusal = rt::ErrorTextForMessage();
      if (!transaction.Rollback()) return failed(refusal, false);
      if (!transaction.Begin()) return failed(rt::ErrorTextForMessage(), true);
    }
  }
  dict::DictTableRelations& relations = *dict::TableRelationsRef(m.label);
  relations.OpenWithRelated(false);
  rt::FileBlock& target = dict::FileOf(m.label);
  const CopyPlan plan(*renamed.decl().record, *target.decl().record, m.keepEmpty);

  Carried old;
  rt::OPEN(renamed, rt::kAccessReadWriteDenyWrite);
  old.present = rt::LastErrorCode() != rt::kFileNotFound;
  if (rt::LastErrorCode() != rt::kNoError && old.present) old.problem = rt::ErrorTextForMessage();
  if (old.present && old.problem.empty()) CarryRows(renamed, target, plan, old, painter);
  rt::CLOSE(renamed);
  Carried records = file;
  if (old.problem.empty() && !old.notTaken && file.present) CarryRows(local, target, plan, records, painter);
  relations.CloseWithRelated(false);

  std::string problem = !old.problem.empty() ? old.problem : records.problem;
  // The renamed table goes once every row of it is in the new table.
  if (problem.empty() && !old.notTaken && old.present) {
    rt::SET_PROPERTY(statements, rt::FilePropSql, m.drop);
    if (rt::LastErrorCode() != rt::kNoError) problem = rt::ErrorTextForMessage();
  }
  if (problem.empty() && !old.notTaken && m.users) MoveUsers();
  const bool atomic = transaction.active();
  if (problem.empty() && !old.notTaken && !transaction.Commit()) problem = rt::ErrorTextForMessage();
  if (!problem.empty() || old.notTaken) {
    // Whatever the server took of it.
    if (!transaction.Rollback()) return failed(problem.empty() ? rt::ErrorTextForMessage() : problem, false);
    rt::CLOSE(local);
    rt::CLOSE(table);
    if (old.notTaken) {
      // Rows of an earlier run's renamed table that differ from the new table's
      // rows of the same key: neither may be lost, so both stay for the user.
      rt::ui::ShowErrorMessage("No se pudo terminar la migraci\xF3n de " + std::string(m.label) + ": " +
                                   Count(old.notTaken, "fila", "filas") + " de " + renamed.decl().TableName() +
                                   (old.notTaken == 1 ? " tiene" : " tienen") + " la clave de otra fila de " +
                                   m.label + " con otros valores (" + KeyFields(target, PrimaryKeyOf(target)) + " " +
                                   KeysList(old) + ").|Las dos tablas quedan como estaban.",
                               "Error");
      // Where the rename was rolled back the table keeps its old layout,
      // which the creation loop cannot open.
      return current;
    }
    if (records.unreadable) return unreadable(problem);
    // A row of the renamed table that could not be read, or whose value its
    // field cannot hold exactly: it stays where the rollback leaves it.
    if (old.unreadable && atomic)
      return cannotRead("la tabla " + (renamedNow ? std::string(m.label) : renamed.decl().TableName()), problem, ": ");
    if (atomic) return failed(problem, true);
    // What was sent stays. A renamed table still there marks the migration
    // unfinished, and the next run finishes it; without one, the table made
    // here would open as current with part of its rows, so it goes and the
    // next run makes it whole.
    if (!current && !old.present) {
      rt::SET_PROPERTY(statements, rt::FilePropSql, "drop table " + std::string(rt::CLIP(target.decl().TableName())));
      if (rt::LastErrorCode() != rt::kNoError) return failed(problem, false);
    }
    rt::ui::ShowErrorMessage("No se pudo migrar " + std::string(m.label) + ".|" + problem + "|" + kNextRunAlone,
                             "Error");
    return false;
  }
  rt::CLOSE(local);
  // Without a renamed table the drop finds nothing; sent outside the
  // transaction, its refusal cannot undo the migration.
  if (!old.present) rt::SET_PROPERTY(statements, rt::FilePropSql, m.drop);
  // The file removed is the one read, by the name it was opened with.
  if (m.removeLocalFile && file.present && !records.notTaken) rt::RemoveFileByName(fileName);
  if (records.notTaken)
    rt::ui::ShowErrorMessage(Count(records.notTaken, "registro", "registros") + " del archivo local " + fileName +
                                 (records.notTaken == 1 ? " no se tom\xF3: " : " no se tomaron: ") + m.label +
                                 " ya tiene otra fila con su clave (" + KeyFields(target, PrimaryKeyOf(target)) +
                                 " " + KeysList(records) + ").|El archivo se conserva.",
                             "Aviso");
  rt::CLOSE(table);
  return true;
}

}  // namespace

rt::NameVar& XUSE1Name() {
  static rt::NameVar name;
  return name;
}

bool NamesALocalFile(std::string_view path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path entry{std::string(path)};
  const fs::path folder = entry.parent_path().empty() ? fs::path(".") : entry.parent_path();
  const bool here = fs::equivalent(folder, ".", ec);
  for (const std::string& name : {LocalTemplates()[kXCove].decl.tableName, LocalTemplates()[kXCoveEq].decl.tableName,
                                  std::string(kUsersLocalFile)}) {
    const std::string file = rt::TopSpeedFileName(name);
    if (here && rt::SameText(entry.filename().string(), file)) return true;
    for (const std::string& found : rt::FilesNoCase(file))
      if (fs::equivalent(entry, found, ec)) return true;
  }
  return false;
}

const dict::TableInfo& MigrationFile(std::string_view label) {
  for (const dict::TableInfo& t : LocalTemplates())
    if (t.decl.label == label) return t;
  throw std::logic_error("no migration file " + std::string(label));
}

bool MigrateStructures() {
  SetUpLocalFiles();
  const bool cursor = rt::ui::HasLayer();
  if (cursor) rt::ui::Layer().SetMouseCursor(rt::ui::CURSOR_Wait, false);
  t_usersMoved = 0;
  // The connection window has just gone: its place is painted before the work starts.
  Painter painter;
  painter.Paint(true);

  // Each table's failure has been told; the others are still migrated, so one
  // run shows every cause there is.
  bool done = true;
  rt::FileBlock& referencias = dict::FileOf("REFERENCIAS");
  done &= MigrateTable({"RefereExtCove", "SP_RENAME RefereExtCove,XRefereExtCove", "drop table XRefereExtCove",
                        kXCoveSql, kXCove, "", true, false},
                       referencias, painter);
  done &= MigrateTable({"RefereExtCoveEQ", "SP_RENAME RefereExtCoveEQ,XRefereExtCoveEQ", "drop table XRefereExtCoveEQ",
                        kXCoveEqSql, kXCoveEq, "INDUSTRIAAUTOMOTRIZ", false, false},
                       referencias, painter);

  constexpr std::pair<const char*, const char*> kDropped[] = {
      {"EmbarqueCTPAT", "drop table EmbarqueCTPAT"},
      {"RutasDefaults", "drop table RutasDefault"},
      {"DetEmbarqueFacturas", "drop table DetEmbarqueFacturas"},
  };
  // The check and the drop in one transaction where the server can roll it
  // back, so that a table another copy of the program has just made with its
  // current layout is not dropped: the check sees the server as the drop
  // does, and a drop that finds a table where the check found none is undone.
  for (const auto& [label, drop] : kDropped) {
    Transaction transaction(referencias);
    rt::FileBlock& table = dict::FileOf(label);
    rt::OPEN(table, rt::kAccessReadWriteDenyWrite);
    const int found = rt::LastErrorCode();
    rt::CLOSE(table);
    if (found == rt::kNoError) continue;
    rt::SET_PROPERTY(referencias, rt::FilePropSql, drop);
    if (rt::LastErrorCode() == rt::kNoError && found != rt::kFileNotFound) transaction.Commit();
  }

  // USUAR_EXT's statements go over its own connection, to the system database,
  // where USUAR is too: the users pass is part of USUAR_EXT's migration.
  rt::FileBlock& usersExt = dict::FileOf("USUAR_EXT");
  const std::string n(rt::CLIP(usersExt.decl().TableName()));
  done &= MigrateTable({"USUAR_EXT", "SP_RENAME " + n + ",X" + n, "drop table X" + n, kXUsersSql, kXUse1, "", false,
                        true},
                       usersExt, painter);

  if (cursor) rt::ui::Layer().SetMouseCursor(0, true);
  return done;
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
