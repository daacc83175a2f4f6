// Rasterizer arguments: the resolution and page-geometry table, the
// Ghostscript argument vector and the length of Ghostscript's own PJL head.
#pragma once

#include <string>
#include <vector>

#include "log.h"

namespace hrv {

struct RasterArgs {
  std::string resolution;  // "-r300x300", "-r600x600" or "-r1200x1200"
  std::string geometry;    // "-gWxH" or "NULL" (none)
};

// Looks up the arguments for the size used for rasterizing (or "NULL") and
// the resolution after the resolution rule. A size without a row and
// "NULL" give no geometry; an unknown resolution renders at 600 dpi.
RasterArgs rasterArgsFor(const std::string& size, const std::string& resolution, Logger& log);

// The argument vector after "gs" (argv[0]). Ghostscript reads the job from
// its standard input in blocks ("-_") and writes its messages to standard
// error.
std::vector<std::string> ghostscriptArgs(int colorFlag, const RasterArgs& args, int duplexMode,
                                         const std::string& mediaPosition);

// The PJL lead-in Ghostscript's PCL XL devices write ahead of the stream
// (universal exit, RENDERMODE and RESOLUTION lines), which the job header
// replaces: its exact bytes for the device and resolution argument.
std::string rasterizerHead(int colorFlag, const std::string& resolutionArg);

}  // namespace hrv
