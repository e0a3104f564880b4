// The program's frame of life: the process entry, its four module records, the
// program-wide service objects (one set per run, made by the program module's
// start and destroyed by its end) and the per-thread window request slots.
#pragma once

#include <cstdint>
#include <vector>

#include "classlib/error_reporter.h"
#include "classlib/fuzzy_scorer.h"
#include "classlib/ini_store.h"
#include "runtime/base/program.h"

namespace app {

// The running program's service objects; outside a running program (a window
// shown on its own) a set made on first use, until a start replaces it.
classlib::ErrorReporter& ProgramErrors();
classlib::IniStore& ProgramIni();
classlib::FuzzyScorer& ProgramFuzzy();

// The request and response slots shared by the window procedures of the thread.
uint8_t& WindowRequest();
uint8_t& WindowResponse();
int32_t& WindowVcrRequest();

// 1 when full-window dragging was on at start and the program switched it off.
int32_t DragFullWindowsWasOn();

// The four module records, in table order.
std::vector<rt::ModuleRecord> ProgramModules();

// The module routines (called by the runtime's module walks).
void ProgramThreadFilesSetup();
void ProgramModuleInit();
void ProgramModuleKill();
void ProgramThreadInit();
void ProgramThreadKill();
void FrameModuleInit();
void ConnectModuleInit();
void CreationModuleInit();
void CreationModuleThreadKill();

// The main body: configures the service objects, sets up the first thread's
// dictionary, switches full-window dragging off while the main frame runs.
void ProgramMain();

// The process entry: start, main body, window clean-up, end with exit code 0.
[[noreturn]] void ProgramEntry();

// The six program-wide queues of the product's shared data: their record areas
// are cleared at start and their entries freed at the end. Kept as start and end
// set them: no window or step of this program fills or reads them.
struct ProgramQueues {
  struct Queue1 { char descripcion[61]; char tipo[6]; char filename[81]; int32_t ref; int32_t arearef; uint8_t paginas; };
  struct Queue2 { char lstPreview[11]; int32_t lstEnviar; };
  struct Queue3 { char imgCodigo[6]; char imgDesc[101]; };
  struct Queue4 { char ppaModulo[3]; int32_t ppaProcedimiento; char ppaDescripcion[101]; char ppaCodigo[101]; uint8_t ppaTipo; };
  struct Queue5 { int32_t categoria; char descripcion[51]; };
  struct Queue6 { int32_t categoria; int32_t scategoria; char descripcion[51]; };
  Queue1 rec1; std::vector<Queue1> q1;
  Queue2 rec2; std::vector<Queue2> q2;
  Queue3 rec3; std::vector<Queue3> q3;
  Queue4 rec4; std::vector<Queue4> q4;
  Queue5 rec5; std::vector<Queue5> q5;
  Queue6 rec6; std::vector<Queue6> q6;
};
ProgramQueues& Queues();

}  // namespace app
