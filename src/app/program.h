// The program-wide service objects and the per-thread window request slots.
#pragma once

#include <cstdint>

#include "classlib/error_reporter.h"
#include "classlib/ini_store.h"

namespace app {

classlib::ErrorReporter& ProgramErrors();
classlib::IniStore& ProgramIni();

// The request and response slots shared by the window procedures of the thread.
uint8_t& WindowRequest();
uint8_t& WindowResponse();
int32_t& WindowVcrRequest();

}  // namespace app
