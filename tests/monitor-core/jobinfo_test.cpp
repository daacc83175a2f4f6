// The USB filter's job files as the monitors show them: the job settings
// with their labels, and the state file's most important line. (The files'
// texts from the filter's writer to this reader: tests/filter.)
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "jobinfo.h"

using namespace hrv::monitor;

namespace {

QByteArray labels(const JobInfoTexts& t) {
  return QStringList{t.resolution, t.pageSize, t.inputSlot, t.mediaType, t.duplex}
      .join(QLatin1Char('|'))
      .toUtf8();
}

}  // namespace

TEST(JobInfo, EverySettingAsTheFilterWritesItHasItsLabel) {
  const struct {
    const char* file;  // printerInfo lines after the filter's
    const char* labels;
  } cases[] = {
      {"", "600dpi|A4|自动选择|普通纸|无"},  // the filter's defaults
      {"resolution:2400dpi;\npapersize:A5L;\ninputslot:MPTRAY;\nmediatype:ENVTHICK;\nduplex:DuplexNoTumble;",
       "HQ1200dpi|A5长边|多功能纸盒|厚信封|长边翻转"},
      {"resolution:1200dpi;\npapersize:MexicoLegal;\ninputslot:TRAY4;\nmediatype:GLOSSY;\nduplex:"
       "DuplexTumble;",
       "1200dpi|墨西哥Legal|纸盒4|光面纸|短边翻转"},
      {"papersize:Legal;\nmediatype:THICK;", "600dpi|Legal|自动选择|厚纸|无"},
      {"papersize:B5;\nmediatype:THIN;", "600dpi|B5(JIS)|自动选择|薄纸|无"},
      {"papersize:ISOB5;\nmediatype:HOLEPUNCHED;", "600dpi|B5(ISO)|自动选择|打孔纸|无"},
      {"papersize:A5;\nmediatype:Glossy;", "600dpi|A5|自动选择|光面纸|无"},
      {"papersize:Custom.200x300mm;\nmediatype:ENV;", "600dpi|用户自定义|自动选择|信封|无"},
      {"papersize:Tabloid;\nmediatype:TRANSPARENCY;", "600dpi|Tabloid|自动选择|TRANSPARENCY|无"},
      {"papersize:IndiaLegal;\ninputslot:Auto;", "600dpi|印度Legal|自动选择|普通纸|无"},
  };
  const std::string defaults = hrv::printerInfoText({});
  for (const auto& c : cases)
    EXPECT_EQ(labels(jobInfoTexts(hrv::parsePrinterInfo(defaults + c.file))), QByteArray(c.labels)) << c.file;
}

TEST(JobInfo, TheStateFilesMostImportantLine) {
  const struct {
    const char *file, *line;
  } cases[] = {
      {"CODE=10023\nCODE=41013\n", "CODE=41013"},              // class 3 beats class 1
      {"CODE=10001\nCODE=10023\n", "CODE=10001"},              // the first of equals
      {"CODE=40021\nCODE=88888\nCODE=99999\n", "CODE=88888"},  // the alarm ends the search
      {"CODE=10001\r\nCODE=10205\r\n", "CODE=10205"},
      {"code=40021\nSTATE\n", ""},
      {"", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(choosePrinterStateLine(c.file), QString::fromLatin1(c.line)) << c.file;

  // Read whole and as text: a zero byte (a block a crash left unwritten) is a
  // character of its line.
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("printerState"));
  QFile f(path);
  const char state[] = "CODE=10001\n\0\0\0\nCODE=41013\n";
  ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(state, sizeof state - 1) == sizeof state - 1);
  f.close();
  EXPECT_EQ(readPrinterState(path), QStringLiteral("CODE=41013"));
  EXPECT_EQ(readPrinterState(dir.filePath(QStringLiteral("missing"))), QString());
}
