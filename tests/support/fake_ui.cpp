// The recording window layer of the tests.
#include "support/fake_ui.h"

#include "runtime/base/code_page.h"

namespace testsupport {

FakeWindow::FakeWindow(std::shared_ptr<FakeWindowRecord> record) : record_(std::move(record)) {}

FakeWindow::~FakeWindow() {
  Close();
  record_->destroyed = true;
}

void FakeWindow::Open() {
  record_->opened = true;
  record_->isOpen = true;
  PostEvent({rt::ui::EVENT_OpenWindow, 0});
}

void FakeWindow::Close() {
  if (record_->isOpen) record_->closed = true;
  record_->isOpen = false;
  posted_.clear();
}

void FakeWindow::RunAcceptLoop(const std::function<void(const rt::ui::Event&)>& body) {
  size_t next = 0;
  while (record_->isOpen) {
    rt::ui::Event ev;
    if (!posted_.empty()) {
      ev = posted_.front();
      posted_.pop_front();
    } else if (next < record_->script.size()) {
      ev = record_->script[next++];
    } else {
      Close();
      break;
    }
    rt::ui::SetCurrentEvent(ev);
    record_->handled.push_back(ev);
    body(ev);
    if (record_->afterEvent) record_->afterEvent(*this, ev);
    if (ev.event == rt::ui::EVENT_CloseWindow || ev.event == rt::ui::EVENT_CloseDown) Close();
  }
  rt::ui::SetCurrentEvent({});
}

std::string FakeWindow::GetProperty(int control, int prop) {
  auto it = record_->properties.find({control, prop});
  return it == record_->properties.end() ? std::string() : it->second;
}

void FakeWindow::SetProperty(int control, int prop, const std::string& value) {
  record_->properties[{control, prop}] = value;
}

void FakeWindow::SetGeometry(const rt::ui::Geometry& g, bool withSize) {
  record_->geometrySets.emplace_back(g, withSize);
  record_->geometry.x = g.x;
  record_->geometry.y = g.y;
  if (withSize) {
    record_->geometry.width = g.width;
    record_->geometry.height = g.height;
  }
}

FakeWindowLayer::FakeWindowLayer() {
  hadPrevious_ = rt::ui::HasLayer();
  if (hadPrevious_) previous_ = &rt::ui::Layer();
  rt::ui::SetWindowLayer(this);
}

FakeWindowLayer::~FakeWindowLayer() { rt::ui::SetWindowLayer(hadPrevious_ ? previous_ : nullptr); }

std::unique_ptr<rt::ui::Window> FakeWindowLayer::BuildWindow(std::string_view moduleKey, std::string_view label,
                                                             std::vector<rt::ui::BoundVar> vars, bool frame) {
  auto record = std::make_shared<FakeWindowRecord>();
  record->moduleKey = std::string(moduleKey);
  record->label = std::string(label);
  record->frame = frame;
  record->vars = std::move(vars);
  if (auto it = scripts_.find(record->label); it != scripts_.end()) {
    record->script = std::move(it->second);
    scripts_.erase(it);
  }
  if (onBuild) onBuild(*record);
  windows.push_back(record);
  return std::make_unique<FakeWindow>(record);
}

int FakeWindowLayer::ShowMessageBox(const std::string& text, const std::string& caption, int icon, int buttons,
                                    int defaultButton, int style) {
  boxes.push_back(MessageBoxCall{rt::Cp1252ToUtf8(text), rt::Cp1252ToUtf8(caption), icon, buttons, defaultButton, style});
  return answer ? answer(boxes.back()) : rt::ui::BUTTON_OK;
}

void FakeWindowLayer::ScriptWindow(const std::string& label, std::vector<rt::ui::Event> events) {
  scripts_[label] = std::move(events);
}

std::shared_ptr<FakeWindowRecord> FakeWindowLayer::Latest(const std::string& label) const {
  for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
    if ((*it)->label == label) return *it;
  }
  return nullptr;
}

}  // namespace testsupport
