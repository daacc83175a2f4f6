// Takes pictures of an X display: a window's rectangle, grabbed until its
// state title (right of the state picture, above the message) shows in red,
// and the whole screen.
//
//   screen_probe <x>,<y>,<width>,<height> <window.png> <screen.png> <timeout-ms>
//
// Prints "red=<count>"; exits 0 once the red title was seen, 1 on time-out
// (the pictures then show the last state).
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QThread>

#include <cstdio>
#include <cstdlib>

namespace {

// Red pixels in the title's region.
int redPixels(const QImage& window) {
  int n = 0;
  for (int y = 20; y < qMin(140, window.height()); ++y)
    for (int x = 100; x < window.width(); ++x) {
      const QRgb p = window.pixel(x, y);
      n += qRed(p) > 180 && qGreen(p) < 90 && qBlue(p) < 90;
    }
  return n;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  const QStringList r = QString::fromLocal8Bit(argc == 5 ? argv[1] : "").split(QLatin1Char(','));
  if (r.size() != 4) {
    std::fprintf(stderr, "usage: %s <x>,<y>,<width>,<height> <window.png> <screen.png> <timeout-ms>\n",
                 argv[0]);
    return 2;
  }
  QScreen* screen = QGuiApplication::primaryScreen();
  auto grab = [&] {
    return screen->grabWindow(0, r[0].toInt(), r[1].toInt(), r[2].toInt(), r[3].toInt()).toImage();
  };
  QElapsedTimer clock;
  clock.start();
  QImage window = grab();
  while (redPixels(window) < 60 && clock.elapsed() < std::atoi(argv[4])) {
    QThread::msleep(200);
    window = grab();
  }
  // A balloon or a repaint in flight settles before the pictures are kept.
  QThread::msleep(500);
  if (redPixels(grab()) >= 60) window = grab();
  const int red = redPixels(window);
  window.save(QString::fromLocal8Bit(argv[2]), "PNG");
  screen->grabWindow(0).save(QString::fromLocal8Bit(argv[3]), "PNG");
  std::printf("red=%d\n", red);
  return red >= 60 ? 0 : 1;
}
