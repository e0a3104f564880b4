// The dictionary as a whole: counts and orders that a transcription fault
// in any module would break.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <string>

#include "dictionary/names.h"
#include "dictionary/tables.h"

namespace {

using dict::TableInfo;
using rt::FieldType;

const std::vector<TableInfo>& All() { return dict::Tables(); }

bool IsSql(const TableInfo& t) { return t.decl.driver == "MSSQL"; }

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

TEST(DictionaryFacts, EntryAndTypeCounts) {
  std::map<FieldType, int> types;
  int entries = 0, top = 0;
  for (const auto& t : All()) {
    for (const auto& e : t.decl.record->entries()) {
      ++types[e.type];
      ++entries;
      if (e.parent == 0) ++top;
      EXPECT_EQ(e.flags & (rt::kEntryPicture | rt::kEntryDims), 0) << t.decl.label << " " << e.label;
    }
  }
  EXPECT_EQ(All().size(), 354u);
  EXPECT_EQ(entries, 9581);
  EXPECT_EQ(top, 7719);
  EXPECT_EQ(types[FieldType::CString], 3253);
  EXPECT_EQ(types[FieldType::Real], 1072);
  EXPECT_EQ(types[FieldType::String], 985);
  EXPECT_EQ(types[FieldType::Group], 931);
  EXPECT_EQ(types[FieldType::Date], 931);
  EXPECT_EQ(types[FieldType::Time], 931);
  EXPECT_EQ(types[FieldType::Byte], 931);
  EXPECT_EQ(types[FieldType::Long], 547);
  EXPECT_EQ(types.size(), 8u);
}

TEST(DictionaryFacts, EveryGroupIsAnEightByteDateTimeGroup) {
  int timeFirst = 0, notAfterHandle = 0;
  for (const auto& t : All()) {
    const auto& es = t.decl.record->entries();
    for (size_t i = 0; i < es.size(); ++i) {
      if (es[i].type != FieldType::Group) continue;
      ASSERT_EQ(es[i].size, 8u) << t.decl.label << " " << es[i].label;
      ASSERT_EQ(es[i].descendants, 2u) << t.decl.label << " " << es[i].label;
      ASSERT_LT(i + 2, es.size());
      bool dateFirst = es[i + 1].type == FieldType::Date && es[i + 2].type == FieldType::Time;
      bool timeFirstHere = es[i + 1].type == FieldType::Time && es[i + 2].type == FieldType::Date;
      EXPECT_TRUE(dateFirst || timeFirstHere) << t.decl.label << " " << es[i].label;
      if (timeFirstHere) ++timeFirst;
      // The group lies over an 8-byte text handle.
      bool overHandle = false;
      for (const auto& h : es)
        if (h.type == FieldType::String && h.size == 8 && h.parent == 0 && h.offset == es[i].offset) overHandle = true;
      EXPECT_TRUE(overHandle) << t.decl.label << " " << es[i].label;
      bool rightAfter = i > 0 && es[i - 1].type == FieldType::String && es[i - 1].size == 8 &&
                        es[i - 1].offset == es[i].offset && es[i].adjust == -8;
      if (!rightAfter) ++notAfterHandle;
    }
  }
  EXPECT_EQ(timeFirst, 9);
  EXPECT_EQ(notAfterHandle, 4);
}

// Sets laid right after their handle are classified by their names; the four
// laid elsewhere and the nine holding the TIME first are counted apart.
TEST(DictionaryFacts, DateAndTimePairConventions) {
  int datePairs = 0, timePairs = 0, timeFirst = 0, elsewhere = 0, otherNames = 0;
  auto ends = [](const std::string& s, const std::string& tail) {
    return s.size() > tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
  };
  for (const auto& t : All()) {
    const auto& es = t.decl.record->entries();
    for (size_t i = 1; i + 2 < es.size(); ++i) {
      const auto& g = es[i];
      if (g.type != FieldType::Group) continue;
      const auto& h = es[i - 1];
      const auto& a = es[i + 1];
      const auto& b = es[i + 2];
      if (!(h.type == FieldType::String && h.size == 8 && h.offset == g.offset && g.adjust == -8)) {
        ++elsewhere;
        continue;
      }
      if (a.type == FieldType::Time) {
        ++timeFirst;
        continue;
      }
      std::string x = ends(h.label, "_SQLDATEHANDLE") ? h.label.substr(0, h.label.size() - 14) : "?";
      if (g.label == x + "_SQLDATEGROUP" && a.label == x && b.label == x + "_SQLDATETIMEFIELD")
        ++datePairs;
      else if (g.label == x + "_SQLDATEGROUP" && a.label == x + "_SQLDATEDATEFIELD" && b.label == x)
        ++timePairs;
      else
        ++otherNames;
    }
  }
  EXPECT_EQ(datePairs, 563);
  EXPECT_EQ(timePairs, 321);
  EXPECT_EQ(otherNames, 34);
  EXPECT_EQ(timeFirst, 9);
  EXPECT_EQ(elsewhere, 4);
}

TEST(DictionaryFacts, ModificationStampClosesMostTables) {
  int stamped = 0;
  for (const auto& t : All()) {
    const auto& es = t.decl.record->entries();
    std::vector<std::string> top;
    for (const auto& e : es)
      if (e.parent == 0) top.push_back(e.label);
    const std::string p = t.prefix + ":";
    const std::vector<std::string> stamp = {p + "FECHA_MOD_SQLDATEHANDLE", p + "FECHA_MOD_SQLDATEGROUP",
                                            p + "HORA_MOD_SQLDATEHANDLE",  p + "HORA_MOD_SQLDATEGROUP",
                                            p + "USER_MOD",                p + "HORA_MODX",
                                            p + "MIN_MODX"};
    if (top.size() < stamp.size() || !std::equal(stamp.begin(), stamp.end(), top.end() - stamp.size())) continue;
    int g1 = t.decl.record->FindLabel(p + "FECHA_MOD_SQLDATEGROUP");
    int g2 = t.decl.record->FindLabel(p + "HORA_MOD_SQLDATEGROUP");
    const auto& r = *t.decl.record;
    if (r.entry(g1 + 1).label == p + "FECHA_MOD" && r.entry(g1 + 2).label == p + "FECHA_MOD_SQLDATETIMEFIELD" &&
        r.entry(g2 + 1).label == p + "HORA_MOD_SQLDATEDATEFIELD" && r.entry(g2 + 2).label == p + "HORA_MOD")
      ++stamped;
  }
  EXPECT_EQ(stamped, 231);
}

TEST(DictionaryFacts, KeyCountsAndAttributeSets) {
  using rt::kKeyDup, rt::kKeyOpt, rt::kKeyNoCase, rt::kKeyPrimary;
  std::map<uint32_t, int> sets;
  int keys = 0, keyless = 0, single = 0, maxKeys = 0;
  size_t minComp = 99, maxComp = 0;
  std::vector<std::string> descending;
  for (const auto& t : All()) {
    if (t.decl.keys.empty()) ++keyless;
    maxKeys = std::max(maxKeys, static_cast<int>(t.decl.keys.size()));
    for (const auto& k : t.decl.keys) {
      ++keys;
      ++sets[k.attrs];
      minComp = std::min(minComp, k.components.size());
      maxComp = std::max(maxComp, k.components.size());
      if (k.components.size() == 1) ++single;
      for (int c : k.components) {
        ASSERT_GE(std::abs(c), 1);
        ASSERT_LE(static_cast<size_t>(std::abs(c)), t.decl.record->entryCount());
        if (c < 0) {
          descending.push_back(k.label);
          break;
        }
      }
    }
  }
  EXPECT_EQ(keys, 1380);
  EXPECT_EQ(keyless, 15);
  EXPECT_EQ(maxKeys, 26);
  EXPECT_EQ(single, 540);
  EXPECT_EQ(minComp, 1u);
  EXPECT_EQ(maxComp, 10u);
  EXPECT_EQ(sets[kKeyDup | kKeyOpt], 913);
  EXPECT_EQ(sets[kKeyPrimary | kKeyOpt], 312);
  EXPECT_EQ(sets[kKeyOpt], 89);
  EXPECT_EQ(sets[kKeyDup | kKeyOpt | kKeyNoCase], 33);
  EXPECT_EQ(sets[kKeyPrimary | kKeyOpt | kKeyNoCase], 19);
  EXPECT_EQ(sets[kKeyOpt | kKeyNoCase], 13);
  EXPECT_EQ(sets[kKeyPrimary], 1);
  EXPECT_EQ(sets.size(), 7u);
  EXPECT_EQ(descending, (std::vector<std::string>{"ORP2:KEY_FECHA_DES", "DET:KEYCLASFEC"}));

  const auto* mat = dict::FindTable("MATPRIM");
  ASSERT_NE(mat, nullptr);
  ASSERT_FALSE(mat->decl.keys.empty());
  EXPECT_EQ(mat->decl.keys[0].label, "MAT:KEY_CODIGO");
  EXPECT_EQ(mat->decl.keys[0].attrs, kKeyPrimary);
  const auto* det = dict::FindTable("DETSNPEDIM");
  ASSERT_NE(det, nullptr);
  for (const auto& k : det->decl.keys)
    if (k.label == "DET:KEYCLASFEC") {
      EXPECT_LT(k.components.back(), 0);
      EXPECT_TRUE(std::all_of(k.components.begin(), k.components.end() - 1, [](int c) { return c > 0; }));
    }
  const auto* orp = dict::FindTable("ORDENPROD");
  ASSERT_NE(orp, nullptr);
  for (const auto& k : orp->decl.keys)
    if (k.label == "ORP2:KEY_FECHA_DES") {
      EXPECT_EQ(k.components.size(), 2u);
      EXPECT_TRUE(std::all_of(k.components.begin(), k.components.end(), [](int c) { return c < 0; }));
    }
}

TEST(DictionaryFacts, KeylessTables) {
  int sqlKeyless = 0;
  for (const auto& t : All())
    if (t.decl.keys.empty() && IsSql(t)) {
      ++sqlKeyless;
      EXPECT_EQ(t.decl.label, "D_SQL");
    }
  EXPECT_EQ(sqlKeyless, 1);
  for (const char* label : {"CREMOTA", "CSVImp", "ARCHIVO", "NET"}) {
    const auto* t = dict::FindTable(label);
    ASSERT_NE(t, nullptr) << label;
    EXPECT_TRUE(t->decl.keys.empty()) << label;
  }
}

TEST(DictionaryFacts, KeyDescriptions) {
  int same = 0, otherCase = 0, free = 0;
  std::set<std::string> freeTables;
  for (const auto& t : All()) {
    ASSERT_EQ(t.keyDescriptions.size(), t.decl.keys.size());
    for (size_t i = 0; i < t.decl.keys.size(); ++i) {
      const std::string& d = t.keyDescriptions[i];
      const std::string& l = t.decl.keys[i].label;
      EXPECT_LE(d.size(), 53u) << l;
      if (d == l) ++same;
      else if (Upper(d) == Upper(l)) ++otherCase;
      else {
        ++free;
        freeTables.insert(t.decl.label);
      }
    }
  }
  EXPECT_EQ(same, 1179);
  EXPECT_EQ(otherCase, 60);
  EXPECT_EQ(free, 141);
  EXPECT_EQ(freeTables.size(), 39u);
}

TEST(DictionaryFacts, DriversOwnersAndAttributes) {
  std::map<std::string, int> drivers;
  int data = 0, server = 0, literal = 0;
  for (const auto& t : All()) {
    const auto& d = t.decl;
    ++drivers[d.driver];
    EXPECT_EQ((d.attrs & rt::kFileOwner) != 0, d.HasOwner()) << d.label;
    EXPECT_EQ(d.attrs & rt::kFileEncrypt, 0) << d.label;
    EXPECT_NE(d.attrs & rt::kFileThread, 0) << d.label;
    EXPECT_EQ((d.attrs & rt::kFileCreate) != 0, d.label != "MATPRIM") << d.label;
    EXPECT_EQ((d.attrs & rt::kFileReclaim) != 0, d.label == "LL_RepLay") << d.label;
    if (IsSql(t)) {
      EXPECT_NE(d.ownerVar, nullptr) << d.label;
      EXPECT_EQ(d.options, d.label == "D_SQL" ? "/LOGONSCREEN=FALSE /TURBOSQL=TRUE" : "/LOGONSCREEN=FALSE") << d.label;
    } else {
      EXPECT_EQ(d.ownerVar, nullptr) << d.label;
      EXPECT_EQ(d.options, "") << d.label;
    }
    if (d.ownerVar == &dict::DataOwner) ++data;
    if (d.ownerVar == &dict::ServerOwner) ++server;
    if (!d.ownerLiteral.empty()) {
      ++literal;
      EXPECT_EQ(d.label, "DEFAULTS_CLIENTE");
      EXPECT_EQ(d.ownerLiteral, "QJZ");
      EXPECT_EQ(d.driver, "TOPSPEED");
    }
  }
  EXPECT_EQ(drivers, (std::map<std::string, int>{{"MSSQL", 333}, {"TOPSPEED", 7}, {"ASCII", 10}, {"BASIC", 1},
                                                  {"DOS", 1}, {"dBase3", 1}, {"FoxPro", 1}}));
  EXPECT_EQ(data, 323);
  EXPECT_EQ(server, 10);
  EXPECT_EQ(literal, 1);
  for (const char* label : {"USUAR_EXT", "PRIVILEG_EMPRESAS", "PERFIL_USUAR", "PRIVILEG", "SISTEMAS", "USUAR",
                            "PARAMETROS", "EMPRESAS", "PARAM_EMPRESAS", "DET_EMPCERT"}) {
    const auto* t = dict::FindTable(label);
    ASSERT_NE(t, nullptr) << label;
    EXPECT_EQ(t->decl.ownerVar, &dict::ServerOwner) << label;
  }
  EXPECT_EQ(dict::FindTable("CSVImp")->decl.driver, "BASIC");
  EXPECT_EQ(dict::FindTable("CREMOTA")->decl.driver, "DOS");
  EXPECT_EQ(dict::FindTable("ARCHIVO")->decl.driver, "dBase3");
  EXPECT_EQ(dict::FindTable("MATPRIM")->decl.driver, "FoxPro");
}

TEST(DictionaryFacts, LabelsPrefixesAndTableNames) {
  int mixed = 0, upper = 0, asLabel = 0, firstEight = 0, otherCase = 0, other = 0, byVar = 0;
  std::set<std::string> prefixes;
  for (const auto& t : All()) {
    const auto& d = t.decl;
    (Upper(d.label) == d.label ? upper : mixed)++;
    EXPECT_TRUE(prefixes.insert(t.prefix).second) << t.prefix;
    EXPECT_GE(t.prefix.size(), 2u) << d.label;
    EXPECT_LE(t.prefix.size(), 6u) << d.label;
    if (d.tableNameVar) {
      ++byVar;
      EXPECT_EQ(d.tableNameVar, dict::TableNameVarOf(d.label));
      EXPECT_TRUE(d.tableName.empty());
    } else if (d.tableName == d.label) ++asLabel;
    else if (d.tableName == d.label.substr(0, 8)) ++firstEight;
    else if (Upper(d.tableName) == Upper(d.label)) ++otherCase;
    else ++other;
  }
  EXPECT_EQ(mixed, 72);
  EXPECT_EQ(upper, 282);
  EXPECT_EQ(asLabel, 243);
  EXPECT_EQ(firstEight, 46);
  EXPECT_EQ(otherCase, 3);
  EXPECT_EQ(other, 38);
  EXPECT_EQ(byVar, 24);
  EXPECT_EQ(dict::TableNameVarLabels().size(), 24u);
  for (auto label : dict::TableNameVarLabels()) {
    const auto* t = dict::FindTable(label);
    ASSERT_NE(t, nullptr) << label;
    EXPECT_EQ(t->decl.tableNameVar, dict::TableNameVarOf(label));
    // The creation sets the variables of the SQL tables; nothing sets those of the local files.
    EXPECT_EQ(t->creationName.empty(), !IsSql(*t)) << label;
  }
  EXPECT_EQ(dict::FindTable("CLAVES_PED")->decl.tableName, "CLAVES_P");
  EXPECT_EQ(dict::FindTable("DetUsuarRuta")->decl.tableName, "detUsuarRuta");
  EXPECT_EQ(dict::FindTable("RefereExtCoveEQ")->decl.tableName, "RefereExtCoveEq");
  EXPECT_EQ(dict::FindTable("InwardCM")->decl.tableName, "inwardcm");
  EXPECT_EQ(dict::FindTable("MERCANCIAS")->decl.tableName, "MERCIA");
  EXPECT_EQ(dict::FindTable("CSVImp")->decl.tableName, "IMPORT.TMP");
  EXPECT_EQ(dict::FindTable("ARCHIVO")->decl.tableName, "Barcode.dbf");
}

TEST(DictionaryFacts, BlobsAndExternalNames) {
  std::vector<std::pair<std::string, std::string>> blobs;
  for (const auto& t : All())
    for (const auto& b : t.decl.blobs) {
      blobs.emplace_back(t.decl.label, b.label);
      EXPECT_EQ(b.attrs, rt::kBlobIsBlob | rt::kBlobBinary | 0x01);
      EXPECT_EQ(b.memoSize, 0u);
      EXPECT_TRUE(b.externalName.empty());
    }
  std::sort(blobs.begin(), blobs.end());
  EXPECT_EQ(blobs, (std::vector<std::pair<std::string, std::string>>{{"COVE_DIGITALIZACION", "COVD:DIGARCHIVO"},
                                                                      {"DT_IMAGE", "DTI:CIMAGEN"},
                                                                      {"H_COVE", "COV:XMLBINARIO"},
                                                                      {"IMAGENES", "IMGX:IMAGEN"}}));
  std::vector<std::string> fieldNames, keyNames;
  for (const auto& t : All()) {
    for (const auto& e : t.decl.record->entries())
      if (!e.externalName.empty()) fieldNames.push_back(e.label + "=" + e.externalName);
    for (const auto& k : t.decl.keys)
      if (!k.externalName.empty()) keyNames.push_back(k.label + "=" + k.externalName);
  }
  EXPECT_EQ(fieldNames, (std::vector<std::string>{"MAT:PESO_NETO=PESO_NETO=N(8.4)", "MAT:COSTO=COSTO=N(8.4)"}));
  EXPECT_EQ(keyNames, (std::vector<std::string>{"PEM:KEY_GRUPO=KEY_GRUPO"}));
}

TEST(DictionaryFacts, ModulesTheirCountsAndEnds) {
  struct Row {
    int tables, sql;
    const char* first;
    const char* last;
  };
  const Row rows[18] = {
      {20, 19, "HDSCRAP", "ApTiposTasas"},        {19, 18, "ApDestinosMercancia", "DE_TLC"},
      {20, 20, "EMPEDI", "DetGastos"},            {18, 14, "Entry", "NOTA_FACTURAS"},
      {20, 20, "COSTOS", "DetGastosConceptos"},   {20, 20, "DetGastosConceptosEQ", "METAS"},
      {20, 20, "FDA_Detail", "DS553PermisosPartida"}, {20, 19, "ApFormasPago", "SalExtension"},
      {20, 20, "ANE_PRTR", "FCC_Master"},         {20, 20, "CLASESUSA", "H_IA_CONST"},
      {20, 20, "IA_CONST_ANEX", "FACTALTERNOS"},  {19, 17, "MER_FACT_COMERCIAL", "TEMPINVOICE"},
      {20, 20, "LOGORDENESP", "PRIVILEG"},        {19, 13, "NET", "ONHAND_TXT"},
      {20, 18, "PER_NEW", "CONTENE"},             {20, 20, "CONSPED", "SALIDAEQ"},
      {20, 19, "SINIPEDI", "D_COS_MAN"},          {19, 16, "TRAT_TLC", "DET_EMPCERTMD"},
  };
  int prev = 0;
  for (int m = 1; m <= 18; ++m) {
    std::vector<const TableInfo*> in;
    for (const auto& t : All()) {
      EXPECT_GE(t.module, prev) << t.decl.label;  // modules are contiguous and ascending
      prev = t.module;
      if (t.module == m) in.push_back(&t);
    }
    prev = 0;
    const Row& r = rows[m - 1];
    ASSERT_EQ(static_cast<int>(in.size()), r.tables) << "M" << m;
    EXPECT_EQ(std::count_if(in.begin(), in.end(), [](const TableInfo* t) { return IsSql(*t); }), r.sql) << "M" << m;
    EXPECT_EQ(in.front()->decl.label, r.first) << "M" << m;
    EXPECT_EQ(in.back()->decl.label, r.last) << "M" << m;
  }
}

// The SQL tables in dictionary order are the creation order; the name is
// given where it differs from the label (for a name variable, the name the
// creation procedure gives it).
TEST(DictionaryFacts, SqlTablesInDictionaryOrderAreTheCreationOrder) {
  struct Entry {
    const char* label;
    const char* name;
  };
  static const Entry kCreation[] = {
    {"HDSCRAP", ""},
    {"DetEntAutorizaciones", "DetEntAut"},
    {"ConceptosGastos", "ConceptoGastos"},
    {"FDA_Master", "FDA_MAST"},
    {"REST_NO_ARAN", ""},
    {"PL_ANEXOS", ""},
    {"PARTESEQ", ""},
    {"EntExtension", ""},
    {"ENTACCS", ""},
    {"CLAVES_PED", "CLAVES_P"},
    {"PARTESIDENT", "PARTESID"},
    {"DetAnexosExportacion", ""},
    {"DetPartesAnexosExp", ""},
    {"ANE_PROV", ""},
    {"ASCIIUPDTE", "ASCIIUPD"},
    {"REFE", ""},
    {"FOLIOS", ""},
    {"ApContrib", ""},
    {"ApTiposTasas", ""},
    {"ApDestinosMercancia", ""},
    {"ApMetodosValoracion", ""},
    {"FOTOEQ", ""},
    {"PRECAPID", ""},
    {"REGLAS", ""},
    {"OBJETOS", ""},
    {"AGENTESU", ""},
    {"IA_CONST", ""},
    {"ACCESORIOS", "ACCESOR"},
    {"ORDPROD", ""},
    {"SAAIDEFS", ""},
    {"FamiliasClases", "FAMILIAS"},
    {"BOMSIMPLOSION", "BOMIMPLO"},
    {"PDESFIN", ""},
    {"PARTESRECUP", ""},
    {"BOMSUM", ""},
    {"EX303", ""},
    {"DE_TLC", ""},
    {"EMPEDI", ""},
    {"BOMSPED", ""},
    {"BITACORA", ""},
    {"CORTES", ""},
    {"CTRSCRAP", ""},
    {"DET_CONT_PEDIM", ""},
    {"Telefonos", "Telefono"},
    {"SECTORES", ""},
    {"CLAMEXALTERN", ""},
    {"CONSPROR", ""},
    {"EXPORTEMP", "EXPORTEM"},
    {"Attention", "Attentio"},
    {"INPC", ""},
    {"DIVISION", ""},
    {"REG_CVE_PEDIM", ""},
    {"CDC", ""},
    {"HD_NAFTA", ""},
    {"ORP_CONSUMO", "ORP_CONS"},
    {"InwardCM", "inwardcm"},
    {"DetGastos", ""},
    {"Entry", ""},
    {"BillLad", "Billofld"},
    {"DET_MOV_AREAS", ""},
    {"TRANSPORTISTAS", "TRANSPOR"},
    {"COMPONENTES_EXPO", ""},
    {"WorkOrders", "WOrders"},
    {"CONS2_FAC", ""},
    {"USOEDOMER", "USOEDOME"},
    {"HCONSPRO", ""},
    {"COVE_TipoArchivos", ""},
    {"COVE_DIGITALIZACION", ""},
    {"CONSUMOS", ""},
    {"PROPOR", ""},
    {"NOTA_FACTURAS", "NOTA_FAC"},
    {"COSTOS", ""},
    {"REPLEG", ""},
    {"ADUANAS", ""},
    {"DET_EMPCERT", ""},
    {"FIRMANTES", "FIRMANTE"},
    {"DESCAR_ORDENP", ""},
    {"TRACTOCA", ""},
    {"DESCARGASPD", "DESCARPD"},
    {"PAISES", ""},
    {"PROD_EXP", ""},
    {"DESMANPD", ""},
    {"DESCARGASEQ", "DESCAREQ"},
    {"RefereExtCove", ""},
    {"DetEmbarqueRuta", ""},
    {"DetSalAnexosExp", ""},
    {"ESTILOS", ""},
    {"TEXTOS", ""},
    {"SOL_PER", ""},
    {"MESES_CALENDARIO", ""},
    {"DetGastosConceptos", "DetGastosConc"},
    {"DetGastosConceptosEQ", "DetGastosConcEQ"},
    {"DS501Generales", ""},
    {"DetGastosEQ", ""},
    {"DTSCRAP", ""},
    {"PROCESOS", ""},
    {"TURNOS", ""},
    {"ARCHIVO_RECONCILIACION", "ARECON"},
    {"DET_CONT_ENTRADPD", ""},
    {"DetOrdenProdBatch", ""},
    {"DET_FRACCVIG", ""},
    {"REGIMENES", ""},
    {"DET_CONT_ENTRAD", ""},
    {"DEF_ASCII", ""},
    {"RELACION_PROVPARTES", "RELACION"},
    {"PARAM_EMPRESAS", "PARAMEMP"},
    {"CLSECOFEQ", "CLSECOFE"},
    {"TIP_EMPR", ""},
    {"NOTIMAGE", ""},
    {"IMAGENES", ""},
    {"METAS", ""},
    {"FDA_Detail", "FDA_DETA"},
    {"RESNOARA", ""},
    {"DS508CtaAduaneras", ""},
    {"DS507CasosPedim", ""},
    {"DS511ObsPedim", ""},
    {"DS509TasasPedim", ""},
    {"DS506Fechas", ""},
    {"DS520Destinatarios", ""},
    {"DS551PartidasImpo", ""},
    {"DS505Facturas", ""},
    {"DS502Transportes", ""},
    {"DS504Contenedores", ""},
    {"DS701Rectif", ""},
    {"DS512Descargos", ""},
    {"DS510ContribPedim", ""},
    {"DS552Mercancias", ""},
    {"DS551PartidasExpo", ""},
    {"DS514MovCtaAd", ""},
    {"DS503Guias", ""},
    {"DS553PermisosPartida", ""},
    {"ApFormasPago", ""},
    {"DS554CasosPartida", ""},
    {"DS556TasasContrib", ""},
    {"DS555CtaAdGarantia", ""},
    {"DS557ContribPartidas", ""},
    {"DS558ObservP", ""},
    {"DSSeleccionAut", ""},
    {"DS702DifContribPedim", ""},
    {"DSIncidencias", ""},
    {"BOMS", ""},
    {"ADU_SOL", ""},
    {"HD_IMAGE", ""},
    {"CLSECOFI", ""},
    {"DESMAN", ""},
    {"TIPOANEX", ""},
    {"ANE_EQUI", ""},
    {"DetEmbarqueFacturas", ""},
    {"ANE_CLAS", ""},
    {"SalExtension", ""},
    {"ANE_PRTR", ""},
    {"PASOS_ENSAMBLE_PRODUCCION", "PASOS_EN"},
    {"SalMediciones", ""},
    {"ENTRADPD", ""},
    {"PARCIAEQ", ""},
    {"DESTINOS", ""},
    {"CLIENTE_DESC_FACT", ""},
    {"MARCAS", ""},
    {"UNIMEDUSA", "UNIMEDUS"},
    {"EDI_USA_DEFAULT", "EDI_USA_"},
    {"PL_DESPER", ""},
    {"TIPOS", ""},
    {"UNICOMAD", ""},
    {"PAI_DET_PT", "PAIDETPT"},
    {"CLASES", ""},
    {"FACT_REC", ""},
    {"CLALTERN", ""},
    {"MER_FACT_REC", ""},
    {"SALID", ""},
    {"FCC_Master", "FCC_MAST"},
    {"CLASESUSA", "CLAUSA"},
    {"TIPOSEMP", ""},
    {"DESTINATARIO", "DESTINAT"},
    {"CCGD", ""},
    {"HDENTPAR", "HDSALPAR"},
    {"HDESCARPD", "HDESCAPD"},
    {"PLEMPAQ", ""},
    {"PROVEEDORES", "PROVEEDO"},
    {"CONSIGNATARIO", "CONSIGNA"},
    {"HDESMAPD", ""},
    {"ENTRADEQ", ""},
    {"MCONSPRO", ""},
    {"ENTRADSM", ""},
    {"SUBMAQUILA", "SUBMAQUI"},
    {"TIPOCAMBIO", "TIPOCAMB"},
    {"NOTAS", ""},
    {"FACTORES", ""},
    {"IA_CONST_FACT_FISC", "IA_CONST_FACT"},
    {"INCIDENCIASPD", "INCIDPD"},
    {"H_IA_CONST", ""},
    {"IA_CONST_ANEX", ""},
    {"COS_MANUF", "COS_MANU"},
    {"PERIODOS", ""},
    {"CONSOLIDADOS", "CONSOLID"},
    {"ENTRADAS", "ENTRAD"},
    {"REFERENCIAS", "REFERE"},
    {"HDESMAN", ""},
    {"IA_INVENT", ""},
    {"SALIDAS", "SALIDA"},
    {"DET_CONSOLID_CT", ""},
    {"DESCARGAS", "DESCAR"},
    {"MERCANCIAS", "MERCIA"},
    {"FEXPOS", ""},
    {"DE_TASAS", ""},
    {"FIMPOS", ""},
    {"LOGS_PROCESOS_CRITICOS", "LOGCRITICO"},
    {"FRACCUSA", ""},
    {"PUERTOS_IN", "PIN"},
    {"TIPOS_COS", "TIPOS_CO"},
    {"FACTALTERNOS", "FACALTER"},
    {"MER_FACT_COMERCIAL", "MER_FACT_COMER"},
    {"REGLAS_ORG", ""},
    {"SERIES", ""},
    {"PUERTOS_OUT", "POUT"},
    {"MER_detCodigoFactura", ""},
    {"PCONSPRO", ""},
    {"SALIDEQ_DESP", ""},
    {"DT_IMAGE", ""},
    {"DMER_FDA", ""},
    {"DT_NAFTA", ""},
    {"INWARDHD", ""},
    {"INWARDEF", ""},
    {"DEFAULTS", ""},
    {"RECAR", ""},
    {"MONEDAS", ""},
    {"INCIDENCIAS", "INCIDENC"},
    {"TEMPINVOICE", ""},
    {"LOGORDENESP", ""},
    {"ORDENPROD", ""},
    {"EntMediciones", ""},
    {"AGENTES", ""},
    {"ORDENCONSUMO", ""},
    {"DE_HTSUS", ""},
    {"CHOFERES", ""},
    {"EMPRESAS", ""},
    {"FACTURA_CLASES", "FACTURA_"},
    {"PARAMETROS", "PARAM"},
    {"USUAR", ""},
    {"CONSEST", ""},
    {"SISTEMAS", ""},
    {"PAI_DET_EQ", ""},
    {"NAFTA", ""},
    {"REQUEST", ""},
    {"TLCPT", ""},
    {"ANE_FACT", ""},
    {"MANDATARIOS", ""},
    {"PRIVILEG", ""},
    {"METENTRADA", "METENTRA"},
    {"MP_HISTOR", "MP_HISTO"},
    {"SERIESEQ", ""},
    {"SecretariasExportacion", ""},
    {"PAI_DET", ""},
    {"INCOTERM", ""},
    {"FOTOGRAFIAS", "FOTOGRAF"},
    {"SECUEN", ""},
    {"TIPOCOSTO", "TIPOCOST"},
    {"PERFIL_USUAR", ""},
    {"PRIVILEG_EMPRESAS", "PRIVILEG_EMP"},
    {"DPLAEMPQ", ""},
    {"DETCAPID", ""},
    {"PER_NEW", ""},
    {"DTADIC", ""},
    {"CARTAS", ""},
    {"PEREF", ""},
    {"CTEPEDIM", ""},
    {"ENTRA", ""},
    {"H_COVE", ""},
    {"COVE_ConsultasRFC", ""},
    {"RefereExtCoveEQ", "RefereExtCoveEq"},
    {"EXCEP_REGLAS_ORG", "EXC_REGLAS_ORG"},
    {"CLAVES_PEDIM", ""},
    {"REVORI", ""},
    {"REFERESM", ""},
    {"REFEREEQ", ""},
    {"REFEDEF", ""},
    {"TEMPORAL", ""},
    {"FORMA_PAGO", ""},
    {"CONTENE", ""},
    {"CONSPED", ""},
    {"DetUsuarRuta", "detUsuarRuta"},
    {"EmbarqueCTPAT", ""},
    {"ENTFED", ""},
    {"SALINI", ""},
    {"MPEXTLC", ""},
    {"INFIFRZE", ""},
    {"D_SQL", ""},
    {"BLOQUEDESCAR", ""},
    {"SALIDASPD", "SALIDAPD"},
    {"HDESCAR", ""},
    {"TLCEXEN", ""},
    {"SALINITEM", "SALINITE"},
    {"OCOSTOS_SAL", "OCOSTOS_"},
    {"PROG_TAREAS", "PROG_TAR"},
    {"RECARGOS", ""},
    {"SALIDADE", ""},
    {"SALIDASM", ""},
    {"AnexosExportacion", ""},
    {"SALIDAEQ", ""},
    {"SINIPEDI", ""},
    {"SEREQACC", ""},
    {"DETSNPEDIM", "DETSNPED"},
    {"DET_CHOFERES", "DET_CHOF"},
    {"INVFISI", ""},
    {"ZONAS", ""},
    {"PermisosExportacion", ""},
    {"PED_REMISION", "PED_REMI"},
    {"AREAS_EQUIPO", ""},
    {"SALDOS", ""},
    {"CONS_FAC", ""},
    {"NOT_ADICEN", "NOT_ADIC"},
    {"DEC_VALOR", "DEC_VALO"},
    {"MODELOS", ""},
    {"LOGS", ""},
    {"PRINDTER", ""},
    {"DET_COST", ""},
    {"OTROS_COST", "OTROS_CO"},
    {"D_COS_MAN", "D_COS_MA"},
    {"TRAT_TLC", ""},
    {"TASAS", ""},
    {"TRAACUE", ""},
    {"SECRETARIAS", "SECRETAR"},
    {"MED_TRANS", "MED_TRAN"},
    {"DISPLAY_REPORTS", ""},
    {"TIP_VINC", ""},
    {"ARCHIVO_COSTOS", "ACOSTOS"},
    {"CLASES_EQ", "CLASES_E"},
    {"ADIC_MERCANCIAS", "ADIC_MER"},
    {"COMPON", ""},
    {"USUAR_EXT", ""},
    {"RutasDefaults", "RutasDefault"},
    {"CONSCONV", ""},
    {"EMP_PARAM", "EMP_PARA"},
    {"DET_EMPCERTMD", ""},
  };
  const std::map<std::string, std::string> varNames = {
      {"EMPRESAS", "EMPRESAS"}, {"USUAR", "USUAR"},         {"PRIVILEG", "PRIVILEG"},
      {"PARAMETROS", "PARAM"},  {"SISTEMAS", "SISTEMAS"},   {"LOGS", "LOGS"},
      {"TEMPORAL", "TEMPORAL"}, {"PERIODOS", "PERIODOS"},   {"PRIVILEG_EMPRESAS", "PRIVILEG_EMP"},
      {"PERFIL_USUAR", "PERFIL_USUAR"}, {"USUAR_EXT", "USUAR_EXT"},
  };
  std::vector<const TableInfo*> sql;
  for (const auto& t : All())
    if (IsSql(t)) sql.push_back(&t);
  ASSERT_EQ(sql.size(), std::size(kCreation));
  int sqlVars = 0;
  for (size_t i = 0; i < sql.size(); ++i) {
    const auto& d = sql[i]->decl;
    EXPECT_EQ(d.label, kCreation[i].label) << "entry " << i + 1;
    std::string name = d.tableName;
    if (d.tableNameVar) {
      ++sqlVars;
      auto it = varNames.find(d.label);
      ASSERT_NE(it, varNames.end()) << d.label;
      name = it->second;
      EXPECT_EQ(sql[i]->creationName, it->second) << d.label;
    }
    std::string expected = *kCreation[i].name ? kCreation[i].name : kCreation[i].label;
    EXPECT_EQ(name, expected) << d.label;
  }
  EXPECT_EQ(sqlVars, 11);
}

}  // namespace
