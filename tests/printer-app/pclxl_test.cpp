// The PCL XL encoder: its bytes against Ghostscript's PCL XL devices, and a
// misused encoder read back through the stream inspector. Pages of any size
// and content read back as written: fuzz/pclxl_fuzz.cpp and its replay.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "encoder.h"
#include "job_stream.h"
#include "report.h"
#include "rle.h"

namespace {

using namespace hrv::pxl;

std::string hex(std::string_view bytes) {
  std::string out;
  char buf[4];
  for (unsigned char c : bytes) out += (std::snprintf(buf, sizeof buf, "%02x", c), buf);
  return out;
}

// The bytes Ghostscript 10's pxlcolor device writes for the same settings
// (the session at 600 dpi; page openings with media, tray and duplex).
TEST(PclXlBytes, SessionAndPageOpeningsMatchGhostscript) {
  Encoder session(600);
  std::string out;
  session.beginSession(out);
  EXPECT_EQ(hex(out.substr(out.find('\n', kEnterLanguage.size()) + 1)),
            "d158025802f889c000f886c003f88f41c000f888c001f88248");

  auto setup = [](Media media, uint8_t source, Sides sides) {
    PageSetup p;
    p.width = p.height = 8;
    p.media = media;
    p.mediaSource = source;
    p.sides = sides;
    return p;
  };
  const Media a4{false, MediaSize::kA4, 0, 0, value::kPortrait};
  const PageSetup duplexTray1 = setup(a4, 4, Sides::kLongEdge);
  const struct {
    const char* name;
    PageSetup page;
    int pagesBefore;  // of the same job
    const char* beginPage;
  } cases[] = {
      {"A4, automatic tray, one-sided", setup(a4, 1, Sides::kOneSided), 0,
       "c000f828c002f825c001f826c000f83443"},
      {"long edge from tray 1, front side", duplexTray1, 0, "c000f828c002f825c004f826c001f835c000f83643"},
      {"long edge, the second page on the back", duplexTray1, 1,
       "c000f828c002f825c004f826c001f835c001f83643"},
      {"A5 landscape from tray 3",
       setup({false, MediaSize::kA5, 0, 0, value::kLandscape}, 7, Sides::kOneSided), 0,
       "c001f828c010f825c007f826c000f83443"},
      {"custom size of 195x270mm in inches, short edge",
       setup({true, MediaSize::kA4, 4606.0f / 600, 6378.0f / 600, value::kPortrait}, 1, Sides::kShortEdge), 0,
       "c000f828d541a7f5407b142a41f82fc000f830c001f826c000f835c000f83643"},
  };
  for (const auto& c : cases) {
    Encoder e(600);
    std::string page;
    for (int i = 0; i < c.pagesBefore; ++i) e.beginPage(c.page, page), e.endPage(page), page.clear();
    ASSERT_TRUE(e.beginPage(c.page, page)) << c.name;
    EXPECT_EQ(hex(page.substr(0, page.find('\x43') + 1)), c.beginPage) << c.name;
  }
}

// A raster at another resolution than the session's is scaled by the printer:
// two rows of two pixels at 150 dpi cover four units of a 300-dpi session.
TEST(PclXlBytes, RasterAtLowerResolutionIsScaled) {
  Encoder e(300);
  std::string out;
  PageSetup page;
  page.format = PixelFormat::kGray8;
  page.width = page.height = 2;
  page.xdpi = page.ydpi = 150;
  ASSERT_TRUE(e.beginPage(page, out));
  const uint8_t black[2] = {0, 0};
  e.writeRow(black, out);
  e.writeRow(black, out);
  e.endPage(out);
  const std::string bytes = hex(out);
  EXPECT_TRUE(bytes.find("d300000000f84c6b") != std::string::npos &&
              bytes.find("c10200f86cc10200f86bd104000400f867b0") != std::string::npos)
      << "cursor at the top, 2 x 2 source drawn as 4 x 4: " << bytes;
}

TEST(PclXlBytes, RunLengthCoding) {
  const struct {
    const char* name;
    std::string input;
    const char* encoded;
  } cases[] = {
      {"a run of three", "aaa", "fe61"},
      {"two literals", "ab", "016162"},
      {"literals then a run", "abccc", "016162fe63"},
      {"the longest run", std::string(130, 'x'), "8178ff78"},
      {"a run of two stands as a run", "aab", "ff610062"},
  };
  for (const auto& c : cases) {
    std::string packed, back;
    rleEncode(reinterpret_cast<const uint8_t*>(c.input.data()), c.input.size(), packed);
    EXPECT_EQ(
        hex(packed) + (rleDecode(packed, c.input.size(), back) && back == c.input ? "" : " no round trip"),
        c.encoded)
        << c.name;
  }
  std::string out;
  EXPECT_FALSE(rleDecode(std::string("\x05") + "abc", 100, out) || rleDecode("\xfe", 100, out) ||
               rleDecode("\x81x", 127, out))
      << "a literal cut short, a run without its byte, more than the limit";
  out.clear();
  EXPECT_TRUE(rleDecode("\x80\xfex", 3, out) && out == "xxx") << "128 is skipped";
}

TEST(PclXlBytes, MisuseWritesNothingWrong) {
  Encoder e(600);
  std::string out;
  e.beginSession(out);
  const size_t header = out.size();
  PageSetup page;
  page.width = 0;
  page.height = 10;
  EXPECT_FALSE(e.beginPage(page, out)) << "no pixels";
  page.width = kMaxPixels + 1;
  EXPECT_FALSE(e.beginPage(page, out)) << "too wide";
  EXPECT_EQ(out.size(), header);
  page.width = 4;
  page.height = 2;
  ASSERT_TRUE(e.beginPage(page, out));
  EXPECT_FALSE(e.beginPage(page, out)) << "a page inside a page";
  const uint8_t black[12] = {};
  for (int i = 0; i < 5; ++i) e.writeRow(black, out);  // three rows too many
  e.endSession(out);                                   // ends the open page too
  const JobReport r = analyzeJob(out);
  EXPECT_EQ(std::to_string(r.ok()) + " " + std::to_string(r.completePages) + " " +
                std::to_string(r.pages.empty() ? 0 : r.pages[0].imageRows),
            "1 1 2");
}

}  // namespace
