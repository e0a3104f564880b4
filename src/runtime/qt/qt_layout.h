// Window layouts to widgets: a layout read from the program's resources, its
// entries bound to the program's variables by name, and one widget per control
// placed in layout units. The window connects the controls' signals.
#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QPixmap>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/qt/qt_text.h"
#include "runtime/ui/ui.h"

namespace rt::qt {

// The resource that holds a layout's image: "C:\dir\Name.BMP" -> ":/images/name.png";
// "stock:tick" -> ":/images/stock-tick.png".
QString ImageResourcePath(const QString& name);
// The face used for a layout's font: the family itself when installed, else Liberation Sans.
QString FontFamilyFor(const QString& family);
// The layout of a window among the program's resources; throws when missing or unreadable.
QJsonObject LoadLayout(std::string_view moduleKey, std::string_view label);
// A layout's image by its name in the layout; a null picture for "".
QPixmap LoadImage(const QString& name);

// A text control: shows its text cut with an ellipsis when its width is limited
// (text() stays whole).
class TextLabel : public QLabel {
 public:
  using QLabel::QLabel;

 protected:
  void paintEvent(QPaintEvent* ev) override;
};

// One control of a window as built from its layout.
struct Control {
  int number = 0;
  std::string label;
  std::string kind;
  QPointer<QWidget> widget;
  rt::ui::BoundVar var;
  bool bound = false;
  bool stdClose = false;
  bool acceptFirst = false;
  bool isDefault = false;
  bool isCancel = false;
  int within = 0;  // the group the control lies in
};

// Layout units of a window's font: a quarter of the average character width
// and an eighth of the character height.
struct LayoutUnits {
  int charWidth = 6, charHeight = 13;  // in pixels
  int ToPixelsX(int units) const { return (units * charWidth + 2) / 4; }
  int ToPixelsY(int units) const { return (units * charHeight + 4) / 8; }
};

// What building a window's controls takes from the window.
struct ControlBuild {
  LayoutUnits units;
  bool raisedPanels = false;  // a frame's panels stand out, a dialog's are sunken
  const std::map<std::string, rt::ui::BoundVar>* bindings = nullptr;  // from BindEntries
  std::function<bool(const std::string& kind)> kindRegistered;
};

// Each entry's variable, by the entry's label: the variable that the entry's
// "use" names. A layout and a program that disagree on the names fail here
// (std::logic_error), before anything is built, rather than an entry editing
// another variable.
std::map<std::string, rt::ui::BoundVar> BindEntries(const QJsonObject& layout,
                                                    const std::vector<rt::ui::BoundVar>& vars);

// Builds one list of a layout's controls on parent, numbered from firstNumber
// by step, and appends them to out. Controls out of order and kinds not
// registered throw std::logic_error.
void BuildControls(const QJsonArray& controls, QWidget* parent, int firstNumber, int step, const ControlBuild& how,
                   std::vector<Control>& out);

}  // namespace rt::qt
