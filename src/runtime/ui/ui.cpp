// The installed window layer and the calling thread's current event.
#include "runtime/ui/ui.h"

#include <cstdio>
#include <stdexcept>

#include "runtime/base/program.h"

namespace rt::ui {
namespace {
// One window layer per process: the desktop's, or a test's double.
WindowLayer* g_layer = nullptr;
thread_local Event t_current{};
}  // namespace

void SetWindowLayer(WindowLayer* layer) {
  g_layer = layer;
  SetRuntimeErrorDisplay(layer ? ShowErrorMessage : nullptr);
}
bool HasLayer() { return g_layer != nullptr; }
WindowLayer& Layer() {
  if (!g_layer) throw std::logic_error("no window layer set");
  return *g_layer;
}

void ShowErrorMessage(const std::string& text, const std::string& caption) {
  if (g_layer) {
    g_layer->ShowMessageBox(text, caption, ICON_Exclamation, BUTTON_OK, BUTTON_OK, 0);
  } else {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  }
}

int CurrentEvent() { return t_current.event; }
int AcceptedControl() { return t_current.event == EVENT_Accepted ? t_current.control : 0; }
void SetCurrentEvent(const Event& ev) { t_current = ev; }

}  // namespace rt::ui
