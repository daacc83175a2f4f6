// Inspection of the spooled PostScript: pages, copies, MediaBox size.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "psscan.h"

using namespace hrv;

namespace {

// "pages copies size" of a spool file's text.
std::string inspect(const std::string& text) {
  std::FILE* f = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
  StringLogger log;
  const Inspection r = inspectPostScript(f, log);
  std::fclose(f);
  return std::to_string(r.pages) + " " + std::to_string(r.copies) + " " + r.paperSize;
}

}  // namespace

TEST(PsScan, PagesCopiesAndSize) {
  const std::string longLine =
      std::string(390, 'x') + " %%Pages: 4 " + std::string(168, 'y') + "/MediaBox [0 0 612 792]\n";
  const struct {
    const char* what;
    std::string text;
    const char* found;
  } cases[] = {
      {"nothing to find", "%!PS\nshowpage\n", "0 1 "},
      {"the trailer's count after (atend)", "%%Pages: (atend)\n%%Page: 1 1\n%%Trailer\n%%Pages: 7\n", "7 1 "},
      {"the last count", "%%Pages: 2\n%%Pages: 5\n", "5 1 "},
      {"numcopies when /#copies is 0", "/#copies 0 def\n%%Requirements: numcopies(3) collate\n", "0 3 "},
      {"/#copies over numcopies", "/#copies 2 def\n%%Requirements: numcopies(9)\n", "0 2 "},
      {"A4, numbers cut toward zero", "<< /MediaBox [0 0 595.28 841.89] >>\n", "0 1 A4"},
      {"no blank before the bracket", "/MediaBox[0 0 612 792]\n", "0 1 Letter"},
      {"Legal from 612.5 x 1008.9", "%%MediaBox [ 0 0 612.5 1008.9 ]\n", "0 1 Legal"},
      {"597 x 842 is no size", "MediaBox [0 0 597 842]\n", "0 1 "},
      {"landscape A4 is no size", "MediaBox [0 0 842 595]\n", "0 1 "},
      {"landscape A5 is", "MediaBox [0 0 595 420]\n", "0 1 A5L"},
      {"the first MediaBox with four numbers",
       "MediaBox [0 0]\nMediaBox [0 0 612 792]\nMediaBox [0 0 595 842]\n", "0 1 Letter"},
      {"huge numbers are no size", "MediaBox [0 0 1e30 -1e30]\n", "0 1 "},
      {"NaN is no size", "MediaBox [0 0 nan nan]\n", "0 1 "},
      {"a number past 32 bits is no size", "MediaBox [0 0 4294967891 842]\n", "0 1 "},
      {"a page count past int is clamped", "%%Pages: 99999999999999999999\n", "2147483647 1 "},
      {"pieces of 399 bytes are lines of their own", longLine, "0 1 Letter"},
      {"a piece that starts at byte 399", std::string(399, 'z') + "%%Pages: 3\n", "3 1 "},
  };
  for (const auto& c : cases) EXPECT_EQ(inspect(c.text), c.found) << c.what;
}

TEST(PsScan, TheSpoolFileOfTheJob) {
  EXPECT_EQ(spoolFilePath("/var/spool/cups", "7"), "/var/spool/cups/d00007-001");
  EXPECT_EQ(spoolFilePath("/var/spool/cups", "123456"), "/var/spool/cups/d123456-001");

  const auto dir = std::filesystem::temp_directory_path() / ("hrv-psscan-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "d00123-001")
      << "%%Pages: 2\n%%Requirements: numcopies(4)\n<< /MediaBox [0 0 595 842] >>\n";
  StringLogger log;
  const Inspection found = getPageCount(dir.string(), "123", log);
  const Inspection missing = getPageCount(dir.string(), "124", log);
  std::filesystem::remove_all(dir);
  EXPECT_EQ(std::to_string(found.pages) + found.paperSize + std::to_string(found.copies), "2A44");
  EXPECT_EQ(std::to_string(missing.pages) + missing.paperSize + std::to_string(missing.copies), "01");
}
