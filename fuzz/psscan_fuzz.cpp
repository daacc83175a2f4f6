// The spooled PostScript inspection, fed whole files. Besides surviving any
// bytes, the scan must stay in step with the lines:
// - whole lines ahead of the file change nothing, wherever the file then
//   falls against the scanner's read blocks (the first two input bytes say
//   where, within 4 KiB after the first 64 KiB);
// - a file framed by a known MediaBox line ahead and known %%Pages: and
//   /#copies lines behind always reads as those, whatever the bytes between.
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "null_logger.h"
#include "psscan.h"

namespace {

const std::set<std::string> kSizeNames = {"Letter",    "Legal", "MexicoLegal", "Folio",     "IndiaLegal",
                                          "Executive", "A4",    "A5",          "A5L",       "A6",
                                          "210x270mm", "Env10", "EnvMonarch",  "EnvDL",     "EnvC5",
                                          "ISOB5",     "B5",    "195x270mm",   "184x260mm", "197x273mm"};

// Scans `bytes` as a spool file. The buffers are kept between runs: fresh
// 64 KiB allocations would cost more than the scan.
hrv::Inspection inspect(std::string& bytes) {
  if (bytes.empty()) return hrv::Inspection{};  // fmemopen wants at least one byte
  hrvfuzz::NullLogger log;
  std::FILE* f = fmemopen(bytes.data(), bytes.size(), "r");
  FUZZ_CHECK(f != nullptr, "fmemopen of %zu bytes", bytes.size());
  hrv::Inspection r = hrv::inspectPostScript(f, log);
  std::fclose(f);
  return r;
}

// Lines without anything the scan looks for, `length` bytes in all, then
// `tail`.
std::string& afterFiller(size_t length, const std::string& tail) {
  static std::string out;
  out.clear();
  while (length - out.size() >= 100) out.append(99, 'x').append(1, '\n');
  if (out.size() < length) out.append(length - out.size() - 1, 'y').append(1, '\n');
  out += tail;
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  hrvfuzz::FuzzInput in(data, size);
  const size_t shift = (static_cast<size_t>(in.byte()) << 8 | in.byte()) % 4096;
  std::string file(in.rest());

  const hrv::Inspection alone = inspect(file);
  FUZZ_CHECK(alone.paperSize.empty() || kSizeNames.count(alone.paperSize), "size name \"%s\"",
             alone.paperSize.c_str());

  const hrv::Inspection shifted = inspect(afterFiller((size_t{1} << 16) + shift, file));
  FUZZ_CHECK(
      shifted.pages == alone.pages && shifted.copies == alone.copies && shifted.paperSize == alone.paperSize,
      "after %zu bytes of lines: %d pages, %d copies, \"%s\"; alone: %d, %d, \"%s\"",
      (size_t{1} << 16) + shift, shifted.pages, shifted.copies, shifted.paperSize.c_str(), alone.pages,
      alone.copies, alone.paperSize.c_str());

  std::string framedFile = "MediaBox[0 0 595.3 842]\n" + file + "\n%%Pages: 7\n/#copies 3\n";
  const hrv::Inspection framed = inspect(framedFile);
  FUZZ_CHECK(framed.paperSize == "A4", "first MediaBox gave \"%s\"", framed.paperSize.c_str());
  FUZZ_CHECK(framed.pages == 7, "last %%%%Pages: line gave %d", framed.pages);
  FUZZ_CHECK(framed.copies == 3, "last /#copies line gave %d", framed.copies);
  return 0;
}
