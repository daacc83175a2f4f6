// Checks the two queue PPDs against what the filter reads from them.
#include <cups/ppd.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "psscan.h"
#include "raster.h"

namespace {

struct Queue {
  const char* name;
  const char* file;
  const char* filter_line;
};

const Queue kQueues[] = {
    {"Usb", "HRV5720ZWB.ppd", "application/vnd.cups-postscript 0 pstopxl_hrv5720zwb"},
    {"Net", "HRV5720ZWB-net.ppd", "application/vnd.cups-postscript 0 pstopxl_hrv5720zwb-net"},
};

void PrintTo(const Queue& q, std::ostream* os) {
  *os << q.file;
}

struct PpdClose {
  void operator()(ppd_file_t* ppd) const { ppdClose(ppd); }
};
using Ppd = std::unique_ptr<ppd_file_t, PpdClose>;

// Options the filter reads, with the default it assumes when the option is
// not marked and the choices it tells apart. An empty choice list means the
// value is passed on as a number.
struct FilterOption {
  const char* keyword;
  const char* fallback;
  std::vector<std::string> choices;
};

const std::vector<std::string> kDigits = {"False", "0", "1", "2", "3", "4", "5", "6", "7", "8", "9"};

const std::vector<FilterOption> kFilterOptions = {
    {"PageSize", "A4", {}},  // sizes: the filter's size table
    {"MediaType",
     "PLAIN",
     {"PLAIN", "THIN", "THICK", "THICKERPAPER2", "BOND", "ENV", "ENVTHICK", "ENVTHIN", "RECYCLED", "LABLE",
      "COLOR", "GLOSSY", "LETTERHEAD", "HOLEPUNCHED"}},
    {"ColorMode", "Color", {"Color", "Mono", "Auto"}},
    {"InputSlot", "AUTO", {"AUTO", "MPTRAY", "TRAY1", "TRAY2", "TRAY3", "TRAY4"}},
    {"Duplex", "None", {"None", "DuplexNoTumble", "DuplexTumble"}},
    {"Resolution", "600dpi", {"300dpi", "600dpi", "1200dpi", "2400dpi"}},
    {"ResizePage", "10", {}},
    {"Passwd1", "False", kDigits},
    {"Passwd2", "False", kDigits},
    {"Passwd3", "False", kDigits},
    {"Passwd4", "False", kDigits},
    {"TonerSaveMode", "OFF", {"ON", "OFF"}},
    {"ImprovePrintOutput", "None", {"None", "ReducePaperCurl", "ImproveTonerFixing"}},
    {"Brightness", "0", {}},
    {"Contrast", "0", {}},
    {"PrintDensityRed", "0", {}},
    {"PrintDensityGreen", "0", {}},
    {"PrintDensityBlue", "0", {}},
    {"Sleep", "PrinterDefault", {"PrinterDefault", "2minutes", "5minutes", "10minutes", "30minutes"}},
    {"QuiteMode", "OFF", {"ON", "OFF"}},
};

// The filter's own reading of a MediaBox and whether its rasterizer has a
// geometry for the size.
std::string recognised(int w, int h) {
  hrv::StringLogger log;
  return hrv::pageSizeFor(w, h, log);
}

bool printable(const std::string& name) {
  hrv::StringLogger log;
  return hrv::rasterArgsFor(name, "600dpi", log).geometry != "NULL";
}

bool is_integer(const char* text) {
  char* end = nullptr;
  std::strtol(text, &end, 10);
  return *text != '\0' && *end == '\0';
}

// libcups keeps only the translations of the process's language when it opens
// a PPD, and settles that language at its first call; ask for Chinese before
// any test runs so the zh_CN texts can be checked.
const bool kChineseUi = setenv("LC_ALL", "zh_CN.UTF-8", 1) == 0;

class QueuePpd : public ::testing::TestWithParam<Queue> {
 protected:
  void SetUp() override {
    const std::string path = std::string(HRV_PPD_DIR) + "/" + GetParam().file;
    ppd_.reset(ppdOpenFile(path.c_str()));
    ASSERT_NE(ppd_, nullptr) << path << ": " << ppdErrorString(ppdLastError(nullptr));
  }
  ppd_option_t* option(const char* keyword) {
    ppd_option_t* o = ppdFindOption(ppd_.get(), keyword);
    EXPECT_NE(o, nullptr) << keyword;
    return o;
  }
  Ppd ppd_;
};

TEST_P(QueuePpd, RunsItsOwnFilter) {
  ASSERT_EQ(ppd_->num_filters, 1);
  EXPECT_STREQ(ppd_->filters[0], GetParam().filter_line);
}

TEST_P(QueuePpd, OffersTheChoicesTheFilterReadsAndNoOtherOptions) {
  std::set<std::string> known = {"PageRegion"};
  for (const auto& fo : kFilterOptions) {
    known.insert(fo.keyword);
    ppd_option_t* o = option(fo.keyword);
    if (!o) continue;
    for (const auto& c : fo.choices) {
      EXPECT_NE(ppdFindChoice(o, c.c_str()), nullptr) << fo.keyword << " " << c;
    }
    if (fo.choices.empty() && std::strcmp(fo.keyword, "PageSize") != 0) {
      for (int i = 0; i < o->num_choices; ++i) {
        EXPECT_TRUE(is_integer(o->choices[i].choice)) << fo.keyword << " " << o->choices[i].choice;
      }
    }
  }
  // The password digits are copied into a four-character PIN: one digit each.
  for (const char* kw : {"Passwd1", "Passwd2", "Passwd3", "Passwd4"}) {
    if (ppd_option_t* o = option(kw)) {
      EXPECT_EQ(o->num_choices, 11) << kw;
    }
  }
  if (ppd_option_t* o = option("ResizePage")) {
    EXPECT_NE(ppdFindChoice(o, "8"), nullptr);
  }

  for (ppd_option_t* o = ppdFirstOption(ppd_.get()); o; o = ppdNextOption(ppd_.get())) {
    EXPECT_TRUE(known.count(o->keyword)) << "option the filter does not read: " << o->keyword;
  }
}

TEST_P(QueuePpd, MarksTheFilterDefaults) {
  ppdMarkDefaults(ppd_.get());
  for (const auto& fo : kFilterOptions) {
    ppd_choice_t* c = ppdFindMarkedChoice(ppd_.get(), fo.keyword);
    ASSERT_NE(c, nullptr) << fo.keyword;
    EXPECT_STREQ(c->choice, fo.fallback) << fo.keyword;
  }
}

// A document laid out on a PPD size must be recognised as that size by the
// filter, whether the application truncated or rounded the dimensions.
TEST_P(QueuePpd, PageSizesAreRecognisedFromTheirDimensions) {
  std::set<std::string> offered;
  for (int i = 0; i < ppd_->num_sizes; ++i) {
    const ppd_size_t& s = ppd_->sizes[i];
    offered.insert(s.name);
    EXPECT_EQ(recognised(static_cast<int>(s.width), static_cast<int>(s.length)), s.name) << "truncated";
    EXPECT_EQ(recognised(static_cast<int>(std::lround(s.width)), static_cast<int>(std::lround(s.length))),
              s.name)
        << "rounded";
    EXPECT_TRUE(s.left >= 0 && s.bottom >= 0 && s.right <= s.width && s.top <= s.length) << s.name;
  }
  for (const hrv::PageSizeRow* w = hrv::pageSizeRowsBegin(); w != hrv::pageSizeRowsEnd(); ++w) {
    if (printable(w->name)) {
      EXPECT_TRUE(offered.count(w->name)) << "missing size " << w->name;
    } else {
      EXPECT_FALSE(offered.count(w->name)) << "size without geometry offered: " << w->name;
    }
  }
}

// The filter sets resolution, colour, tray and the rest itself; PostScript
// for them in the job (HWResolution above all) would fight its settings.
TEST_P(QueuePpd, OnlyPageSizeAndDuplexCarryPostScript) {
  const std::set<std::string> with_code = {"PageSize", "PageRegion", "Duplex"};
  for (ppd_option_t* o = ppdFirstOption(ppd_.get()); o; o = ppdNextOption(ppd_.get())) {
    const bool expect_code = with_code.count(o->keyword) > 0;
    for (int i = 0; i < o->num_choices; ++i) {
      const char* code = o->choices[i].code;
      EXPECT_EQ(code != nullptr && *code != '\0', expect_code) << o->keyword << " " << o->choices[i].choice;
    }
  }
}

TEST_P(QueuePpd, HasChineseTextForEveryGroupOptionAndChoice) {
  ASSERT_TRUE(kChineseUi);
  for (int g = 0; g < ppd_->num_groups; ++g) {
    ppd_attr_t* a = ppdFindAttr(ppd_.get(), "zh_CN.Translation", ppd_->groups[g].name);
    EXPECT_TRUE(a && a->text[0]) << ppd_->groups[g].name;
  }
  for (ppd_option_t* o = ppdFirstOption(ppd_.get()); o; o = ppdNextOption(ppd_.get())) {
    ppd_attr_t* a = ppdFindAttr(ppd_.get(), "zh_CN.Translation", o->keyword);
    EXPECT_TRUE(a && a->text[0]) << o->keyword;
    const std::string kw = std::string("zh_CN.") + o->keyword;
    for (int i = 0; i < o->num_choices; ++i) {
      a = ppdFindAttr(ppd_.get(), kw.c_str(), o->choices[i].choice);
      EXPECT_TRUE(a && a->text[0]) << o->keyword << " " << o->choices[i].choice;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(BothQueues, QueuePpd, ::testing::ValuesIn(kQueues),
                         [](const ::testing::TestParamInfo<Queue>& p) { return std::string(p.param.name); });

}  // namespace
