// Writes a picture of each window to <build>/pictures for a reviewer to look at.
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QMessageBox>
#include <QPixmap>

#include <cstdlib>
#include <cstring>

#include "runtime/qt/qt_window.h"
#include "ui/ui_support.h"

namespace {
namespace ui = rt::ui;

QString PicturesDir() {
  const char* bin = std::getenv("ORTAVIA_BINARY_DIR");
  QDir dir(QString::fromLocal8Bit(bin ? bin : "."));  // ctest runs in the build folder
  dir.mkpath("pictures");
  return dir.filePath("pictures");
}

void Save(QWidget* w, const char* name) {
  QApplication::processEvents();
  const QPixmap pm = w->grab();
  const QString path = PicturesDir() + "/" + name;
  EXPECT_FALSE(pm.isNull()) << name;
  EXPECT_TRUE(pm.save(path, "PNG")) << path.toStdString();
  // The file read back shows the window: its size, and more than one colour.
  const QImage image(path);
  ASSERT_FALSE(image.isNull()) << name;
  EXPECT_EQ(image.size(), w->size() * w->devicePixelRatio()) << name;
  const QRgb first = image.pixel(0, 0);
  bool shaded = false;
  for (int y = 0; y < image.height() && !shaded; ++y)
    for (int x = 0; x < image.width() && !shaded; ++x) shaded = image.pixel(x, y) != first;
  EXPECT_TRUE(shaded) << name << " is one colour";
}

QWidget* Top(ui::Window& w) { return dynamic_cast<rt::qt::QtWindow&>(w).Widget(); }

TEST(Pictures, EachWindowIsWrittenAsPng) {
  {
    auto frame = ui::Layer().BuildWindow("Ortavia$Ortav001", "P1$APPFRAME", {}, true);
    frame->Open();
    Save(Top(*frame), "frame.png");
  }
  {
    char server[51] = "SRVADUANA\\SQL2008", dbServer[51] = "QuorvexSys", dbData[51] = "QuorvexDatos",
         usuario[51] = "admin", pwd[21] = "secreto";
    auto w = ui::Layer().BuildWindow("Ortavia$Ortav003", "P1$WINDOW",
                                     {{"SERVER", server, 51}, {"DB_SERVER", dbServer, 51}, {"DB_DATA", dbData, 51},
                                      {"USUARIO", usuario, 51}, {"PWD", pwd, 21}},
                                     false);
    w->Open();
    Save(Top(*w), "connect.png");
  }
  {
    auto w = ui::Layer().BuildWindow("Ortavia$Ortav004", "P1$WIN_CREA", {}, false);
    w->Open();
    w->SetProperty(2, ui::PROP_RangeHigh, "333");
    w->SetProperty(2, ui::PROP_Progress, "120");
    w->SetProperty(4, ui::PROP_Text, "Creando archivo: PASOS_ENSAMBLE_PRODUCCION ");
    Save(Top(*w), "progress.png");
  }
  testsupport::When([] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr; }, [] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    Save(box, "message.png");
    box->button(QMessageBox::Ok)->click();
  });
  ui::Layer().ShowMessageBox("No se pudo iniciar creaci\xF3n de bases de datos. Datos faltantes", "Error",
                             ui::ICON_Exclamation, ui::BUTTON_OK, ui::BUTTON_OK, 0);
  for (const char* name : {"frame.png", "connect.png", "progress.png", "message.png"})
    EXPECT_FALSE(QPixmap(PicturesDir() + "/" + name).isNull()) << name;
}

}  // namespace
