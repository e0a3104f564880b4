#include "app/migration_texts.h"

namespace app::migration_texts {
namespace {

constexpr const char* kNothingChanged = "En el servidor nada cambi\xF3";
constexpr const char* kNextRun = "la pr\xF3xima creaci\xF3n del esquema lo intentar\xE1 de nuevo.";
constexpr const char* kNextRunAlone = "La pr\xF3xima creaci\xF3n del esquema lo intentar\xE1 de nuevo.";

std::string CannotRead(const std::string& source, const std::string& label, const std::string& why,
                       const char* kept) {
  return "No se pudo leer " + source + "; no se migr\xF3 " + label + ".|" + why + "|" + kNothingChanged + kept +
         kNextRun;
}

// After a failure whose rollback the server did not confirm.
std::string StateUnknown(const std::string& label) {
  return "No se sabe en qu\xE9 estado qued\xF3 " + label +
         " en el servidor: no confirm\xF3 que deshizo lo enviado. La pr\xF3xima creaci\xF3n del esquema lo "
         "revisar\xE1 en el servidor y lo intentar\xE1 de nuevo.";
}

}  // namespace

std::string Count(size_t n, const char* one, const char* many) { return std::to_string(n) + " " + (n == 1 ? one : many); }

std::string LocalFileUnreadable(const std::string& fileName, const std::string& label, const std::string& why) {
  return CannotRead("el archivo local " + fileName, label, why, " y el archivo se conserva: ");
}

std::string TableUnreadable(const std::string& table, const std::string& label, const std::string& why) {
  return CannotRead("la tabla " + table, label, why, ": ");
}

std::string NotMigrated(const std::string& label, const std::string& why, bool undone) {
  return "No se pudo migrar " + label + ".|" + why + "|" +
         (undone ? std::string(kNothingChanged) + "; " + kNextRun : StateUnknown(label));
}

std::string NotMigratedNextRunAlone(const std::string& label, const std::string& why) {
  return "No se pudo migrar " + label + ".|" + why + "|" + kNextRunAlone;
}

std::string RenamedRowsClash(const std::string& label, const std::string& renamedTable, size_t rows,
                             const std::string& keyFields, const std::string& keys) {
  return "No se pudo terminar la migraci\xF3n de " + label + ": " + Count(rows, "fila", "filas") + " de " +
         renamedTable + (rows == 1 ? " tiene" : " tienen") + " la clave de otra fila de " + label +
         " con otros valores (" + keyFields + " " + keys + ").|Las dos tablas quedan como estaban.";
}

std::string LocalRecordsNotTaken(const std::string& label, const std::string& fileName, size_t records,
                                 const std::string& keyFields, const std::string& keys) {
  return Count(records, "registro", "registros") + " del archivo local " + fileName +
         (records == 1 ? " no se tom\xF3: " : " no se tomaron: ") + label + " ya tiene otra fila con su clave (" +
         keyFields + " " + keys + ").|El archivo se conserva.";
}

}  // namespace app::migration_texts
