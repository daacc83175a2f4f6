// mkicon: writes the menu and autostart icon as PNG from the monitors'
// window icon (ICO).
//
//   mkicon INPUT.ico OUTPUT.png
#include <QGuiApplication>
#include <QImage>

#include <cstdio>

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 3) {
    std::fputs("usage: mkicon INPUT.ico OUTPUT.png\n", stderr);
    return 2;
  }
  QImage icon(QString::fromLocal8Bit(argv[1]));
  if (icon.isNull()) {
    std::fprintf(stderr, "mkicon: cannot read %s\n", argv[1]);
    return 1;
  }
  if (!icon.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
    std::fprintf(stderr, "mkicon: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
