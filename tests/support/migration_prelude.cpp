// The program's state right before the migration, and the old layout's local tables.
#include "support/migration_prelude.h"

#include "app/migrate.h"
#include "app/program.h"
#include "dictionary/dictionary.h"
#include "dictionary/names.h"
#include "dictionary/tables.h"
#include "runtime/files/files.h"
#include "runtime/sql/sql_connect.h"

namespace testsupport {

MigrationPrelude::MigrationPrelude(const std::string& dataDb, const std::string& serverDb)
    : MigrationPrelude(Owners{rt::BuildOwner("localhost", dataDb.c_str(), "admin", ""),
                              rt::BuildOwner("localhost", serverDb.c_str(), "admin", "")}) {}

MigrationPrelude::MigrationPrelude(const Owners& owners) {
  app::ProgramErrors().Setup(state_);
  dict::SetReporter(&app::ProgramErrors());
  dict::DictionaryInit();
  dict::DataOwner.Set(owners.data);
  dict::ServerOwner.Set(owners.server);
  dict::TableNameVarOf("USUAR")->Set("USUAR");
  dict::TableNameVarOf("USUAR_EXT")->Set("USUAR_EXT");
}

MigrationPrelude::~MigrationPrelude() {
  app::ReleaseMigrationFiles();
  dict::DictionaryKill();
  for (const auto& t : dict::Tables())
    if (rt::HasThreadFile(t.decl)) rt::ReleaseThreadFile(t.decl);
}

std::string LocalCoveTable(const std::string& name) {
  return "CREATE TABLE " + name +
         " (UNICO INTEGER, UNICOREFERE INTEGER, TIPO TEXT, SUBTIPO TEXT, FACTURA TEXT, TIPOCAMBIO REAL,"
         " INDUSTRIAAUTOMOTRIZ INTEGER, IDENTIFICACION TEXT, FECHA_EXPED TEXT, FECHA_EXPED_SQLDATETIMEFIELD TEXT,"
         " CERTIFICADOORIGEN TEXT, NUMEXPORTADORCONFIABLE TEXT, OBSERVACIONES TEXT, RFCCONSULTA TEXT, SUBDIVISION"
         " TEXT, TIPOFIGURAADUANAL TEXT, CURP TEXT, CORREOELECTRONICO TEXT, TIPOIDENTIFICADOREMISOR TEXT,"
         " IDENTIFICADOREMISOR TEXT, TIPOIDENTIFICADORDESTIN TEXT, IDENTIFICADORDESTIN TEXT, NOMBREARCHIVOXML TEXT,"
         " EDOCUMENT TEXT, FECHA_MOD TEXT, FECHA_MOD_SQLDATETIMEFIELD TEXT, HORA_MOD_SQLDATEDATEFIELD TEXT, HORA_MOD"
         " TEXT, USER_MOD TEXT, HORA_MODX INTEGER, MIN_MODX INTEGER);";
}

std::string LocalUsersTable() {
  return "CREATE TABLE XUSUAR_EXT (CODIGO TEXT, FECHA_ALTA TEXT, FECHA_ALTA_SQLDATETIMEFIELD TEXT, FECHA_BAJA TEXT,"
         " FECHA_BAJA_SQLDATETIMEFIELD TEXT, FECHA_CAMBIOPWD TEXT, FECHA_CAMBIOPWD_SQLDATETIMEFIELD TEXT, FECHA_MOD"
         " TEXT, FECHA_MOD_SQLDATETIMEFIELD TEXT, HORA_MOD_SQLDATEDATEFIELD TEXT, HORA_MOD TEXT, USER_MOD TEXT,"
         " HORA_MODX INTEGER, MIN_MODX INTEGER);";
}

}  // namespace testsupport
