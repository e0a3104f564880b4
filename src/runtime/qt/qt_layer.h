// The window layer on Qt Widgets, and its installing for the process. Needs
// no Qt header: the widgets stay behind it.
#pragma once

#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/ui/ui.h"

namespace rt::qt {

// Creates the application object (once; argc and argv must outlive it) and
// makes the Qt window layer the process's window layer.
void InstallQtLayer(int& argc, char** argv);
// Uninstalls the layer and destroys the application object.
void RemoveQtLayer();

class QtWindowLayer : public rt::ui::WindowLayer {
 public:
  std::unique_ptr<rt::ui::Window> BuildWindow(std::string_view moduleKey, std::string_view label,
                                              std::vector<rt::ui::BoundVar> vars, bool frame) override;
  int ShowMessageBox(const std::string& text, const std::string& caption, int icon, int buttons,
                     int defaultButton, int style) override;
  void SetMouseCursor(int cursor, bool restore) override;
  void RegisterControlKind(const std::string& kind) override;
  void KeepPainted() override;
  bool IsKindRegistered(const std::string& kind) const { return kinds_.count(kind) != 0; }

 private:
  friend void ClearControlKinds(QtWindowLayer& layer);  // runtime/qt/test_hooks.h
  std::set<std::string> kinds_;
  bool cursorSet_ = false;
};

// The installed layer, or nullptr when the Qt layer is not installed.
QtWindowLayer* InstalledQtLayer();

}  // namespace rt::qt
