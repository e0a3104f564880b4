// The process entry: the Qt window layer, the SQL and local-file drivers, then the program.
#include "app/program.h"
#include "runtime/base/program.h"
#include "runtime/files/sqlite_file_driver.h"
#include "runtime/qt/qt_layer.h"
#include "runtime/sql/sql_driver.h"

int main(int argc, char** argv) {
  rt::qt::InstallQtLayer(argc, argv);
  rt::SetWindowLayerCleanup(rt::qt::RemoveQtLayer);
  rt::RegisterSqlDriver();
  rt::RegisterSqliteFileDriver();
  app::ProgramEntry();
}
