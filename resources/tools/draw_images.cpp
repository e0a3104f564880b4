// Draws the program's images into resources/images. Run once after a change:
//   g++ -std=c++20 -fPIC draw_images.cpp $(pkg-config --cflags --libs Qt6Widgets) -o /tmp/draw_images
//   QT_QPA_PLATFORM=offscreen /tmp/draw_images <resources/images>
#include <QApplication>
#include <QFont>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>
#include <cstdio>

namespace {

QString g_dir;

void Save(const QImage& img, const char* name) {
  const QString path = g_dir + "/" + name;
  if (!img.save(path, "PNG")) std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
}

QImage Canvas(int w, int h) {
  QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  return img;
}

// A database drum: stacked cylinder with a top ellipse.
void Drum(QPainter& p, QRectF r, QColor body) {
  const qreal eh = r.height() * 0.28;
  QLinearGradient g(r.topLeft(), r.topRight());
  g.setColorAt(0, body.lighter(135));
  g.setColorAt(0.45, body);
  g.setColorAt(1, body.darker(150));
  QPainterPath path;
  path.moveTo(r.left(), r.top() + eh / 2);
  path.lineTo(r.left(), r.bottom() - eh / 2);
  path.arcTo(QRectF(r.left(), r.bottom() - eh, r.width(), eh), 180, 180);
  path.lineTo(r.right(), r.top() + eh / 2);
  path.arcTo(QRectF(r.left(), r.top(), r.width(), eh), 0, -180);
  p.setPen(QPen(body.darker(200), 1));
  p.setBrush(g);
  p.drawPath(path);
  p.setBrush(Qt::NoBrush);
  for (int i = 1; i <= 2; ++i) {
    const qreal y = r.top() + (r.height() - eh) * i / 3;
    p.drawArc(QRectF(r.left(), y, r.width(), eh), 180 * 16, 180 * 16);
  }
  p.setBrush(body.lighter(160));
  p.drawEllipse(QRectF(r.left(), r.top(), r.width(), eh));
}

void Wallpaper() {
  const int w = 1024, h = 640;
  QImage img(w, h, QImage::Format_RGB32);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient bg(0, 0, 0, h);
  bg.setColorAt(0, QColor(0xF4, 0xF7, 0xFB));
  bg.setColorAt(1, QColor(0xC9, 0xD7, 0xE8));
  p.fillRect(img.rect(), bg);
  // A faint globe in the lower right.
  const QPointF c(w * 0.74, h * 0.60);
  const qreal r = h * 0.36;
  QRadialGradient glow(c, r * 1.3);
  glow.setColorAt(0, QColor(255, 255, 255, 150));
  glow.setColorAt(1, QColor(255, 255, 255, 0));
  p.setPen(Qt::NoPen);
  p.setBrush(glow);
  p.drawEllipse(c, r * 1.3, r * 1.3);
  p.setPen(QPen(QColor(0x7A, 0x9C, 0xC6, 90), 2));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(c, r, r);
  for (int i = 1; i < 6; ++i) {
    const qreal rx = r * std::cos(i * M_PI / 12.0);
    p.drawEllipse(c, rx, r);
  }
  for (int i = -2; i <= 2; ++i) {
    const qreal y = c.y() + r * i / 3.0;
    const qreal half = std::sqrt(std::max(0.0, r * r - (y - c.y()) * (y - c.y())));
    p.drawLine(QPointF(c.x() - half, y), QPointF(c.x() + half, y));
  }
  // Lettering in the upper left.
  QFont f("Liberation Sans", 34, QFont::Bold);
  p.setFont(f);
  p.setPen(QColor(0x2B, 0x4C, 0x7E, 200));
  p.drawText(QPointF(48, 110), "Quorvex");
  QFont f2("Liberation Sans", 16);
  p.setFont(f2);
  p.setPen(QColor(0x3D, 0x5A, 0x85, 190));
  p.drawText(QPointF(52, 146), QString::fromUtf8("Aduanas y comercio exterior"));
  p.setPen(QPen(QColor(0x2B, 0x4C, 0x7E, 120), 2));
  p.drawLine(QPointF(50, 162), QPointF(400, 162));
  p.end();
  Save(img, "aduanas-menu.png");
}

void ToolbarGradient() {
  const int w = 256, h = 72;
  QImage img(w, h, QImage::Format_RGB32);
  QPainter p(&img);
  QLinearGradient g(0, 0, 0, h);
  g.setColorAt(0, QColor(0xFF, 0xFF, 0xFF));
  g.setColorAt(0.55, QColor(0xEE, 0xF2, 0xF8));
  g.setColorAt(1, QColor(0xD6, 0xE0, 0xEE));
  p.fillRect(img.rect(), g);
  p.setPen(QColor(0xA9, 0xB8, 0xCC));
  p.drawLine(0, h - 1, w, h - 1);
  p.end();
  Save(img, "gradient.png");
}

void SchemaButton() {
  QImage img = Canvas(176, 48);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  Drum(p, QRectF(6, 6, 30, 36), QColor(0x3A, 0x78, 0xC2));
  // A small plus: a new schema.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x2E, 0x9D, 0x3F));
  p.drawEllipse(QRectF(26, 26, 18, 18));
  p.setBrush(Qt::white);
  p.drawRect(QRectF(33.5, 29, 3, 12));
  p.drawRect(QRectF(29, 33.5, 12, 3));
  QFont f("Liberation Sans", 11, QFont::Bold);
  p.setFont(f);
  p.setPen(QColor(0x1F, 0x3A, 0x60));
  p.drawText(QRectF(52, 0, 124, 48), Qt::AlignVCenter | Qt::AlignLeft, "Crear\nesquema");
  p.end();
  Save(img, "botonesquema.png");
}

void ExitButton() {
  QImage img = Canvas(72, 48);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  // Door frame and an open door.
  p.setPen(QPen(QColor(0x5B, 0x4A, 0x3A), 1.5));
  p.setBrush(QColor(0xF2, 0xEE, 0xE8));
  p.drawRect(QRectF(8, 6, 20, 34));
  QPolygonF door;
  door << QPointF(8, 6) << QPointF(20, 10) << QPointF(20, 44) << QPointF(8, 40);
  QLinearGradient g(8, 0, 20, 0);
  g.setColorAt(0, QColor(0xA8, 0x6B, 0x3C));
  g.setColorAt(1, QColor(0x7A, 0x4A, 0x26));
  p.setBrush(g);
  p.drawPolygon(door);
  p.setBrush(QColor(0xF0, 0xC0, 0x40));
  p.drawEllipse(QRectF(16.5, 24, 2.5, 2.5));
  // Arrow out.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xC6, 0x2F, 0x2F));
  QPolygonF arrow;
  arrow << QPointF(30, 20) << QPointF(38, 20) << QPointF(38, 15) << QPointF(47, 23) << QPointF(38, 31)
        << QPointF(38, 26) << QPointF(30, 26);
  p.drawPolygon(arrow);
  QFont f("Liberation Sans", 9, QFont::Bold);
  p.setFont(f);
  p.setPen(QColor(0x1F, 0x3A, 0x60));
  p.drawText(QRectF(28, 30, 44, 16), Qt::AlignCenter, "Salir");
  p.end();
  Save(img, "salir01.png");
}

void ConnectBackground() {
  const int w = 400, h = 240;
  QImage img(w, h, QImage::Format_RGB32);
  QPainter p(&img);
  QLinearGradient g(0, 0, w, h);
  g.setColorAt(0, QColor(0xD4, 0xD4, 0xD4));
  g.setColorAt(1, QColor(0xB8, 0xBC, 0xC4));
  p.fillRect(img.rect(), g);
  p.setPen(QColor(255, 255, 255, 28));
  for (int x = -h; x < w; x += 6) p.drawLine(x, h, x + h, 0);
  p.end();
  Save(img, "back.png");
}

void ProgressIcon() {
  QImage img = Canvas(32, 32);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  Drum(p, QRectF(2, 3, 17, 22), QColor(0x8A, 0x95, 0xA5));
  Drum(p, QRectF(12, 8, 17, 22), QColor(0xC2, 0x3B, 0x2F));
  p.end();
  Save(img, "ora_copy.png");
}

void Tick() {
  QImage img = Canvas(16, 16);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  QPen pen(QColor(0x1E, 0x8C, 0x2E), 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  p.setPen(pen);
  QPolygonF t;
  t << QPointF(2.5, 8.5) << QPointF(6.2, 12.2) << QPointF(13.5, 3.8);
  p.drawPolyline(t);
  p.end();
  Save(img, "stock-tick.png");
}

void Cross() {
  QImage img = Canvas(16, 16);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  QPen pen(QColor(0xC6, 0x28, 0x28), 2.6, Qt::SolidLine, Qt::RoundCap);
  p.setPen(pen);
  p.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
  p.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
  p.end();
  Save(img, "stock-cross.png");
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  g_dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
  Wallpaper();
  ToolbarGradient();
  SchemaButton();
  ExitButton();
  ConnectBackground();
  ProgressIcon();
  Tick();
  Cross();
  return 0;
}
