// Draws the monitors' pictures: tray icons, state pictures, toner pictures
// and the window icon. Run at build time; the resource collection compiles
// its output into the programs.
//
//   gen_artwork <output-dir>
//
// Everything is drawn from shapes only, so no font is needed and the result
// is the same on every build machine.
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QString>

#include <cstdio>

namespace {

// The state picture label is 71 x 71.
constexpr int kStatePictureSize = 71;

QImage canvas(int w, int h, const QColor& fill = Qt::transparent) {
  QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
  img.fill(fill);
  return img;
}

void antialias(QPainter& p) {
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setRenderHint(QPainter::SmoothPixmapTransform, true);
}

QPainterPath heartPath(const QRectF& r) {
  // Two lobes and a point, in a 100 x 100 box scaled to r.
  QPainterPath path;
  path.moveTo(50, 92);
  path.cubicTo(20, 70, 2, 52, 4, 32);
  path.cubicTo(6, 12, 22, 4, 34, 6);
  path.cubicTo(42, 7, 48, 12, 50, 20);
  path.cubicTo(52, 12, 58, 7, 66, 6);
  path.cubicTo(78, 4, 94, 12, 96, 32);
  path.cubicTo(98, 52, 80, 70, 50, 92);
  path.closeSubpath();
  QTransform t;
  t.translate(r.x(), r.y());
  t.scale(r.width() / 100.0, r.height() / 100.0);
  return t.map(path);
}

// A white exclamation mark centred at (cx, cy), total height h.
void exclamation(QPainter& p, double cx, double cy, double h, const QColor& c) {
  p.setPen(Qt::NoPen);
  p.setBrush(c);
  const double w = h * 0.2;
  QPainterPath bar;
  bar.moveTo(cx - w * 0.6, cy - h / 2);
  bar.lineTo(cx + w * 0.6, cy - h / 2);
  bar.lineTo(cx + w * 0.35, cy + h * 0.18);
  bar.lineTo(cx - w * 0.35, cy + h * 0.18);
  bar.closeSubpath();
  p.drawPath(bar);
  p.drawEllipse(QPointF(cx, cy + h * 0.4), w * 0.55, w * 0.55);
}

// A cross of two thick strokes centred at (cx, cy) with half size s.
void cross(QPainter& p, double cx, double cy, double s, double width, const QColor& c) {
  QPen pen(c, width, Qt::SolidLine, Qt::RoundCap);
  p.setPen(pen);
  p.setBrush(Qt::NoBrush);
  p.drawLine(QPointF(cx - s, cy - s), QPointF(cx + s, cy + s));
  p.drawLine(QPointF(cx - s, cy + s), QPointF(cx + s, cy - s));
}

void tick(QPainter& p, double cx, double cy, double s, double width, const QColor& c) {
  QPen pen(c, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  p.setPen(pen);
  p.setBrush(Qt::NoBrush);
  QPainterPath path;
  path.moveTo(cx - s, cy);
  path.lineTo(cx - s * 0.3, cy + s * 0.7);
  path.lineTo(cx + s, cy - s * 0.7);
  p.drawPath(path);
}

void question(QPainter& p, double cx, double cy, double h, const QColor& c, double width) {
  QPen pen(c, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  p.setPen(pen);
  p.setBrush(Qt::NoBrush);
  const double r = h * 0.22;
  QPainterPath path;
  const QRectF arc(cx - r, cy - h / 2, 2 * r, 2 * r);
  path.arcMoveTo(arc, 160);
  path.arcTo(arc, 160, -250);
  path.lineTo(cx, cy + h * 0.12);
  p.drawPath(path);
  p.setPen(Qt::NoPen);
  p.setBrush(c);
  p.drawEllipse(QPointF(cx, cy + h * 0.4), width * 0.65, width * 0.65);
}

// A desktop laser printer seen from the front, in the box r.
void printer(QPainter& p, const QRectF& r, const QColor& body, const QColor& dark) {
  const double x = r.x(), y = r.y(), w = r.width(), h = r.height();
  const double line = qMax(1.0, w / 40.0);
  // paper coming out of the top
  p.setPen(QPen(dark, line));
  p.setBrush(Qt::white);
  p.drawRect(QRectF(x + w * 0.24, y, w * 0.52, h * 0.34));
  p.setPen(QPen(QColor(0x9a, 0xa4, 0xb0), line));
  for (int i = 0; i < 3; ++i) {
    const double ly = y + h * (0.08 + 0.07 * i);
    p.drawLine(QPointF(x + w * 0.31, ly), QPointF(x + w * 0.69, ly));
  }
  // body
  p.setPen(QPen(dark, line * 1.2));
  p.setBrush(body);
  p.drawRoundedRect(QRectF(x + w * 0.04, y + h * 0.28, w * 0.92, h * 0.50), w * 0.06, w * 0.06);
  // output slot and tray
  p.setBrush(dark);
  p.drawRect(QRectF(x + w * 0.18, y + h * 0.40, w * 0.64, h * 0.05));
  p.setBrush(body.darker(115));
  p.drawRoundedRect(QRectF(x + w * 0.12, y + h * 0.78, w * 0.76, h * 0.14), w * 0.03, w * 0.03);
  // control panel light
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x3c, 0xc8, 0x4b));
  p.drawEllipse(QPointF(x + w * 0.80, y + h * 0.60), w * 0.035, w * 0.035);
}

enum class Badge { Info, Warning, Error };

// The state picture: a printer with a round badge for the level. The label
// that shows it also has the level 1 picture as its style sheet image behind
// it, so every badge covers exactly the same circle.
QImage statePicture(Badge badge) {
  const int n = 256;
  QImage img = canvas(n, n);
  QPainter p(&img);
  antialias(p);
  printer(p, QRectF(8, 20, 200, 200), QColor(0xe6, 0xe9, 0xee), QColor(0x3a, 0x40, 0x4a));
  const QPointF c(186, 186);
  const double r = 62;
  const QColor fill = badge == Badge::Info      ? QColor(0x1f, 0x6f, 0xd1)
                      : badge == Badge::Warning ? QColor(0xf2, 0xb1, 0x08)
                                                : QColor(0xd8, 0x1e, 0x1e);
  p.setPen(QPen(Qt::white, 6));
  p.setBrush(fill);
  p.drawEllipse(c, r, r);
  switch (badge) {
    case Badge::Info:
      tick(p, c.x(), c.y(), r * 0.5, 15, Qt::white);
      break;
    case Badge::Warning:
      exclamation(p, c.x(), c.y() - r * 0.08, r * 1.15, QColor(0x30, 0x28, 0x00));
      break;
    case Badge::Error:
      cross(p, c.x(), c.y(), r * 0.42, 16, Qt::white);
      break;
  }
  p.end();
  // Drawn large, stored at the size of the label that shows it.
  return img.scaled(kStatePictureSize, kStatePictureSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

// Qt writes BMP without transparency; the state pictures need it, so they
// are written here as 32-bit BMP (BITMAPV4HEADER, bit fields with an alpha
// mask), which Qt's reader takes with its alpha channel.
bool saveBmpWithAlpha(const QImage& image, const QString& path) {
  const QImage img = image.convertToFormat(QImage::Format_ARGB32);
  const quint32 w = static_cast<quint32>(img.width()), h = static_cast<quint32>(img.height());
  const quint32 headerSize = 108, offset = 14 + headerSize, dataSize = w * h * 4;
  QByteArray out;
  auto u16 = [&out](quint32 v) { out.append(char(v & 0xff)).append(char((v >> 8) & 0xff)); };
  auto u32 = [&](quint32 v) {
    u16(v & 0xffff);
    u16(v >> 16);
  };
  out.append("BM");
  u32(offset + dataSize);
  u32(0);
  u32(offset);
  u32(headerSize);
  u32(w);
  u32(h);  // positive: rows bottom-up
  u16(1);
  u16(32);
  u32(3);  // BI_BITFIELDS
  u32(dataSize);
  u32(2835);
  u32(2835);
  u32(0);
  u32(0);
  u32(0x00ff0000);  // red, green, blue, alpha masks
  u32(0x0000ff00);
  u32(0x000000ff);
  u32(0xff000000);
  u32(0x73524742);                   // 'sRGB'
  out.append(QByteArray(48, '\0'));  // end points and gamma, unused with sRGB
  for (int y = img.height() - 1; y >= 0; --y) {
    const QRgb* row = reinterpret_cast<const QRgb*>(img.constScanLine(y));
    for (quint32 x = 0; x < w; ++x) u32(row[x]);  // non-premultiplied ARGB: B, G, R, A in the file
  }
  QFile f(path);
  return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(out) == out.size();
}

// Tray icon "Ready".
QImage heartIcon() {
  QImage img = canvas(64, 64);
  QPainter p(&img);
  antialias(p);
  QLinearGradient g(0, 4, 0, 60);
  g.setColorAt(0, QColor(0xff, 0x5a, 0x6e));
  g.setColorAt(1, QColor(0xc8, 0x10, 0x2e));
  p.setPen(QPen(QColor(0x80, 0x08, 0x1c), 2.5));
  p.setBrush(g);
  p.drawPath(heartPath(QRectF(3, 5, 58, 56)));
  // highlight
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 255, 255, 110));
  p.drawEllipse(QPointF(19, 21), 7, 5);
  return img;
}

// Tray icon "Stop": a waste bin.
QImage trashIcon() {
  QImage img = canvas(64, 64);
  QPainter p(&img);
  antialias(p);
  const QColor outline(0x33, 0x3a, 0x44);
  const QColor metal(0x9d, 0xa7, 0xb3);
  p.setPen(QPen(outline, 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  // handle and lid
  p.setBrush(Qt::NoBrush);
  p.drawRoundedRect(QRectF(24, 4, 16, 8), 3, 3);
  p.setBrush(metal.lighter(110));
  p.drawRoundedRect(QRectF(8, 10, 48, 8), 3, 3);
  // can, narrowing to the bottom
  QPainterPath can;
  can.moveTo(12, 20);
  can.lineTo(52, 20);
  can.lineTo(47, 60);
  can.lineTo(17, 60);
  can.closeSubpath();
  QLinearGradient g(12, 0, 52, 0);
  g.setColorAt(0, metal.darker(115));
  g.setColorAt(0.4, metal.lighter(125));
  g.setColorAt(1, metal.darker(125));
  p.setBrush(g);
  p.drawPath(can);
  // ribs
  p.setPen(QPen(outline, 2.5, Qt::SolidLine, Qt::RoundCap));
  for (double x : {23.0, 32.0, 41.0}) p.drawLine(QPointF(x, 26), QPointF(x + (x - 32) * 0.12, 54));
  return img;
}

// Tray icon "Error".
QImage badIcon() {
  QImage img = canvas(64, 64);
  QPainter p(&img);
  antialias(p);
  QRadialGradient g(QPointF(26, 24), 40);
  g.setColorAt(0, QColor(0xff, 0x5c, 0x4c));
  g.setColorAt(1, QColor(0xc0, 0x10, 0x10));
  p.setPen(QPen(QColor(0x70, 0x00, 0x00), 2.5));
  p.setBrush(g);
  p.drawEllipse(QPointF(32, 32), 28, 28);
  cross(p, 32, 32, 12, 8, Qt::white);
  return img;
}

// A toner cartridge standing upright, filled to `level` (0..1); level < 0
// draws an unknown level.
QImage tonerCartridge(const QColor& colour, double level) {
  const int w = 60, h = 120;
  QImage img = canvas(w, h);
  QPainter p(&img);
  antialias(p);
  const QColor outline(0x2e, 0x33, 0x3a);
  const QRectF shell(8, 10, 44, 104);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xf4, 0xf5, 0xf7));
  p.drawRoundedRect(shell, 6, 6);
  if (level >= 0) {
    const double fill = shell.height() * qBound(0.0, level, 1.0);
    p.setBrush(colour);
    p.setClipRect(QRectF(shell.x(), shell.bottom() - fill, shell.width(), fill));
    p.drawRoundedRect(shell, 6, 6);
    p.setClipping(false);
  } else {
    p.setBrush(QColor(0xc4, 0xc8, 0xce));
    p.drawRoundedRect(shell, 6, 6);
    question(p, 30, 64, 44, QColor(0x4a, 0x50, 0x58), 6);
  }
  p.setPen(QPen(outline, 3));
  p.setBrush(Qt::NoBrush);
  p.drawRoundedRect(shell, 6, 6);
  // cap
  p.setBrush(outline);
  p.drawRoundedRect(QRectF(20, 2, 20, 10), 3, 3);
  if (level == 0.0) cross(p, 30, 64, 12, 6, QColor(0xd8, 0x1e, 0x1e));
  return img;
}

// The picture beside the toner message: a cartridge lying on its side.
QImage tonerPicture() {
  const int n = 120;
  QImage img = canvas(n, n);
  QPainter p(&img);
  antialias(p);
  const QColor outline(0x2e, 0x33, 0x3a);
  p.setPen(QPen(outline, 3));
  QLinearGradient g(0, 40, 0, 84);
  g.setColorAt(0, QColor(0x5a, 0x60, 0x6a));
  g.setColorAt(0.45, QColor(0x2a, 0x2e, 0x34));
  g.setColorAt(1, QColor(0x15, 0x17, 0x1a));
  p.setBrush(g);
  p.drawRoundedRect(QRectF(8, 42, 96, 40), 8, 8);
  p.setBrush(QColor(0x9d, 0xa7, 0xb3));
  p.drawRoundedRect(QRectF(100, 52, 12, 20), 3, 3);
  // label
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xf2, 0xb1, 0x08));
  p.drawRect(QRectF(30, 50, 40, 24));
  p.setBrush(outline);
  p.drawEllipse(QPointF(50, 62), 6, 6);
  // spilt powder
  p.setBrush(QColor(0x20, 0x20, 0x20, 140));
  for (int i = 0; i < 9; ++i) p.drawEllipse(QPointF(20 + i * 10.5, 94 + (i % 3) * 3), 3.2, 2.4);
  return img;
}

// The window and setup icon: the printer alone, drawn to be read at 16 to 48 pixels.
QImage appIcon(int n) {
  QImage img = canvas(n, n);
  QPainter p(&img);
  antialias(p);
  printer(p, QRectF(0, n * 0.04, n, n * 0.92), QColor(0xd7, 0xdc, 0xe3), QColor(0x22, 0x28, 0x30));
  return img;
}

bool save(const QImage& img, const QString& dir, const QString& name, const char* format) {
  const QString path = dir + QLatin1Char('/') + name;
  const bool ok = qstrcmp(format, "BMP") == 0 ? saveBmpWithAlpha(img, path) : img.save(path, format);
  if (!ok) {
    std::fprintf(stderr, "gen_artwork: cannot write %s\n", qPrintable(path));
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output-dir>\n", argv[0]);
    return 2;
  }
  // The image writers come from Qt's plugins (ICO), which need the application object.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QString out = QString::fromLocal8Bit(argv[1]);
  if (!QDir().mkpath(out + QStringLiteral("/images"))) return 1;

  bool ok = true;
  ok &= save(heartIcon(), out, QStringLiteral("images/heart.png"), "PNG");
  ok &= save(trashIcon(), out, QStringLiteral("images/trash.png"), "PNG");
  ok &= save(badIcon(), out, QStringLiteral("images/bad.png"), "PNG");
  ok &= save(statePicture(Badge::Info), out, QStringLiteral("W3_b256.bmp"), "BMP");
  ok &= save(statePicture(Badge::Warning), out, QStringLiteral("W3_y256.bmp"), "BMP");
  ok &= save(statePicture(Badge::Error), out, QStringLiteral("W3_r256.bmp"), "BMP");
  ok &= save(tonerCartridge(QColor(0x1a, 0x1a, 0x1a), 0.0), out, QStringLiteral("images/t_0.png"), "PNG");
  ok &= save(tonerCartridge(QColor(0x00, 0xa8, 0xe0), 1.0), out, QStringLiteral("images/c100.png"), "PNG");
  ok &= save(tonerCartridge(Qt::gray, -1.0), out, QStringLiteral("images/t_unknown.png"), "PNG");
  ok &= save(tonerCartridge(QColor(0xf5, 0xd0, 0x00), 0.05), out, QStringLiteral("images/y5.png"), "PNG");
  ok &= save(tonerPicture(), out, QStringLiteral("images/toner.png"), "PNG");
  ok &= save(appIcon(32), out, QStringLiteral("oemSetup.ico"), "ICO");
  return ok ? 0 : 1;
}
