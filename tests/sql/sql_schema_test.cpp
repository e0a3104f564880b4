// The SQL text derived from declarations, against SQL Server's type list.
#include <gtest/gtest.h>

#include "runtime/sql/sql_schema.h"
#include "sql/sql_fixtures.h"
#include "support/sqlserver_double.h"

using namespace rt;
using namespace testsupport;

namespace {

struct Built {
  std::shared_ptr<const TypeRecord> record;
  std::vector<KeyDescriptor> keys;
  std::optional<SqlTableSchema> schema;
};

Built Build(const TableBuilder& t, const std::string& name, const ServerInfo& info = testsupport::SqlServerInfo()) {
  Built b;
  b.record = t.Record();
  b.keys = t.Keys(*b.record);
  if (Outcome<SqlTableSchema> schema = BuildTableSchema(*b.record, b.keys, t.Blobs(), name, info))
    b.schema = std::move(*schema);
  return b;
}

std::vector<std::string> Statements(const TableBuilder& t, const std::string& name) {
  Built b = Build(t, name);
  EXPECT_TRUE(b.schema);
  if (!b.schema) return {};
  auto stmts = BuildCreateStatements(*b.schema, TypeList::FromRows(testsupport::SqlServerTypeRows(), testsupport::SqlServerInfo()));
  EXPECT_TRUE(stmts);
  if (!stmts) return {};
  std::vector<std::string> out{stmts->createTable};
  out.insert(out.end(), stmts->createIndexes.begin(), stmts->createIndexes.end());
  return out;
}

}  // namespace

struct WorkedExample {
  const char* label;
  TableBuilder (*table)();
  const char* tableName;
  uint32_t recordSize;
  std::vector<std::string> statements;
};

void PrintTo(const WorkedExample& ex, std::ostream* os) { *os << ex.label; }

class WorkedExamples : public ::testing::TestWithParam<WorkedExample> {};

TEST_P(WorkedExamples, SendsTheStatementsCharacterForCharacter) {
  const WorkedExample& ex = GetParam();
  TableBuilder t = ex.table();
  EXPECT_EQ(t.Record()->recordSize(), ex.recordSize);
  std::vector<std::string> got = Statements(t, ex.tableName);
  ASSERT_EQ(got.size(), ex.statements.size());
  for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], ex.statements[i]) << "statement " << i;
}

INSTANTIATE_TEST_SUITE_P(
    SqlServer, WorkedExamples,
    ::testing::Values(
        WorkedExample{
            "HDSCRAP", Hdscrap, "HDSCRAP", 89,
            {"CREATE TABLE HDSCRAP (PK_CONTROL int NOT NULL,FK_CONTROL int,TRANSPORTE varchar(10),"
             "FECHAI_SQLDATEHANDLE datetime,REFERENCIA varchar(20),FECHA_SQLDATEHANDLE datetime,USUARIO "
             "varchar(2),PROCESO varchar(3),TURNO varchar(3),CHK_EXPO tinyint,FECHA_MOD_SQLDATEHANDLE "
             "datetime,HORA_MOD_SQLDATEHANDLE datetime,USER_MOD varchar(2),HORA_MODX tinyint,MIN_MODX "
             "tinyint,PRIMARY KEY (PK_CONTROL ))",
             "CREATE INDEX HDS_KEY_USUARIO ON HDSCRAP (TRANSPORTE ,FECHAI_SQLDATEHANDLE ,USUARIO "
             ",FECHA_SQLDATEHANDLE ,REFERENCIA )",
             "CREATE INDEX HDS_KEY_PROCESO ON HDSCRAP (PROCESO )",
             "CREATE INDEX HDS_KEY_TURNO ON HDSCRAP (TURNO )",
             "CREATE INDEX HDS_KEY_FKTRANSPORTE ON HDSCRAP (FK_CONTROL )",
             "CREATE INDEX HDS_KEY_REFERENCIA ON HDSCRAP (TRANSPORTE ,FECHAI_SQLDATEHANDLE "
             ",FECHA_SQLDATEHANDLE ,REFERENCIA )",
             "CREATE INDEX HDS_KEY_TRANSPORTE ON HDSCRAP (TRANSPORTE )"}},
        WorkedExample{
            "IMAGENES", Imagenes, "IMAGENES", 250,
            {"CREATE TABLE IMAGENES (UNICO int NOT NULL,CATEGORIA int,SUBCATEGORIA int,CODIGO_IMAGEN "
             "varchar(100),NO_PAGINA varchar(4),PROPIETARIO varchar(50),DEPTO varchar(50),CONFIDENCIALIDAD "
             "tinyint,FECHA_ALTA_SQLDATEHANDLE datetime,FECHA_MOD_SQLDATEHANDLE datetime,"
             "HORA_MOD_SQLDATEHANDLE datetime,USER_MOD varchar(2),HORA_MODX tinyint,MIN_MODX tinyint, IMAGEN "
             "image,PRIMARY KEY (UNICO ))"}},
        WorkedExample{
            "LOGS", Logs, "LOGS", 59,
            {"CREATE TABLE LOGS (UNICO int NOT NULL,USUARIO varchar(2),EMPRESA varchar(3),ACCION tinyint,"
             "FECHA_SUCESO_SQLDATEHANDLE datetime,HORA_SUCESO_SQLDATEHANDLE char(8),MODULO varchar(3),"
             "PROCEDIMIENTO varchar(4),ACTIVIDAD_REALIZADA tinyint,FECHA_MOD_SQLDATEHANDLE datetime,"
             "HORA_MOD_SQLDATEHANDLE datetime,USER_MOD varchar(2),HORA_MODX tinyint,MIN_MODX tinyint,PRIMARY "
             "KEY (UNICO ))",
             "CREATE INDEX LOG_KEY_ORDEN ON LOGS (FECHA_SUCESO_SQLDATEHANDLE ,HORA_SUCESO_SQLDATEHANDLE "
             ",USUARIO )"}},
        WorkedExample{
            "DET_EMPCERTMD", DetEmpcertmd, "DET_EMPCERTMD", 104,
            {"CREATE TABLE DET_EMPCERTMD (UNICO int,NUMERO_CERTIFICADO varchar(32),INICIO_SQLDATEHANDLE "
             "datetime,FIN_SQLDATEHANDLE datetime,RUBRO varchar(5),CHK_VIGENCIA_ESPECIAL tinyint,"
             "MESES_VIGENCIA int,OP1 tinyint,OP2 varchar(19),FECHA_MOD_SQLDATEHANDLE datetime,"
             "HORA_MOD_SQLDATAHANDLE datetime,USER_MOD varchar(2),UNIQUE (UNICO ))",
             "CREATE INDEX DEM_KEY_FECHA ON DET_EMPCERTMD (INICIO_SQLDATEHANDLE ,FIN_SQLDATEHANDLE )",
             "CREATE INDEX DEM_KEY_CODIGO ON DET_EMPCERTMD (NUMERO_CERTIFICADO )",
             "CREATE INDEX DEM_KEY_MOD ON DET_EMPCERTMD (FECHA_MOD_SQLDATEHANDLE ,HORA_MOD_SQLDATAHANDLE "
             ",USER_MOD )"}}),
    [](const ::testing::TestParamInfo<WorkedExample>& info) { return std::string(info.param.label); });

TEST(SqlForm, DescendingComponentIsWrittenOnlyInTheIndex) {
  std::vector<std::string> s = Statements(Detsnpedim(), "DETSNPED");
  ASSERT_EQ(s.size(), 6u);
  EXPECT_EQ(s[3], "CREATE INDEX DET_KEYCLASFEC ON DETSNPED (PAR_CLASE ,FECHA_F_SQLDATEHANDLE DESC )");
  EXPECT_EQ(Build(Detsnpedim(), "DETSNPED").record->recordSize(), 341u);
  // The same component in a unique constraint carries no direction.
  TableBuilder t("T");
  t.Long("A").DatePair("F").Key("K", rt::kKeyOpt, {"A", "-F"});
  EXPECT_EQ(Statements(t, "T")[0], "CREATE TABLE T (A int,F_SQLDATEHANDLE datetime,UNIQUE (A ,F_SQLDATEHANDLE ))");
}

TEST(SqlForm, SetLaidBackPastAByteIsAPlainTextColumn) {
  TableBuilder t = ExcepReglasOrg();
  Built b = Build(t, "EXC_REGLAS_ORG");
  ASSERT_TRUE(b.schema);
  EXPECT_EQ(b.record->recordSize(), 90u);
  std::vector<std::string> s = Statements(t, "EXC_REGLAS_ORG");
  ASSERT_EQ(s.size(), 3u);
  EXPECT_NE(s[0].find(",PORCENTAJE_RVC float,FECHA_MOD_SQLDATEHANDLE char(8),APLICATLC tinyint,"
                      "HORA_MOD_SQLDATEHANDLE datetime,USER_MOD varchar(2),"),
            std::string::npos)
      << s[0];
  EXPECT_EQ(s[2], "CREATE INDEX EXR_KEY_MOD ON EXC_REGLAS_ORG (FECHA_MOD_SQLDATEHANDLE ,HORA_MODX ,MIN_MODX ,USER_MOD )");
}

TEST(SqlForm, TablesWithoutPrimaryOrWithoutKeys) {
  TableBuilder onlyDup("C2");
  onlyDup.Long("A").CStr("B", 2).Key("K1", kDupOpt, {"A"}).Key("K2", kDupOpt, {"A"});
  EXPECT_EQ(Statements(onlyDup, "CONS2_FAC"),
            (std::vector<std::string>{"CREATE TABLE CONS2_FAC (A int,B varchar(1))",
                                      "CREATE INDEX C2_K1 ON CONS2_FAC (A )", "CREATE INDEX C2_K2 ON CONS2_FAC (A )"}));
  TableBuilder none("DSQL");
  none.Str("TEXTO", 255);
  EXPECT_EQ(Statements(none, "D_SQL"), (std::vector<std::string>{"CREATE TABLE D_SQL (TEXTO char(255))"}));
}

TEST(SqlForm, IdentifierRule) {
  ServerInfo info = testsupport::SqlServerInfo();
  struct Case { const char* in; const char* out; } cases[] = {
      {"DESCRIPCION", "DESCRIPCION"},  // ordinary name, case kept
      {"Descr", "Descr"},
      {"order", "\"ORDER\""},          // reserved word: quoted, upper-cased
      {"Date", "\"DATE\""},
      {"Backup", "Backup"},            // not reserved, not a keyword of this server
      {"Trigger", "\"TRIGGER\""},      // a keyword of the server
      {"mi tabla", "\"MI TABLA\""},    // a blank
      {"dbo.order", "dbo.order"},      // a period: left alone
      {"\"Order\"", "\"Order\""},      // already quoted
  };
  for (const Case& c : cases) EXPECT_EQ(SqlIdentifier(c.in, info), c.out) << c.in;
  info.quotedCaseSensitive = true;
  EXPECT_EQ(SqlIdentifier("order", info), "\"order\"");
  EXPECT_TRUE(IsReservedWord("end-exec"));
  EXPECT_FALSE(IsReservedWord("APLICATLC"));
  // Column names keep their letter case and bytes outside ASCII.
  EXPECT_EQ(ColumnNameOf("CTE:A\xD1O", "", info), "A\xD1O");
  EXPECT_EQ(ColumnNameOf("SINPREFIJO", "", info), "SINPREFIJO");
  EXPECT_EQ(ColumnNameOf("MAT:PESO", "PESO_NETO=N(8.4)", info), "PESO_NETO=N(8.4)");
  KeyDescriptor k;
  k.label = "PEM:KEY_GRUPO";
  EXPECT_EQ(IndexNameOf(k), "PEM_KEY_GRUPO");
  k.externalName = "KEY_GRUPO/X";
  EXPECT_EQ(IndexNameOf(k), "KEY_GRUPO");
}

TEST(SqlForm, TypeListTakesTheFirstRowPerCode) {
  TypeList sqlServer = TypeList::FromRows(testsupport::SqlServerTypeRows(), testsupport::SqlServerInfo());
  ASSERT_TRUE(sqlServer.Find(8));
  EXPECT_EQ(sqlServer.Find(8)->name, "float");  // from the first float row
  EXPECT_EQ(sqlServer.Find(4)->name, "int");    // not "int identity"
  EXPECT_EQ(sqlServer.Find(3)->createParams, "precision,scale");
  EXPECT_FALSE(sqlServer.Holds(9));
  EXPECT_FALSE(sqlServer.Holds(-11));           // outside -9..12

  // ODBC 3 date-time codes, a double listed before the float, parameters.
  TypeList other = TypeList::FromRows({{8, "double precision", std::nullopt},
                                       {6, "float", std::nullopt},
                                       {93, "timestamp", std::nullopt},
                                       {91, "date", std::nullopt},
                                       {3, "numeric", "precision, scale"},
                                       {12, "character varying", "max. length"},
                                       {1, "character() fixed", "length"}},
                                      ServerInfo());
  EXPECT_EQ(other.Find(8)->name, "double precision");
  EXPECT_EQ(other.Find(11)->name, "timestamp");
  EXPECT_EQ(other.Find(9)->name, "date");

  struct Case {
    FieldType type;
    uint32_t size;
    uint8_t places;
    bool dateTime;
    const char* want;  // nullptr: not storable
  } cases[] = {
      {FieldType::CString, 2, 0, false, "character varying(1)"},
      {FieldType::String, 8, 0, true, "timestamp"},
      {FieldType::String, 10, 0, false, "character(10) fixed"},
      {FieldType::Byte, 1, 0, false, "numeric(3, 0)"},
      {FieldType::Long, 4, 0, false, "numeric(8, 0)"},
      {FieldType::Decimal, 5, 2, false, "numeric(9, 2)"},
      {FieldType::Real, 8, 0, false, "double precision"},
      {FieldType::SReal, 4, 0, false, "double precision"},
      {FieldType::Date, 4, 0, false, "date"},
      {FieldType::Time, 4, 0, false, nullptr},
  };
  for (const Case& c : cases) {
    SqlColumn col;
    col.type = c.type;
    col.size = c.size;
    col.places = c.places;
    col.dateTime = c.dateTime;
    std::optional<std::string> got = SqlTypeOf(col, other);
    if (c.want) {
      ASSERT_TRUE(got) << c.want;
      EXPECT_EQ(*got, c.want);
    } else {
      EXPECT_FALSE(got);
    }
  }
}

// The float's name goes to the double code only on a server that names itself
// SQL Server; elsewhere the double code keeps its own first row.
TEST(SqlForm, FloatNamesTheDoubleCodeOnlyOnSqlServer) {
  const std::vector<TypeInfoRow> floatFirst = {{6, "float", std::nullopt}, {8, "double", std::nullopt}};
  struct Case {
    const std::vector<TypeInfoRow>& rows;
    const char* dbms;
    const char* want;  // nullptr: code 8 not held
  } cases[] = {
      {testsupport::SqlServerTypeRows(), "SQL Server", "float"},
      {testsupport::SqlServerTypeRows(), "SQLite", nullptr},
      {floatFirst, "SQL Server", "float"},
      {floatFirst, "SQLite", "double"},
      {floatFirst, "PostgreSQL", "double"},
      {floatFirst, "", "double"},
  };
  for (const Case& c : cases) {
    ServerInfo info;
    info.dbmsName = c.dbms;
    const TypeList types = TypeList::FromRows(c.rows, info);
    const SqlTypeName* got = types.Find(8);
    if (c.want) {
      ASSERT_TRUE(got) << c.dbms;
      EXPECT_EQ(got->name, c.want) << c.dbms;
      EXPECT_EQ(got->createParams, "") << c.dbms;
    } else {
      EXPECT_FALSE(got) << c.dbms;
    }
  }
}

TEST(SqlForm, UnstorableTypesAndBrokenLayoutsAreRefused) {
  TypeList types = TypeList::FromRows(testsupport::SqlServerTypeRows(), testsupport::SqlServerInfo());
  // A DATE with storage of its own has no type on SQL Server.
  std::vector<FieldSpec> fields(2);
  fields[0].type = FieldType::Long;
  fields[0].label = "D:A";
  fields[1].type = FieldType::Date;
  fields[1].label = "D:F";
  TypeRecord rec = TypeRecord::Encode(fields);
  auto schema = BuildTableSchema(rec, {}, {}, "D", testsupport::SqlServerInfo());
  ASSERT_TRUE(schema);
  const Outcome<CreateStatements> stmts = BuildCreateStatements(*schema, types);
  EXPECT_FALSE(stmts);
  EXPECT_EQ(stmts.error(), "F");

  // A text BLOB needs SQL_LONGVARCHAR: "text" on SQL Server.
  TableBuilder memo("M");
  memo.Long("A").Blob("NOTA", false);
  EXPECT_EQ(Statements(memo, "M")[0], "CREATE TABLE M (A int, NOTA text)");

  // An entry laid back to a position where no earlier entry starts.
  std::vector<FieldSpec> bad(2);
  bad[0].type = FieldType::Long;
  bad[0].label = "B:A";
  bad[1].type = FieldType::Byte;
  bad[1].label = "B:X";
  bad[1].adjust = -2;
  const Outcome<SqlTableSchema> laidBack = BuildTableSchema(TypeRecord::Encode(bad), {}, {}, "B", testsupport::SqlServerInfo());
  EXPECT_FALSE(laidBack);
  EXPECT_FALSE(laidBack.error().empty());
  // An entry that leaves a gap after the previous one.
  bad[1].adjust = 3;
  EXPECT_FALSE(BuildTableSchema(TypeRecord::Encode(bad), {}, {}, "B", testsupport::SqlServerInfo()));
}

TEST(SqlForm, NotNullNeedsAServerThatAllowsIt) {
  ServerInfo info = testsupport::SqlServerInfo();
  info.nonNullableColumns = false;
  Built b = Build(Imagenes(), "IMAGENES", info);
  ASSERT_TRUE(b.schema);
  EXPECT_FALSE(b.schema->columns[0].notNull);
  // A key without OPT makes its columns NOT NULL too.
  TableBuilder t("K");
  t.Long("A").CStr("B", 5).Key("KB", 0, {"B"});
  EXPECT_EQ(Statements(t, "K")[0], "CREATE TABLE K (A int,B varchar(4) NOT NULL,UNIQUE (B ))");
}
