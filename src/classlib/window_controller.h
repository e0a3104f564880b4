// The controller of one window procedure: runs the window's event loop and
// hands each event to an overridable step; and the router of toolbar actions.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "classlib/error_reporter.h"
#include "classlib/results.h"
#include "runtime/ui/ui.h"

namespace classlib {

// Routes toolbar actions to the current target of its list. Targets are not
// registered by this program, so it passes nothing on.
class ToolbarRouter {
 public:
  virtual ~ToolbarRouter() = default;
  void Setup();
  void Teardown();
  bool active() const { return active_; }
  // Offers an accepted control; true when a target took it.
  bool TakeAccepted(int control);

 private:
  bool active_ = false;
  std::vector<int> targets_;
};

class WindowController {
 public:
  WindowController() = default;
  virtual ~WindowController() = default;
  WindowController(const WindowController&) = delete;
  WindowController& operator=(const WindowController&) = delete;

  // Virtual operations, in the order of the operations table.
  // Runs the window's event loop: each event goes to DispatchEvent; returns
  // when the window has closed. Nothing without a window.
  virtual void EventLoop();
  virtual int Setup();
  // Tears down the toolbar router and marks the controller dead;
  // ResultSoftFail when it was dead already.
  virtual int Teardown();
  // Remembers the window (and owner), opens and shows it, sets OPENED.
  virtual void OpenOn(rt::ui::Window& window, rt::ui::Window* owner = nullptr);
  // Setup, EventLoop when Setup answered ResultOk, Teardown; RESPONSE, or 2 when it is 0.
  virtual uint8_t RunWindow();
  virtual void ArmAlertKeys();
  // The accepted control goes to the toolbar router first, then to the
  // controller's own button actions (none here).
  virtual int HandleAccepted();
  // Lets the window close: the window layer closes a window after a close
  // event's loop body has run.
  virtual int HandleCloseEvent();
  // Accepted controls to HandleAccepted, window events (control 0) to HandleWindowEvent.
  virtual int DispatchEvent(const rt::ui::Event& ev);
  // EVENT:OpenWindow selects FIRSTFIELD; EVENT:CloseWindow and EVENT:CloseDown
  // go to HandleCloseEvent.
  virtual int HandleWindowEvent();

  // TOOLBAR := the router, and sets it up.
  void AttachToolbar(ToolbarRouter& router);
  bool dead() const { return dead_; }
  rt::ui::Window* owner() const { return owner_; }

  // Members.
  ErrorReporter* errors = nullptr;
  int32_t firstField = 0;
  uint8_t opened = 0;
  uint8_t request = 0;
  uint8_t response = 0;
  ToolbarRouter* toolbar = nullptr;
  int32_t* vcrRequest = nullptr;  // kept pointing at the thread's slot: no window of this program scrolls records
  rt::ui::Window* myWindow = nullptr;

 private:
  rt::ui::Window* owner_ = nullptr;
  bool dead_ = false;
};

}  // namespace classlib
