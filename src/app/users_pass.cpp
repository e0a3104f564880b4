#include "app/users_pass.h"

#include "app/migration_records.h"
#include "classlib/results.h"
#include "dictionary/catalogue.h"
#include "dictionary/dictionary.h"
#include "runtime/base/datetime.h"
#include "runtime/base/text.h"
#include "runtime/files/files.h"

namespace app {

using classlib::ResultOk;

// Each user's database password moves from USUAR to PUESTO of the user's USUAR_EXT row.
void MoveUsersPasswords() {
  dict::DictTableRelations& usersRel = *dict::TableRelationsRef("USUAR");
  dict::DictTableRelations& extRel = *dict::TableRelationsRef("USUAR_EXT");
  dict::DictTableManager& users = *dict::TableManagerRef("USUAR");
  dict::DictTableManager& ext = *dict::TableManagerRef("USUAR_EXT");
  rt::FileBlock& user = dict::FileOf("USUAR");
  rt::FileBlock& row = dict::FileOf("USUAR_EXT");
  usersRel.OpenWithRelated(false);
  extRel.OpenWithRelated(false);
  user.ClearRecord();
  rt::SETkey(KeyByLabel(user, "USE:KEY_CODIGO"));
  while (users.ReadNext() == ResultOk) {
    const std::string password = RecordText(user, "DBPASSWORD");
    if (rt::BlankPaddedEqual(password, "")) continue;
    const std::string code = RecordText(user, "CODIGO");
    row.ClearRecord();
    SetRecordText(row, "CODIGO", code);
    if (ext.LookupByKey(KeyByLabel(row, "USE1:KEY_CODIGO")) == ResultOk) {
      SetRecordText(row, "PUESTO", password);
      ext.RewriteRecord();
    } else {
      row.ClearRecord();
      const int32_t jan1900 = rt::DATE(1, 1, 1900);
      SetRecordText(row, "CODIGO", code);
      SetRecordText(row, "PUESTO", password);
      for (const char* date : {"FECHA_ALTA", "FECHA_BAJA", "FECHA_CAMBIOPWD"}) {
        SetRecordDate(row, date, jan1900);
        SetRecordTime(row, dict::TimePartOf(date), 0);
      }
      SetRecordDate(row, "FECHA_MOD", rt::TODAY());
      SetRecordTime(row, dict::TimePartOf("FECHA_MOD"), 0);
      SetRecordDate(row, dict::DatePartOf("HORA_MOD"), jan1900);
      SetRecordTime(row, "HORA_MOD", rt::CLOCK());
      SetRecordText(row, "USER_MOD", code);
      ext.AddRecord();
    }
    SetRecordText(user, "DBPASSWORD", "");
    users.RewriteRecord();
  }
  usersRel.CloseWithRelated(false);
  extRel.CloseWithRelated(false);
}

}  // namespace app
