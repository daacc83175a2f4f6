// netsetup: the network setup tool of the HRV5720ZWB driver.
#include "programgrop.h"

#include <QApplication>
#include <QTextCodec>

int main(int argc, char* argv[]) {
  // Every text stream of the tool reads and writes UTF-8.
  QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
  QApplication app(argc, argv);
  ProgramGrop launcher;
  launcher.show();
  return app.exec();
}
