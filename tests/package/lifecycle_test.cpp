// The Debian package from installation to purge, with dpkg and the real
// maintainer scripts, in the private system copy of deb-session.sh: paths,
// owners and modes, udev and AppArmor hooks, the USB queue found by the
// postinst, printing on both queues as an ordinary user, the job files read
// by another user, and what removal and purge leave behind.
//
// The tests are steps of one installation and run in the order written.
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "config.h"
#include "job_stream.h"
#include "sandbox.h"

using hrvtest::fileExists;
using hrvtest::readFile;
using hrvtest::shell;
using hrvtest::ShellResult;
using hrvtest::waitUntil;
namespace fs = std::filesystem;

namespace {

const std::string kRoot = hrv::kRoot;
const std::string kDebugCopy = hrv::kDebugCopyPath;
const std::string kPackage = "hrv5720zwb";
const std::string kLocalProfile = "/etc/apparmor.d/local/usr.sbin.cupsd";

std::string env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

bool lexists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

size_t count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
  return n;
}

// Owner, group and mode of a path, or a reason why not.
std::string describe(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return "missing";
  const passwd* pw = getpwuid(st.st_uid);
  const group* gr = getgrgid(st.st_gid);
  char mode[8];
  std::snprintf(mode, sizeof mode, "%04o", st.st_mode & 07777);
  std::string kind = S_ISDIR(st.st_mode)   ? "dir"
                     : S_ISLNK(st.st_mode) ? "link"
                     : S_ISREG(st.st_mode) ? "file"
                                           : "other";
  return kind + " " + (pw ? pw->pw_name : "?") + ":" + (gr ? gr->gr_name : "?") + " " + mode;
}

std::string linkTarget(const std::string& path) {
  std::error_code ec;
  fs::path t = fs::read_symlink(path, ec);
  return ec ? "" : t.string();
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);)
    if (!l.empty()) out.push_back(l);
  return out;
}

std::string asUser(const std::string& user, const std::string& command) {
  return "runuser -u " + user + " -- sh -c '" + command + "'";
}

ShellResult dpkg(const std::string& args) {
  return shell("dpkg " + args);
}

// The files and links the package owns (dpkg -L), without the folders.
std::vector<std::string> packageFiles() {
  std::vector<std::string> out;
  for (const std::string& p : lines(dpkg("-L " + kPackage).out))
    if (p != "/." && lexists(p) && !fs::is_directory(p)) out.push_back(p);
  return out;
}

// The job files: the user data that removal leaves.
const std::vector<std::string>& userData() {
  static const std::vector<std::string> files = {hrv::kUsbPrinterInfo, hrv::kUsbPrinterState,
                                                 hrv::kNetPrinterInfo, hrv::kNetIpInfo,
                                                 hrv::kUsbPrintLog,    hrv::kNetPrintLog};
  return files;
}

std::string sample() {
  return env("HRV_SOURCE_DIR") + "/samples/sample.ps";
}

bool jobDone(const std::string& id) {
  return std::regex_search(shell("lpstat -W completed -o").out, std::regex(id + "\\s"));
}

// Submits a job as `user`; returns its id ("QUEUE-N").
std::string submitAs(const std::string& user, const std::string& queue) {
  ShellResult r = shell(asUser(user, "lp -d " + queue + " " + sample()));
  std::smatch m;
  if (!std::regex_search(r.out, m, std::regex("request id is (" + queue + "-\\d+)"))) {
    ADD_FAILURE() << r.out;
    return "none";
  }
  return m[1];
}

std::vector<std::string> simCaptures() {
  std::vector<std::string> jobs;
  for (auto& e : fs::directory_iterator(env("HRV_SIM_DIR")))
    if (e.path().extension() == ".prn") jobs.push_back(e.path().string());
  std::sort(jobs.begin(), jobs.end());
  return jobs;
}

std::string localProfileBefore;

}  // namespace

TEST(DebPackage, AppArmorLeftAloneWhenItDoesNotConfineCupsd) {
  localProfileBefore = fileExists(kLocalProfile) ? readFile(kLocalProfile) : "";
  fs::create_directories("/etc/apparmor.d/disable");
  fs::create_symlink("/etc/apparmor.d/usr.sbin.cupsd", "/etc/apparmor.d/disable/usr.sbin.cupsd");

  ShellResult in = dpkg("-i " + env("HRV_DEB"));
  ASSERT_EQ(in.status, 0) << in.out;
  EXPECT_EQ(fileExists(kLocalProfile) ? readFile(kLocalProfile) : "", localProfileBefore);

  ShellResult purge = dpkg("--purge " + kPackage);
  EXPECT_EQ(purge.status, 0) << purge.out;
  EXPECT_FALSE(lexists("/opt/vorn")) << shell("find /opt/vorn").out;
  fs::remove("/etc/apparmor.d/disable/usr.sbin.cupsd");
}

TEST(DebPackage, InstallLaysOutEveryPathWithOwnerAndMode) {
  ShellResult in = dpkg("-i " + env("HRV_DEB"));
  ASSERT_EQ(in.status, 0) << in.out;

  const std::string dir755 = "dir root:root 0755", exe = "file root:root 0755", data = "file root:root 0644";
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"/opt/vorn", dir755},
      {kRoot, dir755},
      {kRoot + "/bin", dir755},
      {kRoot + "/bin/pstopxl_hrv5720zwb", exe},
      {kRoot + "/bin/pstopxl_hrv5720zwb-net", exe},
      {kRoot + "/bin/add-usb-queue", exe},
      {kRoot + "/bin/hrv5720zwb-printer-app", exe},
      {kRoot + "/bin/usb", dir755},
      {kRoot + "/bin/usb/statusmon", exe},
      {kRoot + "/bin/usb/netsetup", exe},
      {kRoot + "/bin/usb/pdfReader", exe},
      {kRoot + "/bin/usb/oemSetup.ico", data},
      {kRoot + "/bin/usb/hrv5720zwb/bin/gs", "link root:root 0777"},
      {kRoot + "/bin/usb/config", "dir lp:lp 0755"},
      {kRoot + "/bin/usb/config/printerInfo", "file lp:lp 0644"},
      {kRoot + "/bin/usb/config/printerState", "file lp:lp 0644"},
      {kRoot + "/bin/usb/print_log", "file lp:lp 0644"},
      {kRoot + "/bin/net", dir755},
      {kRoot + "/bin/net/statusmon-net", exe},
      {kRoot + "/bin/net/oemSetup.ico", data},
      {kRoot + "/bin/net/config", "dir lp:lp 0755"},
      {kRoot + "/bin/net/config/printerInfo", "file lp:lp 0644"},
      {kRoot + "/bin/net/config/netIpInfo", "file lp:lpadmin 0664"},
      {kRoot + "/bin/net/print_log", "file lp:lp 0644"},
      {kRoot + "/doc/guide.pdf", data},
      {kRoot + "/share/hrv5720zwb.png", data},
      {kRoot + "/share/apparmor/usr.sbin.cupsd", data},
      {"/usr/lib/cups/filter/pstopxl_hrv5720zwb", "link root:root 0777"},
      {"/usr/lib/cups/filter/pstopxl_hrv5720zwb-net", "link root:root 0777"},
      {"/usr/share/cups/model/HRV5720ZWB.ppd", data},
      {"/usr/share/cups/model/HRV5720ZWB-net.ppd", data},
      {"/lib/udev/rules.d/70-hrv5720zwb.rules", data},
      {"/lib/systemd/system/hrv5720zwb-printer-app.service", data},
      {"/etc/xdg/autostart/hrv5720zwb-statusmon.desktop", data},
      {"/etc/xdg/autostart/hrv5720zwb-statusmon-net.desktop", data},
      {"/usr/share/applications/hrv5720zwb-netsetup.desktop", data},
      {"/usr/share/applications/hrv5720zwb-statusmon.desktop", data},
      {"/usr/share/applications/hrv5720zwb-statusmon-net.desktop", data},
      {"/usr/share/metainfo/com.vorn.hrv5720zwb.metainfo.xml", data},
      {"/usr/share/doc/hrv5720zwb/copyright", data},
      {"/usr/share/doc/hrv5720zwb/changelog.Debian.gz", data},
  };
  for (const auto& [path, want] : expected) EXPECT_EQ(describe(path), want) << path;

  EXPECT_EQ(linkTarget("/usr/lib/cups/filter/pstopxl_hrv5720zwb"), kRoot + "/bin/pstopxl_hrv5720zwb");
  EXPECT_EQ(linkTarget("/usr/lib/cups/filter/pstopxl_hrv5720zwb-net"), kRoot + "/bin/pstopxl_hrv5720zwb-net");
  EXPECT_EQ(linkTarget(kRoot + "/bin/usb/hrv5720zwb/bin/gs"), "/usr/bin/gs");
  EXPECT_EQ(access((kRoot + "/bin/usb/hrv5720zwb/bin/gs").c_str(), X_OK), 0);

  // Every path the package owns is in the table above (or is one of its folders).
  std::set<std::string> known;
  for (const auto& e : expected) known.insert(e.first);
  for (const std::string& f : packageFiles())
    EXPECT_TRUE(known.count(f) || f.rfind("/usr/share/lintian/overrides/", 0) == 0) << "unchecked: " << f;

  // Nothing of the suite is world-writable (links aside).
  ShellResult ww = shell(
      "find /opt/vorn /usr/share/cups/model /lib/udev/rules.d /etc/xdg/autostart /usr/share/applications "
      "/usr/share/doc/hrv5720zwb ! -type l -perm -o+w");
  EXPECT_EQ(ww.out, "");

  // The desktop entries start programs that are there, in their folders.
  for (const char* entry : {"/etc/xdg/autostart/hrv5720zwb-statusmon.desktop",
                            "/etc/xdg/autostart/hrv5720zwb-statusmon-net.desktop",
                            "/usr/share/applications/hrv5720zwb-statusmon.desktop",
                            "/usr/share/applications/hrv5720zwb-netsetup.desktop"}) {
    std::string text = readFile(entry);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(text, m, std::regex("\nExec=(\\S+)"))) << entry;
    EXPECT_EQ(access(m[1].str().c_str(), X_OK), 0) << entry << " starts " << m[1];
    ASSERT_TRUE(std::regex_search(text, m, std::regex("\nPath=(\\S+)"))) << entry;
    EXPECT_TRUE(fs::is_directory(m[1].str())) << entry;
  }
}

TEST(DebPackage, CupsListsThePpdsAndThePostinstAddedTheUsbQueue) {
  ShellResult models = shell("lpinfo -m");
  EXPECT_TRUE(std::regex_search(models.out, std::regex("(^|\n)HRV5720ZWB\\.ppd ")));
  EXPECT_TRUE(std::regex_search(models.out, std::regex("(^|\n)HRV5720ZWB-net\\.ppd ")));

  // The stand-in usb backend reports another printer first.
  EXPECT_EQ(shell("lpstat -v HRV5720ZWB").out,
            "device for HRV5720ZWB: usb://Vorn/HRV5720ZWB?serial=HRVSIM0001\n");
  // Run again (as after attaching the printer later), it keeps the queue.
  ShellResult again = shell(kRoot + "/bin/add-usb-queue");
  EXPECT_EQ(again.status, 0) << again.out;
}

TEST(DebPackage, MaintainerScriptsReloadUdevAndExtendCupsdProfile) {
  std::string udev = readFile(env("HRV_UDEVADM_LOG"));
  EXPECT_TRUE(contains(udev, "control --reload-rules")) << udev;
  EXPECT_TRUE(contains(udev, "--attr-match=idVendor=0efd --attr-match=idProduct=0092")) << udev;

  std::string rule = readFile("/lib/udev/rules.d/70-hrv5720zwb.rules");
  EXPECT_TRUE(contains(rule, "ATTR{idVendor}==\"0efd\", ATTR{idProduct}==\"0092\", TAG+=\"uaccess\""))
      << rule;

  // The local include names the rules once, also after a reinstall.
  ASSERT_EQ(dpkg("-i " + env("HRV_DEB")).status, 0);
  std::string local = readFile(kLocalProfile);
  EXPECT_EQ(count(local, "#include \"" + kRoot + "/share/apparmor/usr.sbin.cupsd\"\n"), 1u) << local;
  std::string rules = readFile(kRoot + "/share/apparmor/usr.sbin.cupsd");
  for (const std::string& file :
       {kRoot + "/bin/usb/config/printerInfo", kRoot + "/bin/usb/config/printerState",
        kRoot + "/bin/net/config/printerInfo", kRoot + "/bin/usb/print_log", kRoot + "/bin/net/print_log",
        kDebugCopy})
    EXPECT_TRUE(contains(rules, "  " + file + " rw,\n")) << file;
  if (access("/sbin/apparmor_parser", X_OK) == 0) {
    ShellResult parse = shell("/sbin/apparmor_parser -Q -K /etc/apparmor.d/usr.sbin.cupsd");
    EXPECT_EQ(parse.status, 0) << parse.out;
  }
}

TEST(DebPackage, OrdinaryUserPrintsOnBothQueues) {
  // The network queue as netsetup (or the administrator) adds it.
  ShellResult add =
      shell("/usr/sbin/lpadmin -p HRV5720ZWB-net -m HRV5720ZWB-net.ppd -v socket://127.0.0.1:9100 -E");
  ASSERT_EQ(add.status, 0) << add.out;

  std::string usb = submitAs("alice", "HRV5720ZWB");
  ASSERT_TRUE(waitUntil([&] { return jobDone(usb) && simCaptures().size() == 1; }, 180))
      << shell("lpstat -l -o -p").out;
  std::string net = submitAs("alice", "HRV5720ZWB-net");
  ASSERT_TRUE(waitUntil([&] { return jobDone(net) && simCaptures().size() == 2; }, 180))
      << shell("lpstat -l -o -p").out;

  std::vector<std::string> jobs = simCaptures();
  hrv::pxl::JobReport usbJob = hrv::pxl::analyzeJob(readFile(jobs.at(0)));
  hrv::pxl::JobReport netJob = hrv::pxl::analyzeJob(readFile(jobs.at(1)));
  EXPECT_EQ(usbJob.lockRequests, 0u);
  EXPECT_EQ(netJob.lockRequests, 1u);
  for (const auto* r : {&usbJob, &netJob}) {
    EXPECT_TRUE(r->ok()) << r->error;
    EXPECT_EQ(r->completePages, 3u);
    EXPECT_EQ(r->ending, hrv::pxl::Ending::kTrailer);
  }
}

TEST(DebPackage, AnotherUserReadsTheJobFiles) {
  const std::string info =
      "resolution:600dpi;\npapersize:A4;\ninputslot:AUTO;\nmediatype:PLAIN;\nduplex:None;\n";
  EXPECT_EQ(shell(asUser("bob", "cat " + kRoot + "/bin/usb/config/printerInfo")).out, info);
  EXPECT_EQ(shell(asUser("bob", "cat " + kRoot + "/bin/net/config/printerInfo")).out, info);
  EXPECT_EQ(shell(asUser("bob", "cat " + kRoot + "/bin/usb/config/printerState")).out, "CODE=10001");
  std::string usbLog = shell(asUser("bob", "cat " + kRoot + "/bin/usb/print_log")).out;
  EXPECT_TRUE(contains(usbLog, "打印机名称：HRV5720ZWB\n")) << usbLog;
  EXPECT_TRUE(contains(usbLog, "用户名：alice\n")) << usbLog;
  EXPECT_TRUE(contains(usbLog, "\n打印任务完成\n")) << usbLog;
  std::string netLog = shell(asUser("bob", "cat " + kRoot + "/bin/net/print_log")).out;
  EXPECT_TRUE(contains(netLog, "打印机名称：HRV5720ZWB-net\n")) << netLog;
  EXPECT_TRUE(contains(netLog, "\n打印任务完成\n")) << netLog;

  // Readable, not writable; the filter kept the files' owner and mode.
  for (const std::string& f : userData()) {
    if (f.find("netIpInfo") != std::string::npos) continue;
    EXPECT_NE(shell(asUser("bob", "echo x >> " + f)).status, 0) << f;
    EXPECT_EQ(describe(f), "file lp:lp 0644") << f;
  }
  // The debug copy holds the secure-print PIN: the filter's user only.
  EXPECT_EQ(describe(kDebugCopy), "file lp:lp 0600");
  EXPECT_NE(shell(asUser("bob", "cat " + kDebugCopy + " > /dev/null")).status, 0);
}

TEST(DebPackage, RemovalLeavesOnlyTheUserData) {
  std::vector<std::string> owned = packageFiles();
  ASSERT_FALSE(owned.empty());
  std::map<std::string, std::string> kept;
  for (const std::string& f : userData()) kept[f] = readFile(f);
  size_t udevCalls = lines(readFile(env("HRV_UDEVADM_LOG"))).size();

  ShellResult rm = dpkg("--remove " + kPackage);
  ASSERT_EQ(rm.status, 0) << rm.out;

  // dpkg keeps the conffiles (the autostart entries) until purge; their
  // TryExec program is gone, so they start nothing.
  for (const std::string& f : owned) EXPECT_EQ(lexists(f), f.rfind("/etc/xdg/autostart/", 0) == 0) << f;
  for (const char* entry : {"/etc/xdg/autostart/hrv5720zwb-statusmon.desktop",
                            "/etc/xdg/autostart/hrv5720zwb-statusmon-net.desktop"}) {
    std::smatch m;
    std::string text = readFile(entry);
    ASSERT_TRUE(std::regex_search(text, m, std::regex("\nTryExec=(\\S+)"))) << entry;
    EXPECT_FALSE(lexists(m[1])) << entry;
  }
  for (const auto& [f, text] : kept) EXPECT_EQ(readFile(f), text) << f;
  // Under /opt only the user data and its folders.
  std::set<std::string> left, want;
  for (const auto& e : fs::recursive_directory_iterator("/opt/vorn"))
    if (!e.is_directory()) left.insert(e.path().string());
  for (const auto& [f, text] : kept) want.insert(f);
  EXPECT_EQ(left, want);

  EXPECT_EQ(fileExists(kLocalProfile) ? readFile(kLocalProfile) : "", localProfileBefore);
  EXPECT_GT(lines(readFile(env("HRV_UDEVADM_LOG"))).size(), udevCalls);
  // The queues stay until purge.
  EXPECT_EQ(shell("lpstat -v HRV5720ZWB HRV5720ZWB-net").status, 0);
}

TEST(DebPackage, PurgeDeletesUserDataAndQueues) {
  ShellResult purge = dpkg("--purge " + kPackage);
  ASSERT_EQ(purge.status, 0) << purge.out;
  EXPECT_FALSE(lexists("/opt/vorn")) << shell("find /opt/vorn").out;
  EXPECT_FALSE(lexists("/etc/xdg/autostart/hrv5720zwb-statusmon.desktop"));
  EXPECT_FALSE(lexists("/etc/xdg/autostart/hrv5720zwb-statusmon-net.desktop"));
  EXPECT_NE(shell("lpstat -v HRV5720ZWB").status, 0);
  EXPECT_NE(shell("lpstat -v HRV5720ZWB-net").status, 0);
  EXPECT_NE(dpkg("--status " + kPackage).status, 0);
}
