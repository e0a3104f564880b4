// The SQL tests' shared fixture: the backends and the databases each test gets.
#include "sql/sql_fixtures.h"

#include <gtest/gtest.h>

#include "runtime/files/files.h"

namespace testsupport {

using rt::FieldType;

TableBuilder Hdscrap() {
  TableBuilder t("HDS");
  t.Long("PK_CONTROL").Long("FK_CONTROL").CStr("TRANSPORTE", 11).DatePair("FECHAI").CStr("REFERENCIA", 21)
      .DatePair("FECHA").CStr("USUARIO", 3).CStr("PROCESO", 4).CStr("TURNO", 4).Byte("CHK_EXPO").ModStamp();
  t.Key("KEY_USUARIO", kDupOpt, {"TRANSPORTE", "FECHAI_SQLDATEHANDLE", "USUARIO", "FECHA", "REFERENCIA"})
      .Key("KEY_PROCESO", kDupOpt, {"PROCESO"})
      .Key("KEY_TURNO", kDupOpt, {"TURNO"})
      .Key("KEY_PKCONTROL", kPrimaryOpt, {"PK_CONTROL"})
      .Key("KEY_FKTRANSPORTE", kDupOpt, {"FK_CONTROL"})
      .Key("KEY_REFERENCIA", kDupOpt, {"TRANSPORTE", "FECHAI", "FECHA", "REFERENCIA"})
      .Key("KEY_TRANSPORTE", kDupOpt, {"TRANSPORTE"});
  return t;
}

TableBuilder Imagenes() {
  TableBuilder t("IMGX");
  t.Long("UNICO").Long("CATEGORIA").Long("SUBCATEGORIA").CStr("CODIGO_IMAGEN", 101).CStr("NO_PAGINA", 5)
      .CStr("PROPIETARIO", 51).CStr("DEPTO", 51).Byte("CONFIDENCIALIDAD").DatePair("FECHA_ALTA").ModStamp();
  t.Key("KEY_PRIMARY", kPrimaryOpt, {"UNICO"}).Blob("IMAGEN");
  return t;
}

TableBuilder Logs() {
  TableBuilder t("LOG");
  t.Long("UNICO").CStr("USUARIO", 3).CStr("EMPRESA", 4).Byte("ACCION").DatePair("FECHA_SUCESO")
      .Str("HORA_SUCESO_SQLDATEHANDLE", 8)
      .Group("HORA_SUCESO_SQLDATEGROUP", 8, FieldType::Time, "HORA_SUCESO", FieldType::Date,
             "HORA_SUCESO_SQLDATEDATEFIELD")
      .CStr("MODULO", 4).CStr("PROCEDIMIENTO", 5).Byte("ACTIVIDAD_REALIZADA").ModStamp();
  t.Key("KEY_ORDEN", kDupOpt, {"FECHA_SUCESO", "HORA_SUCESO", "USUARIO"}).Key("KEY_UNICA", kPrimaryOpt, {"UNICO"});
  return t;
}

TableBuilder DetEmpcertmd() {
  const uint32_t optNocase = rt::kKeyOpt | rt::kKeyNoCase;
  TableBuilder t("DEM");
  t.Long("UNICO").CStr("NUMERO_CERTIFICADO", 33).DatePair("INICIO").DatePair("FIN").CStr("RUBRO", 6)
      .Byte("CHK_VIGENCIA_ESPECIAL").Long("MESES_VIGENCIA").Byte("OP1").CStr("OP2", 20).DatePair("FECHA_MOD")
      .Str("HORA_MOD_SQLDATAHANDLE", 8)
      .Group("HORA_MOD_SQLDATEGROUP", 8, FieldType::Date, "HORA_MOD_SQLDATEDATEFIELD", FieldType::Time, "HORA_MOD")
      .CStr("USER_MOD", 3);
  t.Key("KEYUNICO", optNocase, {"UNICO"})
      .Key("KEY_FECHA", optNocase | rt::kKeyDup, {"INICIO", "FIN"})
      .Key("KEY_CODIGO", optNocase | rt::kKeyDup, {"NUMERO_CERTIFICADO"})
      .Key("KEY_MOD", optNocase | rt::kKeyDup, {"FECHA_MOD", "HORA_MOD", "USER_MOD"});
  return t;
}

TableBuilder Detsnpedim() {
  TableBuilder t("DET");
  t.Long("UNICO").Long("UNICO_SINIPEDI").CStr("TIPO", 3).CStr("FACTURA", 21).DatePair("FECHA_F").Byte("PAROCLAS")
      .CStr("PAR_CLASE", 33);
  for (const char* r : {"CANTIDAD", "CANTID"}) t.Real(r);
  t.CStr("ESTATUS", 2);
  for (const char* r : {"CANTIRESTA", "COSTO_UNITARIO", "COSTO_UNIT_MEXT", "IMPORTE_MN", "IMPORTE_DL",
                        "IMPORTE_MONEXT"})
    t.Real(r);
  t.CStr("PERMISO", 21).CStr("PAIS", 4).Byte("EXTLC").CStr("TIPO_TASA", 3).CStr("TIPO_TLC", 3).CStr("SECTOR", 6)
      .CStr("FRACCION", 13).Byte("TIPO_ARANCEL");
  for (const char* r : {"ADVALOREM", "CUOTA_COMP", "ESPECIFICO", "CUOTA_COMPENSATORIA", "CALC_IMPUESTOS1",
                        "CALC_IMPUESTOS2", "CALC_IMPUESTOS3", "CALC_IMPUESTOS4", "IMPORTE_ADVALOREM",
                        "IMPORTE_CCOMPENSATORIA", "IMPORTE_IMPUESTOS_TOTAL_MN"})
    t.Real(r);
  t.CStr("CVE_VALORACION", 4).CStr("VINCULACION", 4);
  for (const char* r : {"PESO_TOTAL", "CANT_TARIFA", "FACTOR_TARIFA", "FACTOR_COMERCIAL"}) t.Real(r);
  t.ModStamp();
  t.Key("KEY_CODIGO", kDupOpt, {"TIPO", "FACTURA", "PAR_CLASE"})
      .Key("KEY_UNICA", kPrimaryOpt, {"UNICO"})
      .Key("KEY_CODIGO1", kDupOpt, {"FECHA_F", "TIPO", "FACTURA"})
      .Key("KEYCLASFEC", kDupOpt, {"PAR_CLASE", "-FECHA_F"})
      .Key("KEY_PARTE", kDupOpt, {"PAR_CLASE", "FECHA_F", "TIPO", "FACTURA"})
      .Key("FK_SINIPEDI", kDupOpt, {"UNICO_SINIPEDI"});
  return t;
}

TableBuilder ExcepReglasOrg() {
  TableBuilder t("EXR");
  t.Long("UNICO").Long("UNICO_REGLAS_ORG").CStr("RANGOI", 16).CStr("RANGOF", 16).Byte("PRIORIDAD")
      .Byte("OPCAMBIO").CStr("CAMBIO_EXCEPCION", 16).Byte("OPEXCEPCION").Byte("TIPO").Real("PORCENTAJE_RVC")
      .Str("FECHA_MOD_SQLDATEHANDLE", 8).Byte("APLICATLC")
      .Group("FECHA_MOD_SQLDATEGROUP", 9, FieldType::Date, "FECHA_MOD", FieldType::Time,
             "FECHA_MOD_SQLDATETIMEFIELD")
      .Str("HORA_MOD_SQLDATEHANDLE", 8, 1)
      .Group("HORA_MOD_SQLDATEGROUP", 8, FieldType::Date, "HOR_MOD_SQLDATEDATEFIELD", FieldType::Time, "HORA_MOD")
      .CStr("USER_MOD", 3).Byte("HORA_MODX").Byte("MIN_MODX");
  t.Key("KEY_UNICA", kPrimaryOpt, {"UNICO"})
      .Key("KEY_CODIGO", kDupOpt, {"UNICO_REGLAS_ORG", "PRIORIDAD"})
      .Key("KEY_MOD", kDupOpt, {"FECHA_MOD", "HORA_MODX", "MIN_MODX", "USER_MOD"});
  return t;
}

void CreateOpenAndClose(rt::FileBlock& f) {
  rt::CREATE(f);
  ASSERT_EQ(rt::LastErrorCode(), rt::kNoError) << rt::ErrorTextForMessage();
  rt::OPEN(f);
  EXPECT_EQ(rt::LastErrorCode(), rt::kNoError) << rt::ErrorTextForMessage();
  rt::CLOSE(f);
}

}  // namespace testsupport
