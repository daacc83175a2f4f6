// How an IPP job's attributes become the printer's job: the PPD choice
// keywords of the PJL job header (the filter's job settings) and the page
// setup of the PCL XL pages. No PAPPL and no I/O: the application hands over
// the attribute values as IPP keywords.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "encoder.h"
#include "settings.h"

namespace hrv::app {

// One paper size of the printer's PPD.
struct MediaEntry {
  const char* ppd;  // PageSize choice, "A4"
  const char* pwg;  // PWG self-describing name, "iso_a4_210x297mm"
  bool custom;      // no PCL XL MediaSize value: sent as a custom size in inches
  pxl::MediaSize size;
  bool landscape;  // fed short edge first: MediaSize with landscape orientation
};
const std::vector<MediaEntry>& mediaTable();
const MediaEntry* mediaByPwg(std::string_view pwg);

// IPP keyword <-> PPD choice for the media types and sources (trays).
struct KeywordChoice {
  const char* ipp;
  const char* ppd;
};
const std::vector<KeywordChoice>& mediaTypeTable();
const std::vector<KeywordChoice>& mediaSourceTable();

// The job's attributes as PAPPL resolved them (defaults filled in).
struct JobAttributes {
  std::string media = "iso_a4_210x297mm";  // media-col's size name
  int widthHundredthsMm = 21000;           // media-col's size
  int lengthHundredthsMm = 29700;
  std::string mediaType = "stationery";
  std::string mediaSource = "auto";
  std::string sides = "one-sided";
  std::string colorMode = "color";  // as requested: "color", "monochrome", "auto", ...
  int resolution = 600;             // dots per inch, from printer-resolution or print-quality
  std::string quality = "normal";   // print-quality: "draft", "normal", "high"
  int copies = 1;
  // An image document: one page, of which PAPPL itself prints every copy.
  // Copies of one page never share a sheet, so such pages go one-sided.
  bool pagesRepeatedForCopies = false;
};

struct JobPlan {
  JobSettings settings;  // for the PJL job header
  // The page size keyword of the header's JIS B5 rule and of Ghostscript's
  // page geometry, or "NULL".
  std::string rasterSize;
  unsigned dpi = 600;
  pxl::PageSetup page;        // all but the pixel format and size, which come with each page
  bool mono = false;          // pages go as gray
  std::string mediaPosition;  // Ghostscript's "-dMediaPosition=N", set with the job header
};

JobPlan planJob(const JobAttributes& job);

// The PCL XL media of a size: its MediaSize value, or a custom size from the
// given dimensions.
pxl::Media pclMedia(const MediaEntry* entry, int widthHundredthsMm, int lengthHundredthsMm);

}  // namespace hrv::app
