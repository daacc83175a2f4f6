// The PCL XL encoder: its bytes against Ghostscript's PCL XL devices, and
// pages read back through the stream inspector's decoder.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
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
  for (unsigned char c : bytes) {
    std::snprintf(buf, sizeof buf, "%02x", c);
    out += buf;
  }
  return out;
}

std::string field(const std::string& summary, const std::string& key) {
  size_t at = summary.find("\n" + key + "=");
  if (at == std::string::npos) return "<missing>";
  at += key.size() + 2;
  return summary.substr(at, summary.find('\n', at) - at);
}

// The bytes Ghostscript 10's pxlcolor device writes for the same settings
// (the session at 600 dpi; page openings with media, tray and duplex).
TEST(PclXlBytes, SessionAndPageOpeningsMatchGhostscript) {
  Encoder session(600);
  std::string out;
  session.beginSession(out);
  EXPECT_EQ(hex(out.substr(out.find('\n', kEnterLanguage.size()) + 1)),
            "d158025802f889c000f886c003f88f41c000f888c001f88248");

  struct Case {
    const char* name;
    PageSetup page;
    const char* beginPage;
  };
  PageSetup a4;
  a4.width = a4.height = 8;
  PageSetup duplexTray1 = a4;
  duplexTray1.sides = Sides::kLongEdge;
  duplexTray1.mediaSource = 4;
  PageSetup landscapeA5 = a4;
  landscapeA5.media = Media{false, MediaSize::kA5, 0, 0, value::kLandscape};
  landscapeA5.mediaSource = 7;
  PageSetup custom = a4;
  custom.media = Media{true, MediaSize::kA4, 4606.0f / 600, 6378.0f / 600, value::kPortrait};  // 195x270mm
  custom.sides = Sides::kShortEdge;
  const Case cases[] = {
      {"A4, automatic tray, one-sided", a4, "c000f828c002f825c001f826c000f83443"},
      {"long edge from tray 1, front side", duplexTray1, "c000f828c002f825c004f826c001f835c000f83643"},
      {"A5 landscape from tray 3", landscapeA5, "c001f828c010f825c007f826c000f83443"},
      {"custom size in inches, short edge", custom,
       "c000f828d541a7f5407b142a41f82fc000f830c001f826c000f835c000f83643"},
  };
  for (const Case& c : cases) {
    Encoder e(600);
    std::string page;
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
  EXPECT_NE(bytes.find("d300000000f84c6b"), std::string::npos) << "cursor at the top";
  EXPECT_NE(bytes.find("c10200f86cc10200f86bd104000400f867b0"), std::string::npos)
      << "2 x 2 source drawn as 4 x 4: " << bytes;
}

TEST(PclXlBytes, RunLengthCoding) {
  struct Case {
    const char* name;
    std::string input;
    const char* encoded;
  };
  const Case cases[] = {
      {"a run of three", "aaa", "fe61"},
      {"two literals", "ab", "016162"},
      {"literals then a run", "abccc", "016162fe63"},
      {"the longest run", std::string(130, 'x'), "8178ff78"},
      {"a run of two stands as a run", "aab", "ff610062"},
  };
  for (const Case& c : cases) {
    std::string packed, back;
    rleEncode(reinterpret_cast<const uint8_t*>(c.input.data()), c.input.size(), packed);
    EXPECT_EQ(hex(packed), c.encoded) << c.name;
    EXPECT_TRUE(rleDecode(packed, c.input.size(), back)) << c.name;
    EXPECT_EQ(back, c.input) << c.name;
  }
  std::string out;
  EXPECT_FALSE(
      rleDecode("\x05"
                "abc",
                100, out))
      << "a literal cut short";
  EXPECT_FALSE(rleDecode("\xfe", 100, out)) << "a run without its byte";
  EXPECT_FALSE(rleDecode("\x81x", 127, out)) << "more than the limit";
  out.clear();
  EXPECT_TRUE(rleDecode("\x80\xfex", 3, out)) << "128 is skipped";
  EXPECT_EQ(out, "xxx");
}

// Collects decoded image rows into white pages.
class Pages : public ImageSink {
 public:
  Pages(unsigned width, unsigned height, unsigned components)
      : rowBytes_(size_t{width} * components), height_(height) {}
  void row(int page, unsigned x, unsigned y, unsigned components, std::string_view pixels) override {
    while (pages_.size() < static_cast<size_t>(page))
      pages_.emplace_back(height_, std::string(rowBytes_, '\xff'));
    EXPECT_EQ(x, 0u);
    ASSERT_LT(y, height_);
    ASSERT_EQ(pixels.size(), rowBytes_) << components;
    pages_[page - 1][y] = std::string(pixels);
  }
  std::vector<std::vector<std::string>> pages_;

 private:
  size_t rowBytes_;
  unsigned height_;
};

using Pattern = std::function<uint8_t(unsigned x, unsigned y)>;

TEST(PclXlRoundTrip, PagesReadBackAsWritten) {
  struct Case {
    const char* name;
    PixelFormat format;
    unsigned width, height;
    Pattern pattern;
    unsigned expectedRows;  // rows sent: the rows that are not all white
    const char* compression;
  };
  auto noise = [](unsigned x, unsigned y) { return static_cast<uint8_t>((x * 7919u + y * 104729u) >> 3); };
  auto bands = [](unsigned x, unsigned y) {
    return static_cast<uint8_t>(y % 10 < 4 ? 0xFF : x / 8 % 3 * 60);
  };
  auto white = [](unsigned, unsigned) { return uint8_t{0xFF}; };
  const Case cases[] = {
      {"colour gradient", PixelFormat::kRgb8, 301, 40,
       [](unsigned x, unsigned y) { return uint8_t(x / 16 + y); }, 40, "rle"},
      {"gray noise, width not a multiple of four", PixelFormat::kGray8, 13, 9, noise, 9, "none"},
      {"white bands are left out", PixelFormat::kRgb8, 64, 50, bands, 30, "rle"},
      {"a white page sends no image", PixelFormat::kGray8, 100, 20, white, 0, "none"},
      {"one pixel", PixelFormat::kGray8, 1, 1, [](unsigned, unsigned) { return uint8_t{0}; }, 1, "rle"},
      {"rows past one strip", PixelFormat::kRgb8, 4000, 60, noise, 60, "none"},
  };
  for (const Case& c : cases) {
    unsigned components = c.format == PixelFormat::kRgb8 ? 3 : 1;
    std::vector<std::string> rows(c.height, std::string(size_t{c.width} * components, '\0'));
    for (unsigned y = 0; y < c.height; ++y)
      for (unsigned x = 0; x < c.width * components; ++x) rows[y][x] = static_cast<char>(c.pattern(x, y));

    Encoder e(300);
    std::string job;
    e.beginSession(job);
    PageSetup page;
    page.format = c.format;
    page.width = c.width;
    page.height = c.height;
    page.copies = 2;
    page.sides = Sides::kLongEdge;
    for (int p = 0; p < 2; ++p) {
      ASSERT_TRUE(e.beginPage(page, job)) << c.name;
      for (const std::string& r : rows) e.writeRow(reinterpret_cast<const uint8_t*>(r.data()), job);
      e.endPage(job);
    }
    e.endSession(job);

    Pages sink(c.width, c.height, components);
    JobReport report = analyzeJob(job, &sink);
    ASSERT_TRUE(report.ok()) << c.name << ": " << report.error << " at " << report.errorOffset;
    std::string s = "\n" + formatSummary(report);
    EXPECT_EQ(field(s, "pages"), "2") << c.name;
    EXPECT_EQ(field(s, "resolution"), "300x300") << c.name;
    EXPECT_EQ(field(s, "page1.image_rows"), std::to_string(c.expectedRows)) << c.name;
    EXPECT_EQ(field(s, "page1.compression"), c.compression) << c.name;
    EXPECT_EQ(field(s, "page1.colorspace"), components == 3 ? "RGB" : "Gray") << c.name;
    EXPECT_EQ(field(s, "page2.copies"), "2") << c.name;
    EXPECT_EQ(field(s, "page1.duplex") + " " + field(s, "page2.duplex"), "duplex-vertical duplex-vertical");
    ASSERT_EQ(sink.pages_.size(), c.expectedRows ? 2u : 0u) << c.name;
    for (const auto& decoded : sink.pages_) EXPECT_TRUE(decoded == rows) << c.name;
  }
}

TEST(PclXlRoundTrip, MisuseWritesNothingWrong) {
  Encoder e(600);
  std::string out;
  e.beginSession(out);
  size_t header = out.size();
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
  EXPECT_EQ(e.rowsWritten(), 2u);
  e.endSession(out);  // ends the open page too
  JobReport report = analyzeJob(out);
  ASSERT_TRUE(report.ok()) << report.error;
  EXPECT_EQ(report.completePages, 1u);
  EXPECT_EQ(report.pages.at(0).imageRows, 2u);
}

}  // namespace
