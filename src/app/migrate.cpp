#include "app/migrate.h"

#include "runtime/ui.h"

namespace app {

void MigrateStructures() {
  // The changed tables are not migrated yet; the step keeps its place (and its
  // wait cursor) between the owners being set and the creation loop.
  if (!rt::ui::HasLayer()) return;
  rt::ui::Layer().SetMouseCursor(rt::ui::CURSOR_Wait, false);
  rt::ui::Layer().SetMouseCursor(rt::ui::CURSOR_Wait, true);
}

void ReleaseMigrationFiles() {}

}  // namespace app
