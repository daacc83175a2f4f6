// The two queue PPDs against what the filter reads from them.
#include <cups/ppd.h>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <set>
#include <string>

#include "jobfiles.h"
#include "pjl.h"
#include "ppdoptions.h"
#include "psscan.h"
#include "raster.h"

namespace {

// What the filter makes of a job: its header and rasterizer arguments (what
// the printer gets), and its job information.
std::string jobOf(const hrv::JobSettings& s, bool info = true) {
  hrv::StringLogger log;
  const hrv::Header h = hrv::buildPjlHeader({s, "u", "t", "h", {}, "NULL"}, log);
  std::string text = (info ? hrv::printerInfoText(hrv::printerInfoFor(s)) : "") + h.text;
  for (const std::string& a : hrv::ghostscriptArgs(s.colorFlag, hrv::rasterArgsFor("A4", s.resolution, log),
                                                   hrv::duplexModeFor(s.duplex), h.mediaPosition))
    text += a + " ";
  return text;
}

class QueuePpd : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    ppd_.reset(ppdOpenFile(path_.c_str()));
    ASSERT_NE(ppd_, nullptr) << path_ << ": " << ppdErrorString(ppdLastError(nullptr));
  }
  // The job with `options` marked as the filter marks them, or "refused".
  std::string job(const std::string& options, bool info = true) {
    hrv::StringLogger log;
    hrv::MarkedPpd marked(path_.c_str(), options.c_str(), log);
    const hrv::SettingsResult r = hrv::readJobSettings(marked.lookup(), log);
    return r.passwordRefused ? "refused" : jobOf(r.settings, info);
  }
  const std::string path_ = std::string(HRV_PPD_DIR) + "/" + GetParam();
  std::unique_ptr<ppd_file_t, void (*)(ppd_file_t*)> ppd_{nullptr, ppdClose};
};

TEST_P(QueuePpd, DefaultsAreTheFiltersOwn) {
  EXPECT_EQ(job(""), jobOf(hrv::JobSettings{}));
}

// An option the filter does not read, or a choice it does not know (read
// like another one, or like none), leaves two choices sending the printer the
// same job. (The sizes: below.)
TEST_P(QueuePpd, EveryChoiceGivesAJobOfItsOwn) {
  for (ppd_option_t* o = ppdFirstOption(ppd_.get()); o; o = ppdNextOption(ppd_.get())) {
    const std::string keyword = o->keyword;
    if (keyword == "PageSize" || keyword == "PageRegion") continue;
    // One PIN digit is a job only among four.
    const std::string base =
        keyword.rfind("Passwd", 0) == 0 ? "Passwd1=1 Passwd2=1 Passwd3=1 Passwd4=1 " : "";
    std::set<std::string> jobs;
    for (int i = 0; i < o->num_choices; ++i)
      EXPECT_TRUE(jobs.insert(job(base + keyword + "=" + o->choices[i].choice, false)).second)
          << keyword << " " << o->choices[i].choice;
  }
}

// A document laid out on a size of the PPD is recognised as that size,
// whether its MediaBox was truncated or rounded; the rasterizer has a geometry
// for every size offered, and every size with a geometry is offered.
TEST_P(QueuePpd, PageSizesAreRecognisedFromTheirDimensions) {
  hrv::StringLogger log;
  std::set<std::string> offered;
  for (int i = 0; i < ppd_->num_sizes; ++i) {
    const ppd_size_t& s = ppd_->sizes[i];
    offered.insert(s.name);
    EXPECT_EQ(hrv::pageSizeFor(static_cast<int>(s.width), static_cast<int>(s.length), log), s.name);
    EXPECT_EQ(hrv::pageSizeFor(std::lround(s.width), std::lround(s.length), log), s.name);
    EXPECT_TRUE(s.left >= 0 && s.bottom >= 0 && s.right <= s.width && s.top <= s.length) << s.name;
  }
  for (const hrv::PageSizeRow* w = hrv::pageSizeRowsBegin(); w != hrv::pageSizeRowsEnd(); ++w)
    EXPECT_EQ(offered.count(w->name) == 1, hrv::rasterArgsFor(w->name, "600dpi", log).geometry != "NULL")
        << w->name;
}

// The filter sets resolution, colour, tray and the rest itself; PostScript
// for them in the job (HWResolution above all) would fight its settings.
TEST_P(QueuePpd, OnlyPageSizeAndDuplexCarryPostScript) {
  const std::set<std::string> withCode = {"PageSize", "PageRegion", "Duplex"};
  for (ppd_option_t* o = ppdFirstOption(ppd_.get()); o; o = ppdNextOption(ppd_.get()))
    for (int i = 0; i < o->num_choices; ++i)
      EXPECT_EQ(o->choices[i].code && *o->choices[i].code, withCode.count(o->keyword) == 1)
          << o->keyword << " " << o->choices[i].choice;
}

INSTANTIATE_TEST_SUITE_P(BothQueues, QueuePpd, ::testing::Values("HRV5720ZWB.ppd", "HRV5720ZWB-net.ppd"));

}  // namespace
