// netIpInfo: any bytes as the file's text to the monitor's reader, and an
// address from the setup tool's writer ahead of them.
#include "fuzz_input.h"
#include "netipinfofile.h"
#include "qt_messages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  hrvfuzz::quietQt();
  namespace ni = hrv::netipinfo;
  const QByteArray text(reinterpret_cast<const char*>(data), static_cast<int>(size));
  const QString read = ni::address(text);
  FUZZ_CHECK(!read.contains(QLatin1Char('\n')) && read.size() <= text.size(), "read \"%s\"",
             qPrintable(read));

  // What the writer writes is read back, whatever follows it.
  hrvfuzz::FuzzInput in(data, size);
  const QString written = QStringLiteral("%1.%2.%3.%4")
                              .arg(int(in.byte()))
                              .arg(int(in.byte()))
                              .arg(int(in.byte()))
                              .arg(int(in.byte()));
  for (const QByteArray& file : {ni::text(written), ni::text(written) + '\n' + text}) {
    const QString back = ni::address(file);
    FUZZ_CHECK(back == written, "wrote %s, read %s", qPrintable(written), qPrintable(back));
  }
  return 0;
}
