// The stream inspector on Ghostscript's real PCL XL output and on hand-built
// streams with one fault each.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "job_stream.h"
#include "pxl_builder.h"
#include "report.h"
#include "test_support.h"

namespace {

using hrv::pxl::analyzeJob;
using hrv::pxl::ErrorKind;
using hrv::pxl::formatSummary;
using hrv::pxl::JobReport;
using namespace hrv::testing;

// Three pages: colour vector art, text, a raster image and a polyline.
const char kDocument[] = R"(%!PS
/img 48 32 mul 3 mul string def
0 1 img length 1 sub { dup 7 mul 256 mod img 3 1 roll put } for
/Times-Roman findfont 18 scalefont setfont
72 750 moveto (First page) show
0.2 0.6 0.9 setrgbcolor
newpath 100 500 moveto 150 650 300 350 450 500 curveto 4 setlinewidth stroke
newpath 300 300 80 0 360 arc 0.9 0.1 0.1 setrgbcolor fill
showpage
0 setgray 72 750 moveto (Second page, text only) show
showpage
gsave 100 100 translate 200 150 scale
48 32 8 [48 0 0 32 0 0] { img } false 3 colorimage grestore
newpath 100 600 moveto 120 620 lineto 140 600 lineto 160 630 lineto stroke
showpage
)";

std::string ghostscript(const std::string& device, int dpi, const std::string& ps,
                        const std::vector<std::string>& extra = {}) {
  std::vector<std::string> argv = {GS_EXECUTABLE,
                                   "-q",
                                   "-dBATCH",
                                   "-dNOPAUSE",
                                   "-dSAFER",
                                   "-sDEVICE=" + device,
                                   "-r" + std::to_string(dpi) + "x" + std::to_string(dpi),
                                   "-sOutputFile=-"};
  if (extra.empty()) argv.push_back("-sPAPERSIZE=a4");
  argv.insert(argv.end(), extra.begin(), extra.end());
  argv.push_back(ps);
  RunResult r = run(argv);
  EXPECT_EQ(r.status, 0) << "ghostscript failed";
  return r.out;
}

// Ghostscript's output with its lead-in replaced by our header, as the filter
// forwards it.
std::string filterJob(const std::string& gsOutput, const std::string& ending, const std::string& locks = "") {
  size_t enter = gsOutput.find("@PJL ENTER LANGUAGE");
  return locks + kLeadIn + "@PJL SET USERNAME=\"tester\"\n" + gsOutput.substr(enter) + ending;
}

class GhostscriptOutput : public ::testing::TestWithParam<std::tuple<std::string, int>> {
 protected:
  void SetUp() override {
    if (std::string(GS_EXECUTABLE).empty()) GTEST_SKIP() << "ghostscript not found";
    writeFile(dir_.file("doc.ps"), kDocument);
  }
  TempDir dir_;
};

TEST_P(GhostscriptOutput, PagesResolutionColourAndEnvelope) {
  auto [device, dpi] = GetParam();
  std::string out = ghostscript(device, dpi, dir_.file("doc.ps"));
  // The filter drops exactly this many bytes of Ghostscript's own lead-in.
  bool mono = device == "pxlmono";
  size_t expectedHead = (mono ? 63 : 59) + (dpi == 1200 ? 1 : 0);
  EXPECT_EQ(out.find("@PJL ENTER LANGUAGE"), expectedHead);

  JobReport r = analyzeJob(filterJob(out, kTrailer, "LockPrinter?LockPrinter?"));
  ASSERT_TRUE(r.ok()) << r.error << " at " << r.errorOffset;
  EXPECT_EQ(r.stream, JobReport::Stream::kComplete);
  EXPECT_EQ(r.ending, hrv::pxl::Ending::kTrailer);
  EXPECT_EQ(r.lockRequests, 2u);
  EXPECT_TRUE(r.enterLanguage);
  EXPECT_EQ(r.streamHeader.binding, hrv::pxl::Binding::kLittleEndian);
  EXPECT_EQ(r.completePages, 3u);
  ASSERT_EQ(r.pages.size(), 3u);
  std::string res = std::to_string(dpi) + "x" + std::to_string(dpi);
  std::string summary = formatSummary(r);
  EXPECT_EQ(field(summary, "resolution"), res);
  EXPECT_EQ(field(summary, "pjl.header.3"), "@PJL SET USERNAME=\"tester\"");
  EXPECT_EQ(field(summary, "pjl.trailer.3"), "\\e#+54321X_VORN@PJL EOJ");
  for (int p = 1; p <= 3; ++p) {
    std::string k = "page" + std::to_string(p) + ".";
    EXPECT_EQ(field(summary, k + "media"), "A4");
    EXPECT_EQ(field(summary, k + "resolution"), res);
  }
  // Colour pages carry RGB; the mono device only ever sets Gray.
  std::string first = field(summary, "page1.colorspace");
  EXPECT_EQ(first.find("RGB") != std::string::npos, !mono) << first;
  if (mono) {
    for (const auto& page : r.pages) EXPECT_EQ(page.colorSpaces, std::vector<std::string>{"Gray"});
  }
}

INSTANTIATE_TEST_SUITE_P(DevicesAndResolutions, GhostscriptOutput,
                         ::testing::Combine(::testing::Values("pxlcolor", "pxlmono"),
                                            ::testing::Values(300, 600, 1200)));

TEST(GhostscriptPageSetup, DuplexTrayAndCustomSize) {
  if (std::string(GS_EXECUTABLE).empty()) GTEST_SKIP() << "ghostscript not found";
  TempDir dir;
  writeFile(dir.file("doc.ps"), kDocument);
  // Short-edge duplex from tray 1 on JIS B5 at 300 dpi, as the filter asks for it.
  std::string out = ghostscript("pxlcolor", 300, dir.file("doc.ps"),
                                {"-dDuplex", "-dTumble", "-dMediaPosition=4", "-g2134x3020", "-dFIXEDMEDIA"});
  JobReport r = analyzeJob(filterJob(out, kTrailer));
  ASSERT_TRUE(r.ok()) << r.error;
  std::string s = formatSummary(r);
  EXPECT_EQ(field(s, "page1.duplex"), "duplex-horizontal");
  EXPECT_EQ(field(s, "page1.source"), "upper");
  EXPECT_EQ(field(s, "page1.media"), "custom:7.11x10.07in");

  out = ghostscript("pxlmono", 600, dir.file("doc.ps"), {"-dDuplex"});
  s = formatSummary(analyzeJob(filterJob(out, kTrailer)));
  EXPECT_EQ(field(s, "page2.duplex"), "duplex-vertical");
}

// Any prefix of a good job is truncated, never malformed; followed by the
// cancel sequence it is a cancelled job and no error at all.
TEST(GhostscriptPageSetup, EveryCutIsTruncationOrCancel) {
  if (std::string(GS_EXECUTABLE).empty()) GTEST_SKIP() << "ghostscript not found";
  TempDir dir;
  writeFile(dir.file("doc.ps"), kDocument);
  std::string job = filterJob(ghostscript("pxlcolor", 300, dir.file("doc.ps")), "", "LockPrinter?");
  size_t lastEnd = job.rfind(kExit);  // Ghostscript's closing exit, right after EndSession
  std::vector<size_t> cuts = {lastEnd, lastEnd + 4, lastEnd + kExit.size()};
  for (size_t k = 1; k < 600; ++k) cuts.push_back(k);
  for (size_t k = 600; k < job.size(); k += job.size() / 300 + 1) cuts.push_back(k);
  for (size_t k : cuts) {
    std::string cut = job.substr(0, k);
    JobReport plain = analyzeJob(cut);
    EXPECT_NE(plain.errorKind, ErrorKind::kMalformed) << "cut at " << k << ": " << plain.error;
    JobReport cancelled = analyzeJob(cut + kCancel);
    EXPECT_TRUE(cancelled.ok()) << "cut at " << k << ": " << cancelled.error;
    EXPECT_EQ(cancelled.ending, hrv::pxl::Ending::kCancel);
    bool whole = k == lastEnd || k >= lastEnd + kExit.size();  // EndSession and the whole exit are in
    EXPECT_EQ(cancelled.stream == JobReport::Stream::kComplete, whole) << "cut at " << k;
  }
  EXPECT_TRUE(analyzeJob(job).ok());
  EXPECT_EQ(analyzeJob(job).ending, hrv::pxl::Ending::kNone);
}

struct FaultCase {
  const char* name;
  std::string job;
  ErrorKind kind;
  const char* message;  // part of the error text
};

TEST(HandBuiltStreams, FaultsAreFoundWithTheirKind) {
  std::string good = PxlBuilder().session().page().end().str();
  auto withPage = [](const std::function<void(PxlBuilder&)>& body) {
    PxlBuilder b;
    b.session().ub(0).attr(40).ub(2).attr(37).op(0x43);
    body(b);
    return b.op(0x44).end().str();
  };
  // A gray image of 4 x 2 pixels (rows padded to 4 bytes) read with one block.
  auto image = [&withPage](uint16_t rows, uint8_t mode, const std::string& data, bool end = true) {
    return withPage([=](PxlBuilder& b) {
      b.ub(1).attr(3).op(0x6A).ub(2).attr(98).ub(0).attr(100).u16(4).attr(108).u16(2).attr(107);
      b.u16xy(4, 2).attr(103).op(0xB0).u16(0).attr(109).u16(rows).attr(99).ub(mode).attr(101).op(0xB1);
      b.data(data);
      if (end) b.op(0xB2);
    });
  };
  std::vector<FaultCase> cases = {
      {"image data shorter than its rows", image(2, 0, "abcd"), ErrorKind::kMalformed,
       "decodes to 4 bytes, not 8"},
      {"RLE image data longer than its rows", image(2, 1, "\x81x"), ErrorKind::kMalformed,
       "decodes to more than 8 bytes"},
      {"ReadImage past the image's rows", image(3, 0, std::string(12, 'x')), ErrorKind::kMalformed,
       "rows 0 to 3 after 0"},
      {"EndImage before the last row", image(1, 0, "abcd"), ErrorKind::kMalformed, "after 1 of its 2 rows"},
      {"EndPage inside an image", image(2, 0, std::string(8, 'x'), false), ErrorKind::kMalformed,
       "EndPage inside an image"},
      {"reserved tag", withPage([](PxlBuilder& b) { b.raw("\x45"); }), ErrorKind::kMalformed,
       "unknown tag 0x45"},
      {"attribute id without value", withPage([](PxlBuilder& b) { b.attr(3).op(0x6A); }),
       ErrorKind::kMalformed, "without a value"},
      {"value without attribute id", withPage([](PxlBuilder& b) { b.ub(2).op(0x6A); }), ErrorKind::kMalformed,
       "without an attribute id"},
      {"two values in a row", withPage([](PxlBuilder& b) { b.ub(2).ub(3).attr(3).op(0x6A); }),
       ErrorKind::kMalformed, "no attribute id"},
      {"bad array length tag", withPage([](PxlBuilder& b) { b.raw("\xC8\xC2").attr(171).op(0xA8); }),
       ErrorKind::kMalformed, "array length"},
      {"embedded length disagrees with CharDataSize",
       withPage([](PxlBuilder& b) { b.u16(8).attr(163).op(0x53).data("abcdef"); }), ErrorKind::kMalformed,
       "CharDataSize says 8"},
      {"embedded data after a non-reading operator",
       withPage([](PxlBuilder& b) { b.ub(2).attr(3).op(0x6A).data("xy"); }), ErrorKind::kMalformed,
       "not after an operator that reads data"},
      {"ReadImage without data", withPage([](PxlBuilder& b) { b.op(0xB1).op(0x85); }), ErrorKind::kMalformed,
       "not followed by embedded data"},
      {"embedded length past the end",
       wrapJob(PxlBuilder().session().ub(0).attr(40).op(0x43).op(0xB1).longData(100000, "abcdef").str(),
               kTrailer),
       ErrorKind::kTruncated, "runs past the end"},
      {"EndPage without BeginPage", wrapJob(PxlBuilder().session().op(0x44).end().str(), kTrailer),
       ErrorKind::kMalformed, "EndPage without BeginPage"},
      {"page inside page", withPage([](PxlBuilder& b) { b.op(0x43); }), ErrorKind::kMalformed,
       "inside page 1"},
      {"no EndSession", wrapJob(PxlBuilder().session().page().str(), kTrailer), ErrorKind::kTruncated,
       "before EndSession"},
      {"exit before EndSession", wrapJob(PxlBuilder().session().page().raw(kExit).str(), kTrailer),
       ErrorKind::kTruncated, "before EndSession"},
      {"operator after EndSession",
       wrapJob(PxlBuilder().session().page().op(0x49).op(0x42).op(0x85).str(), ""), ErrorKind::kMalformed,
       "NewPath outside a session"},
      {"cut inside the stream header", wrapJob(") HP-PCL XL;2", ""), ErrorKind::kTruncated, "stream header"},
      {"foreign bytes among the PJL lines", kLeadIn + "hello printer\n" + kEnterPclXl + good + kTrailer,
       ErrorKind::kMalformed, "neither PJL"},
      {"garbage after the stream", wrapJob(good + "\x01\x02", kTrailer), ErrorKind::kMalformed,
       "after the PCL XL stream"},
  };
  for (FaultCase& c : cases) {
    if (c.job.find(kLeadIn) == std::string::npos) c.job = wrapJob(c.job, kTrailer);
    JobReport r = analyzeJob(c.job);
    EXPECT_EQ(r.errorKind, c.kind) << c.name << ": " << r.error;
    EXPECT_NE(r.error.find(c.message), std::string::npos) << c.name << ": " << r.error;
  }
  // The reserved tag is reported at its own offset.
  std::string before = PxlBuilder().session().ub(0).attr(40).ub(2).attr(37).op(0x43).str();
  std::string job = wrapJob(withPage([](PxlBuilder& b) { b.raw("\x45"); }), kTrailer);
  EXPECT_EQ(analyzeJob(job).errorOffset, job.find(before) + before.size());
}

TEST(HandBuiltStreams, BindingsUnitsAndEndings) {
  // Big-endian binding: 600 units must not read as 22530.
  PxlBuilder big(false);
  big.session().page().end();
  JobReport r = analyzeJob(wrapJob(big.str(), kTrailer));
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_EQ(r.sessions.at(0).resolution, "600x600");
  EXPECT_EQ(r.streamHeader.binding, hrv::pxl::Binding::kBigEndian);
  EXPECT_EQ(r.pages.at(0).media, "A4");
  EXPECT_EQ(r.pages.at(0).copies, 1u);

  // Real32 units per millimetre and a media size given by name.
  PxlBuilder mm;
  mm.real32xy(600 / 25.4f, 1200 / 25.4f).attr(137).ub(1).attr(134).op(0x41);
  mm.ubArray("LETTER").attr(37).op(0x43).ub(1).attr(3).op(0x6A).op(0x44).end();
  r = analyzeJob(wrapJob(mm.str(), kTrailer));
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_EQ(r.sessions.at(0).resolution, "600x1200");
  EXPECT_EQ(r.pages.at(0).media, "LETTER");
  EXPECT_EQ(r.pages.at(0).colorSpaces, std::vector<std::string>{"Gray"});

  std::string good = PxlBuilder().session().page().page().end().str();
  struct {
    std::string ending;
    const char* expected;
    size_t trailerLines;
  } endings[] = {{kTrailer, "trailer", 4}, {kCancel, "cancel", 4}, {"", "none", 1}};
  for (const auto& e : endings) {
    std::string s = formatSummary(analyzeJob(wrapJob(good, e.ending)));
    EXPECT_EQ(field(s, "end"), e.expected);
    EXPECT_EQ(field(s, "pages"), "2");
    EXPECT_EQ(field(s, "error"), "none");
    EXPECT_EQ(field(s, "pjl.trailer.count"), std::to_string(e.trailerLines)) << e.expected;
  }
  // A cancel while the printer was still locked: only requests and the cancel.
  std::string s = formatSummary(analyzeJob("LockPrinter?LockPrinter?" + kCancel));
  EXPECT_EQ(field(s, "lock.requests"), "2");
  EXPECT_EQ(field(s, "pxl"), "absent");
  EXPECT_EQ(field(s, "end"), "cancel");
  EXPECT_EQ(field(s, "pjl.trailer.2"), "\\e#+54321X_VORN@PJL CANCEL");
}

TEST(InspectorProgram, ExitStatusAndOutputs) {
  TempDir dir;
  std::string good = wrapJob(PxlBuilder().session().page().end().str(), kTrailer);
  writeFile(dir.file("good.prn"), good);
  writeFile(dir.file("cut.prn"), good.substr(0, good.size() - kTrailer.size() - 20));
  RunResult r = run({PXL_INSPECT, "--summary", dir.file("good.prn")});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(field(r.out, "pages"), "1");
  r = run({PXL_INSPECT, dir.file("good.prn")});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("Ends with: job trailer"), std::string::npos) << r.out;
  r = run({PXL_INSPECT, "--summary", dir.file("cut.prn")});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(field(r.out, "error"), "truncated");
  EXPECT_EQ(run({PXL_INSPECT, dir.file("missing.prn")}).status, 1);
  EXPECT_EQ(run({PXL_INSPECT, "--bogus", dir.file("good.prn")}).status, 1);
}

}  // namespace
