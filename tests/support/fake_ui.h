// A recording window layer for tests. Message boxes are recorded as the user
// reads them (converted from the program's code page to UTF-8, as the real
// layer converts them for the toolkit) and answered (OK unless the test
// answers otherwise); windows keep their
// properties, selections, geometry and state in a record that outlives the
// window, and run a scripted list of events in RunAcceptLoop.
//
// The event loop of a FakeWindow takes, in order: the events posted to the
// window (EVENT:OpenWindow is posted by Open), then the scripted events. It
// sets each as the current event and runs the loop body; after the body of an
// EVENT:CloseWindow or EVENT:CloseDown the window closes and the loop
// returns. When both lists are empty the window closes as well, so a loop
// always ends.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "runtime/ui/ui.h"

namespace testsupport {

struct MessageBoxCall {
  std::string text;
  std::string caption;
  int icon = 0;
  int buttons = 0;
  int defaultButton = 0;
  int style = 0;
};

// Everything a fake window did, kept after the window is destroyed.
struct FakeWindowRecord {
  std::string moduleKey;
  std::string label;
  bool frame = false;
  std::vector<rt::ui::BoundVar> vars;
  std::string title;
  bool resizable = true;
  bool opened = false;      // Open was called
  bool isOpen = false;
  bool closed = false;      // closed after being open
  bool destroyed = false;
  std::vector<rt::ui::Event> script;        // events of the accept loop
  std::vector<rt::ui::Event> handled;       // events given to the loop body
  std::vector<int> selected;                // SelectControl calls
  std::map<std::pair<int, int>, std::string> properties;  // (control, property) -> value
  std::vector<std::pair<int, int>> redraws;
  int refreshes = 0;
  rt::ui::Geometry geometry{10, 20, 400, 300};
  std::vector<std::pair<rt::ui::Geometry, bool>> geometrySets;  // SetGeometry calls
  rt::ui::WindowState state = rt::ui::WindowState::Normal;
  // Called after the loop body for each event, with the window (a test's hand on it).
  std::function<void(class FakeWindow&, const rt::ui::Event&)> afterEvent;
};

class FakeWindow : public rt::ui::Window {
 public:
  explicit FakeWindow(std::shared_ptr<FakeWindowRecord> record = std::make_shared<FakeWindowRecord>());
  ~FakeWindow() override;

  FakeWindowRecord& record() { return *record_; }
  std::shared_ptr<FakeWindowRecord> shared() { return record_; }

  void Open() override;
  bool IsOpen() const override { return record_->isOpen; }
  void Close() override;
  void RunAcceptLoop(const std::function<void(const rt::ui::Event&)>& body) override;
  void PostEvent(const rt::ui::Event& ev) override { posted_.push_back(ev); }
  std::string GetProperty(int control, int prop) override;
  void SetProperty(int control, int prop, const std::string& value) override;
  void RedrawControls(int first, int last) override { record_->redraws.emplace_back(first, last); }
  void RefreshNow() override { ++record_->refreshes; }
  void SelectControl(int control) override { record_->selected.push_back(control); }
  void RequestClose() override { PostEvent({rt::ui::EVENT_CloseWindow, 0}); }
  std::string Title() const override { return record_->title; }
  bool Resizable() const override { return record_->resizable; }
  rt::ui::Geometry GetGeometry() const override { return record_->geometry; }
  void SetGeometry(const rt::ui::Geometry& g, bool withSize) override;
  rt::ui::WindowState State() const override { return record_->state; }
  void SetState(rt::ui::WindowState s) override { record_->state = s; }

 private:
  std::shared_ptr<FakeWindowRecord> record_;
  std::deque<rt::ui::Event> posted_;
};

class FakeWindowLayer : public rt::ui::WindowLayer {
 public:
  // Installs itself as the process's window layer; the destructor removes it.
  FakeWindowLayer();
  ~FakeWindowLayer() override;

  std::unique_ptr<rt::ui::Window> BuildWindow(std::string_view moduleKey, std::string_view label,
                                              std::vector<rt::ui::BoundVar> vars, bool frame) override;
  int ShowMessageBox(const std::string& text, const std::string& caption, int icon, int buttons,
                     int defaultButton, int style) override;
  void SetMouseCursor(int cursor, bool restore) override { cursorCalls.emplace_back(cursor, restore); }
  void RegisterControlKind(const std::string& kind) override { kinds.push_back(kind); }
  void KeepPainted() override { ++paints; }

  // Events the next window built with that label runs in its loop, and how it looks.
  void ScriptWindow(const std::string& label, std::vector<rt::ui::Event> events);
  // The record of the latest window built with that label, null when none.
  std::shared_ptr<FakeWindowRecord> Latest(const std::string& label) const;

  std::vector<MessageBoxCall> boxes;
  std::vector<std::shared_ptr<FakeWindowRecord>> windows;  // every window built, in order
  std::vector<std::pair<int, bool>> cursorCalls;
  std::vector<std::string> kinds;
  int paints = 0;  // KeepPainted calls
  // Answers a message box; BUTTON_OK when unset.
  std::function<int(const MessageBoxCall&)> answer;
  // Called with each record as it is built, before the window is handed out.
  std::function<void(FakeWindowRecord&)> onBuild;

 private:
  std::map<std::string, std::vector<rt::ui::Event>> scripts_;
  rt::ui::WindowLayer* previous_ = nullptr;
  bool hadPrevious_ = false;
};

}  // namespace testsupport
