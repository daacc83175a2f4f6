#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "jobinfo.h"

using namespace hrv::monitor;

namespace {

QString writeFile(const QTemporaryDir& dir, const char* name, const QByteArray& content) {
  const QString path = dir.filePath(QString::fromLatin1(name));
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
    ADD_FAILURE() << "cannot write " << name;
  return path;
}

QByteArray u8(const QString& s) {
  return s.toUtf8();
}

}  // namespace

TEST(DisplayTables, LengthRulesTellNestedKeysApart) {
  const std::pair<const char*, const char*> paper[] = {
      {"Legal;", "Legal"},
      {"MexicoLegal;", "墨西哥Legal"},
      {"IndiaLegal;", "印度Legal"},
      {"Legal", ""},
      {"MexicoLegal", ""},  // without the semicolon the length misses
      {"A5;", "A5"},
      {"A5L;", "A5长边"},
      {"A5", ""},
      {"A4", "A4"},
      {"A4;", "A4"},
      {"ISOB5;", "B5(ISO)"},
      {"B5;", "B5(JIS)"},
      {"B5", ""},
      {"JISB5;", ""},
      {"Folio;", "Folio"},
      {"Env10;", "Com-10"},
      {"EnvDL;", "DL"},
      {"EnvMonarch;", "Monarch"},
      {"USLetter;", "Letter"},
      {"195x270mm;", "16K(195x270mm)"},
      {"Custom.200x300mm;", "用户自定义"},
      {"Tabloid;", ""},
  };
  for (const auto& p : paper)
    EXPECT_EQ(u8(paperSizeText(QString::fromLatin1(p.first))), QByteArray(p.second)) << p.first;

  const std::pair<const char*, const char*> media[] = {
      {"PLAIN;", "普通纸"}, {"THICK;", "厚纸"},      {"THIN;", "薄纸"},      {"THICKERPAPER2;", "特厚纸"},
      {"ENV;", "信封"},     {"ENVTHICK;", "厚信封"}, {"ENVTHIN;", "薄信封"}, {"THICK", ""},
      {"THIN", ""},         {"ENVTHIN", ""},         {"LABLE;", "标签纸"},   {"Glossy;", "光面纸"},
      {"GLOSSY;", ""},      {"COLOR;", "彩色纸"},
  };
  for (const auto& m : media)
    EXPECT_EQ(u8(mediaTypeText(QString::fromLatin1(m.first))), QByteArray(m.second)) << m.first;

  EXPECT_EQ(u8(inputSlotText(QStringLiteral("MPTRAY;"))), QByteArray("多功能纸盒"));
  EXPECT_EQ(u8(inputSlotText(QStringLiteral("TRAY3;"))), QByteArray("纸盒3"));
  EXPECT_EQ(u8(inputSlotText(QStringLiteral("AUTO;"))), QByteArray("自动选择"));
  EXPECT_EQ(inputSlotText(QStringLiteral("Auto")), QString());
  EXPECT_EQ(inputSlotText(QStringLiteral("TRAY4;")), QString());
  EXPECT_EQ(u8(duplexText(QStringLiteral("DuplexTumble;"))), QByteArray("短边翻转"));
  EXPECT_EQ(u8(duplexText(QStringLiteral("DuplexNoTumble;"))), QByteArray("长边翻转"));
  EXPECT_EQ(u8(duplexText(QStringLiteral("None;"))), QByteArray("无"));
  EXPECT_EQ(resolutionText(QStringLiteral("2400dpi;")), QStringLiteral("HQ1200dpi"));
  EXPECT_EQ(resolutionText(QStringLiteral("600dpi;")), QStringLiteral("600dpi;"));
  EXPECT_EQ(resolutionText(QStringLiteral("1200dpi;")), QStringLiteral("1200dpi;"));
}

TEST(JobInfo, SettingsFileToLabels) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const JobInfoTexts t = readPrintJobInfo(writeFile(dir, "printerInfo",
                                                    "resolution:2400dpi;\npapersize:A5L;\ninputslot:MPTRAY;"
                                                    "\nmediatype:ENVTHICK;\nduplex:DuplexNoTumble;\n"));
  EXPECT_EQ(t.resolution, QStringLiteral("HQ1200dpi"));
  EXPECT_EQ(u8(t.pageSize), QByteArray("A5长边"));
  EXPECT_EQ(u8(t.inputSlot), QByteArray("多功能纸盒"));
  EXPECT_EQ(u8(t.mediaType), QByteArray("厚信封"));
  EXPECT_EQ(u8(t.duplex), QByteArray("长边翻转"));

  // A default job as the filter writes it.
  const JobInfoTexts d = readPrintJobInfo(
      writeFile(dir, "default",
                "resolution:600dpi;\npapersize:A4;\ninputslot:AUTO;\nmediatype:PLAIN;\nduplex:None;\n"));
  EXPECT_EQ(d.resolution, QStringLiteral("600dpi;"));
  EXPECT_EQ(u8(d.inputSlot), QByteArray("自动选择"));
}

TEST(JobInfo, MissingFileGivesTheDefaults) {
  bool opened = true;
  const JobSettings s = readJobSettings(QStringLiteral("/nonexistent/printerInfo"), &opened);
  EXPECT_FALSE(opened);
  EXPECT_EQ(s.resolution, QStringLiteral("600dpi"));
  EXPECT_EQ(s.papersize, QStringLiteral("A4"));
  EXPECT_EQ(s.inputslot, QStringLiteral("Auto"));
  const JobInfoTexts t = readPrintJobInfo(QStringLiteral("/nonexistent/printerInfo"));
  EXPECT_EQ(t.resolution, QStringLiteral("600dpi"));
  EXPECT_EQ(t.pageSize, QStringLiteral("A4"));
  EXPECT_EQ(t.inputSlot, QString());  // "Auto" is not "AUTO"
  EXPECT_EQ(u8(t.mediaType), QByteArray("普通纸"));
  EXPECT_EQ(u8(t.duplex), QByteArray("无"));
}

TEST(JobInfo, LineParsing) {
  // CRLF is read as text; a key line without ':' empties the value; the
  // later line wins; keys are tried in their order on each line; partial
  // files keep the defaults.
  const JobSettings s = parseJobSettings(
      "papersize:Legal;\r\nmediatype\r\nnoise:1;\npapersize:Legal;\r\nduplex:resolution:x;\nresolution:"
      "1200dpi;");
  EXPECT_EQ(s.papersize, QStringLiteral("Legal;"));
  EXPECT_EQ(s.mediatype, QString());
  EXPECT_EQ(s.resolution, QStringLiteral("1200dpi;"));
  EXPECT_EQ(s.duplex, QStringLiteral("None"));
  EXPECT_EQ(s.inputslot, QStringLiteral("Auto"));
  EXPECT_EQ(u8(paperSizeText(s.papersize)), QByteArray("Legal"));
  EXPECT_EQ(parseJobSettings(QByteArray()).resolution, QStringLiteral("600dpi"));
}

TEST(PrinterState, PriorityChoice) {
  EXPECT_EQ(choosePrinterStateLine("CODE=10023\nCODE=41013\n"), QStringLiteral("CODE=41013"));
  EXPECT_EQ(choosePrinterStateLine("CODE=10001\nCODE=10023\n"), QStringLiteral("CODE=10001"));
  EXPECT_EQ(choosePrinterStateLine("CODE=40021\nCODE=88888\nCODE=99999\n"), QStringLiteral("CODE=88888"));
  EXPECT_EQ(choosePrinterStateLine("CODE=10001\r\nCODE=10205\r\n"), QStringLiteral("CODE=10205"));
  EXPECT_EQ(choosePrinterStateLine("code=40021\nSTATE\n"), QString());
  EXPECT_EQ(choosePrinterStateLine(QByteArray()), QString());

  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  EXPECT_EQ(readPrinterState(writeFile(dir, "printerState", "CODE=10023")), QStringLiteral("CODE=10023"));
  EXPECT_EQ(readPrinterState(writeFile(dir, "empty", "")), QString());
  EXPECT_EQ(readPrinterState(dir.filePath(QStringLiteral("missing"))), QString());
}

TEST(JobFiles, ZeroBytesDoNotEndTheText) {
  // Zero bytes (say, a block left unwritten by a crash) are characters of
  // their line; the lines after them are read as usual.
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const char info[] = "resolution:1200dpi;\0\0\npapersize:B5;\nduplex:\0None;\n";
  const JobSettings s = readJobSettings(writeFile(dir, "printerInfo", QByteArray(info, sizeof info - 1)));
  EXPECT_EQ(s.papersize, QStringLiteral("B5;"));
  EXPECT_EQ(s.duplex, QString(QChar(0)) + QStringLiteral("None;"));
  EXPECT_EQ(u8(jobInfoTexts(s).duplex), QByteArray("无"));
  const char state[] = "CODE=10001\n\0\0\0\nCODE=41013\n";
  EXPECT_EQ(readPrinterState(writeFile(dir, "printerState", QByteArray(state, sizeof state - 1))),
            QStringLiteral("CODE=41013"));
}
