// The add-queue action against a real cupsd, run by an ordinary user of the
// lpadmin group, inside tests/e2e/cups-session.sh (a scheduler with both
// queues, the suite installed at its real paths). The real /usr/sbin/lpadmin
// runs; the CUPS restart is a stand-in, since the init script would act on
// the machine's cupsd: like the real one run by such a user, it fails.
// Creating a queue sends nothing to its address.
#include "config.h"
#include "sandbox.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <tuple>

using namespace hrvtest;

namespace {

TEST(CupsQueue, CreatesTheDefaultQueueAndItsFileWithoutRestartingCups) {
  const char* session = std::getenv("HRV_STAGE");
  if (!session) GTEST_SKIP() << "runs inside tests/e2e/cups-session.sh";
  const std::string stage = std::string(session) + "/netsetup", upper = stage + "/etc/upper";
  std::filesystem::remove_all(stage);
  std::filesystem::create_directories(upper + "/init.d");
  std::filesystem::create_directories(upper + "/sane.d");
  chmod(stage.c_str(), 01777);
  // The restart: records its arguments, then fails as for a user.
  writeFile(upper + "/init.d/cups",
            "#!/bin/sh\necho \"$@\" >> " + stage + "/calls\necho 'cups: not allowed' >&2\nexit 4\n");
  chmod((upper + "/init.d/cups").c_str(), 0755);
  const std::string sane = "#net autodiscovery\n#net 192.168.0.10\nnet 10.0.0.9\n";
  writeFile(upper + "/sane.d/vornhrv5720zwb.conf", sane);
  // netIpInfo as the package leaves it: lp's, writable by the lpadmin group.
  const group* admins = getgrnam("lpadmin");
  const passwd* lp = getpwnam("lp");
  ASSERT_TRUE(admins && lp);
  writeFile(hrv::kNetIpInfo, "");
  ASSERT_EQ(chown(hrv::kNetIpInfo, lp->pw_uid, admins->gr_gid) | chmod(hrv::kNetIpInfo, 0664), 0);
  // From the session's queue address, with the USB queue as the default.
  const auto lpstat = [&](const std::string& args) {
    return shell("env -u LPDEST -u PRINTER HOME=" + stage + " lpstat " + args).out;
  };
  shell("lpadmin -p HRV5720ZWB-net -v socket://127.0.0.1:9100 && lpadmin -d HRV5720ZWB");
  ASSERT_EQ(lpstat("-d"), "system default destination: HRV5720ZWB\n");

  const std::string out =
      shell("{ HOME=" + stage + " HRV_QUEUE_ADDRESS=10.1.2.3 unshare --mount --propagation private " +
            "-- /bin/bash " + HRV_QUEUE_NAMESPACE + " " + stage + " setpriv --reuid=4343 " +
            "--regid=4343 --groups=" + std::to_string(admins->gr_gid) + " " + HRV_WINDOW_TESTS +
            " --gtest_filter=QueueDriver.* 2>" + stage + "/err; }")
          .out;
  const std::string err = readFile(stage + "/err");
  EXPECT_NE(out.find("status: 添加网络打印机成功！\nopen: 0\n"), std::string::npos) << out << err;
  EXPECT_NE(err.find("/etc/init.d/cups restart: exit status 4: cups: not allowed\n"), std::string::npos)
      << err;
  EXPECT_EQ(
      lpstat("-v HRV5720ZWB-net") + lpstat("-d"),
      "device for HRV5720ZWB-net: socket://10.1.2.3:9100\nsystem default destination: HRV5720ZWB-net\n");
  EXPECT_EQ(readFile(stage + "/calls"), "restart\n");
  struct stat st {};
  ASSERT_EQ(stat(hrv::kNetIpInfo, &st), 0);
  EXPECT_EQ(std::make_tuple(readFile(hrv::kNetIpInfo), st.st_uid, st.st_gid, st.st_mode & 07777),
            std::make_tuple(std::string("10.1.2.3"), lp->pw_uid, admins->gr_gid, 0664u));
  // The scanner's file belongs to root: this user leaves it as it was.
  EXPECT_EQ(readFile(upper + "/sane.d/vornhrv5720zwb.conf"), sane);
}

}  // namespace
