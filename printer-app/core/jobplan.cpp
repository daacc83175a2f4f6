#include "jobplan.h"

#include <algorithm>

namespace hrv::app {

namespace {

using pxl::MediaSize;

// The PCL XL media follow what Ghostscript's pxlcolor device writes for the
// same page size, which is what the printer takes from the print filter.
const std::vector<MediaEntry> kMedia = {
    {"A4", "iso_a4_210x297mm", false, MediaSize::kA4, false},
    {"Letter", "na_letter_8.5x11in", false, MediaSize::kLetter, false},
    {"Legal", "na_legal_8.5x14in", false, MediaSize::kLegal, false},
    {"MexicoLegal", "om_mexico-legal_216x340mm", true, MediaSize::kA4, false},
    {"IndiaLegal", "om_india-legal_215x345mm", true, MediaSize::kA4, false},
    {"Executive", "na_executive_7.25x10.5in", false, MediaSize::kExecutive, false},
    {"Folio", "na_foolscap_8.5x13in", false, MediaSize::kJisExec, false},
    {"A5", "iso_a5_148x210mm", false, MediaSize::kA5, false},
    {"A5L", "om_a5-landscape_210x148mm", false, MediaSize::kA5, true},
    {"A6", "iso_a6_105x148mm", false, MediaSize::kA6, false},
    {"Env10", "na_number-10_4.125x9.5in", false, MediaSize::kCom10, false},
    {"EnvMonarch", "na_monarch_3.875x7.5in", false, MediaSize::kMonarch, false},
    {"EnvDL", "iso_dl_110x220mm", false, MediaSize::kDL, false},
    {"EnvC5", "iso_c5_162x229mm", false, MediaSize::kC5, false},
    {"ISOB5", "iso_b5_176x250mm", false, MediaSize::kB5Envelope, false},
    {"B5", "jis_b5_182x257mm", true, MediaSize::kA4, false},
    {"195x270mm", "om_16k_195x270mm", true, MediaSize::kA4, false},
    {"184x260mm", "om_16k_184x260mm", true, MediaSize::kA4, false},
    {"197x273mm", "roc_16k_7.75x10.75in", true, MediaSize::kA4, false},
};

const std::vector<KeywordChoice> kMediaTypes = {
    {"stationery", "PLAIN"},
    {"stationery-lightweight", "THIN"},
    {"stationery-heavyweight", "THICK"},
    {"cardstock", "THICKERPAPER2"},
    {"stationery-bond", "BOND"},
    {"envelope", "ENV"},
    {"envelope-heavyweight", "ENVTHICK"},
    {"envelope-lightweight", "ENVTHIN"},
    {"stationery-recycled", "RECYCLED"},
    {"labels", "LABLE"},
    {"stationery-colored", "COLOR"},
    {"photographic-glossy", "GLOSSY"},
    {"stationery-letterhead", "LETTERHEAD"},
    {"stationery-prepunched", "HOLEPUNCHED"},
};

const std::vector<KeywordChoice> kMediaSources = {
    {"auto", "AUTO"},    {"by-pass-tray", "MPTRAY"}, {"tray-1", "TRAY1"},
    {"tray-2", "TRAY2"}, {"tray-3", "TRAY3"},        {"tray-4", "TRAY4"},
};

const char* choiceFor(const std::vector<KeywordChoice>& table, const std::string& ipp, const char* fallback) {
  for (const KeywordChoice& k : table)
    if (ipp == k.ipp) return k.ppd;
  return fallback;
}

bool isMonochrome(const std::string& mode) {
  return mode == "monochrome" || mode == "auto-monochrome" || mode == "process-monochrome" ||
         mode == "bi-level" || mode == "process-bi-level";
}

}  // namespace

const std::vector<MediaEntry>& mediaTable() {
  return kMedia;
}
const std::vector<KeywordChoice>& mediaTypeTable() {
  return kMediaTypes;
}
const std::vector<KeywordChoice>& mediaSourceTable() {
  return kMediaSources;
}

const MediaEntry* mediaByPwg(std::string_view pwg) {
  for (const MediaEntry& m : kMedia)
    if (pwg == m.pwg) return &m;
  return nullptr;
}

pxl::Media pclMedia(const MediaEntry* entry, int widthHundredthsMm, int lengthHundredthsMm) {
  pxl::Media m;
  if (entry && !entry->custom) {
    m.size = entry->size;
    m.orientation = entry->landscape ? pxl::value::kLandscape : pxl::value::kPortrait;
    return m;
  }
  m.custom = true;
  m.widthInches = static_cast<float>(widthHundredthsMm) / 2540.0f;
  m.heightInches = static_cast<float>(lengthHundredthsMm) / 2540.0f;
  return m;
}

JobPlan planJob(const JobAttributes& job) {
  JobPlan plan;
  JobSettings& s = plan.settings;
  const MediaEntry* media = mediaByPwg(job.media);
  s.pageSize = media ? media->ppd : "A4";
  plan.rasterSize = media ? media->ppd : "NULL";
  plan.page.media = pclMedia(media, job.widthHundredthsMm, job.lengthHundredthsMm);

  s.mediaType = choiceFor(kMediaTypes, job.mediaType, "PLAIN");
  s.inputSlot = choiceFor(kMediaSources, job.mediaSource, "AUTO");

  if (job.pagesRepeatedForCopies) {
    s.duplex = "None";
    plan.page.sides = pxl::Sides::kOneSided;
  } else if (job.sides == "two-sided-long-edge") {
    s.duplex = "DuplexNoTumble";
    plan.page.sides = pxl::Sides::kLongEdge;
  } else if (job.sides == "two-sided-short-edge") {
    s.duplex = "DuplexTumble";
    plan.page.sides = pxl::Sides::kShortEdge;
  } else {
    s.duplex = "None";
    plan.page.sides = pxl::Sides::kOneSided;
  }

  plan.mono = isMonochrome(job.colorMode);
  s.colorFlag = plan.mono ? kMono : job.colorMode == "auto" ? kAuto : kColor;

  // 300 dpi for draft, 600 dpi otherwise; high quality is the PPD's
  // "1200dpi": rendered at 600 dpi, the printer told to enhance it.
  plan.dpi = job.resolution == 300 ? 300 : 600;
  s.resolution = plan.dpi == 300 ? "300dpi" : "600dpi";
  s.enhance1200 = plan.dpi == 600 && job.quality == "high";

  plan.page.copies =
      job.pagesRepeatedForCopies ? 1u : static_cast<unsigned>(std::clamp(job.copies, 1, 65535));
  return plan;
}

}  // namespace hrv::app
