#include "jobinfo.h"

#include <QFile>
#include <QStringList>

#include "monitorlog.h"
#include "statuscatalogue.h"

namespace hrv::monitor {

namespace {

// One row of a display table. The filter writes PPD choice keywords; a few
// are told apart only by the whole value ("A5" from "A5L", "THICK" from
// "ENVTHICK"), the others are found inside longer values ("Custom.200x300mm").
enum class Match { Contains, Whole, ContainsAnyCase };
struct DisplayRow {
  const char* key;
  Match match;
  const char* text;  // UTF-8
};

constexpr Match C = Match::Contains, W = Match::Whole, I = Match::ContainsAnyCase;

constexpr DisplayRow kPaperSizeRows[] = {
    {"MexicoLegal", W, "墨西哥Legal"},
    {"Letter", C, "Letter"},
    {"Legal", W, "Legal"},
    {"IndiaLegal", W, "印度Legal"},
    {"Executive", C, "Executive"},
    {"A4", C, "A4"},
    {"A5", W, "A5"},
    {"A6", C, "A6"},
    {"Folio", W, "Folio"},
    {"A5L", W, "A5长边"},
    {"Env10", C, "Com-10"},
    {"EnvMonarch", C, "Monarch"},
    {"EnvDL", C, "DL"},
    {"EnvC5", C, "C5"},
    {"ISOB5", W, "B5(ISO)"},
    {"B5", W, "B5(JIS)"},
    {"195x270mm", C, "16K(195x270mm)"},
    {"184x260mm", C, "16K(184x260mm)"},
    {"197x273mm", C, "16K(197x273mm)"},
    {"Custom", C, "用户自定义"},
};

constexpr DisplayRow kInputSlotRows[] = {
    {"MPTRAY", C, "多功能纸盒"}, {"TRAY1", C, "纸盒1"}, {"TRAY2", C, "纸盒2"},
    {"TRAY3", C, "纸盒3"},       {"TRAY4", C, "纸盒4"}, {"AUTO", I, "自动选择"},
};

constexpr DisplayRow kMediaTypeRows[] = {
    {"PLAIN", C, "普通纸"},         {"THIN", W, "薄纸"},          {"THICK", W, "厚纸"},
    {"THICKERPAPER2", W, "特厚纸"}, {"BOND", C, "证券纸"},        {"ENV", W, "信封"},
    {"ENVTHICK", W, "厚信封"},      {"ENVTHIN", W, "薄信封"},     {"RECYCLED", C, "再生纸"},
    {"LABLE", C, "标签纸"},         {"GLOSSY", I, "光面纸"},      {"LETTERHEAD", C, "信头纸"},
    {"COLOR", C, "彩色纸"},         {"HOLEPUNCHED", C, "打孔纸"},
};

constexpr DisplayRow kDuplexRows[] = {
    {"None", C, "无"},
    {"DuplexTumble", C, "短边翻转"},
    {"DuplexNoTumble", C, "长边翻转"},
};

bool matches(const DisplayRow& row, const QString& raw) {
  const QLatin1String key(row.key);
  switch (row.match) {
    case Match::Whole:
      return raw == key;
    case Match::ContainsAnyCase:
      return raw.contains(key, Qt::CaseInsensitive);
    case Match::Contains:
      break;
  }
  return raw.contains(key, Qt::CaseSensitive);
}

// A value no row names is shown as it is, so that no setting goes blank.
template <size_t N>
QString lookUp(const DisplayRow (&rows)[N], const QString& raw) {
  for (const DisplayRow& row : rows)
    if (matches(row, raw)) return QString::fromUtf8(row.text);
  return raw;
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

JobInfoTexts jobInfoTexts(const PrinterInfo& s) {
  auto text = [](const std::string& v) { return QString::fromUtf8(v.data(), static_cast<int>(v.size())); };
  JobInfoTexts t;
  t.resolution = resolutionText(text(s.resolution));
  t.mediaType = mediaTypeText(text(s.mediaType));
  t.pageSize = paperSizeText(text(s.paperSize));
  t.inputSlot = inputSlotText(text(s.inputSlot));
  t.duplex = duplexText(text(s.duplex));
  return t;
}

PrinterInfo readJobSettings(const QString& path) {
  QByteArray content;
  if (!readWholeFile(path, &content)) return PrinterInfo();
  return parsePrinterInfo(std::string_view(content.constData(), static_cast<size_t>(content.size())));
}

JobInfoTexts readPrintJobInfo(const QString& path) {
  return jobInfoTexts(readJobSettings(path));
}

QString choosePrinterStateLine(const QByteArray& content) {
  QString kept;
  int keptClass = 0;
  for (const std::string& bytes :
       printerStateLines(std::string_view(content.constData(), static_cast<size_t>(content.size())))) {
    const QString line = QString::fromUtf8(bytes.data(), static_cast<int>(bytes.size()));
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
