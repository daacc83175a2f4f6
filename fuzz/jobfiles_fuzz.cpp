// The USB filter's two job files as the monitor reads them: any bytes as the
// printerInfo text (settings and their display texts) and as the
// printerState text (the most important "CODE=" line).
#include <QByteArray>
#include <QString>
#include <QStringList>

#include "fuzz_input.h"
#include "jobinfo.h"
#include "qt_messages.h"
#include "statuscatalogue.h"

namespace {

using namespace hrv::monitor;

// A setting as read: the default, or the text between the first and second
// ":" of one line without the ";" that ends it, so never a line end, a ":"
// or a final ";", and no longer than the file.
void checkValue(const QString& value, const char* fallback, const QByteArray& content) {
  if (value == QLatin1String(fallback)) return;
  FUZZ_CHECK(!value.contains(QLatin1Char('\n')) && !value.contains(QLatin1Char('\r')) &&
                 !value.contains(QLatin1Char(':')) && !value.endsWith(QLatin1Char(';')),
             "value \"%s\"", value.toUtf8().constData());
  FUZZ_CHECK(value.size() <= content.size(), "value of %d characters from %d bytes", int(value.size()),
             int(content.size()));
}

// A display text is one of its table's (no longer than 14 characters) or
// the value itself.
void checkText(const QString& text, const QString& value) {
  FUZZ_CHECK(text == value || text.size() <= 14, "text \"%s\"", text.toUtf8().constData());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  hrvfuzz::quietQt();
  const QByteArray content(reinterpret_cast<const char*>(data), static_cast<int>(size));

  // printerInfo.
  const JobSettings s = parseJobSettings(content);
  checkValue(s.resolution, "600dpi", content);
  checkValue(s.papersize, "A4", content);
  checkValue(s.inputslot, "Auto", content);
  checkValue(s.mediatype, "PLAIN", content);
  checkValue(s.duplex, "None", content);
  QByteArray plain = content;
  plain.replace('\r', QByteArray());
  // A key the file never names keeps its default.
  const JobSettings defaults;
  const struct {
    const char* key;
    QString JobSettings::*value;
  } keys[] = {{"resolution", &JobSettings::resolution},
              {"papersize", &JobSettings::papersize},
              {"inputslot", &JobSettings::inputslot},
              {"mediatype", &JobSettings::mediatype},
              {"duplex", &JobSettings::duplex}};
  for (const auto& k : keys)
    if (!plain.contains(k.key)) FUZZ_CHECK(s.*(k.value) == defaults.*(k.value), "%s without a line", k.key);
  const JobInfoTexts t = jobInfoTexts(s);
  checkText(t.mediaType, s.mediatype);
  checkText(t.pageSize, s.papersize);
  checkText(t.inputSlot, s.inputslot);
  checkText(t.duplex, s.duplex);
  FUZZ_CHECK(t.resolution == s.resolution || t.resolution == QStringLiteral("HQ1200dpi"), "resolution text");

  // The filter's lines after anything: the later line for a key wins.
  const JobSettings after = parseJobSettings(content +
                                             "\nresolution:2400dpi;\npapersize:A5L;\ninputslot:MPTRAY;"
                                             "\nmediatype:ENVTHICK;\nduplex:DuplexNoTumble;\n");
  const JobInfoTexts at = jobInfoTexts(after);
  FUZZ_CHECK(at.resolution == QStringLiteral("HQ1200dpi") && at.pageSize == QStringLiteral("A5长边") &&
                 at.inputSlot == QStringLiteral("多功能纸盒") && at.mediaType == QStringLiteral("厚信封") &&
                 at.duplex == QStringLiteral("长边翻转"),
             "appended settings read as %s %s %s %s %s", after.resolution.toUtf8().constData(),
             after.papersize.toUtf8().constData(), after.inputslot.toUtf8().constData(),
             after.mediatype.toUtf8().constData(), after.duplex.toUtf8().constData());

  // printerState: the first line of the highest class, or nothing.
  const QString chosen = choosePrinterStateLine(content);
  int best = 0;
  QString first;
  for (const QString& line : QString::fromUtf8(plain.constData(), plain.size()).split(QLatin1Char('\n')))
    if (line.contains(QLatin1String("CODE="))) {
      const int cls = execMessageLevel(line);
      if (cls > best) {
        best = cls;
        first = line;
      }
    }
  FUZZ_CHECK(chosen == first, "chose \"%s\", not \"%s\"", chosen.toUtf8().constData(),
             first.toUtf8().constData());
  FUZZ_CHECK(
      chosen.isEmpty() || (chosen.contains(QLatin1String("CODE=")) && !chosen.contains(QLatin1Char('\n'))),
      "chose \"%s\"", chosen.toUtf8().constData());
  // A forbidden outside connection reported last still ranks first.
  const QString withAlarm = choosePrinterStateLine(content + "\nCODE=88888\n");
  FUZZ_CHECK(execMessageLevel(withAlarm) == 4 && (best == 4 || withAlarm == QStringLiteral("CODE=88888")),
             "alarm line lost: \"%s\"", withAlarm.toUtf8().constData());
  return 0;
}
