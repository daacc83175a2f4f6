// Inspection of the spooled PostScript: pages, copies, MediaBox size.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "psscan.h"

using namespace hrv;

namespace {

Inspection inspect(const std::string& text, StringLogger* logOut = nullptr) {
  std::FILE* f = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
  StringLogger log;
  Inspection r = inspectPostScript(f, log);
  std::fclose(f);
  if (logOut) *logOut = log;
  return r;
}

}  // namespace

TEST(PsScan, PagesAtEndTakesTheTrailerCount) {
  auto r = inspect("%!PS-Adobe-3.0\n%%Pages: (atend)\n%%Page: 1 1\nshowpage\n%%Trailer\n%%Pages: 7\n%%EOF\n");
  EXPECT_EQ(r.pages, 7);
  EXPECT_EQ(inspect("%%Pages: 2\n%%Pages: 5\n").pages, 5);
  EXPECT_EQ(inspect("%!PS\nshowpage\n").pages, 0);
}

TEST(PsScan, CopiesRules) {
  EXPECT_EQ(inspect("/#copies 0 def\n%%Requirements: numcopies(3) collate\n").copies, 3);
  EXPECT_EQ(inspect("%%Requirements: numcopies(3)\n/#copies 2 def\n").copies, 2);
  EXPECT_EQ(inspect("/#copies 2 def\n%%Requirements: numcopies(9)\n").copies, 2);
  StringLogger log;
  EXPECT_EQ(inspect("%!PS\n", &log).copies, 1);
  EXPECT_NE(log.text().find("can not find copies from ps \n"), std::string::npos);
}

TEST(PsScan, MediaBoxWithAndWithoutSpaceAndTruncation) {
  EXPECT_EQ(inspect("<< /MediaBox [0 0 595.28 841.89] >>\n").paperSize, "A4");
  EXPECT_EQ(inspect("/MediaBox[0 0 612 792]\n").paperSize, "Letter");
  EXPECT_EQ(inspect("%%MediaBox [ 0 0 612.5 1008.9 ]\n").paperSize, "Legal");
  EXPECT_EQ(inspect("MediaBox [0 0 597 842]\n").paperSize, "");  // no known size
  EXPECT_EQ(inspect("MediaBox [0 0 842 595]\n").paperSize, "");  // landscape A4
  EXPECT_EQ(inspect("MediaBox [0 0 595 420]\n").paperSize, "A5L");
  EXPECT_EQ(inspect("MediaBox [0 0 517 729]\n").paperSize, "B5");
  // Only the first MediaBox with four numbers counts.
  EXPECT_EQ(inspect("MediaBox [0 0]\nMediaBox [0 0 612 792]\nMediaBox [0 0 595 842]\n").paperSize, "Letter");
}

TEST(PsScan, HostileMediaBoxNumbersAreHandled) {
  for (const char* line : {"MediaBox [0 0 1e30 -1e30]\n", "MediaBox [0 0 nan nan]\n",
                           "MediaBox [0 0 inf -inf]\n", "MediaBox [0 0 -595 -842]\n",
                           "MediaBox [0 0 99999999999999999999 842]\n", "MediaBox [0 0 4294967891 842]\n"}) {
    EXPECT_EQ(inspect(line).paperSize, "") << line;
  }
  EXPECT_EQ(inspect("%%Pages: 99999999999999999999\n").pages, 2147483647);
  EXPECT_EQ(inspect("/#copies -99999999999999999999\n").copies, -2147483647 - 1);
}

TEST(PsScan, LongLinesAreReadInPieces) {
  // A 600-character line: its pieces are scanned as lines of their own, so a
  // MediaBox in the second piece is found and a %%Pages: mid-line is not.
  std::string line(390, 'x');
  line += " %%Pages: 4 ";
  line += std::string(600 - line.size() - 30, 'y');
  line += "/MediaBox [0 0 612 792]";
  line += "\n";
  auto r = inspect(line);
  EXPECT_EQ(r.pages, 0);
  EXPECT_EQ(r.paperSize, "Letter");
  // A piece that starts exactly at 399 bytes is seen as a line start.
  std::string split = std::string(399, 'z') + "%%Pages: 3\n";
  EXPECT_EQ(inspect(split).pages, 3);
}

TEST(PsScan, SpoolPathAndMissingFile) {
  EXPECT_EQ(spoolFilePath("/var/spool/cups", "7"), "/var/spool/cups/d00007-001");
  EXPECT_EQ(spoolFilePath("/var/spool/cups", "123456"), "/var/spool/cups/d123456-001");
  StringLogger log;
  Inspection r = getPageCount("/nonexistent-dir", "42", log);
  EXPECT_EQ(r.pages, 0);
  EXPECT_EQ(r.copies, 1);
  EXPECT_EQ(r.paperSize, "");
  EXPECT_NE(log.text().find("psfilepth for get Page Count= /nonexistent-dir/d00042-001\n"),
            std::string::npos);
}

TEST(PsScan, ReadsTheSpoolFileOfTheJob) {
  auto dir = std::filesystem::temp_directory_path() / "hrv-psscan";
  std::filesystem::create_directories(dir);
  {
    std::ofstream out(dir / "d00123-001");
    out << "%!PS-Adobe-3.0\n%%BoundingBox: 0 0 595 842\n%%Pages: 2\n"
           "%%Requirements: numcopies(4)\n<< /MediaBox [0 0 595 842] >> setpagedevice\n";
  }
  StringLogger log;
  Inspection r = getPageCount(dir.string(), "123", log);
  std::filesystem::remove_all(dir);
  EXPECT_EQ(r.pages, 2);
  EXPECT_EQ(r.copies, 4);
  EXPECT_EQ(r.paperSize, "A4");
  EXPECT_NE(log.text().find("extract papersize = A4, k=595, l=842\n"), std::string::npos);
}
