// Window layouts to widgets: layouts and images from the resources, entries
// bound by name, and the widget of each control kind.
#include "runtime/qt/qt_layout.h"

#include <QFile>
#include <QFontDatabase>
#include <QFrame>
#include <QGroupBox>
#include <QJsonDocument>
#include <QLineEdit>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>

#include <algorithm>
#include <set>
#include <stdexcept>

namespace rt::qt {
namespace ui = rt::ui;

namespace {

int PictureLength(const QString& picture) {
  // "@s50" and the like: the number of characters the entry holds.
  QString digits;
  for (QChar ch : picture)
    if (ch.isDigit()) digits.append(ch);
  return digits.isEmpty() ? 0 : digits.toInt();
}

void ForEachControl(const QJsonObject& layout, const std::function<void(const QJsonObject&)>& fn) {
  for (const auto& v : layout.value("controls").toArray()) fn(v.toObject());
  for (const auto& v : layout.value("toolbar").toObject().value("controls").toArray()) fn(v.toObject());
}

QWidget* MakeControl(const QJsonObject& c, QWidget* parent, const ControlBuild& how, Control& ctl) {
  const QString kind = QString::fromStdString(ctl.kind);
  const QString text = c.value("text").toString();
  const bool sized = c.contains("width") && c.contains("height");
  const QRect geo(how.units.ToPixelsX(c.value("x").toInt()), how.units.ToPixelsY(c.value("y").toInt()),
                  how.units.ToPixelsX(c.value("width").toInt()), how.units.ToPixelsY(c.value("height").toInt()));
  QWidget* w = nullptr;

  if (kind == ui::KIND_Button) {
    auto* b = new QPushButton(text, parent);
    b->setAutoDefault(true);  // Enter presses the focused button
    const QPixmap picture = LoadImage(c.value("picture").toString());
    if (!picture.isNull()) {
      b->setIcon(QIcon(picture));
      b->setIconSize(picture.size().scaled(geo.size() - QSize(6, 6), Qt::KeepAspectRatio));
    } else if (c.contains("icon")) {
      const QPixmap icon = LoadImage(c.value("icon").toString());
      b->setIcon(QIcon(icon));
      b->setIconSize(icon.size());
    }
    ctl.stdClose = c.value("std").toString() == QStringLiteral("close");
    ctl.acceptFirst = c.value("acceptFirst").toBool();
    ctl.isDefault = c.value("default").toBool();
    ctl.isCancel = c.value("cancel").toBool();
    b->setDefault(ctl.isDefault);
    w = b;
  } else if (kind == ui::KIND_Panel) {
    auto* f = new QFrame(parent);
    f->setFrameShape(QFrame::Panel);
    f->setFrameShadow(how.raisedPanels ? QFrame::Raised : QFrame::Sunken);
    w = f;
  } else if (kind == ui::KIND_Group) {
    auto* g = new QGroupBox(text, parent);
    w = g;
  } else if (kind == ui::KIND_Entry) {
    auto* e = new QLineEdit(parent);
    ctl.bound = true;
    ctl.var = how.bindings->at(ctl.label);
    int maxLen = PictureLength(c.value("picture").toString());
    if (ctl.var.size > 0) maxLen = maxLen > 0 ? std::min<int>(maxLen, static_cast<int>(ctl.var.size) - 1)
                                              : static_cast<int>(ctl.var.size) - 1;
    if (maxLen > 0) e->setMaxLength(maxLen);
    if (c.value("password").toBool()) e->setEchoMode(QLineEdit::Password);
    w = e;
  } else if (kind == ui::KIND_Prompt || kind == ui::KIND_String) {
    auto* l = new TextLabel(text, parent);
    ctl.within = c.value("within").toInt(0);
    l->setTextFormat(Qt::PlainText);
    l->setAutoFillBackground(c.contains("within"));
    w = l;
  } else if (kind == ui::KIND_Image) {
    auto* l = new QLabel(parent);
    l->setPixmap(LoadImage(c.value("picture").toString()));
    w = l;
  } else if (kind == ui::KIND_Progress) {
    auto* p = new QProgressBar(parent);
    p->setRange(c.value("rangeLow").toInt(0), c.value("rangeHigh").toInt(100));
    p->setValue(p->minimum());
    p->setTextVisible(false);
    w = p;
  } else {
    throw std::logic_error("unknown control kind: " + ctl.kind);
  }

  if (sized) {
    w->setGeometry(geo);
  } else {
    w->adjustSize();
    w->move(geo.topLeft());
  }
  return w;
}

}  // namespace

QString ImageResourcePath(const QString& name) {
  if (name.startsWith(QStringLiteral("stock:"))) return QStringLiteral(":/images/stock-") + name.mid(6) + ".png";
  QString base = name;
  const qsizetype cut = std::max(base.lastIndexOf('\\'), base.lastIndexOf('/'));
  if (cut >= 0) base = base.mid(cut + 1);
  const qsizetype dot = base.lastIndexOf('.');
  if (dot > 0) base = base.left(dot);
  return QStringLiteral(":/images/") + base.toLower() + ".png";
}

QString FontFamilyFor(const QString& family) {
  if (QFontDatabase::families().contains(family, Qt::CaseInsensitive)) return family;
  return QStringLiteral("Liberation Sans");
}

QJsonObject LoadLayout(std::string_view moduleKey, std::string_view label) {
  const QString path = QStringLiteral(":/layouts/") + DecodeText(moduleKey) + "/" + DecodeText(label);
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly))
    throw std::logic_error("window layout not found: " + std::string(moduleKey) + " " + std::string(label));
  QJsonParseError err{};
  const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &err);
  if (err.error != QJsonParseError::NoError || !doc.isObject())
    throw std::logic_error("window layout unreadable: " + std::string(label));
  return doc.object();
}

QPixmap LoadImage(const QString& name) {
  if (name.isEmpty()) return {};
  QPixmap pm(ImageResourcePath(name));
  return pm;
}

void TextLabel::paintEvent(QPaintEvent* ev) {
  if (!pixmap().isNull()) return QLabel::paintEvent(ev);
  QPainter p(this);
  const QRect area = contentsRect();
  const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, area.width());
  style()->drawItemText(&p, area, static_cast<int>(alignment()), palette(), isEnabled(), shown, foregroundRole());
}

// Each entry's variable, by the entry's label: the variable that the entry's
// "use" names. A layout and a program that disagree on the names fail here,
// before anything is built, rather than an entry editing another variable.
std::map<std::string, ui::BoundVar> BindEntries(const QJsonObject& layout, const std::vector<ui::BoundVar>& vars) {
  const std::string window = layout.value("label").toString().toStdString();
  auto fail = [&](const std::string& why) { throw std::logic_error("window layout " + window + ": " + why); };
  std::map<std::string, ui::BoundVar> bound;
  std::set<std::string_view> named;
  ForEachControl(layout, [&](const QJsonObject& c) {
    const std::string label = c.value("label").toString().toStdString();
    const bool entry = c.value("kind").toString() == QLatin1String(ui::KIND_Entry);
    if (!c.contains("use")) {
      if (entry) fail("entry " + label + " names no variable");
      return;
    }
    const std::string use = c.value("use").toString().toStdString();
    if (!entry) fail(label + " is no entry but names the variable " + use);
    const auto var = std::find_if(vars.begin(), vars.end(), [&](const ui::BoundVar& v) { return v.name == use; });
    if (var == vars.end()) fail("entry " + label + " edits " + use + ", which is not bound");
    if (!named.insert(var->name).second) fail("two entries edit " + use);
    bound[label] = *var;
  });
  for (const ui::BoundVar& v : vars)
    if (!named.count(v.name)) fail(std::string(v.name) + " is bound, but no entry edits it");
  return bound;
}

void BuildControls(const QJsonArray& controls, QWidget* parent, int firstNumber, int step, const ControlBuild& how,
                   std::vector<Control>& out) {
  int expected = firstNumber;
  for (const auto& v : controls) {
    const QJsonObject c = v.toObject();
    Control ctl;
    ctl.number = c.value("number").toInt(expected);
    if (ctl.number != expected) throw std::logic_error("window layout: controls out of order");
    expected += step;
    ctl.label = c.value("label").toString().toStdString();
    ctl.kind = c.value("kind").toString().toStdString();
    if (!how.kindRegistered || !how.kindRegistered(ctl.kind))
      throw std::logic_error("control kind not registered: " + ctl.kind);
    ctl.widget = MakeControl(c, parent, how, ctl);
    ctl.widget->setObjectName(QString::fromStdString(ctl.label));
    ctl.widget->setProperty("controlNumber", ctl.number);
    out.push_back(std::move(ctl));
  }
}

}  // namespace rt::qt
