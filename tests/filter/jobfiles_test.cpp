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

class JobFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("hrv-jobfiles-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

}  // namespace

TEST_F(JobFiles, PrinterInfoOfADefaultAndAn1200DpiJob) {
  JobSettings s;
  StringLogger log;
  auto noPause = [](unsigned) {};
  ASSERT_TRUE(writePrinterInfo((dir_ / "printerInfo").string(), s, log, noPause));
  EXPECT_EQ(slurp(dir_ / "printerInfo"),
            "resolution:600dpi;\npapersize:A4;\ninputslot:AUTO;\nmediatype:PLAIN;\nduplex:None;\n");

  s.enhance1200 = true;
  s.duplex = "Booklet";
  EXPECT_EQ(printerInfoText(s),
            "resolution:1200dpi;\npapersize:A4;\ninputslot:AUTO;\nmediatype:PLAIN;\nduplex:Booklet;\n");
}

TEST_F(JobFiles, PrinterStateIsTenBytesReplacingTheLast) {
  StringLogger log;
  auto noPause = [](unsigned) {};
  std::string path = (dir_ / "printerState").string();
  ASSERT_TRUE(writePrinterState(path, kStatePasswdError, log, noPause));
  ASSERT_TRUE(writePrinterState(path, kStateReady, log, noPause));
  EXPECT_EQ(slurp(path), "CODE=10001");
  EXPECT_NE(log.text().find("[VORN-HRV5720ZWB] DEBUG:Open Debug File=" + path + " ok\n"), std::string::npos);
}

TEST_F(JobFiles, LogRecordBytes) {
  JobSettings s;
  s.enhance1200 = true;  // the record shows the rendered 600dpi
  s.duplex = "DuplexTumble";
  LogRecord rec{"HRV5720ZWB-net", "2026年12月06日04:42:25 Sunday", "42", "alice", "report.pdf", 3, 12};
  EXPECT_EQ(logRecordText(rec, s),
            "***************************************************\n"
            "打印机名称：HRV5720ZWB-net\n"
            "日期:2026年12月06日04:42:25 Sunday\n"
            "任务ID：42\n"
            "用户名：alice\n"
            "文件名：report.pdf\n"
            "打印份数：3\n"
            "文档页数：12\n"
            "resolution:600dpi\n"
            "papersize:A4;\n"
            "inputslot:AUTO;\n"
            "mediatype:PLAIN;\n"
            "duplex:短边翻转\n");
  s.duplex = "DuplexNoTumble";
  EXPECT_NE(logRecordText(rec, s).find("duplex:长边翻转\n"), std::string::npos);
  s.duplex = "None";
  EXPECT_NE(logRecordText(rec, s).find("duplex:单面打印\n"), std::string::npos);
  s.duplex = "Booklet";
  EXPECT_EQ(logRecordText(rec, s).find("duplex:"), std::string::npos);
}

TEST_F(JobFiles, AppendKeepsEarlierRecords) {
  StringLogger log;
  auto noPause = [](unsigned) {};
  std::string path = (dir_ / "print_log").string();
  ASSERT_TRUE(appendToLog(path, "record\n", log, noPause));
  ASSERT_TRUE(appendToLog(path, kLogJobDone, log, noPause));
  EXPECT_EQ(slurp(path), "record\n\n打印任务完成\n");
}

TEST_F(JobFiles, MissingDirectoryIsTriedEightTimesThenSkipped) {
  StringLogger log;
  std::vector<unsigned> pauses;
  std::string path = (dir_ / "gone" / "printerInfo").string();
  EXPECT_FALSE(writePrinterInfo(path, JobSettings{}, log, [&](unsigned us) { pauses.push_back(us); }));
  EXPECT_EQ(pauses, std::vector<unsigned>(7, 5000u));
  size_t errors = 0;
  for (size_t at = 0; (at = log.text().find("open file error " + path + "\n", at)) != std::string::npos; ++at)
    ++errors;
  EXPECT_EQ(errors, 8u);
  EXPECT_NE(log.text().find("error number=2, reason:No such file or directory\n"), std::string::npos);
}

TEST_F(JobFiles, RetrySucceedsWhenTheDirectoryAppearsMeanwhile) {
  StringLogger log;
  int attempts = 0;
  fs::path sub = dir_ / "late";
  std::string path = (sub / "printerState").string();
  auto pause = [&](unsigned) {
    if (++attempts == 3) fs::create_directories(sub);
  };
  EXPECT_TRUE(writePrinterState(path, kStatePrinting, log, pause));
  EXPECT_EQ(attempts, 3);
  EXPECT_EQ(slurp(path), "CODE=10023");
}
