// The USB filter's job files as the monitor reads them: any bytes as printerInfo
// (settings, display texts) and as printerState (the most important "CODE=" line).
#include <QByteArray>
#include <QString>
#include <algorithm>

#include "fuzz_input.h"
#include "jobinfo.h"
#include "jobrecord.h"
#include "qt_messages.h"
#include "statuscatalogue.h"

using namespace hrv::monitor;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  hrvfuzz::quietQt();
  const std::string content(reinterpret_cast<const char*>(data), size);
  std::string plain = content;
  plain.erase(std::remove(plain.begin(), plain.end(), '\r'), plain.end());

  // A setting is its default (kept when no line names it), or the text between
  // the first and second ":" of a line without the ";" ending it. A display
  // text is its table's (at most 14 characters) or the value itself.
  const hrv::PrinterInfo info = hrv::parsePrinterInfo(content), defaults;
  const JobInfoTexts texts = jobInfoTexts(info);
  const struct {
    const char* key;
    std::string hrv::PrinterInfo::*value;
    QString JobInfoTexts::*text;
  } keys[] = {{"resolution", &hrv::PrinterInfo::resolution, &JobInfoTexts::resolution},
              {"papersize", &hrv::PrinterInfo::paperSize, &JobInfoTexts::pageSize},
              {"inputslot", &hrv::PrinterInfo::inputSlot, &JobInfoTexts::inputSlot},
              {"mediatype", &hrv::PrinterInfo::mediaType, &JobInfoTexts::mediaType},
              {"duplex", &hrv::PrinterInfo::duplex, &JobInfoTexts::duplex}};
  for (const auto& k : keys) {
    const std::string& v = info.*k.value;
    if (plain.find(k.key) == std::string::npos)
      FUZZ_CHECK(v == defaults.*k.value, "%s without a line", k.key);
    if (v != defaults.*k.value)
      FUZZ_CHECK(
          v.find_first_of("\n\r:") == std::string::npos && (v.empty() || v.back() != ';') && v.size() <= size,
          "%s \"%s\"", k.key, v.c_str());
    const QString shown = texts.*k.text;
    FUZZ_CHECK(shown == QString::fromUtf8(v.data(), static_cast<int>(v.size())) || shown.size() <= 14,
               "%s text \"%s\"", k.key, shown.toUtf8().constData());
  }

  // The filter's lines after anything: the later line for a key wins.
  const hrv::PrinterInfo job{"2400dpi", "A5L", "MPTRAY", "ENVTHICK", "DuplexNoTumble"};
  FUZZ_CHECK(
      printerInfoText(hrv::parsePrinterInfo(content + "\n" + printerInfoText(job))) == printerInfoText(job),
      "appended settings lost");

  // printerState: the first line of the highest class; an alarm last still ranks first.
  const QByteArray bytes(content.data(), static_cast<int>(size));
  const QString chosen = choosePrinterStateLine(bytes);
  int best = 0;
  QString first;
  for (const std::string& l : hrv::printerStateLines(content)) {
    const QString line = QString::fromUtf8(l.data(), static_cast<int>(l.size()));
    if (execMessageLevel(line) > best) {
      best = execMessageLevel(line);
      first = line;
    }
  }
  FUZZ_CHECK(chosen == first, "chose \"%s\", not \"%s\"", chosen.toUtf8().constData(),
             first.toUtf8().constData());
  const QString withAlarm = choosePrinterStateLine(bytes + "\nCODE=88888\n");
  FUZZ_CHECK(execMessageLevel(withAlarm) == 4 && (best == 4 || withAlarm == QStringLiteral("CODE=88888")),
             "alarm line lost: \"%s\"", withAlarm.toUtf8().constData());
  return 0;
}
