// The installed window layer and the calling thread's current event.
#include "runtime/ui/ui.h"

#include <stdexcept>

namespace rt::ui {
namespace {
WindowLayer* g_layer = nullptr;
thread_local Event t_current{};
}  // namespace

void SetWindowLayer(WindowLayer* layer) { g_layer = layer; }
bool HasLayer() { return g_layer != nullptr; }
WindowLayer& Layer() {
  if (!g_layer) throw std::logic_error("no window layer set");
  return *g_layer;
}
int CurrentEvent() { return t_current.event; }
int AcceptedControl() { return t_current.event == EVENT_Accepted ? t_current.control : 0; }
void SetCurrentEvent(const Event& ev) { t_current = ev; }

}  // namespace rt::ui
