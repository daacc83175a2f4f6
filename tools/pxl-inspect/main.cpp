// pxl-inspect: reports what a captured print job holds.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <string_view>

#include "job_stream.h"
#include "report.h"

namespace {

constexpr const char kUsage[] =
    "Usage: pxl-inspect [--summary] [--help] FILE\n"
    "\n"
    "Reads a captured print job (PJL job header, PCL XL stream from Ghostscript,\n"
    "PJL trailer or cancel sequence) and reports:\n"
    "  - \"LockPrinter?\" requests found ahead of the job,\n"
    "  - the PJL lines before the PCL XL stream and after it,\n"
    "  - the PCL XL stream header (binding, protocol class),\n"
    "  - the pages (BeginPage/EndPage pairs) with media size, resolution\n"
    "    (BeginSession's UnitsPerMeasure), colour spaces (SetColorSpace),\n"
    "    media source, orientation, duplex mode, copies and images; image data\n"
    "    (uncompressed or RLE) is decoded and checked against the image's rows,\n"
    "  - whether the job ends with the job trailer or the cancel sequence.\n"
    "The PCL XL binary framing is parsed in full; a truncated or malformed\n"
    "stream is reported with its offset. A stream cut short and followed by the\n"
    "cancel sequence is what a cancelled job looks like and is not an error.\n"
    "\n"
    "Options:\n"
    "  --summary   print key=value lines instead of the readable report:\n"
    "              file.size, lock.requests, pjl.header.count, pjl.header.N,\n"
    "              pjl.enter_language, pxl (absent|complete|cut|broken),\n"
    "              pxl.header, pxl.binding, pxl.class, pxl.revision,\n"
    "              pxl.operators, sessions, resolution, pages, pages.begun,\n"
    "              pageN.media, pageN.resolution, pageN.colorspace,\n"
    "              pageN.source, pageN.orientation, pageN.duplex, pageN.copies,\n"
    "              pageN.images, pageN.image_rows, pageN.compression,\n"
    "              pageN.complete, pjl.trailer.count, pjl.trailer.N,\n"
    "              end (trailer|cancel|none), error (none|truncated|malformed),\n"
    "              error.offset, error.message.\n"
    "              Control bytes in PJL lines are shown as \\e, \\n, \\xNN.\n"
    "  --help      show this text.\n"
    "\n"
    "Exit status: 0 the job was read, 1 usage error or unreadable file,\n"
    "2 truncated or malformed stream (the report is still printed).\n";

bool readFile(const char* path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

}  // namespace

int main(int argc, char** argv) {
  bool summary = false;
  const char* path = nullptr;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg == "--summary") {
      summary = true;
    } else if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
      std::fprintf(stderr, "pxl-inspect: unknown option %s\n\n%s", argv[i], kUsage);
      return 1;
    } else if (path) {
      std::fprintf(stderr, "pxl-inspect: only one file, please\n\n%s", kUsage);
      return 1;
    } else {
      path = argv[i];
    }
  }
  if (!path) {
    std::fputs(kUsage, stderr);
    return 1;
  }

  std::string data;
  if (std::string_view(path) == "-") {
    data.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
  } else if (!readFile(path, data)) {
    std::fprintf(stderr, "pxl-inspect: cannot read %s: %s\n", path, std::strerror(errno));
    return 1;
  }

  hrv::pxl::JobReport report = hrv::pxl::analyzeJob(data);
  std::string text = summary ? hrv::pxl::formatSummary(report) : hrv::pxl::formatReport(report, path);
  std::fwrite(text.data(), 1, text.size(), stdout);
  if (!report.ok()) {
    std::fprintf(stderr, "pxl-inspect: %s: %s stream at offset %zu: %s\n", path,
                 hrv::pxl::errorKindName(report.errorKind), report.errorOffset, report.error.c_str());
    return 2;
  }
  return 0;
}
