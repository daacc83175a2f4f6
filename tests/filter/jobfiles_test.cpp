// The job files: exact texts and the open-with-retry rule.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "jobfiles.h"

using namespace hrv;
namespace fs = std::filesystem;

namespace {

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

JobSettings withDuplex(const char* duplex, bool enhance1200 = false) {
  JobSettings s;
  s.duplex = duplex;
  s.enhance1200 = enhance1200;
  return s;
}

}  // namespace

TEST(JobFiles, PrinterInfoText) {
  EXPECT_EQ(printerInfoText(JobSettings{}),
            "resolution:600dpi;\npapersize:A4;\ninputslot:AUTO;\nmediatype:PLAIN;\nduplex:None;\n");
  EXPECT_EQ(printerInfoText(withDuplex("Booklet", true)),
            "resolution:1200dpi;\npapersize:A4;\ninputslot:AUTO;\nmediatype:PLAIN;\nduplex:Booklet;\n");
}

TEST(JobFiles, LogRecordText) {
  const LogRecord rec{"HRV5720ZWB-net", "2026年12月06日04:42:25 Sunday", "42", "alice", "report.pdf", 3, 12};
  const std::string head =
      "***************************************************\n打印机名称：HRV5720ZWB-net\n"
      "日期:2026年12月06日04:42:25 Sunday\n任务ID：42\n用户名：alice\n文件名：report.pdf\n"
      "打印份数：3\n文档页数：12\n";
  // The record shows the rendered 600dpi of a 1200dpi job.
  const std::string settings = "resolution:600dpi\npapersize:A4;\ninputslot:AUTO;\nmediatype:PLAIN;\n";
  const struct {
    const char* duplex;
    const char* line;
  } cases[] = {
      {"DuplexTumble", "duplex:短边翻转\n"},
      {"DuplexNoTumble", "duplex:长边翻转\n"},
      {"None", "duplex:单面打印\n"},
      {"Booklet", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(logRecordText(rec, withDuplex(c.duplex, true)), head + settings + c.line) << c.duplex;

  // User and title cannot add lines.
  const LogRecord hostile{"HRV5720ZWB", "d", "7", "eve\n\r", "a\nSTATE: x\tb", 1, 0};
  EXPECT_NE(logRecordText(hostile, JobSettings{}).find("用户名：eve  \n文件名：a STATE: x b\n"),
            std::string::npos);
}

TEST(JobFiles, WritesAndTheOpenRetry) {
  const fs::path dir = fs::temp_directory_path() / ("hrv-jobfiles-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  StringLogger log;
  std::vector<unsigned> pauses;
  auto pause = [&](unsigned us) {
    pauses.push_back(us);
    if (pauses.size() == 3) fs::create_directories(dir / "late");
  };

  // The state replaces the last; the log grows.
  ASSERT_TRUE(writePrinterState((dir / "printerState").string(), kStatePasswdError, log, pause));
  ASSERT_TRUE(writePrinterState((dir / "printerState").string(), kStateReady, log, pause));
  EXPECT_EQ(slurp(dir / "printerState"), "CODE=10001");
  ASSERT_TRUE(appendToLog((dir / "print_log").string(), "record\n", log, pause));
  ASSERT_TRUE(appendToLog((dir / "print_log").string(), kLogJobDone, log, pause));
  EXPECT_EQ(slurp(dir / "print_log"), "record\n\n打印任务完成\n");
  EXPECT_TRUE(pauses.empty());

  // A folder that appears during the retries is used.
  EXPECT_TRUE(writePrinterState((dir / "late" / "printerState").string(), kStatePrinting, log, pause));
  EXPECT_EQ(pauses.size(), 3u);

  // One that never does: eight tries 5000 µs apart, then the step is skipped.
  pauses.clear();
  log.clear();
  const std::string gone = (dir / "gone" / "printerInfo").string();
  EXPECT_FALSE(writePrinterInfo(gone, JobSettings{}, log, pause));
  EXPECT_EQ(pauses, std::vector<unsigned>(7, 5000u));
  size_t errors = 0;
  for (size_t at = 0; (at = log.text().find("open file error " + gone + "\n", at)) != std::string::npos; ++at)
    ++errors;
  EXPECT_EQ(errors, 8u);
  fs::remove_all(dir);
}
