// The add-queue action against a real cupsd, run by an ordinary user of the
// lpadmin group. Runs inside tests/e2e/cups-session.sh: a scheduler with both
// queues, the suite installed at its real paths. The real /usr/sbin/lpadmin
// runs; only the CUPS restart is a stand-in, since the init script would act
// on the machine's cupsd processes: like the real one run by such a user, it
// fails. Creating a queue sends nothing to its address.
#include "config.h"
#include "sandbox.h"
#include "standins.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>
#include <tuple>

using namespace hrvtest;
using namespace netsetuptest;
namespace fs = std::filesystem;

namespace {

class CupsQueue : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* session = std::getenv("HRV_STAGE");
    if (!session) GTEST_SKIP() << "runs inside tests/e2e/cups-session.sh";
    std::string tmpl = std::string(session) + "/netsetup-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    stage_ = tmpl;
    chmod(stage_.c_str(), 01777);
    writeRecorder(upper() + "/init.d/cups", stage_, "cups", "echo 'cups: not allowed' >&2; exit 4");
    // netIpInfo as the package leaves it: lp's, writable by the lpadmin group.
    const group* admins = getgrnam("lpadmin");
    const passwd* lp = getpwnam("lp");
    ASSERT_TRUE(admins && lp);
    lpadminGid_ = admins->gr_gid;
    lpUid_ = lp->pw_uid;
    writeFile(hrv::kNetIpInfo, "");
    ASSERT_EQ(chown(hrv::kNetIpInfo, lpUid_, lpadminGid_), 0);
    ASSERT_EQ(chmod(hrv::kNetIpInfo, 0664), 0);
  }
  void TearDown() override {
    std::error_code ec;
    if (!stage_.empty()) fs::remove_all(stage_, ec);
  }

  std::string upper() const { return stage_ + "/etc/upper"; }
  std::string saneFile() const { return upper() + "/sane.d/vornhrv5720zwb.conf"; }
  std::string calls() const { return fileExists(stage_ + "/calls") ? readFile(stage_ + "/calls") : ""; }
  // What the scheduler reports, free of any user or environment default.
  std::string lpstat(const std::string& args) const {
    return shell("env -u LPDEST -u PRINTER HOME=" + stage_ + " lpstat " + args).out;
  }

  struct Outcome {
    std::string out, err;
  };
  // As uid 4343, a member of lpadmin only.
  Outcome addQueue(const std::string& address, const std::string& environment = "") {
    std::system((environment + " HOME=" + stage_ +
                 " QT_QPA_PLATFORM=offscreen unshare --mount --propagation private -- /bin/bash " +
                 HRV_QUEUE_NAMESPACE + " " + stage_ +
                 " setpriv --reuid=4343 --regid=4343 --groups=" + std::to_string(lpadminGid_) + " " +
                 HRV_QUEUE_DRIVER + " " + address + " >" + stage_ + "/out 2>" + stage_ + "/err")
                    .c_str());
    return {readFile(stage_ + "/out"), readFile(stage_ + "/err")};
  }

  std::string stage_;
  gid_t lpadminGid_ = 0;
  uid_t lpUid_ = 0;
};

TEST_F(CupsQueue, CreatesTheDefaultQueueAndItsFileWithoutRestartingCups) {
  writeFile(saneFile(), kSaneExample);
  // Start from the session's queue address, with the USB queue as default.
  shell("lpadmin -p HRV5720ZWB-net -v socket://127.0.0.1:9100 && lpadmin -d HRV5720ZWB");
  ASSERT_EQ(lpstat("-v HRV5720ZWB-net"), "device for HRV5720ZWB-net: socket://127.0.0.1:9100\n");
  ASSERT_EQ(lpstat("-d"), "system default destination: HRV5720ZWB\n");

  const Outcome r = addQueue("10.1.2.3");
  EXPECT_EQ(r.out, "status: 添加网络打印机成功！\nopen: 0\n") << r.err;
  EXPECT_EQ(lpstat("-v HRV5720ZWB-net"), "device for HRV5720ZWB-net: socket://10.1.2.3:9100\n");
  EXPECT_EQ(lpstat("-d"), "system default destination: HRV5720ZWB-net\n");
  EXPECT_NE(lpstat("-a HRV5720ZWB-net").find("HRV5720ZWB-net accepting requests"), std::string::npos);
  EXPECT_EQ(calls(), "cups|restart\n");
  EXPECT_NE(r.err.find("/etc/init.d/cups restart: exit status 4: cups: not allowed\n"), std::string::npos)
      << r.err;
  EXPECT_EQ(readFile(hrv::kNetIpInfo), "10.1.2.3");
  struct stat st {};
  ASSERT_EQ(stat(hrv::kNetIpInfo, &st), 0);
  EXPECT_EQ(std::make_tuple(st.st_uid, st.st_gid, st.st_mode & 07777),
            std::make_tuple(lpUid_, lpadminGid_, 0664u));
  // The scanner's file belongs to root: this user leaves it as it was.
  EXPECT_EQ(readFile(saneFile()), kSaneExample);
}

TEST_F(CupsQueue, LpadminFailureIsShownWithItsErrorOutput) {
  // lpadmin cannot reach a scheduler.
  const Outcome r = addQueue("10.9.9.9", "CUPS_SERVER=/run/cups/no-such.sock");
  EXPECT_EQ(r.out, "status: 添加网络打印机失败！\nopen: 1\n");
  EXPECT_TRUE(
      std::regex_search(r.err, std::regex("(^|\n)/usr/sbin/lpadmin -p HRV5720ZWB-net -m HRV5720ZWB-net.ppd "
                                          "-v socket://10\\.9\\.9\\.9:9100 -E: exit status 1: "
                                          "lpadmin: [^\n]+\n")))
      << r.err;
  EXPECT_EQ(lpstat("-v HRV5720ZWB-net").find("10.9.9.9"), std::string::npos);
  EXPECT_EQ(calls(), "");
  EXPECT_EQ(readFile(hrv::kNetIpInfo), "");
}

}  // namespace
