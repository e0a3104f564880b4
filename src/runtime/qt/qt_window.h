// A window of the Qt layer: built from its layout, run by its own nested event
// loop, its controls' properties, its place, size and state.
#pragma once

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QString>
#include <QWidget>

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "runtime/qt/qt_layout.h"
#include "runtime/ui/ui.h"

class QEventLoop;
class QJsonArray;
class QJsonObject;

namespace rt::qt {

class QtWindow;

// A painted area: a background colour and a wallpaper drawn to cover it.
class Surface : public QWidget {
 public:
  explicit Surface(QWidget* parent = nullptr) : QWidget(parent) {}
  QColor color;
  QPixmap wallpaper;
  QtWindow* owner = nullptr;  // set on the top-level surface only

 protected:
  void paintEvent(QPaintEvent* ev) override;
  void closeEvent(QCloseEvent* ev) override;
  void keyPressEvent(QKeyEvent* ev) override;
  void changeEvent(QEvent* ev) override;
};

// The application frame's top-level widget while one is built; nullptr otherwise.
// Every other window is shown as its dependant (the window manager keeps such a
// window with the frame: it minimises and restores them together).
QWidget* FrameWidget();

class QtWindow : public rt::ui::Window {
 public:
  // Each entry of the layout edits the variable of vars that its "use" names.
  QtWindow(const QJsonObject& layout, const std::vector<rt::ui::BoundVar>& vars);
  ~QtWindow() override;

  // Marks the window open; it is put on the screen when its loop first runs (or
  // the event loop turns), so that a place and state set meanwhile are the
  // window manager's first view of it.
  void Open() override;
  // Open from Open until its loop let a close request through, or Close.
  bool IsOpen() const override { return open_; }
  void Close() override;
  void RunAcceptLoop(const std::function<void(const rt::ui::Event&)>& body) override;
  void PostEvent(const rt::ui::Event& ev) override;
  std::string GetProperty(int control, int prop) override;
  void SetProperty(int control, int prop, const std::string& value) override;
  void RedrawControls(int first, int last) override;
  void RefreshNow() override;
  void SelectControl(int control) override;
  void RequestClose() override;
  std::string Title() const override;
  bool Resizable() const override { return resizable_; }
  rt::ui::Geometry GetGeometry() const override;
  void SetGeometry(const rt::ui::Geometry& g, bool withSize) override;
  rt::ui::WindowState State() const override;
  void SetState(rt::ui::WindowState s) override;

  // For tests and pictures: the top-level widget and a control's widget.
  QWidget* Widget() const { return top_.get(); }
  QWidget* ControlWidget(int number) const;
  // Layout units to pixels in the window's font.
  int UnitsToPixelsX(int units) const;
  int UnitsToPixelsY(int units) const;

 private:
  friend class Surface;
  // Builds one list of the layout's controls and connects their signals.
  void BuildControls(const QJsonArray& controls, QWidget* parent, int firstNumber, int step);
  void Connect(const Control& ctl);
  void Pressed(int number);
  void ShowVariables(int first, int last);
  void StoreVariable(const Control& ctl, const QString& text);
  void PressDefault();
  // A close request from the window system: a window without system menu takes
  // it as its cancel button; any other as a close request.
  void CloseRequested();
  void ShowPending();
  void AwaitExposure();
  void FitOnScreen();
  // A text control sized to its text, but no wider than the group it lies in.
  void SizeText(Control& ctl);
  bool HasButtons() const;
  Control* Find(int number);

  std::unique_ptr<Surface> top_;  // the window's top-level widget, its controls its children
  QFont font_;
  int unitX_ = 6, unitY_ = 13;  // average character width and height in pixels
  bool frame_ = false;
  bool resizable_ = false;
  bool systemMenu_ = false;
  bool open_ = false;
  bool showPending_ = false;
  bool exposureAwaited_ = false;  // the wait for the first exposure after a show is done
  bool placed_ = false;  // a place was set: checked against the screen once framed
  std::map<std::string, rt::ui::BoundVar> bindings_;  // each entry's variable, by the entry's label
  std::vector<Control> controls_;  // layout order, toolbar controls after the window's
  std::deque<rt::ui::Event> queue_;
  QEventLoop* waiting_ = nullptr;
};

}  // namespace rt::qt
