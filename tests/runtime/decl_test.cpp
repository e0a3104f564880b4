// TypeRecord byte format, offsets by the running-position rule, key
// components resolved by entry number, and per-thread instances.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <thread>

#include "runtime/decl/file_block.h"
#include "runtime/files/files.h"

namespace rt {
namespace {

using Bytes = std::vector<uint8_t>;

void AppendText(Bytes& b, std::string_view s) {
  b.insert(b.end(), s.begin(), s.end());
  b.push_back(0);
}

FieldSpec F(FieldType t, std::string label, uint32_t size = 0, std::optional<int32_t> adjust = {}) {
  FieldSpec f;
  f.type = t;
  f.label = std::move(label);
  f.size = size;
  f.adjust = adjust;
  return f;
}

// Builds the fields of a record from its catalogue line: `NAME` TYPE(n), date
// pair, time pair, GROUP `G` over the field N bytes back (8 bytes): `A` DATE,
// `B` TIME, and (position moved by N bytes).
std::vector<FieldSpec> FieldsFromCatalogue(const std::string& prefix, const std::string& line) {
  std::vector<FieldSpec> out;
  const std::string p = prefix + ":";
  std::stringstream ss(line);
  std::string item;
  static const std::regex plain(R"(\s*`(\w+)` (\w+)(?:\((\d+)\))?(?: \(position moved by (\d+) bytes\))?\s*)");
  static const std::regex group(
      R"(\s*GROUP `(\w+)` over the field (\d+) bytes back \(8 bytes\): `(\w+)` (DATE|TIME), `(\w+)` (DATE|TIME)\s*)");
  static const std::regex pair(R"(\s*`(\w+)` (date|time) pair\s*)");
  auto type = [](const std::string& t) {
    if (t == "CSTRING") return FieldType::CString;
    if (t == "STRING") return FieldType::String;
    if (t == "LONG") return FieldType::Long;
    if (t == "REAL") return FieldType::Real;
    if (t == "BYTE") return FieldType::Byte;
    if (t == "DATE") return FieldType::Date;
    if (t == "TIME") return FieldType::Time;
    throw std::runtime_error("type " + t);
  };
  while (std::getline(ss, item, ';')) {
    std::smatch m;
    if (std::regex_match(item, m, pair)) {
      const std::string x = m[1];
      const bool date = m[2] == "date";
      out.push_back(F(FieldType::String, p + x + "_SQLDATEHANDLE", 8));
      FieldSpec g = F(FieldType::Group, p + x + "_SQLDATEGROUP", 0, -8);
      g.members = {F(FieldType::Date, p + (date ? x : x + "_SQLDATEDATEFIELD")),
                   F(FieldType::Time, p + (date ? x + "_SQLDATETIMEFIELD" : x))};
      out.push_back(std::move(g));
    } else if (std::regex_match(item, m, group)) {
      FieldSpec g = F(FieldType::Group, p + m[1].str(), 0, -std::stoi(m[2]));
      g.members = {F(type(m[4]), p + m[3].str()), F(type(m[6]), p + m[5].str())};
      out.push_back(std::move(g));
    } else if (std::regex_match(item, m, plain)) {
      std::optional<int32_t> adjust;
      if (m[4].matched) adjust = std::stoi(m[4]);
      out.push_back(F(type(m[2]), p + m[1].str(), m[3].matched ? std::stoul(m[3]) : 0, adjust));
    } else {
      throw std::runtime_error("catalogue item not understood: " + item);
    }
  }
  return out;
}

Bytes ApTiposTasasBytes() {
  Bytes b{0x16, 0x00, 0x36, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x2F, 0x00, 0x00, 0x00};
  b.insert(b.end(), {0x13, 0x02, 0x03});
  AppendText(b, "DSTT:CVE");
  b.insert(b.end(), {0x13, 0x02, 0x20, 0x33});
  AppendText(b, "DSTT:DESCRIPCION");
  return b;
}

TEST(VarNum, EncodesAndDecodesTheFormatExamples) {
  const std::vector<std::pair<int32_t, Bytes>> cases = {
      {3, {0x03}},           {51, {0x20, 0x33}},  {10000, {0x40, 0x27, 0x10}},
      {-8, {0x88}},          {-9, {0x89}},        {1, {0x01}},
      {0, {0x00}},           {31, {0x1F}},        {32, {0x20, 0x20}},
      {8191, {0x3F, 0xFF}},  {8192, {0x40, 0x20, 0x00}},
      {(1 << 29) - 1, {0x7F, 0xFF, 0xFF, 0xFF}}, {-43, {0xA0, 0x2B}},
  };
  for (const auto& [value, bytes] : cases) {
    Bytes out;
    EncodeVarNum(out, value);
    EXPECT_EQ(out, bytes) << value;
    size_t pos = 0;
    EXPECT_EQ(DecodeVarNum(bytes, pos), value);
    EXPECT_EQ(pos, bytes.size());
  }
  Bytes out;
  EXPECT_THROW(EncodeVarNum(out, 1 << 29), std::invalid_argument);
}

TEST(VarNum, TruncatedNumberIsRefusedWithoutReadingPastTheEnd) {
  for (const Bytes& b : {Bytes{}, Bytes{0x20}, Bytes{0x40, 0x27}, Bytes{0x60, 1, 2}}) {
    size_t pos = 0;
    EXPECT_EQ(DecodeVarNum(b, pos), std::nullopt);
    EXPECT_EQ(pos, 0u);
  }
}

TEST(TypeRecordFormat, ApTiposTasasEncodesToTheWorkedBytesAndDecodesBack) {
  const TypeRecord rec = TypeRecord::Encode(
      {F(FieldType::CString, "DSTT:CVE", 3), F(FieldType::CString, "DSTT:DESCRIPCION", 51)});
  EXPECT_EQ(rec.bytes(), ApTiposTasasBytes());

  auto decoded = TypeRecord::Decode(ApTiposTasasBytes());
  ASSERT_TRUE(decoded) << decoded.error();
  EXPECT_EQ(decoded->recordSize(), 54u);
  ASSERT_EQ(decoded->entryCount(), 2u);
  EXPECT_EQ(decoded->entry(1).label, "DSTT:CVE");
  EXPECT_EQ(decoded->entry(1).type, FieldType::CString);
  EXPECT_EQ(decoded->entry(1).size, 3u);
  EXPECT_EQ(decoded->entry(1).offset, 0u);
  EXPECT_EQ(decoded->entry(2).label, "DSTT:DESCRIPCION");
  EXPECT_EQ(decoded->entry(2).size, 51u);
  EXPECT_EQ(decoded->entry(2).offset, 3u);
  EXPECT_EQ(decoded->FindLabel("DSTT:DESCRIPCION"), 2);
  EXPECT_EQ(decoded->FindLabel("dstt:descripcion"), 0);
  EXPECT_EQ(decoded->topLevelCount(), 2);
}

TEST(TypeRecordFormat, GroupEntryAndOptionalPartsInTheirOrder) {
  FieldSpec real = F(FieldType::Real, "MAT:PESO_NETO");
  real.externalName = "PESO_NETO=N(8.4)";
  FieldSpec group = F(FieldType::Group, "X:F_SQLDATEGROUP", 0, -8);
  group.members = {F(FieldType::Date, "X:F"), F(FieldType::Time, "X:F_SQLDATETIMEFIELD")};
  const TypeRecord rec = TypeRecord::Encode({real, F(FieldType::String, "X:F_SQLDATEHANDLE", 8), group});

  Bytes expect{0x16, 0x00, 16, 0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0};
  expect.insert(expect.end(), {0x09, 0x03});
  AppendText(expect, "MAT:PESO_NETO");
  AppendText(expect, "PESO_NETO=N(8.4)");
  expect.insert(expect.end(), {0x12, 0x02, 0x08});
  AppendText(expect, "X:F_SQLDATEHANDLE");
  const size_t groupAt = expect.size();
  expect.insert(expect.end(), {0x16, 0x0A, 8, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0});
  AppendText(expect, "X:F_SQLDATEGROUP");
  expect.push_back(0x88);
  expect.insert(expect.end(), {0x04, 0x02});
  AppendText(expect, "X:F");
  expect.insert(expect.end(), {0x05, 0x02});
  AppendText(expect, "X:F_SQLDATETIMEFIELD");
  expect[groupAt + 10] = static_cast<uint8_t>(expect.size() - groupAt);
  expect[10] = static_cast<uint8_t>(expect.size());
  EXPECT_EQ(rec.bytes(), expect);

  EXPECT_EQ(rec.entry(1).externalName, "PESO_NETO=N(8.4)");
  EXPECT_EQ(rec.entry(3).descendants, 2u);
  EXPECT_EQ(rec.entry(3).offset, 8u);
  EXPECT_EQ(rec.entry(4).offset, 8u);
  EXPECT_EQ(rec.entry(4).parent, 3);
  EXPECT_EQ(rec.entry(5).offset, 12u);
  EXPECT_EQ(rec.topLevelCount(), 3);
}

struct OffsetCase {
  const char* label;
  uint32_t offset;
};

TEST(TypeRecordFormat, ExcepReglasOrgByteBetweenHandleAndGroup) {
  const auto fields = FieldsFromCatalogue(
      "EXR",
      "`UNICO` LONG; `UNICO_REGLAS_ORG` LONG; `RANGOI` CSTRING(16); `RANGOF` CSTRING(16); `PRIORIDAD` "
      "BYTE; `OPCAMBIO` BYTE; `CAMBIO_EXCEPCION` CSTRING(16); `OPEXCEPCION` BYTE; `TIPO` BYTE; "
      "`PORCENTAJE_RVC` REAL; `FECHA_MOD_SQLDATEHANDLE` STRING(8); `APLICATLC` BYTE; GROUP "
      "`FECHA_MOD_SQLDATEGROUP` over the field 9 bytes back (8 bytes): `FECHA_MOD` DATE, "
      "`FECHA_MOD_SQLDATETIMEFIELD` TIME; `HORA_MOD_SQLDATEHANDLE` STRING(8) (position moved by 1 "
      "bytes); GROUP `HORA_MOD_SQLDATEGROUP` over the field 8 bytes back (8 bytes): "
      "`HOR_MOD_SQLDATEDATEFIELD` DATE, `HORA_MOD` TIME; `USER_MOD` CSTRING(3); `HORA_MODX` BYTE; "
      "`MIN_MODX` BYTE");
  const TypeRecord rec = TypeRecord::Encode(fields);
  EXPECT_EQ(rec.recordSize(), 90u);
  const OffsetCase cases[] = {
      {"EXR:FECHA_MOD_SQLDATEHANDLE", 68}, {"EXR:APLICATLC", 76},  {"EXR:FECHA_MOD_SQLDATEGROUP", 68},
      {"EXR:FECHA_MOD", 68},               {"EXR:FECHA_MOD_SQLDATETIMEFIELD", 72},
      {"EXR:HORA_MOD_SQLDATEHANDLE", 77},  {"EXR:HORA_MOD", 81},   {"EXR:USER_MOD", 85},
      {"EXR:MIN_MODX", 89},
  };
  for (const auto& c : cases) {
    const int n = rec.FindLabel(c.label);
    ASSERT_NE(n, 0) << c.label;
    EXPECT_EQ(rec.entry(n).offset, c.offset) << c.label;
  }
  EXPECT_EQ(rec.entry(rec.FindLabel("EXR:FECHA_MOD_SQLDATEGROUP")).adjust, -9);
  auto decoded = TypeRecord::Decode(rec.bytes());
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->entry(rec.FindLabel("EXR:HORA_MOD_SQLDATEHANDLE")).offset, 77u);
}

TEST(TypeRecordFormat, EntradeqGroupDeclaredFurtherDown) {
  const auto fields = FieldsFromCatalogue(
      "EEQ",
      "`UNICO` LONG; `UNICO_REFEREQ` LONG; `TIPO` CSTRING(2); `SUBTIPO` CSTRING(3); `FACTURA` CSTRING(21); "
      "`FECHA` date pair; `FECHAV` date pair; `IDENT` CSTRING(2); `FRACCION` CSTRING(13); `TASA` REAL; "
      "`TIP_TASA` CSTRING(3); `CODIGO` CSTRING(31); `CANTUSA` REAL; `UMP` CSTRING(5); `DESENSAMBLE` BYTE; "
      "`PEDIDO` CSTRING(21); `TIPOEMP` CSTRING(4); `IDENTEMP1` CSTRING(3); `IDENTEMP2` CSTRING(3); "
      "`CANTEMP` LONG; `NUMPED` CSTRING(16); `PEDIMENTO_ORIGINAL` CSTRING(16); `CVE_PEDIMENTO_ORIGINAL` "
      "CSTRING(3); `PERMISO` CSTRING(21); `PAGRENG` CSTRING(6); `CANTIMP` REAL; `UMC` CSTRING(3); "
      "`FAC_TAR` REAL; `CAN_TAR` REAL; `UMT` CSTRING(3); `PESO` REAL; `PAISORG` CSTRING(4); `TRAACUE` "
      "CSTRING(3); `CANTEXP` REAL; `CANTSEL` REAL; `MAT_TRANS` REAL; `MAT_NACIONAL` REAL; `IMP_MD` REAL; "
      "`IMP_MN` REAL; `IMP_ME` REAL; `COSTUNIDL` REAL; `COSTUNI` REAL; `STATUS` BYTE; `FACTOR` REAL; "
      "`IDENT_CL` CSTRING(2); `CLASE` CSTRING(16); `CHK_OPCION` BYTE; `CONTETIQUETADO` LONG; `CERTIF` "
      "BYTE; `AREA_EQUIPO` CSTRING(11); `MARCA` CSTRING(6); `MODELO` CSTRING(31); `NUM_PARTE` "
      "CSTRING(31); `ID` CSTRING(31); `CENTRO_COSTOS` CSTRING(21); `REFERENCIA` CSTRING(51); "
      "`RESPONSABLE` CSTRING(51); `CUENTA_CONTABLE` CSTRING(21); `PORCENTAJEDEPRECIACION` REAL; "
      "`FECHAINIUSO` date pair; `APLICA_FCC` BYTE; `APLICA_FDA` BYTE; `HORA_NOTA_SQLDATEHANDLE` "
      "STRING(8); `CAPITAL_ID` CSTRING(31); `UNICO_CAPITAL_ID` LONG; GROUP `HORA_NOTA_SQLDATEGROUP` "
      "over the field 43 bytes back (8 bytes): `HORA_NOTA_SQLDATEDATEFIELD` DATE, `HORA_NOTA` TIME; "
      "`HORA_SERIE_SQLDATEHANDLE` STRING(8) (position moved by 35 bytes); GROUP "
      "`HORA_SERIE_SQLDATEGROUP` over the field 8 bytes back (8 bytes): `HORA_SERIE_SQLDATEDATEFIELD` "
      "DATE, `HORA_SERIE` TIME; `TIPOANEXO` CSTRING(5); `UNICO_SERIES` LONG; `UNICO_NOTAS` LONG; "
      "`TIPO_ARANCEL` BYTE; `ESPECIFICO` REAL; `CUOTA_COMPENSATORIA` REAL; `CALC_IMPUESTOS1` REAL; "
      "`CALC_IMPUESTOS2` REAL; `CALC_IMPUESTOS3` REAL; `CALC_IMPUESTOS4` REAL; `IMPORTE_ADVALOREM` REAL; "
      "`IMPORTE_ESPECIFICO` REAL; `IMPORTE_CCOMPENSATORIA` REAL; `IMPORTE_IMPUESTOS_TOTAL_MN` REAL; "
      "`SECTOR` CSTRING(9); `LOCALIZACION_FISICA` CSTRING(31); `UNICO_EXPORTEMP` LONG; `CVE_VALORACION` "
      "CSTRING(4); `VINCULACION` CSTRING(4); `NOTAS` CSTRING(255); `NOTAS2` CSTRING(255); `NOTAS3` "
      "CSTRING(255); `NOTAS4` CSTRING(255); `FECHA_MOD` date pair; `HORA_MOD` time pair; `USER_MOD` "
      "CSTRING(3); `HORA_MODX` BYTE; `MIN_MODX` BYTE");
  const TypeRecord rec = TypeRecord::Encode(fields);
  EXPECT_EQ(rec.recordSize(), 1878u);
  const OffsetCase cases[] = {
      {"EEQ:HORA_NOTA_SQLDATEHANDLE", 640}, {"EEQ:CAPITAL_ID", 648},     {"EEQ:UNICO_CAPITAL_ID", 679},
      {"EEQ:HORA_NOTA_SQLDATEGROUP", 640},  {"EEQ:HORA_NOTA", 644},      {"EEQ:HORA_SERIE_SQLDATEHANDLE", 683},
      {"EEQ:HORA_SERIE", 687},              {"EEQ:TIPOANEXO", 691},
  };
  for (const auto& c : cases) {
    const int n = rec.FindLabel(c.label);
    ASSERT_NE(n, 0) << c.label;
    EXPECT_EQ(rec.entry(n).offset, c.offset) << c.label;
  }
  EXPECT_TRUE(TypeRecord::Decode(rec.bytes()));
}

TEST(TypeRecordFormat, HdscrapKeyComponentsResolveByEntryNumber) {
  const TypeRecord rec = TypeRecord::Encode(FieldsFromCatalogue(
      "HDS",
      "`PK_CONTROL` LONG; `FK_CONTROL` LONG; `TRANSPORTE` CSTRING(11); `FECHAI` date pair; `REFERENCIA` "
      "CSTRING(21); `FECHA` date pair; `USUARIO` CSTRING(3); `PROCESO` CSTRING(4); `TURNO` CSTRING(4); "
      "`CHK_EXPO` BYTE; `FECHA_MOD` date pair; `HORA_MOD` time pair; `USER_MOD` CSTRING(3); `HORA_MODX` "
      "BYTE; `MIN_MODX` BYTE"));
  EXPECT_EQ(rec.recordSize(), 89u);
  auto components = [&](std::vector<std::string> names) {
    std::vector<int32_t> out;
    for (const auto& n : names) out.push_back(rec.FindLabel("HDS:" + n));
    return out;
  };
  EXPECT_EQ(components({"TRANSPORTE", "FECHAI_SQLDATEHANDLE", "USUARIO", "FECHA", "REFERENCIA"}),
            (std::vector<int32_t>{3, 4, 13, 11, 8}));
  EXPECT_EQ(components({"TRANSPORTE", "FECHAI", "FECHA", "REFERENCIA"}), (std::vector<int32_t>{3, 6, 11, 8}));
  EXPECT_EQ(rec.entry(11).type, FieldType::Date);
  EXPECT_EQ(rec.entry(11).parent, 10);
  EXPECT_EQ(rec.entry(6).offset, rec.entry(4).offset);
}

TEST(TypeRecordFormat, StringSizesTakeThreeAndTwoByteNumbers) {
  const TypeRecord cremota = TypeRecord::Encode({F(FieldType::String, "CRE:LINE", 10000)});
  Bytes expect{0x16, 0, 0x10, 0x27, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0x12, 0x02, 0x40, 0x27, 0x10};
  AppendText(expect, "CRE:LINE");
  expect[10] = static_cast<uint8_t>(expect.size());
  EXPECT_EQ(cremota.bytes(), expect);
  EXPECT_EQ(cremota.recordSize(), 10000u);

  std::vector<FieldSpec> csv;
  for (int i = 1; i <= 5; ++i) csv.push_back(F(FieldType::CString, "CSV:F" + std::to_string(i), 51));
  const TypeRecord rec = TypeRecord::Encode(csv);
  EXPECT_EQ(rec.bytes()[16], 0x20);
  EXPECT_EQ(rec.bytes()[17], 0x33);
  EXPECT_EQ(rec.entry(5).offset, 204u);
  EXPECT_EQ(rec.recordSize(), 255u);
}

TEST(TypeRecordFormat, EveryTruncationIsRefused) {
  const Bytes whole = ApTiposTasasBytes();
  for (size_t n = 0; n < whole.size(); ++n) {
    Bytes cut(whole.begin(), whole.begin() + static_cast<long>(n));
    auto decoded = TypeRecord::Decode(cut);
    EXPECT_FALSE(decoded) << n;
    EXPECT_FALSE(decoded.error().empty()) << n;
  }
  // The announced length fixed up to match the cut: the entries themselves run out.
  for (size_t n = 15; n < whole.size(); ++n) {
    Bytes cut(whole.begin(), whole.begin() + static_cast<long>(n));
    cut[10] = static_cast<uint8_t>(n);
    auto decoded = TypeRecord::Decode(cut);
    const std::string& error = decoded.error();
    EXPECT_FALSE(decoded) << n;
    if (n >= 18) EXPECT_NE(error.find("truncated"), std::string::npos) << n << ": " << error;
    else EXPECT_NE(error.find("exceeds"), std::string::npos) << n << ": " << error;
  }
}

TEST(TypeRecordFormat, InconsistentRecordsAreRefused) {
  struct Case {
    const char* what;
    size_t at;
    uint8_t value;
  };
  const Case cases[] = {
      {"header not a group", 0, 0x12},
      {"header flags", 1, 0x01},
      {"record size", 2, 0x37},
      {"entry count too high", 6, 0x03},
      {"entry count too low", 6, 0x01},
      {"byte length", 10, 0x30},
      {"unknown type code", 14, 0x0C},
      {"unknown flag", 15, 0x22},
      {"picture on a number", 14 + 13, 0x06},  // second entry turned into a LONG
  };
  for (const auto& c : cases) {
    Bytes b = ApTiposTasasBytes();
    b[c.at] = c.value;
    auto decoded = TypeRecord::Decode(b);
    EXPECT_FALSE(decoded) << c.what;
    EXPECT_FALSE(decoded.error().empty()) << c.what;
  }

  // A group that announces more bytes or members than it holds.
  FieldSpec group = F(FieldType::Group, "X:G", 0, -8);
  group.members = {F(FieldType::Date, "X:D"), F(FieldType::Time, "X:T")};
  const Bytes good = TypeRecord::Encode({F(FieldType::String, "X:H", 8), group}).bytes();
  const size_t groupPart = 14 + 2 + 1 + 4 + 2;  // header, handle entry, group code and flags
  for (auto [at, value] : {std::pair<size_t, uint8_t>{groupPart + 4, 3}, {groupPart + 4, 1},
                           {groupPart + 8, 0x40}, {groupPart, 4}}) {
    Bytes b = good;
    b[at] = value;
    EXPECT_FALSE(TypeRecord::Decode(b)) << at << "=" << int(value);
  }
  // A field moved before the start of the record.
  Bytes b = TypeRecord::Encode({F(FieldType::Long, "X:L", 0, 0)}).bytes();
  b.back() = 0x81;  // adjustment -1
  EXPECT_FALSE(TypeRecord::Decode(b));
  // Trailing bytes after the announced entries.
  b = ApTiposTasasBytes();
  b.push_back(0);
  EXPECT_FALSE(TypeRecord::Decode(b));
}

TEST(NameVarTest, CutTo254AndReadUpToTheTerminator) {
  NameVar v;
  EXPECT_EQ(v.Get(), "");
  v.Set(std::string(300, 'x'));
  EXPECT_EQ(v.Get().size(), 254u);
  v.Set("EMPRESAS");
  EXPECT_EQ(v.Get(), "EMPRESAS");
}

FileDecl HdsLikeDecl() {
  FileDecl d;
  d.label = "T";
  d.driver = "NODRIVER";
  d.tableName = "T";
  FieldSpec group = F(FieldType::Group, "T:F_SQLDATEGROUP", 0, -8);
  group.members = {F(FieldType::Date, "T:F"), F(FieldType::Time, "T:F_SQLDATETIMEFIELD")};
  d.record = std::make_shared<TypeRecord>(TypeRecord::Encode(
      {F(FieldType::String, "T:S", 3), F(FieldType::CString, "T:C", 3), F(FieldType::String, "T:F_SQLDATEHANDLE", 8),
       group, F(FieldType::Long, "T:L")}));
  d.keys = {KeyDescriptor{"", "T:KEY_S", kKeyPrimary | kKeyOpt, {1}, nullptr}};
  d.blobs = {BlobDescriptor{"", "T:IMG", kBlobIsBlob | kBlobBinary | 1, 0}};
  return d;
}

TEST(ThreadFiles, PreparedInstanceHasClearedRecordOwnKeysAndBlobs) {
  const FileDecl decl = HdsLikeDecl();
  EXPECT_FALSE(HasThreadFile(decl));
  FileBlock& f = ThreadFile(decl);
  EXPECT_TRUE(HasThreadFile(decl));
  EXPECT_EQ(&ThreadFile(decl), &f);
  ASSERT_EQ(f.length(), 18u);
  // STRING blanks, CSTRING empty, the date-time group over the handle empty, LONG 0.
  const Bytes expect{' ', ' ', ' ', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(Bytes(f.buffer(), f.buffer() + f.length()), expect);
  ASSERT_EQ(f.keys().size(), 1u);
  EXPECT_EQ(f.keys()[0].file, &f);
  EXPECT_EQ(decl.keys[0].file, nullptr);
  EXPECT_EQ(f.blobs().size(), 1u);
  EXPECT_EQ(f.blobData().size(), 1u);

  FileBlock* other = nullptr;
  std::thread([&] { other = &ThreadFile(decl); EXPECT_NE(other, &f); ReleaseThreadFile(decl); }).join();
  ReleaseThreadFile(decl);
  EXPECT_FALSE(HasThreadFile(decl));
  ReleaseThreadFile(decl);  // nothing left: no effect
}

}  // namespace
}  // namespace rt
