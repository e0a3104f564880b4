// The window controller's event loop and steps, and the toolbar router.
#include "classlib/window_controller.h"

namespace classlib {

void ToolbarRouter::Setup() {
  targets_.clear();
  active_ = true;
}

void ToolbarRouter::Teardown() {
  targets_.clear();
  active_ = false;
}

bool ToolbarRouter::TakeAccepted(int) { return active_ && !targets_.empty(); }

void WindowController::EventLoop() {
  if (!myWindow) return;
  myWindow->RunAcceptLoop([this](const rt::ui::Event& ev) { DispatchEvent(ev); });
}

int WindowController::Setup() {
  dead_ = false;
  return ResultOk;
}

int WindowController::Teardown() {
  if (dead_) return ResultSoftFail;
  if (toolbar) toolbar->Teardown();
  dead_ = true;
  return ResultOk;
}

void WindowController::OpenOn(rt::ui::Window& window, rt::ui::Window* owner) {
  myWindow = &window;
  if (owner) owner_ = owner;
  window.Open();
  opened = 1;
}

uint8_t WindowController::RunWindow() {
  if (Setup() == ResultOk) EventLoop();
  Teardown();
  return response != 0 ? response : 2;
}

void WindowController::ArmAlertKeys() {
  // The window layer has no alert keys of its own to arm.
}

int WindowController::HandleAccepted() {
  int control = rt::ui::AcceptedControl();
  if (toolbar && toolbar->TakeAccepted(control)) return ResultOk;
  return ResultOk;
}

int WindowController::HandleCloseEvent() { return ResultOk; }

int WindowController::DispatchEvent(const rt::ui::Event& ev) {
  // The steps read the event as the current one.
  rt::ui::SetCurrentEvent(ev);
  if (ev.event == rt::ui::EVENT_Accepted) return HandleAccepted();
  if (ev.control == 0) return HandleWindowEvent();
  return ResultOk;
}

int WindowController::HandleWindowEvent() {
  switch (rt::ui::CurrentEvent()) {
    case rt::ui::EVENT_OpenWindow:
      if (myWindow && firstField != 0) myWindow->SelectControl(firstField);
      return ResultOk;
    case rt::ui::EVENT_CloseWindow:
    case rt::ui::EVENT_CloseDown:
      return HandleCloseEvent();
    default:
      return ResultOk;
  }
}

void WindowController::AttachToolbar(ToolbarRouter& router) {
  toolbar = &router;
  router.Setup();
}

}  // namespace classlib
