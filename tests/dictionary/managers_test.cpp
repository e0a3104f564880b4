// The dictionary's managers and their per-thread life: set-up and tear-down of
// all tables, key registration on first use, name variables, relations,
// new-record defaults and the field check, over a scripted driver.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>

#include "classlib/error_reporter.h"
#include "dictionary/behaviour.h"
#include "dictionary/dictionary.h"
#include "dictionary/names.h"
#include "runtime/base/program.h"
#include "support/fake_ui.h"
#include "support/golden.h"
#include "support/test_driver.h"

namespace {

using classlib::ResultOk;
using classlib::ResultSoftFail;
using classlib::UseAccess;
using classlib::UseInitialise;

class DictionaryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (rt::CurrentThreadNumber() == 0) rt::RuntimeStart({});  // the test's thread is the first
    sql = testsupport::InstallScriptedDriver("MSSQL");
    reporter.Setup(state);
    dict::SetReporter(&reporter);
  }
  void TearDown() override {
    dict::DictionaryKill();
    dict::SetReporter(nullptr);
  }

  static size_t Index(std::string_view label) { return static_cast<size_t>(dict::TableIndex(label)); }
  static dict::DictTableManager& Manager(std::string_view label) { return *dict::TableManagerRef(label); }
  static dict::DictTableRelations& Relations(std::string_view label) { return *dict::TableRelationsRef(label); }
  static uint8_t* Field(std::string_view table, std::string_view label) {
    const rt::FileDecl& d = dict::DeclOf(table);
    int n = d.record->FindLabel(label);
    EXPECT_NE(n, 0) << label;
    return dict::FileOf(table).buffer() + d.record->entry(n).offset;
  }

  testsupport::FakeWindowLayer ui;
  std::shared_ptr<testsupport::ScriptedDriver> sql;
  classlib::ThreadErrorState state;
  classlib::ErrorReporter reporter;
};

void ExpectAllEmpty() {
  for (size_t i = 0; i < dict::Tables().size(); ++i) {
    ASSERT_EQ(dict::RelationsHolder(i), nullptr) << i;
    ASSERT_EQ(dict::ManagerHolder(i), nullptr) << i;
    ASSERT_EQ(dict::TableRelationsRef(i), nullptr) << i;
    ASSERT_EQ(dict::TableManagerRef(i), nullptr) << i;
  }
}

TEST_F(DictionaryTest, InitSetsEveryTablesReferencesAndKillClearsAllFour) {
  ExpectAllEmpty();
  dict::DictionaryLifetime().OnThreadStart();  // the first thread: the main body sets up its own
  ExpectAllEmpty();

  dict::DictionaryInit();
  std::set<const void*> distinct;
  for (size_t i = 0; i < dict::Tables().size(); ++i) {
    ASSERT_NE(dict::TableRelationsRef(i), nullptr) << i;
    ASSERT_NE(dict::TableManagerRef(i), nullptr) << i;
    EXPECT_EQ(dict::TableRelationsRef(i), dict::RelationsHolder(i));
    EXPECT_EQ(dict::TableManagerRef(i), dict::ManagerHolder(i));
    EXPECT_EQ(dict::TableRelationsRef(i)->me, dict::TableManagerRef(i));
    EXPECT_FALSE(dict::TableManagerRef(i)->initialized);
    EXPECT_EQ(dict::TableManagerRef(i)->file, &rt::ThreadFile(dict::Tables()[i].decl));
    distinct.insert(dict::TableRelationsRef(i));
  }
  EXPECT_EQ(distinct.size(), dict::Tables().size());
  EXPECT_TRUE(sql->calls().empty());  // set-up opens no table

  // The SQL tables in dictionary order, each with its relation manager.
  auto list = dict::CreationList();
  std::vector<std::string_view> sqlTables, listed;
  for (const auto& t : dict::Tables())
    if (t.decl.driver == "MSSQL") sqlTables.push_back(t.decl.label);
  for (const auto& e : list) listed.push_back(e.label);
  ASSERT_EQ(listed, sqlTables);
  for (const auto& e : list) EXPECT_EQ(e.relations, dict::TableRelationsRef(e.label));

  dict::DictionaryInit();  // a second set-up keeps the thread's objects
  EXPECT_EQ(dict::TableRelationsRef(size_t{0}), list.front().relations);

  dict::DictionaryLifetime().OnThreadEnd();
  ExpectAllEmpty();
  EXPECT_TRUE(sql->calls().empty());
  EXPECT_TRUE(ui.boxes.empty());
  for (const auto& e : dict::CreationList()) EXPECT_EQ(e.relations, nullptr);
}

// The release tears down and frees every manager, module by module in the order
// of their creation: the open tables are closed in dictionary order.
TEST_F(DictionaryTest, KillClosesTheOpenTablesInDictionaryOrder) {
  dict::DictionaryInit();
  std::vector<std::string> want;
  for (const auto& e : dict::CreationList()) {
    ASSERT_EQ(Manager(e.label).EnsureReady(UseAccess), ResultOk) << e.label;
    want.push_back(dict::DeclOf(e.label).TableName());
  }
  sql->ClearCalls();
  dict::DictionaryKill();
  std::vector<std::string> closed;
  for (const auto& call : sql->calls())
    if (call.op == testsupport::DriverOp::Close) closed.push_back(call.table);
  EXPECT_EQ(closed, want);
  ExpectAllEmpty();
}

TEST_F(DictionaryTest, SecondThreadHasItsOwnDictionary) {
  dict::DictionaryInit();
  auto* firstRel = dict::TableRelationsRef("ApTiposTasas");
  auto* firstMgr = dict::TableManagerRef("ApTiposTasas");
  uint8_t* firstBuffer = firstMgr->buffer.address;

  const void* otherRel = nullptr;
  const void* otherBuffer = nullptr;
  bool setInThread = false, emptyAfterEnd = false;
  rt::RunThread([&] {
    EXPECT_NE(rt::CurrentThreadNumber(), 1);
    dict::DictionaryLifetime life;
    life.OnThreadStart();
    otherRel = dict::TableRelationsRef("ApTiposTasas");
    otherBuffer = dict::TableManagerRef("ApTiposTasas")->buffer.address;
    setInThread = dict::TableManagerRef(dict::Tables().size() - 1) != nullptr;
    life.OnThreadEnd();
    emptyAfterEnd = dict::TableRelationsRef("ApTiposTasas") == nullptr &&
                    dict::TableManagerRef("ApTiposTasas") == nullptr;
  });
  EXPECT_TRUE(setInThread);
  EXPECT_TRUE(emptyAfterEnd);
  EXPECT_NE(otherRel, nullptr);
  EXPECT_NE(otherRel, firstRel);
  EXPECT_NE(otherBuffer, firstBuffer);
  EXPECT_EQ(dict::TableRelationsRef("ApTiposTasas"), firstRel);
  EXPECT_EQ(dict::TableManagerRef("ApTiposTasas"), firstMgr);
  EXPECT_EQ(firstMgr->buffer.address, firstBuffer);
}

TEST_F(DictionaryTest, KeysAreRegisteredOnceOnFirstUse) {
  dict::DictionaryInit();
  auto& m = Manager("ApTiposTasas");
  EXPECT_EQ(m.fileNameValue, "ApTiposTasas");
  EXPECT_EQ(m.buffer.length, 54u);
  EXPECT_TRUE(m.keys.empty());

  EXPECT_EQ(m.EnsureReady(UseAccess), ResultOk);
  ASSERT_EQ(m.keys.size(), 2u);
  EXPECT_EQ(m.keys[0].key->label, "DSTT:KEY_CODIGO");
  EXPECT_EQ(m.keys[0].description, "DSTT:key_codigo");
  EXPECT_EQ(m.keys[1].description, "DSTT:key_descripcion");
  EXPECT_EQ(m.keys[0].key, &dict::FileOf("ApTiposTasas").keys()[0]);
  EXPECT_FALSE(m.keys[0].autoInc);
  EXPECT_EQ(m.inUseFile, 1);
  EXPECT_TRUE(m.create);
  EXPECT_EQ(m.lockRecover, 10);
  EXPECT_EQ(sql->Count(testsupport::DriverOp::Open), 1u);

  EXPECT_EQ(m.EnsureReady(UseAccess), ResultOk);
  EXPECT_EQ(m.EnsureReady(UseInitialise), ResultOk);
  EXPECT_EQ(m.keys.size(), 2u);

  // After the completion the table's name replaces the label.
  auto& c = Manager("CLAVES_PED");
  EXPECT_EQ(c.fileNameValue, "CLAVES_PED");
  c.EnsureReady(UseInitialise);
  EXPECT_EQ(c.fileNameValue, "CLAVES_P");
  EXPECT_EQ(c.keys.size(), 1u);

  auto& none = Manager("D_SQL");
  none.EnsureReady(UseInitialise);
  EXPECT_TRUE(none.initialized);
  EXPECT_TRUE(none.keys.empty());
}

TEST_F(DictionaryTest, OnlyMatprimIsNotCreatedWhenMissing) {
  dict::DictionaryInit();
  for (size_t i = 0; i < dict::Tables().size(); ++i) {
    auto* m = dict::TableManagerRef(i);
    m->EnsureReady(UseInitialise);
    EXPECT_EQ(m->create, dict::Tables()[i].decl.label != "MATPRIM") << dict::Tables()[i].decl.label;
    EXPECT_EQ(m->keys.size(), dict::Tables()[i].decl.keys.size());
  }
  EXPECT_EQ(sql->Count(testsupport::DriverOp::Open), 0u);
}

TEST_F(DictionaryTest, NameVariableTablesFollowTheirVariable) {
  dict::DictionaryInit();
  for (auto label : dict::TableNameVarLabels()) {
    auto& m = Manager(label);
    EXPECT_EQ(m.fileName.address, dict::TableNameVarOf(label)->data()) << label;
    EXPECT_EQ(m.fileName.type, static_cast<uint8_t>(rt::FieldType::CString));
    EXPECT_EQ(m.fileName.size, 255u);
  }
  EXPECT_FALSE(Manager("HDSCRAP").fileName);

  dict::TableNameVarOf("USUAR")->Set("USUAR_T1");
  auto& u = Manager("USUAR");
  u.EnsureReady(UseAccess);
  ASSERT_FALSE(sql->calls().empty());
  EXPECT_EQ(sql->calls().back().table, "USUAR_T1");
  EXPECT_EQ(u.fileNameValue, "USUAR_T1");
  dict::TableNameVarOf("USUAR")->Set("");
}

TEST_F(DictionaryTest, UnusedManagerIsTornDownWithoutError) {
  dict::DictionaryInit();
  size_t i = Index("ApContrib");
  auto* rel = dict::RelationsHolder(i);
  rel->Teardown();
  EXPECT_EQ(dict::TableManagerRef(i), nullptr);
  EXPECT_EQ(dict::ManagerHolder(i), nullptr);
  EXPECT_EQ(dict::TableRelationsRef(i), nullptr);
  EXPECT_NE(dict::RelationsHolder(i), nullptr);  // freed by the module's dispose
  EXPECT_TRUE(ui.boxes.empty());
  dict::DictionaryKill();
  ExpectAllEmpty();
}

// Module by module: creation gives both holders and publishes only the relation
// manager; set-up publishes the manager; dispose empties all four, and touches
// no other module.
TEST_F(DictionaryTest, ModuleRoutinesPublishAndReleaseOnlyTheirOwnTables) {
  struct Vars {
    bool relationsHolder, managerHolder, tableRelationsRef, tableManagerRef;
    bool operator==(const Vars&) const = default;
  };
  auto vars = [](size_t i) {
    return Vars{dict::RelationsHolder(i) != nullptr, dict::ManagerHolder(i) != nullptr,
                dict::TableRelationsRef(i) != nullptr, dict::TableManagerRef(i) != nullptr};
  };
  // Every table of module 1 has these, every other table none.
  auto expect = [&](const char* step, Vars inModule) {
    SCOPED_TRACE(step);
    for (size_t i = 0; i < dict::Tables().size(); ++i) {
      const bool mine = dict::Tables()[i].module == 1;
      ASSERT_TRUE(vars(i) == (mine ? inModule : Vars{})) << dict::Tables()[i].decl.label;
    }
  };
  dict::DictModuleCreate(1);
  expect("created", {true, true, true, false});
  dict::DictModuleSetup(1);
  expect("set up", {true, true, true, true});
  for (size_t i = 0; i < dict::Tables().size(); ++i)
    if (dict::Tables()[i].module == 1) {
      EXPECT_EQ(dict::TableManagerRef(i), dict::ManagerHolder(i));
      EXPECT_EQ(dict::TableRelationsRef(i)->me, dict::ManagerHolder(i));
    }
  dict::DictModuleDispose(1);
  expect("disposed", {});
}

TEST_F(DictionaryTest, ReferenciasRegistersItsFiveRelationsOnceAndCountsChildOpens) {
  dict::DictionaryInit();
  auto& ref = Relations("REFERENCIAS");
  const char* children[] = {"ORP_CONSUMO", "ANE_FACT", "DTADIC", "SALIDAS", "ENTRADAS"};
  const char* keys[] = {"ORP1:KEY_FACTURA", "ANF:KEY_CODIGO", "DTA:KEY_CODIGO", "SAL:KEY_CODIGO", "ENT:KEY_CODIGO"};
  const uint8_t modes[] = {2, 0, 0, 2, 2};

  EXPECT_EQ(ref.OpenWithRelated(false), ResultOk);
  EXPECT_EQ(ref.CloseWithRelated(false), ResultOk);
  EXPECT_EQ(ref.OpenWithRelated(false), ResultOk);
  ASSERT_NE(ref.relations, nullptr);
  ASSERT_EQ(ref.relations->size(), 5u);
  for (size_t i = 0; i < 5; ++i) {
    const auto& r = (*ref.relations)[i];
    SCOPED_TRACE(children[i]);
    EXPECT_EQ(r.file, &Relations(children[i]));
    ASSERT_NE(r.hisKey, nullptr);
    EXPECT_EQ(r.hisKey->label, keys[i]);
    EXPECT_EQ(r.hisKey->file, &dict::FileOf(children[i]));
    EXPECT_EQ(r.updateMode, modes[i]);
    EXPECT_EQ(r.deleteMode, modes[i]);
    ASSERT_NE(r.fields, nullptr);
    ASSERT_EQ(r.fields->size(), 3u);
    const char* names[] = {"TIPO", "SUBTIPO", "FACTURA"};
    const uint32_t sizes[] = {2, 3, 21};
    std::string cp = dict::FindTable(children[i])->prefix + ":";
    for (size_t p = 0; p < 3; ++p) {
      const auto& pair = (*r.fields)[p];
      EXPECT_EQ(pair.left.address, Field("REFERENCIAS", std::string("REF:") + names[p]));
      EXPECT_EQ(pair.right.address, Field(children[i], cp + names[p]));
      EXPECT_EQ(pair.left.type, 19);
      EXPECT_EQ(pair.left.size, sizes[p]);
      EXPECT_EQ(pair.right.size, sizes[p]);
    }
    // A nested open is counted only: the child's file stays closed and its keys unregistered.
    EXPECT_EQ(r.opened, 1);
    EXPECT_EQ(Manager(children[i]).opened, 1);
    EXPECT_FALSE(Manager(children[i]).fileOpen());
  }
  EXPECT_TRUE(Manager("REFERENCIAS").fileOpen());

  EXPECT_EQ(ref.CloseWithRelated(false), ResultOk);
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ((*ref.relations)[i].opened, 0) << children[i];
    EXPECT_EQ(Manager(children[i]).opened, 0) << children[i];
  }
  for (const auto& call : sql->calls())
    for (const char* c : children) EXPECT_NE(call.table, dict::DeclOf(c).TableName()) << c;
}

TEST_F(DictionaryTest, PlainEntriesComeFirstAndLongPairsLinkByAddress) {
  dict::DictionaryInit();
  auto& h = Relations("HDSCRAP");
  h.EnsureRelationsAdded();
  ASSERT_EQ(h.relations->size(), 2u);
  const auto& plain = (*h.relations)[0];
  EXPECT_EQ(plain.file, &Relations("CTRSCRAP"));
  EXPECT_EQ(plain.fields, nullptr);
  EXPECT_EQ(plain.hisKey, nullptr);
  EXPECT_EQ(plain.updateMode, 0);
  const auto& byKey = (*h.relations)[1];
  EXPECT_EQ(byKey.file, &Relations("DTSCRAP"));
  EXPECT_EQ(byKey.hisKey->label, "DTS:KEY_FKCONTROL");
  ASSERT_EQ(byKey.fields->size(), 1u);
  EXPECT_EQ((*byKey.fields)[0].left.address, Field("HDSCRAP", "HDS:PK_CONTROL"));
  EXPECT_EQ((*byKey.fields)[0].right.address, Field("DTSCRAP", "DTS:FK_CONTROL"));
  EXPECT_EQ((*byKey.fields)[0].left.type, 6);

  auto parents = [&](const char* label) {
    auto& r = Relations(label);
    r.EnsureRelationsAdded();
    std::vector<const void*> out;
    for (const auto& e : *r.relations) {
      EXPECT_EQ(e.fields, nullptr);
      out.push_back(e.file);
    }
    return out;
  };
  EXPECT_EQ(parents("ANE_FACT"), (std::vector<const void*>{&Relations("REFERENCIAS"), &Relations("REFEDEF"),
                                                           &Relations("REFERESM"), &Relations("REFEREEQ")}));
  EXPECT_EQ(parents("DTADIC"), (std::vector<const void*>{&Relations("REFERESM"), &Relations("REFEREEQ"),
                                                         &Relations("REFEDEF"), &Relations("REFERENCIAS")}));
  // A table without relations attaches none.
  auto& plainTable = Relations("ApTiposTasas");
  plainTable.EnsureRelationsAdded();
  EXPECT_TRUE(plainTable.relations->empty());
}

// Every table's RELATIONS list after its relations are attached, written out
// entry by entry and held to tests/dictionary/relations.txt: a plain entry
// names its parent; a by-key entry its child, the two modes, the child's key
// and the linking pairs with their type and size. Tables without relations
// are not written.
TEST_F(DictionaryTest, EveryTablesRelationsMatchTheCheckedInFile) {
  dict::DictionaryInit();
  std::map<const void*, std::string> labelOf;
  for (const auto& t : dict::Tables()) labelOf[dict::TableRelationsRef(t.decl.label)] = t.decl.label;
  // The label of the field of a table whose thread instance lies at the address.
  auto fieldAt = [](const std::string& table, const void* address) {
    const rt::FileDecl& d = dict::DeclOf(table);
    const auto* base = dict::FileOf(table).buffer();
    for (int n = 1; n <= static_cast<int>(d.record->entryCount()); ++n)
      if (base + d.record->entry(n).offset == address && d.record->entry(n).type != rt::FieldType::Group)
        return d.record->entry(n).label;
    return std::string("?");
  };
  std::string out =
      "# The relations each table registers when they are attached, in registration order.\n"
      "# Written by DictionaryTest.EveryTablesRelationsMatchTheCheckedInFile: after a\n"
      "# deliberate change, run it with ORTAVIA_UPDATE_GOLDEN=1 and review the diff.\n";
  for (const auto& t : dict::Tables()) {
    const std::string label = t.decl.label;
    auto& rel = Relations(label);
    rel.EnsureRelationsAdded();
    if (rel.relations->empty()) continue;
    out += label + "\n";
    for (const auto& r : *rel.relations) {
      if (!r.fields) {
        out += "  plain " + labelOf[r.file] + "\n";
        EXPECT_EQ(r.hisKey, nullptr) << label;
        EXPECT_EQ(r.updateMode + r.deleteMode, 0) << label;
        continue;
      }
      const std::string child = labelOf[r.file];
      std::string e = "  by key " + child + " " + std::to_string(r.updateMode) + "/" +
                      std::to_string(r.deleteMode) + " " + (r.hisKey ? r.hisKey->label : "?");
      EXPECT_EQ(r.hisKey ? r.hisKey->file : nullptr, &dict::FileOf(child)) << label << " -> " << child;
      for (const auto& pair : *r.fields) {
        EXPECT_EQ(pair.left.type, pair.right.type);
        EXPECT_EQ(pair.left.size, pair.right.size);
        e += " " + fieldAt(label, pair.left.address) + "=" + fieldAt(child, pair.right.address) +
             (pair.left.type == 19 ? " text(" + std::to_string(pair.left.size) + ")"
                                   : pair.left.type == 6 && pair.left.size == 4 ? " long" : " ?");
      }
      out += e + "\n";
    }
  }
  testsupport::ExpectMatchesGoldenFile("tests/dictionary/relations.txt", out);
}

// Every relation joins fields of one type and size, leading the child's key,
// and each is registered on both sides.
TEST(DictionaryRelations, DataIsConsistentWithTheDeclarations) {
  int restrict = 0, noAction = 0;
  std::set<std::string_view> tables;
  for (const auto& r : dict::ParentRelations()) {
    SCOPED_TRACE(std::string(r.parent) + " -> " + std::string(r.child));
    const auto* p = dict::FindTable(r.parent);
    const auto* c = dict::FindTable(r.child);
    ASSERT_TRUE(p && c);
    tables.insert(r.parent);
    tables.insert(r.child);
    (r.mode == classlib::RelationRestrict ? restrict : noAction)++;
    const rt::KeyDescriptor* key = nullptr;
    for (const auto& k : c->decl.keys)
      if (k.label == r.childKey) key = &k;
    ASSERT_NE(key, nullptr);
    ASSERT_LE(r.pairs.size(), key->components.size());
    for (size_t i = 0; i < r.pairs.size(); ++i) {
      int a = p->decl.record->FindLabel(p->prefix + ":" + r.pairs[i].first);
      int b = c->decl.record->FindLabel(c->prefix + ":" + r.pairs[i].second);
      ASSERT_TRUE(a && b) << r.pairs[i].first;
      EXPECT_EQ(key->components[i], b);
      EXPECT_EQ(p->decl.record->entry(a).type, c->decl.record->entry(b).type);
      EXPECT_EQ(p->decl.record->entry(a).size, c->decl.record->entry(b).size);
      auto type = p->decl.record->entry(a).type;
      EXPECT_TRUE(type == rt::FieldType::CString || type == rt::FieldType::Long);
    }
    bool childSide = false;
    for (const auto& ch : dict::ChildRelationList())
      if (ch.table == r.child)
        for (const char* parent : ch.parents) childSide |= r.parent == parent;
    EXPECT_TRUE(childSide);
  }
  EXPECT_EQ(restrict, 11);
  EXPECT_EQ(noAction, 11);
  EXPECT_EQ(tables.size(), 23u);
  size_t plainEntries = 0;
  for (const auto& ch : dict::ChildRelationList()) plainEntries += ch.parents.size();
  EXPECT_EQ(plainEntries, dict::ParentRelations().size());
}

TEST_F(DictionaryTest, NewRecordDefaults) {
  dict::DictionaryInit();
  auto& p = Manager("PROVEEDORES");
  std::memset(p.buffer.address, 'x', p.buffer.length);
  EXPECT_EQ(p.PrimeRecord(), ResultOk);
  const rt::FileDecl& d = dict::DeclOf("PROVEEDORES");
  for (const auto& e : d.record->entries()) {
    if (e.parent != 0 || e.type == rt::FieldType::Group) continue;
    if (e.label == "PRV:ORIGEN") {
      EXPECT_EQ(*Field("PROVEEDORES", e.label), 1);
    } else if (e.type == rt::FieldType::Byte || e.type == rt::FieldType::CString) {
      EXPECT_EQ(*Field("PROVEEDORES", e.label), 0) << e.label;
    }
  }
  auto& emp = Manager("EMPRESAS");
  EXPECT_EQ(emp.PrimeRecord(), ResultOk);
  EXPECT_EQ(*Field("EMPRESAS", "EMP:CHK_TRA"), 1);
  EXPECT_EQ(*Field("EMPRESAS", "EMP:STAT_BOM"), 1);
  // Other tables set nothing.
  auto& c = Manager("ConceptosGastos");
  EXPECT_EQ(c.PrimeRecord(), ResultOk);
  EXPECT_EQ(*Field("ConceptosGastos", "CGTO:CHK1"), 0);
}

TEST_F(DictionaryTest, TelefonosTypeMustBeZeroOrOne) {
  dict::DictionaryInit();
  auto& t = Manager("Telefonos");
  char* tipo = reinterpret_cast<char*>(Field("Telefonos", "TLF:TIPO"));
  struct Case {
    const char* value;
    int result;
  };
  const Case cases[] = {{"0", ResultOk}, {"1", ResultOk}, {"2", ResultSoftFail}, {"", ResultSoftFail},
                        {"0 ", ResultSoftFail}, {"01", ResultSoftFail},
                        {"0[]1", ResultSoftFail}, {"]0[", ResultSoftFail}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    std::memset(tipo, 0, 21);
    std::strcpy(tipo, c.value);
    ui.boxes.clear();
    EXPECT_EQ(t.CheckFieldValue(4, false), c.result);
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(reporter.ThreadState().fieldName(), "Tipo de Telefono (0 - Mexico  1 - USA)");
    EXPECT_EQ(t.CheckFieldValue(4, true), c.result);
    if (c.result == ResultOk) {
      EXPECT_TRUE(ui.boxes.empty());
    } else {
      ASSERT_EQ(ui.boxes.size(), 1u);
      EXPECT_EQ(ui.boxes[0].caption, "Value Error");
      EXPECT_NE(ui.boxes[0].text.find("Tipo de Telefono (0 - Mexico  1 - USA)"), std::string::npos);
      EXPECT_NE(ui.boxes[0].text.find("'Mexico','USA'"), std::string::npos);
    }
  }
  // A full field without a terminator is read within its size.
  std::memset(tipo, '1', 21);
  EXPECT_EQ(t.CheckFieldValue(4, false), ResultSoftFail);

  reporter.ThreadState().SetFieldName("before");
  std::memset(tipo, 0, 21);
  EXPECT_EQ(t.CheckFieldValue(3, true), ResultOk);
  EXPECT_EQ(reporter.ThreadState().fieldName(), "before");
  // The same field number of another table is not checked.
  EXPECT_EQ(Manager("HDSCRAP").CheckFieldValue(4, true), ResultOk);
  EXPECT_EQ(reporter.ThreadState().fieldName(), "before");
}

}  // namespace
