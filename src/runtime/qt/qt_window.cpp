// A window of the Qt layer: the top-level surface and its decorations, the
// nested event loop, control properties, place, size and state on the screen.
#include "runtime/qt/qt_window.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGroupBox>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <stdexcept>

#include "runtime/base/text.h"
#include "runtime/qt/qt_layer.h"

namespace rt::qt {
namespace ui = rt::ui;

// ---------------------------------------------------------------------------
// Surface

void Surface::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), color.isValid() ? color : palette().color(QPalette::Window));
  if (wallpaper.isNull()) return;
  // The whole picture, as large as fits and centred; the bands beside it carry
  // on its edge rows or columns, so that nothing of it is cut at any size.
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  const QSize scaled = wallpaper.size().scaled(size(), Qt::KeepAspectRatio);
  const QRect target(QPoint((width() - scaled.width()) / 2, (height() - scaled.height()) / 2), scaled);
  const int w = wallpaper.width(), h = wallpaper.height();
  if (target.left() > 0) {
    p.drawPixmap(QRect(0, target.top(), target.left(), target.height()), wallpaper, QRect(0, 0, 1, h));
    p.drawPixmap(QRect(target.right() + 1, target.top(), width() - target.right() - 1, target.height()), wallpaper,
                 QRect(w - 1, 0, 1, h));
  }
  if (target.top() > 0) {
    p.drawPixmap(QRect(target.left(), 0, target.width(), target.top()), wallpaper, QRect(0, 0, w, 1));
    p.drawPixmap(QRect(target.left(), target.bottom() + 1, target.width(), height() - target.bottom() - 1), wallpaper,
                 QRect(0, h - 1, w, 1));
  }
  p.drawPixmap(target, wallpaper);
}

void Surface::closeEvent(QCloseEvent* ev) {
  // The close box asks; the window's loop decides.
  if (owner) {
    ev->ignore();
    owner->CloseRequested();
  } else {
    QWidget::closeEvent(ev);
  }
}

void Surface::keyPressEvent(QKeyEvent* ev) {
  // Enter that no focused button took (an entry has the focus): the default button.
  if (owner && (ev->key() == Qt::Key_Return || ev->key() == Qt::Key_Enter)) {
    owner->PressDefault();
    return;
  }
  // A window with no button and no system menu could not be closed otherwise.
  if (owner && ev->key() == Qt::Key_Escape && !owner->frame_ && !owner->HasButtons()) {
    owner->RequestClose();
    return;
  }
  QWidget::keyPressEvent(ev);
}

namespace {
QPointer<Surface>& Frame() {
  static QPointer<Surface> frame;
  return frame;
}
}  // namespace

QWidget* FrameWidget() { return Frame().data(); }

void Surface::changeEvent(QEvent* ev) {
  QWidget::changeEvent(ev);
  // The frame activated while a window it waits for is minimised (a window
  // manager that minimised it alone): that window comes back, to take the input
  // the frame cannot.
  if (ev->type() != QEvent::ActivationChange || this != Frame() || !isActiveWindow()) return;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w == this || !w->isVisible() || !(w->windowState() & Qt::WindowMinimized)) continue;
    if (!dynamic_cast<Surface*>(w) && !w->isModal()) continue;
    w->setWindowState(w->windowState() & ~Qt::WindowMinimized);
    w->raise();
    w->activateWindow();
  }
}

// ---------------------------------------------------------------------------
// QtWindow

QtWindow::QtWindow(const QJsonObject& layout, const std::vector<ui::BoundVar>& vars)
    : bindings_(BindEntries(layout, vars)) {
  frame_ = layout.value("kind").toString() == QStringLiteral("frame");
  const QJsonObject style = layout.value("style").toObject();
  resizable_ = style.value("resizable").toBool();

  top_ = std::make_unique<Surface>();
  top_->owner = this;
  if (frame_) Frame() = top_.get();
  top_->setAttribute(Qt::WA_DeleteOnClose, false);
  top_->setWindowTitle(layout.value("title").toString());

  const QJsonObject f = layout.value("font").toObject();
  font_ = QFont(FontFamilyFor(f.value("family").toString()));
  font_.setPointSize(f.value("size").toInt(8));
  font_.setWeight(f.value("weight").toString() == QStringLiteral("bold") ? QFont::Bold : QFont::Normal);
  top_->setFont(font_);
  // Dialog units: a quarter of the average character width, an eighth of the height.
  const QFontMetrics fm(font_);
  const int alphabet = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  unitX_ = std::max(1, (alphabet / 26 + 1) / 2);
  unitY_ = std::max(1, fm.height());

  // Only the decorations the layout gives: no close box without a system menu,
  // no title bar (and so no button on one) without a caption.
  systemMenu_ = style.value("systemMenu").toBool();
  Qt::WindowFlags flags = (frame_ ? Qt::Window : Qt::Dialog) | Qt::CustomizeWindowHint;
  if (style.value("caption").toBool(true)) {
    flags |= Qt::WindowTitleHint;
    if (systemMenu_) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint;
    if (style.value("maximizeBox").toBool()) flags |= Qt::WindowMaximizeButtonHint;
  } else {
    flags |= Qt::FramelessWindowHint;
  }
  top_->setWindowFlags(flags);
  if (!frame_) top_->setWindowModality(Qt::ApplicationModal);

  const QSize client(UnitsToPixelsX(layout.value("width").toInt()), UnitsToPixelsY(layout.value("height").toInt()));
  const QString colour = layout.value("color").toString();
  if (!colour.isEmpty()) top_->color = QColor(colour);


  if (frame_) {
    auto* box = new QVBoxLayout(top_.get());
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(0);
    const QJsonObject tb = layout.value("toolbar").toObject();
    if (!tb.isEmpty()) {
      auto* toolbar = new Surface(top_.get());
      toolbar->setObjectName(QStringLiteral("toolbar"));
      toolbar->setFixedHeight(UnitsToPixelsY(tb.value("height").toInt()));
      toolbar->color = QColor(tb.value("color").toString(QStringLiteral("#FFFFFF")));
      toolbar->wallpaper = LoadImage(tb.value("wallpaper").toString());
      box->addWidget(toolbar);
      BuildControls(tb.value("controls").toArray(), toolbar, -1, -1);
    }
    auto* area = new Surface(top_.get());
    area->setObjectName(QStringLiteral("client"));
    area->wallpaper = LoadImage(layout.value("wallpaper").toString());
    box->addWidget(area, 1);
    BuildControls(layout.value("controls").toArray(), area, 1, 1);
    top_->resize(client);
  } else {
    top_->wallpaper = LoadImage(layout.value("wallpaper").toString());
    BuildControls(layout.value("controls").toArray(), top_.get(), 1, 1);
    if (resizable_)
      top_->resize(client);
    else
      top_->setFixedSize(client);
  }
  for (auto& c : controls_)
    if (c.within) SizeText(c);
  // Panels and group boxes lie behind the other controls.
  for (auto& c : controls_)
    if (c.widget && (c.kind == ui::KIND_Panel || c.kind == ui::KIND_Group)) c.widget->lower();
  ShowVariables(0, 0);
}

QtWindow::~QtWindow() { Close(); }

int QtWindow::UnitsToPixelsX(int units) const { return LayoutUnits{unitX_, unitY_}.ToPixelsX(units); }
int QtWindow::UnitsToPixelsY(int units) const { return LayoutUnits{unitX_, unitY_}.ToPixelsY(units); }

void QtWindow::BuildControls(const QJsonArray& controls, QWidget* parent, int firstNumber, int step) {
  auto registered = [](const std::string& kind) {
    const QtWindowLayer* layer = InstalledQtLayer();
    return layer && layer->IsKindRegistered(kind);
  };
  const size_t first = controls_.size();
  qt::BuildControls(controls, parent, firstNumber, step, {{unitX_, unitY_}, frame_, &bindings_, registered}, controls_);
  for (size_t i = first; i < controls_.size(); ++i) Connect(controls_[i]);
}

// A button reports its press; an entry stores each change in its variable.
void QtWindow::Connect(const Control& ctl) {
  const int number = ctl.number;
  if (ctl.kind == ui::KIND_Button) {
    auto* b = qobject_cast<QPushButton*>(ctl.widget.data());
    QObject::connect(b, &QPushButton::clicked, b, [this, number] { Pressed(number); });
  } else if (ctl.kind == ui::KIND_Entry) {
    auto* e = qobject_cast<QLineEdit*>(ctl.widget.data());
    const Control snapshot = ctl;
    QObject::connect(e, &QLineEdit::textChanged, e, [this, snapshot](const QString& t) { StoreVariable(snapshot, t); });
  }
}

void QtWindow::SizeText(Control& ctl) {
  auto* l = qobject_cast<QLabel*>(ctl.widget.data());
  if (!l) return;
  l->adjustSize();
  const Control* group = ctl.within ? Find(ctl.within) : nullptr;
  if (!group || !group->widget) return;
  // Up to the group's inner right edge: its frame's width from the edge.
  const QRect box = group->widget->geometry();
  const int limit = box.right() - 3 - l->x();
  if (l->width() > limit) l->resize(std::max(0, limit), l->height());
}

Control* QtWindow::Find(int number) {
  for (auto& c : controls_)
    if (c.number == number) return &c;
  return nullptr;
}

QWidget* QtWindow::ControlWidget(int number) const {
  for (const auto& c : controls_)
    if (c.number == number) return c.widget;
  return nullptr;
}

bool QtWindow::HasButtons() const {
  return std::any_of(controls_.begin(), controls_.end(), [](const Control& c) { return c.kind == ui::KIND_Button; });
}

void QtWindow::Pressed(int number) {
  Control* c = Find(number);
  if (!c) return;
  if (c->acceptFirst) {
    PostEvent({ui::EVENT_Accepted, number});
    RequestClose();
  } else if (c->stdClose) {
    RequestClose();
  } else {
    PostEvent({ui::EVENT_Accepted, number});
  }
}

void QtWindow::PressDefault() {
  for (auto& c : controls_)
    if (c.isDefault && c.widget && c.widget->isEnabled())
      if (auto* b = qobject_cast<QAbstractButton*>(c.widget.data())) {
        b->click();
        return;
      }
}

void QtWindow::CloseRequested() {
  if (!systemMenu_ && !frame_) {
    for (auto& c : controls_)
      if (c.isCancel && c.widget && c.widget->isEnabled())
        if (auto* b = qobject_cast<QAbstractButton*>(c.widget.data())) {
          b->click();
          return;
        }
  }
  RequestClose();
}

void QtWindow::StoreVariable(const Control& ctl, const QString& text) {
  if (!ctl.var.data || ctl.var.size == 0) return;
  AssignCString(ctl.var.data, ctl.var.size, EncodeText(text, ctl.var.lost));
}

void QtWindow::ShowVariables(int first, int last) {
  for (auto& c : controls_) {
    if (!c.bound || !c.widget || !c.var.data) continue;
    if (first != 0 && (c.number < first || c.number > (last ? last : first))) continue;
    auto* e = qobject_cast<QLineEdit*>(c.widget.data());
    const QString value = DecodeText(CStringValue(c.var.data, c.var.size));
    if (e && e->text() != value) {
      const QSignalBlocker block(e);
      e->setText(value);
      if (c.var.lost) *c.var.lost = false;
    }
  }
}

void QtWindow::Open() {
  if (open_ || !top_) return;
  open_ = true;
  showPending_ = true;
  ShowVariables(0, 0);
  // Shown once the event loop turns, should no loop of this window run first.
  QTimer::singleShot(0, top_.get(), [this] { ShowPending(); });
  PostEvent({ui::EVENT_OpenWindow, 0});
}

void QtWindow::ShowPending() {
  if (!showPending_ || !open_ || !top_) return;
  showPending_ = false;
  exposureAwaited_ = false;
  if (!frame_ && Frame() && Frame() != top_.get()) {
    top_->winId();  // the native window, to name the frame as the one it belongs to
    if (QWindow* handle = top_->windowHandle()) handle->setTransientParent(Frame()->windowHandle());
  }
  top_->show();
  top_->activateWindow();
  // A place set, or the frame at the window system's place (which may be a
  // screen too small for its layout's size): fitted to the screen once the
  // window manager's frame around it is known.
  if ((placed_ || frame_) && State() == ui::WindowState::Normal) {
    AwaitExposure();
    FitOnScreen();
  }
}

void QtWindow::Close() {
  const bool wasOpen = open_;
  open_ = false;
  if (top_) {
    top_->owner = nullptr;
    top_->hide();
    top_.reset();
  }
  controls_.clear();
  queue_.clear();
  if (wasOpen && waiting_) waiting_->quit();
}

void QtWindow::PostEvent(const ui::Event& ev) {
  queue_.push_back(ev);
  if (waiting_) waiting_->quit();
}

void QtWindow::RequestClose() { PostEvent({ui::EVENT_CloseWindow, 0}); }

void QtWindow::RunAcceptLoop(const std::function<void(const ui::Event&)>& body) {
  struct Restore {
    ui::Event saved;
    ~Restore() { ui::SetCurrentEvent(saved); }
  } restore{{ui::CurrentEvent(), ui::AcceptedControl()}};

  ShowPending();
  while (open_) {
    if (queue_.empty()) {
      QEventLoop loop;
      waiting_ = &loop;
      loop.exec();
      waiting_ = nullptr;
      continue;
    }
    const ui::Event ev = queue_.front();
    queue_.pop_front();
    ui::SetCurrentEvent(ev);
    body(ev);
    ui::SetCurrentEvent({});
    if (!open_) break;
    // Default handling: a close request that the body let through closes the
    // window; the object stays until Close, so its place can still be read.
    if (ev.event == ui::EVENT_CloseWindow || ev.event == ui::EVENT_CloseDown) {
      open_ = false;
      queue_.clear();
      if (top_) top_->hide();
      break;
    }
    ShowVariables(0, 0);
  }
}

std::string QtWindow::GetProperty(int control, int prop) {
  if (!top_) return {};
  if (control == 0) return prop == ui::PROP_Text ? EncodeText(top_->windowTitle()) : std::string();
  Control* c = Find(control);
  if (!c || !c->widget) return {};
  QWidget* w = c->widget;
  switch (prop) {
    case ui::PROP_Text:
      if (auto* l = qobject_cast<QLabel*>(w)) return EncodeText(l->text());
      if (auto* b = qobject_cast<QAbstractButton*>(w)) return EncodeText(b->text());
      if (auto* e = qobject_cast<QLineEdit*>(w)) return EncodeText(e->text());
      if (auto* g = qobject_cast<QGroupBox*>(w)) return EncodeText(g->title());
      return {};
    case ui::PROP_RangeHigh:
      if (auto* p = qobject_cast<QProgressBar*>(w)) return std::to_string(p->maximum());
      return {};
    case ui::PROP_Progress:
      if (auto* p = qobject_cast<QProgressBar*>(w)) return std::to_string(p->value());
      return {};
    default:
      return {};
  }
}

void QtWindow::SetProperty(int control, int prop, const std::string& value) {
  if (!top_) return;
  const QString text = DecodeText(value);
  if (control == 0) {
    if (prop == ui::PROP_Text) top_->setWindowTitle(text);
    return;
  }
  Control* c = Find(control);
  if (!c || !c->widget) return;
  QWidget* w = c->widget;
  switch (prop) {
    case ui::PROP_Text:
      if (auto* l = qobject_cast<QLabel*>(w)) {
        l->setText(text);
        SizeText(*c);  // a text control's size follows its content
      } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        b->setText(text);
      } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
        e->setText(text);
      } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
        g->setTitle(text);
      }
      break;
    case ui::PROP_RangeHigh:
      if (auto* p = qobject_cast<QProgressBar*>(w)) {
        bool ok = false;
        const int high = text.trimmed().toInt(&ok);
        if (ok) p->setMaximum(high);
      }
      break;
    case ui::PROP_Progress:
      if (auto* p = qobject_cast<QProgressBar*>(w)) {
        bool ok = false;
        const int v = text.trimmed().toInt(&ok);
        if (ok) p->setValue(std::clamp(v, p->minimum(), p->maximum()));
      }
      break;
    default:
      break;
  }
}

// A window just shown is painted only once the window system reports it exposed,
// which arrives as an event: a caller busy since the window opened would get
// nothing on the screen until it is done. Lets that report in (input excluded),
// waiting only once per show: a window that stays unexposed (minimised, on another
// desktop) must not slow every later redraw of a busy caller.
void QtWindow::AwaitExposure() {
  QWindow* handle = top_ ? top_->windowHandle() : nullptr;
  if (!handle || handle->isExposed()) return;
  if (exposureAwaited_) {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    return;
  }
  exposureAwaited_ = true;
  QElapsedTimer waited;
  waited.start();
  do QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
  while (!handle->isExposed() && top_ && top_->isVisible() && waited.elapsed() < 500);
}

void QtWindow::RedrawControls(int first, int last) {
  ShowPending();
  ShowVariables(first, last);
  // Drawn at once: the caller may be busy for long before the loop runs again.
  const bool visible = top_ && top_->isVisible();
  if (visible) AwaitExposure();
  for (auto& c : controls_)
    if (c.widget && (first == 0 || (c.number >= first && c.number <= (last ? last : first)))) {
      if (visible)
        c.widget->repaint();
      else
        c.widget->update();
    }
}

void QtWindow::RefreshNow() {
  ShowPending();
  if (!top_ || !top_->isVisible()) return;
  AwaitExposure();
  if (top_ && top_->isVisible()) top_->repaint();
}

void QtWindow::SelectControl(int control) {
  // The first control from the given one on that can take the focus.
  bool reached = false;
  for (auto& c : controls_) {
    if (c.number == control) reached = true;
    if (!reached || !c.widget) continue;
    if (c.kind == ui::KIND_Entry || c.kind == ui::KIND_Button) {
      c.widget->setFocus(Qt::OtherFocusReason);
      return;
    }
  }
}

std::string QtWindow::Title() const { return top_ ? EncodeText(top_->windowTitle()) : std::string(); }

// The place is the window's outer top-left corner (its frame's, under a window
// manager) and the size is its client area's, both as the window is put back:
// a place read is a place that SetGeometry restores unchanged.
ui::Geometry QtWindow::GetGeometry() const {
  if (!top_) return {};
  const QPoint pos = top_->pos();
  const QSize size = top_->size();
  auto toX = [this](int px) { return (px * 4 + unitX_ / 2) / unitX_; };
  auto toY = [this](int px) { return (px * 8 + unitY_ / 2) / unitY_; };
  return {toX(pos.x()), toY(pos.y()), toX(size.width()), toY(size.height())};
}

namespace {
// Layout units to pixels without overflow, for values read from a file.
int UnitsToPixels(int64_t units, int unit, int per) {
  const int64_t px = (units * unit + per / 2) / per;
  return static_cast<int>(std::clamp<int64_t>(px, -1000000, 1000000));
}

// The top-left corner nearest to pos at which a window of the outer size lies
// within the area, up to its last pixel; a window larger than the area keeps to
// its left and top.
QPoint PlaceWithin(const QRect& area, const QPoint& pos, const QSize& outer) {
  return {std::clamp(pos.x(), area.left(), std::max(area.left(), area.right() + 1 - outer.width())),
          std::clamp(pos.y(), area.top(), std::max(area.top(), area.bottom() + 1 - outer.height()))};
}
}  // namespace

void QtWindow::SetGeometry(const ui::Geometry& g, bool withSize) {
  if (!top_) return;
  QSize size = top_->size();
  if (withSize && resizable_) size = QSize(UnitsToPixels(g.width, unitX_, 4), UnitsToPixels(g.height, unitY_, 8));
  QPoint pos(UnitsToPixels(g.x, unitX_, 4), UnitsToPixels(g.y, unitY_, 8));
  // Kept on a screen: the one it overlaps most, else the primary one; a window
  // larger than the screen gets the screen's size.
  QScreen* screen = QGuiApplication::primaryScreen();
  int64_t best = 0;
  for (QScreen* sc : QGuiApplication::screens()) {
    const QRect overlap = sc->availableGeometry().intersected(QRect(pos, size));
    const int64_t area = int64_t(overlap.width()) * overlap.height();
    if (!overlap.isEmpty() && area > best) {
      best = area;
      screen = sc;
    }
  }
  if (screen) {
    const QRect avail = screen->availableGeometry();
    if (resizable_) size = size.boundedTo(avail.size()).expandedTo(top_->minimumSize());
    pos = PlaceWithin(avail, pos, size);
  }
  if (resizable_) top_->resize(size);
  top_->move(pos);
  placed_ = true;
  if (top_->isVisible()) FitOnScreen();
}

// Moves (and for a resizable window shrinks) the window so that its frame lies
// within the available area of the screen it is on.
void QtWindow::FitOnScreen() {
  if (!top_ || !top_->isVisible()) return;
  const QRect frame = top_->frameGeometry();
  QScreen* screen = top_->screen();
  if (!screen) return;
  const QRect avail = screen->availableGeometry();
  if (avail.contains(frame)) return;
  const QSize margins = frame.size() - top_->size();
  QSize size = top_->size();
  if (resizable_) size = size.boundedTo(avail.size() - margins).expandedTo(top_->minimumSize());
  if (resizable_) top_->resize(size);
  top_->move(PlaceWithin(avail, frame.topLeft(), size + margins));
}

ui::WindowState QtWindow::State() const {
  if (!top_) return ui::WindowState::Normal;
  const Qt::WindowStates s = top_->windowState();
  if (s & Qt::WindowMinimized) return ui::WindowState::Minimized;
  if (s & Qt::WindowMaximized) return ui::WindowState::Maximized;
  return ui::WindowState::Normal;
}

void QtWindow::SetState(ui::WindowState s) {
  if (!top_) return;
  switch (s) {
    case ui::WindowState::Maximized:
      top_->setWindowState((top_->windowState() & ~Qt::WindowMinimized) | Qt::WindowMaximized);
      break;
    case ui::WindowState::Minimized:
      top_->setWindowState(top_->windowState() | Qt::WindowMinimized);
      break;
    case ui::WindowState::Normal:
      top_->setWindowState(top_->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
      break;
  }
}

}  // namespace rt::qt
