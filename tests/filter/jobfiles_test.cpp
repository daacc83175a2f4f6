// The job files: what the filter writes and the monitor reads back, the job
// log record, and the open-with-retry rule of the writer.
#include <gtest/gtest.h>

#include <QString>
#include <filesystem>

#include "jobfiles.h"
#include "jobinfo.h"
#include "sandbox.h"

using namespace hrv;
using namespace std::string_literals;

namespace {

std::string fields(const PrinterInfo& i) {
  return i.resolution + "|" + i.paperSize + "|" + i.inputSlot + "|" + i.mediaType + "|" + i.duplex;
}

}  // namespace

// Each case is a job the filter writes, or a file as the monitor may find it
// (missing, half written, edited).
TEST(JobFiles, WhatTheFilterWritesTheMonitorReads) {
  hrvtest::Sandbox box;  // a fresh folder
  const std::string path = box.stage() + "/printerInfo";
  const std::string defaults = "600dpi|A4|AUTO|PLAIN|None";
  const struct {
    const char* what;
    JobSettings job;
    std::string file;  // instead of the job's file when not empty; "-": none at all
    std::string read;
  } cases[] = {
      {"a default job", {}, "", defaults},
      {"1200 dpi, rendered at 600",
       {"A4", "PLAIN", kColor, "AUTO", "None", "600dpi", true},
       "",
       "1200dpi|A4|AUTO|PLAIN|None"},
      {"every setting changed",
       {"A5L", "ENVTHICK", kMono, "MPTRAY", "DuplexNoTumble", "2400dpi"},
       "",
       "2400dpi|A5L|MPTRAY|ENVTHICK|DuplexNoTumble"},
      {"no file", {}, "-", defaults},
      {"cut while written", {}, "resolution:300dpi;\npaper", "300dpi|A4|AUTO|PLAIN|None"},
      {"text mode, a later line wins, a key without ':' is empty, a zero byte is a character",
       {},
       "papersize:Letter;\r\npapersize:B5;\r\nduplex\nmediatype:X\0Y;"s,
       "600dpi|B5|AUTO|X\0Y|"s},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(path);
    StringLogger log;
    if (c.file.empty()) {
      ASSERT_TRUE(writePrinterInfo(path, c.job, log, [](unsigned) {})) << c.what;
    } else if (c.file != "-") {
      hrvtest::writeFile(path, c.file);
    }
    EXPECT_EQ(fields(monitor::readJobSettings(QString::fromStdString(path))), c.read) << c.what;
  }
  // The file of a default job, byte for byte.
  StringLogger log;
  writePrinterInfo(path, JobSettings{}, log, [](unsigned) {});
  EXPECT_EQ(hrvtest::readFile(path),
            "resolution:600dpi;\npapersize:A4;\ninputslot:AUTO;\nmediatype:PLAIN;\nduplex:None;\n");

  // Each state replaces the last.
  const std::string state = box.stage() + "/printerState";
  for (const char* code : {kStatePrinting, kStatePasswdError, kStateReady}) {
    ASSERT_TRUE(writePrinterState(state, code, log, [](unsigned) {}));
    EXPECT_EQ(monitor::readPrinterState(QString::fromStdString(state)).toStdString(), code);
  }
  EXPECT_EQ(hrvtest::readFile(state), "CODE=10001");
}

TEST(JobFiles, LogRecord) {
  const LogRecord rec{"HRV5720ZWB-net", "2026年12月06日04:42:25 Sunday", "42", "alice", "report.pdf", 3, 12};
  const std::string head =
      "***************************************************\n打印机名称：HRV5720ZWB-net\n"
      "日期:2026年12月06日04:42:25 Sunday\n任务ID：42\n用户名：alice\n文件名：report.pdf\n"
      "打印份数：3\n文档页数：12\n"
      "resolution:600dpi\npapersize:A4;\ninputslot:AUTO;\nmediatype:PLAIN;\n";  // 600dpi for 1200dpi
  for (const auto& [duplex, line] : {std::pair{"DuplexTumble", "duplex:短边翻转\n"},
                                     {"DuplexNoTumble", "duplex:长边翻转\n"},
                                     {"None", "duplex:单面打印\n"},
                                     {"Booklet", ""}})
    EXPECT_EQ(logRecordText(rec, {"A4", "PLAIN", kColor, "AUTO", duplex, "600dpi", true}), head + line)
        << duplex;
  // User and title cannot add lines.
  const LogRecord hostile{"HRV5720ZWB", "d", "7", "eve\n\r", "a\nSTATE: x\tb", 1, 0};
  EXPECT_NE(logRecordText(hostile, {}).find("用户名：eve  \n文件名：a STATE: x b\n"), std::string::npos);
}

TEST(JobFiles, OpenRetry) {
  hrvtest::Sandbox box;
  StringLogger log;
  std::vector<unsigned> pauses;
  const std::string late = box.stage() + "/late/print_log", gone = box.stage() + "/gone/printerInfo";
  auto pause = [&](unsigned us) {
    pauses.push_back(us);
    if (pauses.size() == 3) std::filesystem::create_directories(box.stage() + "/late");
  };
  // A folder that appears during the retries is used; the log grows.
  ASSERT_TRUE(appendToLog(late, "record\n", log, pause));
  ASSERT_TRUE(appendToLog(late, kLogJobDone, log, pause));
  EXPECT_EQ(hrvtest::readFile(late), "record\n\n打印任务完成\n");
  EXPECT_EQ(pauses.size(), 3u);
  // One that never does: eight tries 5000 µs apart, then the step is skipped.
  pauses.clear();
  EXPECT_FALSE(writePrinterInfo(gone, JobSettings{}, log, pause));
  EXPECT_EQ(pauses, std::vector<unsigned>(7, 5000u));
  size_t errors = 0;
  for (size_t at = 0; (at = log.text().find("open file error " + gone + "\n", at)) != std::string::npos; ++at)
    ++errors;
  EXPECT_EQ(errors, 8u);
}
