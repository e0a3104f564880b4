// Module M01 table by table, the byte form of records, the layout of the
// irregular date-time sets, and how faults in a declaration text are reported.
#include <gtest/gtest.h>

#include "dictionary/catalogue.h"
#include "dictionary/names.h"
#include "dictionary/tables.h"

namespace {

using dict::TableInfo;

std::string Strip(const TableInfo& t, const std::string& label) {
  return label.substr(t.prefix.size() + 1);
}

// A key written back in the declaration notation.
std::string Render(const TableInfo& t, size_t k) {
  const rt::KeyDescriptor& key = t.decl.keys[k];
  std::string s = key.label;
  const std::pair<uint32_t, const char*> words[] = {{rt::kKeyPrimary, "PRIMARY"}, {rt::kKeyDup, "DUP"},
                                                    {rt::kKeyOpt, "OPT"},         {rt::kKeyNoCase, "NOCASE"},
                                                    {rt::kKeyIndex, "INDEX"}};
  for (const auto& [bit, word] : words)
    if (key.attrs & bit) s += std::string(" ") + word;
  s += " (";
  for (size_t i = 0; i < key.components.size(); ++i) {
    int c = key.components[i];
    if (i) s += ", ";
    if (c < 0) s += "-";
    s += Strip(t, t.decl.record->entry(std::abs(c)).label);
  }
  s += ")";
  if (t.keyDescriptions[k] != key.label) s += " described \"" + t.keyDescriptions[k] + "\"";
  return s;
}

TEST(ModuleM01, EveryTableAsDeclared) {
  struct Row {
    const char* label;
    const char* prefix;
    const char* driver;
    const char* name;  // empty: a name variable
    uint32_t length;
    std::vector<const char*> keys;
  };
  const std::vector<Row> rows = {
      {"HDSCRAP", "HDS", "MSSQL", "HDSCRAP", 89,
       {"HDS:KEY_USUARIO DUP OPT (TRANSPORTE, FECHAI_SQLDATEHANDLE, USUARIO, FECHA, REFERENCIA)",
       "HDS:KEY_PROCESO DUP OPT (PROCESO) described \"ORDENADO POR PROCESO\"",
       "HDS:KEY_TURNO DUP OPT (TURNO) described \"ORDENADO POR TURNO\"",
       "HDS:KEY_PKCONTROL PRIMARY OPT (PK_CONTROL)",
       "HDS:KEY_FKTRANSPORTE DUP OPT (FK_CONTROL)",
       "HDS:KEY_REFERENCIA DUP OPT (TRANSPORTE, FECHAI, FECHA, REFERENCIA)",
       "HDS:KEY_TRANSPORTE DUP OPT (TRANSPORTE)"}},
      {"DetEntAutorizaciones", "DEA", "MSSQL", "DetEntAut", 60,
       {"DEA:KEY_MOD DUP OPT (FECHA_MOD, HORA_MOD, USER_MOD)",
       "DEA:KEY_UNICO PRIMARY OPT (UNICO)",
       "DEA:KEY_CODIGO DUP OPT (UNICO_ANECLASE, UNICO_ENTRADAS)",
       "DEA:KEY_CODIGO1 DUP OPT (UNICO_ANECLASE, FECHA_ENT, UNICO_ENTRADAS)",
       "DEA:KEY_CODIGO2 DUP OPT (UNICO_ENTRADAS, UNICO_ANECLASE)"}},
      {"ConceptosGastos", "CGTO", "MSSQL", "ConceptoGastos", 133,
       {"CGTO:KEY_UNICA OPT (UNICO)",
       "CGTO:KEY_CODIGO OPT (CODIGO)",
       "CGTO:KEY_CODIGO2 DUP OPT (TIPOCONCEPTO, CODIGO)",
       "CGTO:KEY_MOD DUP OPT (FECHA_MOD, HORA_MOD, USER_MOD)",
       "CGTO:KEY_DESCRIPCION DUP OPT (DESCRIPCION, CODIGO)"}},
      {"FDA_Master", "FDAM", "MSSQL", "FDA_MAST", 1121,
       {"FDAM:KEY_UNICA PRIMARY OPT (UNICO) described \"LLave primaria\"",
       "FDAM:KEY_CODIGO OPT (CODIGO_PARTE, FECHA_INI, FECHA_FIN)",
       "FDAM:FK_UNICO_PARTE DUP OPT (UNICO_PARTE)"}},
      {"REST_NO_ARAN", "RES", "MSSQL", "REST_NO_ARAN", 266,
       {"RES:KEY_UNICO PRIMARY OPT NOCASE (UNICO)",
       "RES:KEY_SECRETARIA DUP OPT NOCASE (SECRETARIA, CLAVE)"}},
      {"TRADUCCION", "TRD", "TOPSPEED", "", 513,
       {"TRD:KEY_CODIGO OPT (LENGUAJE, BUSCAR)"}},
      {"PL_ANEXOS", "PLQ", "MSSQL", "PL_ANEXOS", 315,
       {"PLQ:KEY_PRIMARY PRIMARY OPT (UNICO)",
       "PLQ:KEY_MOD DUP OPT (FECHA_MOD, HORA_MODX, MIN_MODX, USER_MOD)",
       "PLQ:KEY_CODIGO DUP OPT (CLASE_EQ, PAGINA)"}},
      {"PARTESEQ", "PEQ", "MSSQL", "PARTESEQ", 440,
       {"PEQ:KEY_CODIGO PRIMARY OPT (CODIGO)",
       "PEQ:KEY_NOMBRE DUP OPT (DESCRIPCION)",
       "PEQ:KEY_CLASE DUP OPT (CLASE, CODIGO)",
       "PEQ:KEY_MARCA DUP OPT (MARCA)",
       "PEQ:KEY_FABRICANTE DUP OPT (CODIGO_FABRICANTE, MARCA)"}},
      {"EntExtension", "ENTX", "MSSQL", "EntExtension", 137,
       {"ENTX:KEY_UNICO PRIMARY OPT (UNICO_ENTRADAS)",
       "ENTX:KEY_MOD DUP OPT (FECHA_MOD, HORA_MOD, USER_MOD)"}},
      {"ENTACCS", "EAC", "MSSQL", "ENTACCS", 1333,
       {"EAC:KEY_UNICA PRIMARY OPT (UNICO)",
       "EAC:FK_ENTRADAS DUP OPT (UNICO_ENTRADAS)",
       "EAC:KEY_ID DUP OPT (ID)",
       "EAC:KEY_PARTNUM DUP OPT (NUM_PARTE)",
       "EAC:KEY_MARCA DUP OPT (MARCA)",
       "EAC:KEY_MODELO DUP OPT (MODELO)"}},
      {"CLAVES_PED", "CPED", "MSSQL", "CLAVES_P", 145,
       {"CPED:KEY_CODIGO PRIMARY OPT (CLAVE)"}},
      {"PARTESIDENT", "PAR1", "MSSQL", "PARTESID", 67,
       {"PAR1:KEY_PRIMARY PRIMARY OPT (UNICO)",
       "PAR1:KEY_CODIGO OPT (PARTE, CODIGO_TLC, IDENTIFICADOR)"}},
      {"DetAnexosExportacion", "DETE", "MSSQL", "DetAnexosExportacion", 288,
       {"DETE:KEY_UNICA PRIMARY OPT (UNICO)",
       "DETE:KEY_MOD DUP OPT (FECHA_MOD, HORA_MOD, USER_MOD)",
       "DETE:KEY_CODIGO DUP OPT (UNICOSECRETARIAS, UNICOANEXOSEXPORTACION, DESCRIPCION)",
       "DETE:KEY_ANEXOS DUP OPT (UNICOANEXOSEXPORTACION, DESCRIPCION)",
       "DETE:KEY_DESCRIPCION DUP OPT (DESCRIPCION, UNICOANEXOSEXPORTACION, UNICOSECRETARIAS)"}},
      {"DetPartesAnexosExp", "DPPE", "MSSQL", "DetPartesAnexosExp", 91,
       {"DPPE:KEY_PRIMARY PRIMARY OPT (UNICO)",
       "DPPE:FK_PERMISOSEXP DUP OPT (UNICOPERMISOSEXP)",
       "DPPE:KEY_PERMISO DUP OPT (NUMPER, CODIGOPARTE, UNICOPERMISOSEXP)",
       "DPPE:KEY_CODIGO DUP OPT (UNICOPERMISOSEXP, CODIGOPARTE)",
       "DPPE:KEY_PARTE DUP OPT (CODIGOPARTE, NUMPER)"}},
      {"ANE_PROV", "ACP", "MSSQL", "ANE_PROV", 355,
       {"ACP:KEY_PRIMARY PRIMARY OPT (UNICO)",
       "ACP:FK_SOLPER DUP OPT (UNICO_SOLPER)",
       "ACP:KEY_TIPO DUP OPT (UNICO_SOLPER, COD_PROV, NOMBRE)",
       "ACP:KEY_DIRECCION DUP OPT (SECRETARIA, UNICO_SOLPER, DIRECCION)",
       "ACP:KEY_UNIQUE DUP OPT (COD_PROV)",
       "ACP:KEY_CLASE DUP OPT (SECRETARIA, COD_PROV, DIRECCION)"}},
      {"ASCIIUPDTE", "ASC", "MSSQL", "ASCIIUPD", 63,
       {"ASC:KEY_PRIMARY PRIMARY OPT (UNICO)",
       "ASC:KEY_FECHA DUP OPT (FECHA, HORA, USUARIO, OPCION_ASCII)",
       "ASC:KEY_OPCION DUP OPT (OPCION_ASCII, FECHA, HORA, USUARIO)",
       "ASC:KEY_USUARIO DUP OPT (USUARIO, FECHA, HORA, OPCION_ASCII)"}},
      {"REFE", "REF1", "MSSQL", "REFE", 367,
       {"REF1:KEY_CODIGO OPT (INDICADOR, TIPO, SUBTIPO, FACTURA)",
       "REF1:KEY_UNICA PRIMARY OPT (UNICO)",
       "REF1:KEY_ITN_NUMERO DUP OPT (ITN_NUMERO)",
       "REF1:KEY_ITN_INBOND DUP OPT (ITN_INBOND)"}},
      {"FOLIOS", "FOL", "MSSQL", "FOLIOS", 51,
       {"FOL:KEY_CODIGO DUP OPT (PEDIMENTO, STATUS)",
       "FOL:KEY_UNICA PRIMARY OPT (PEDIMENTO, FOLIO)"}},
      {"ApContrib", "DSC", "MSSQL", "ApContrib", 71,
       {"DSC:KEY_CODIGO PRIMARY OPT (CVE) described \"DSC:key_codigo\"",
       "DSC:KEY_DESCRIPCION DUP OPT (DESCRIPCION) described \"DSC:key_descripcion\"",
       "DSC:KEY_ABREVIACION DUP OPT (ABREVIACION)"}},
      {"ApTiposTasas", "DSTT", "MSSQL", "ApTiposTasas", 54,
       {"DSTT:KEY_CODIGO PRIMARY OPT (CVE) described \"DSTT:key_codigo\"",
       "DSTT:KEY_DESCRIPCION DUP OPT (DESCRIPCION) described \"DSTT:key_descripcion\""}},
  };
  std::vector<const TableInfo*> m01;
  for (const auto& t : dict::Tables())
    if (t.module == 1) m01.push_back(&t);
  ASSERT_EQ(m01.size(), rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    const Row& r = rows[i];
    const TableInfo& t = *m01[i];
    SCOPED_TRACE(r.label);
    EXPECT_EQ(t.decl.label, r.label);
    EXPECT_EQ(t.prefix, r.prefix);
    EXPECT_EQ(t.decl.driver, r.driver);
    if (*r.name) {
      EXPECT_EQ(t.decl.tableName, r.name);
      EXPECT_EQ(t.decl.tableNameVar, nullptr);
    } else {
      EXPECT_EQ(t.decl.tableNameVar, dict::TableNameVarOf(r.label));
    }
    EXPECT_EQ(t.decl.RecordLength(), r.length);
    EXPECT_EQ(t.decl.ownerVar, t.decl.driver == "MSSQL" ? &dict::DataOwner : nullptr);
    ASSERT_EQ(t.decl.keys.size(), r.keys.size());
    for (size_t k = 0; k < r.keys.size(); ++k) EXPECT_EQ(Render(t, k), r.keys[k]);
  }
}

TEST(RecordBytes, ApTiposTasasExactly) {
  const auto* t = dict::FindTable("ApTiposTasas");
  ASSERT_NE(t, nullptr);
  std::vector<uint8_t> expected = {0x16, 0x00, 0x36, 0, 0, 0, 0x02, 0, 0, 0, 0x2F, 0, 0, 0, 0x13, 0x02, 0x03};
  for (char c : std::string("DSTT:CVE")) expected.push_back(static_cast<uint8_t>(c));
  expected.insert(expected.end(), {0x00, 0x13, 0x02, 0x20, 0x33});
  for (char c : std::string("DSTT:DESCRIPCION")) expected.push_back(static_cast<uint8_t>(c));
  expected.push_back(0x00);
  EXPECT_EQ(t->decl.record->bytes(), expected);
  EXPECT_EQ(t->decl.record->entry(2).offset, 3u);
  EXPECT_EQ(t->decl.keys[0].components, std::vector<int32_t>{1});
  EXPECT_EQ(t->decl.keys[1].components, std::vector<int32_t>{2});
  EXPECT_EQ(t->decl.attrs, rt::kFileOwner | rt::kFileCreate | rt::kFileThread);
  EXPECT_EQ(t->decl.options, "/LOGONSCREEN=FALSE");
}

TEST(RecordBytes, ComponentsNameEntriesInStoredOrder) {
  const auto* h = dict::FindTable("HDSCRAP");
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->decl.keys[0].components, (std::vector<int32_t>{3, 4, 13, 11, 8}));
  EXPECT_EQ(h->decl.keys[5].components, (std::vector<int32_t>{3, 6, 11, 8}));
  EXPECT_EQ(h->decl.record->entry(4).label, "HDS:FECHAI_SQLDATEHANDLE");
  EXPECT_EQ(h->decl.record->entry(5).adjust, -8);
  EXPECT_EQ(h->decl.record->entry(6).offset, h->decl.record->entry(4).offset);
}

// Offsets of fields of the sets laid away from their handle.
TEST(RecordBytes, IrregularDateTimeSets) {
  struct Case {
    const char* table;
    const char* field;
    uint32_t offset;
  };
  const Case cases[] = {
      {"EXCEP_REGLAS_ORG", "EXR:FECHA_MOD_SQLDATEHANDLE", 68}, {"EXCEP_REGLAS_ORG", "EXR:APLICATLC", 76},
      {"EXCEP_REGLAS_ORG", "EXR:FECHA_MOD_SQLDATEGROUP", 68},  {"EXCEP_REGLAS_ORG", "EXR:FECHA_MOD", 68},
      {"EXCEP_REGLAS_ORG", "EXR:FECHA_MOD_SQLDATETIMEFIELD", 72}, {"EXCEP_REGLAS_ORG", "EXR:HORA_MOD_SQLDATEHANDLE", 77},
      {"EXCEP_REGLAS_ORG", "EXR:USER_MOD", 85},                 {"EXCEP_REGLAS_ORG", "EXR:HORA_MODX", 88},
      {"EXCEP_REGLAS_ORG", "EXR:MIN_MODX", 89},                 {"ENTRADEQ", "EEQ:HORA_NOTA_SQLDATEHANDLE", 640},
      {"ENTRADEQ", "EEQ:HORA_NOTA_SQLDATEGROUP", 640},          {"ENTRADEQ", "EEQ:HORA_SERIE_SQLDATEHANDLE", 683},
  };
  for (const auto& c : cases) {
    const auto* t = dict::FindTable(c.table);
    ASSERT_NE(t, nullptr);
    int n = t->decl.record->FindLabel(c.field);
    ASSERT_NE(n, 0) << c.field;
    EXPECT_EQ(t->decl.record->entry(n).offset, c.offset) << c.field;
  }
  const auto& exr = *dict::FindTable("EXCEP_REGLAS_ORG")->decl.record;
  EXPECT_EQ(exr.recordSize(), 90u);
  EXPECT_EQ(exr.entry(exr.FindLabel("EXR:FECHA_MOD_SQLDATEGROUP")).adjust, -9);
  EXPECT_EQ(exr.entry(exr.FindLabel("EXR:HORA_MOD_SQLDATEHANDLE")).adjust, 1);
  const auto& eeq = *dict::FindTable("ENTRADEQ")->decl.record;
  EXPECT_EQ(eeq.entry(eeq.FindLabel("EEQ:HORA_NOTA_SQLDATEGROUP")).adjust, -43);
  EXPECT_EQ(eeq.entry(eeq.FindLabel("EEQ:HORA_SERIE_SQLDATEHANDLE")).adjust, 35);
  const auto& preq = *dict::FindTable("PARCIAEQ")->decl.record;
  EXPECT_EQ(preq.entry(preq.FindLabel("PREQ:HORA_NOTA_SQLDATEGROUP")).adjust, -45);
  EXPECT_EQ(preq.entry(preq.FindLabel("PREQ:HORA_SERIE_SQLDATEHANDLE")).adjust, 37);
}

TEST(RecordBytes, SizesAndTheOneNonAsciiLabel) {
  const auto& cre = *dict::FindTable("CREMOTA")->decl.record;
  ASSERT_EQ(cre.entryCount(), 1u);
  EXPECT_EQ(cre.entry(1).label, "CRE:LINE");
  EXPECT_EQ(cre.entry(1).size, 10000u);
  const std::vector<uint8_t> head = {0x12, 0x02, 0x40, 0x27, 0x10};  // STRING, labelled, 10000 in three bytes
  EXPECT_TRUE(std::equal(head.begin(), head.end(), cre.bytes().begin() + 14));
  const auto& csv = *dict::FindTable("CSVImp")->decl.record;
  EXPECT_EQ(csv.entryCount(), 5u);
  for (const auto& e : csv.entries()) {
    EXPECT_EQ(e.type, rt::FieldType::CString);
    EXPECT_EQ(e.size, 51u);
  }
  const auto* cte = dict::FindTable("CTEPEDIM");
  ASSERT_NE(cte, nullptr);
  std::string ano = cte->prefix + ":A\xD1O";
  EXPECT_NE(cte->decl.record->FindLabel(ano), 0);
  int nonAscii = 0;
  for (const auto& t : dict::Tables())
    for (const auto& e : t.decl.record->entries())
      for (char c : e.label) nonAscii += static_cast<unsigned char>(c) >= 0x80;
  EXPECT_EQ(nonAscii, 1);
}

// Faulty texts: each fault names its module, its table and the text at fault,
// and the other tables of the text are still read.
TEST(CatalogueFaults, ReportedWithModuleTableAndText) {
  const std::string good =
      "- GOOD (prefix G): SQL Server table (driver MSSQL), name = label, DataOwner; driver options \"/X\"; "
      "CREATE, THREAD; record 4 bytes.\n  - Fields: A LONG.\n  - Keys: G:K PRIMARY OPT (A).\n";
  struct Case {
    const char* text;
    const char* table;
    const char* offending;  // part of the reported text
  };
  const Case cases[] = {
      {"- T1 (prefix T1): SQL Server table (driver MSSQL), name = label, DataOwner; CREATE, THREAD; record 5 bytes.\n"
       "  - Fields: A LONG.\n  - Keys: none.\n",
       "T1", "record 5 bytes"},
      {"- T2 (prefix T2): SQL Server table (driver MSSQL), name = label, DataOwner; CREATE, THREAD; record 4 bytes.\n"
       "  - Fields: A LONG.\n  - Keys: T2:K OPT (B).\n",
       "T2", "T2:K OPT (B)"},
      {"- T3 (prefix T3): SQL Server table (driver MSSQL), name = label, DataOwner; CREATE, THREAD; record 4 bytes.\n"
       "  - Fields: A QUAD.\n  - Keys: none.\n",
       "T3", "A QUAD"},
      {"- T4 (prefix T4): TopSpeed file (driver MSSQL), name = label, no owner; CREATE, THREAD; record 4 bytes.\n"
       "  - Fields: A LONG.\n  - Keys: none.\n",
       "T4", "TopSpeed file"},
      {"- T5 (prefix T5): SQL Server table (driver MSSQL), name = label, DataOwner; CREATE, THREAD; record 4 bytes.\n"
       "  - Fields: A LONG.\n  - Keys: X:K OPT (A).\n",
       "T5", "X:K"},
      {"- T6 (prefix T6): SQL Server table (driver MSSQL), name taken from a TableNameVar that the creation sets "
       "to \"\", DataOwner; CREATE, THREAD; record 4 bytes.\n  - Fields: A LONG.\n  - Keys: none.\n",
       "T6", "TableNameVar"},
      {"- T7 (prefix T7): SQL Server table (driver MSSQL), name = label, DataOwner; CREATE, THREAD; record 12 bytes.\n"
       "  - Fields: H STRING(8) with GROUP G over it: A DATE, B TIME, C LONG.\n  - Keys: none.\n",
       "T7", "GROUP G"},
      {"- T8 (prefix T8): SQL Server table (driver MSSQL), name = label, DataOwner; CREATE, THREAD; record 8 bytes.\n"
       "  - Fields: A LONG; A LONG.\n  - Keys: none.\n",
       "T8", "A LONG"},
      {"- T9 (prefix T9): SQL Server table (driver MSSQL), name = label, DataOwner; SOMETIMES; record 4 bytes.\n"
       "  - Fields: A LONG.\n  - Keys: none.\n",
       "T9", "SOMETIMES"},
      {"- T10 (prefix T10): SQL Server table (driver MSSQL), name = label, DataOwner; CREATE; record 4 bytes.\n"
       "  - Fields: A LONG.\n",
       "T10", "T10"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.table);
    std::vector<dict::TableInfo> tables;
    std::vector<dict::CatalogueError> errors;
    dict::ParseCatalogue(7, good + c.text + good, tables, errors);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].module, "M07");
    EXPECT_EQ(errors[0].table, c.table);
    EXPECT_NE(errors[0].text.find(c.offending), std::string::npos) << errors[0].Message();
    EXPECT_NE(errors[0].Message().find("M07"), std::string::npos);
    EXPECT_EQ(tables.size(), 2u);
  }
}

TEST(CatalogueFaults, StrayLineIsReported) {
  std::vector<dict::TableInfo> tables;
  std::vector<dict::CatalogueError> errors;
  dict::ParseCatalogue(2, "  - Fields: A LONG.\n", tables, errors);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].module, "M02");
  EXPECT_TRUE(tables.empty());
}

TEST(CatalogueNotation, OwnersAttributesAndSuffixes) {
  const std::string text =
      "- A (prefix A): TopSpeed file (driver TOPSPEED), name taken from a TableNameVar, the literal owner "
      "password QJZ; CREATE, RECLAIM, THREAD; record 20 bytes.\n"
      "  - Fields: X REAL with external name \"X=N(8.4)\"; H STRING(8) with GROUP G over it: T TIME, D DATE; "
      "K BYTE; GROUP G2 over the field 9 bytes back (8 bytes): D2 DATE, T2 TIME; Y STRING(3) (position moved by 1 bytes).\n"
      "  - Keys: A:K DUP OPT NOCASE (-X, D2) described \"free; text (x)\" with external name \"E\".\n"
      "  - BLOB: IMG BLOB BINARY.\n";
  std::vector<dict::TableInfo> tables;
  std::vector<dict::CatalogueError> errors;
  // A name variable belongs to its label: under DEFAULTS_CLIENTE's, the item gets that table's.
  std::string t = text;
  t.replace(2, 1, "DEFAULTS_CLIENTE");
  dict::ParseCatalogue(1, t, tables, errors);
  for (const auto& e : errors) ADD_FAILURE() << e.Message();
  ASSERT_EQ(tables.size(), 1u);
  const auto& d = tables[0].decl;
  EXPECT_EQ(d.ownerLiteral, "QJZ");
  EXPECT_EQ(d.attrs, rt::kFileOwner | rt::kFileCreate | rt::kFileReclaim | rt::kFileThread);
  EXPECT_EQ(d.tableNameVar, dict::TableNameVarOf("DEFAULTS_CLIENTE"));
  const auto& r = *d.record;
  EXPECT_EQ(r.entry(1).externalName, "X=N(8.4)");
  EXPECT_EQ(r.entry(3).label, "A:G");
  EXPECT_EQ(r.entry(4).type, rt::FieldType::Time);
  EXPECT_EQ(r.entry(4).offset, 8u);
  EXPECT_EQ(r.entry(7).adjust, -9);
  EXPECT_EQ(r.entry(7).offset, 8u);
  EXPECT_EQ(r.entry(10).offset, 17u);  // past K, which the group G2 left behind
  ASSERT_EQ(d.keys.size(), 1u);
  EXPECT_EQ(d.keys[0].components, (std::vector<int32_t>{-1, 8}));
  EXPECT_EQ(d.keys[0].attrs, rt::kKeyDup | rt::kKeyOpt | rt::kKeyNoCase);
  EXPECT_EQ(d.keys[0].externalName, "E");
  EXPECT_EQ(tables[0].keyDescriptions[0], "free; text (x)");
  ASSERT_EQ(d.blobs.size(), 1u);
  EXPECT_EQ(d.blobs[0].label, "A:IMG");
}

}  // namespace
