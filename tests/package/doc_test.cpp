// The user guide as built, and pdfReader, the viewer the setup tool's
// launcher starts with it: which program it picks, the arguments it gives,
// and that it returns only when the viewer has ended.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "sandbox.h"

using hrvtest::shell;
using hrvtest::ShellResult;
namespace fs = std::filesystem;

namespace {

void writeFile(const fs::path& path, const std::string& text, bool executable = false) {
  hrvtest::writeFile(path.string(), text);
  if (executable) fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
}

std::string quoted(const std::string& s) {
  return "'" + s + "'";
}

// A scratch desktop: its own PATH, data folders and a viewer stand-in that
// records its arguments, takes its time, then marks that it has ended.
class Desktop : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/hrv-pdfreader-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    document_ = dir_ / "the guide.pdf";
    writeFile(document_, "%PDF-1.4\n");
    writeFile(dir_ / "viewer dir" / "view",
              "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > " + quoted(args().string()) +
                  "\nsleep 1\n: > " + quoted(ended().string()) + "\nexit 3\n",
              true);
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path bin() const { return dir_ / "bin"; }
  fs::path args() const { return dir_ / "args"; }
  fs::path ended() const { return dir_ / "ended"; }
  fs::path viewer() const { return dir_ / "viewer dir" / "view"; }

  // xdg-mime stand-in naming the default PDF application (none for "").
  void defaultApplication(const std::string& id) {
    writeFile(bin() / "xdg-mime",
              "#!/bin/sh\n[ \"$*\" = 'query default application/pdf' ] && echo '" + id + "'\n", true);
  }

  ShellResult pdfReader(const std::string& arguments) {
    return shell(
        "env -i PATH=" + quoted(bin().string() + ":/usr/bin:/bin") + " HOME=" + quoted(dir_.string()) +
        " XDG_DATA_HOME=" + quoted((dir_ / "home-data").string()) +
        " XDG_DATA_DIRS=" + quoted((dir_ / "none").string() + ":" + (dir_ / "system-data").string()) + " " +
        HRV_SOURCE_DIR "/doc/pdfReader " + arguments);
  }

  fs::path dir_, document_;
};

TEST_F(Desktop, DefaultApplicationGetsTheDocumentAndIsWaitedFor) {
  defaultApplication("test-viewer.desktop");
  writeFile(dir_ / "home-data/applications/test-viewer.desktop",
            "[Desktop Action New]\nExec=/bin/false\n\n"
            "[Desktop Entry]\nType=Application\nName=Test Viewer\n"
            "Exec=\"" +
                viewer().string() + "\" --zoom=100%% %U --name %c %i\n");
  ShellResult r = pdfReader(quoted(document_.string()));
  EXPECT_EQ(r.status, 3) << r.out;
  EXPECT_TRUE(fs::exists(ended())) << "returned before the viewer ended";
  EXPECT_EQ(hrvtest::readFile(args()), "--zoom=100%\n" + document_.string() + "\n--name\nTest Viewer\n");
}

TEST_F(Desktop, EntryWithoutFieldCodeFromSystemDataGetsTheDocumentLast) {
  defaultApplication("vendor-viewer.desktop");
  // Desktop ids map '-' to a subfolder when no file has the plain name.
  writeFile(dir_ / "system-data/applications/vendor/viewer.desktop",
            "[Desktop Entry]\nName=V\nExec=\"" + viewer().string() + "\"\\s--single\n");
  ShellResult r = pdfReader(quoted(document_.string()));
  EXPECT_EQ(r.status, 3) << r.out;
  EXPECT_EQ(hrvtest::readFile(args()), "--single\n" + document_.string() + "\n");
}

TEST_F(Desktop, WithoutADefaultTheFirstCommonViewerIsUsed) {
  defaultApplication("");
  fs::create_symlink(viewer(), bin() / "okular");
  ShellResult r = pdfReader(quoted(document_.string()));
  EXPECT_EQ(r.status, 3) << r.out;
  EXPECT_TRUE(fs::exists(ended()));
  EXPECT_EQ(hrvtest::readFile(args()), document_.string() + "\n");
}

TEST_F(Desktop, MissingDocumentOrArgumentStartsNothing) {
  defaultApplication("test-viewer.desktop");
  writeFile(dir_ / "home-data/applications/test-viewer.desktop",
            "[Desktop Entry]\nExec=\"" + viewer().string() + "\" %f\n");
  EXPECT_EQ(pdfReader(quoted((dir_ / "absent.pdf").string())).status, 1);
  EXPECT_EQ(pdfReader("").status, 2);
  EXPECT_FALSE(fs::exists(args()));
}

// The guide as installed: Chinese and English text, the CJK font embedded
// (without it the Chinese comes out as empty boxes).
TEST(UserGuide, BilingualWithEmbeddedCjkFont) {
  const std::string pdf = HRV_GUIDE_PDF;
  ASSERT_TRUE(fs::exists(pdf));
  ShellResult fonts = shell("pdffonts " + pdf);
  ASSERT_EQ(fonts.status, 0) << fonts.out;
  bool cjkEmbedded = false;
  std::istringstream in(fonts.out);
  for (std::string line; std::getline(in, line);)
    if (line.find("WenQuanYi") != std::string::npos && line.find(" yes ") != std::string::npos)
      cjkEmbedded = true;
  EXPECT_TRUE(cjkEmbedded) << fonts.out;

  ShellResult text = shell("pdftotext -enc UTF-8 " + pdf + " -");
  ASSERT_EQ(text.status, 0) << text.out;
  for (const char* part :
       {"安装", "Installing", "安全打印", "Secure print", "状态监视器", "The status monitors", "网络设置",
        "Network setup", "lpadmin -p HRV5720ZWB-net -m HRV5720ZWB-net.ppd"})
    EXPECT_NE(text.out.find(part), std::string::npos) << part;
}

}  // namespace
