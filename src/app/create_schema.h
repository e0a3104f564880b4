// The creation procedure run by the main frame's schema button.
#pragma once

namespace app {

void CreateSchema();

}  // namespace app
