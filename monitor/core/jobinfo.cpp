#include "jobinfo.h"

#include <QFile>
#include <QStringList>

#include "monitorlog.h"
#include "statuscatalogue.h"

namespace hrv::monitor {

namespace {

// One row of a display table: the raw value must contain `key` and, when
// `length` is not 0, be exactly that many characters long (";" included).
struct DisplayRow {
  const char* key;
  int length;
  const char* text;  // UTF-8
};

// Rows whose key is part of another key come after it, or are told apart by
// the length of the whole value.
constexpr DisplayRow kPaperSizeRows[] = {
    {"MexicoLegal", 12, "墨西哥Legal"},
    {"Letter", 0, "Letter"},
    {"Legal", 6, "Legal"},
    {"IndiaLegal", 11, "印度Legal"},
    {"Executive", 0, "Executive"},
    {"A4", 0, "A4"},
    {"A5", 3, "A5"},
    {"A6", 0, "A6"},
    {"Folio", 6, "Folio"},
    {"A5L", 4, "A5长边"},
    {"Env10", 0, "Com-10"},
    {"EnvMonarch", 0, "Monarch"},
    {"EnvDL", 0, "DL"},
    {"EnvC5", 0, "C5"},
    {"ISOB5", 6, "B5(ISO)"},
    {"B5", 3, "B5(JIS)"},
    {"195x270mm", 0, "16K(195x270mm)"},
    {"184x260mm", 0, "16K(184x260mm)"},
    {"197x273mm", 0, "16K(197x273mm)"},
    {"Custom", 0, "用户自定义"},
};

constexpr DisplayRow kInputSlotRows[] = {
    {"MPTRAY", 0, "多功能纸盒"}, {"TRAY1", 0, "纸盒1"},   {"TRAY2", 0, "纸盒2"},
    {"TRAY3", 0, "纸盒3"},       {"AUTO", 0, "自动选择"},
};

constexpr DisplayRow kMediaTypeRows[] = {
    {"PLAIN", 0, "普通纸"},          {"THIN", 5, "薄纸"},      {"THICK", 6, "厚纸"},
    {"THICKERPAPER2", 14, "特厚纸"}, {"BOND", 0, "证券纸"},    {"ENV", 4, "信封"},
    {"ENVTHICK", 9, "厚信封"},       {"ENVTHIN", 8, "薄信封"}, {"RECYCLED", 0, "再生纸"},
    {"LABLE", 0, "标签纸"},          {"Glossy", 0, "光面纸"},  {"LETTERHEAD", 0, "信头纸"},
    {"COLOR", 0, "彩色纸"},
};

constexpr DisplayRow kDuplexRows[] = {
    {"None", 0, "无"},
    {"DuplexTumble", 0, "短边翻转"},
    {"DuplexNoTumble", 0, "长边翻转"},
};

template <size_t N>
QString lookUp(const DisplayRow (&rows)[N], const QString& raw) {
  for (const DisplayRow& row : rows) {
    if (!raw.contains(QLatin1String(row.key), Qt::CaseSensitive)) continue;
    if (row.length != 0 && raw.length() != row.length) continue;
    return QString::fromUtf8(row.text);
  }
  return QString();
}

// The lines of a file read in text mode. A zero byte is a character of its
// line like any other (QString::fromUtf8 of a whole QByteArray would stop
// there).
QStringList textLines(const QByteArray& content) {
  QByteArray text = content;
  text.replace('\r', QByteArray());
  return QString::fromUtf8(text.constData(), text.size()).split(QLatin1Char('\n'));
}

bool readWholeFile(const QString& path, QByteArray* content) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
    qCDebug(lcMonitor) << "open file failed";
    return false;
  }
  *content = file.readAll();
  return true;
}

}  // namespace

QString resolutionText(const QString& raw) {
  return raw.contains(QLatin1String("2400")) ? QStringLiteral("HQ1200dpi") : raw;
}

QString paperSizeText(const QString& raw) {
  return lookUp(kPaperSizeRows, raw);
}
QString inputSlotText(const QString& raw) {
  return lookUp(kInputSlotRows, raw);
}
QString mediaTypeText(const QString& raw) {
  return lookUp(kMediaTypeRows, raw);
}
QString duplexText(const QString& raw) {
  return lookUp(kDuplexRows, raw);
}

JobInfoTexts jobInfoTexts(const JobSettings& s) {
  JobInfoTexts t;
  t.resolution = resolutionText(s.resolution);
  t.mediaType = mediaTypeText(s.mediatype);
  t.pageSize = paperSizeText(s.papersize);
  t.inputSlot = inputSlotText(s.inputslot);
  t.duplex = duplexText(s.duplex);
  return t;
}

JobSettings parseJobSettings(const QByteArray& content) {
  JobSettings s;
  const struct {
    const char* key;
    QString JobSettings::*value;
  } keys[] = {
      {"resolution", &JobSettings::resolution}, {"papersize", &JobSettings::papersize},
      {"inputslot", &JobSettings::inputslot},   {"mediatype", &JobSettings::mediatype},
      {"duplex", &JobSettings::duplex},
  };
  for (const QString& line : textLines(content)) {
    for (const auto& k : keys) {
      if (!line.contains(QLatin1String(k.key), Qt::CaseSensitive)) continue;
      const QStringList pieces = line.split(QLatin1Char(':'));
      s.*(k.value) = pieces.size() > 1 ? pieces.at(1) : QString();
      break;
    }
  }
  return s;
}

JobSettings readJobSettings(const QString& path, bool* opened) {
  QByteArray content;
  const bool ok = readWholeFile(path, &content);
  if (opened) *opened = ok;
  return ok ? parseJobSettings(content) : JobSettings();
}

JobInfoTexts readPrintJobInfo(const QString& path) {
  return jobInfoTexts(readJobSettings(path));
}

QString choosePrinterStateLine(const QByteArray& content) {
  QString kept;
  int keptClass = 0;
  for (const QString& line : textLines(content)) {
    if (!line.contains(QLatin1String("CODE="), Qt::CaseSensitive)) continue;
    const int cls = execMessageLevel(line);
    if (cls > keptClass) {
      kept = line;
      keptClass = cls;
    }
    if (keptClass == 4) break;
  }
  return kept;
}

QString readPrinterState(const QString& path) {
  QByteArray content;
  if (!readWholeFile(path, &content)) return QString();
  return choosePrinterStateLine(content);
}

}  // namespace hrv::monitor
