#include "raster.h"

#include "settings.h"

namespace hrv {

namespace {

struct GeometryRow {
  const char* size;
  const char* dpi300;
  const char* dpi600;
  const char* dpi2400;
};

// Fixed texts: some differ by a pixel from a doubling of the 300 dpi value.
const GeometryRow kGeometry[] = {
    {"A4", "-g2480x3508", "-g4961x7016", "-g9922x14032"},
    {"Letter", "-g2550x3300", "-g5100x6600", "-g10200x13200"},
    {"Legal", "-g2550x4200", "-g5100x8400", "-g10200x16800"},
    {"MexicoLegal", "-g2550x4014", "-g5100x8028", "-g10200x16056"},
    {"IndiaLegal", "-g2538x4074", "-g5076x8148", "-g10152x16296"},
    {"Executive", "-g2175x3150", "-g4350x6300", "-g8700x12600"},
    {"Folio", "-g2550x3900", "-g5100x7800", "-g10200x15600"},
    {"A5", "-g1752x2480", "-g3505x4960", "-g7010x9920"},
    {"A5L", "-g2480x1748", "-g4960x3496", "-g9920x6992"},
    {"A6", "-g1240x1748", "-g2480x3496", "-g4960x6992"},
    {"Env10", "-g1237x2850", "-g2475x5700", "-g4950x11400"},
    {"EnvMonarch", "-g1162x2250", "-g2325x4500", "-g4650x9000"},
    {"EnvDL", "-g1299x2598", "-g2599x5197", "-g5198x10394"},
    {"EnvC5", "-g1917x2705", "-g3835x5410", "-g7670x10820"},
    {"ISOB5", "-g2078x2950", "-g4157x5900", "-g8314x11800"},
    {"B5", "-g2134x3020", "-g4268x6041", "-g8536x12082"},
    {"195x270mm", "-g2303x3189", "-g4606x6378", "-g9212x12756"},
    {"184x260mm", "-g2173x3070", "-g4346x6141", "-g8692x12282"},
    {"197x273mm", "-g2327x3224", "-g4654x6449", "-g9308x12898"},
};

}  // namespace

RasterArgs rasterArgsFor(const std::string& size, const std::string& resolution, Logger& log) {
  RasterArgs a;
  int column = 1;  // 600 dpi, also for resolutions outside the table
  if (resolution == "300dpi") {
    column = 0;
    a.resolution = "-r300x300";
  } else if (resolution == "2400dpi") {
    column = 2;
    a.resolution = "-r1200x1200";
  } else {
    a.resolution = "-r600x600";
  }
  a.geometry = "NULL";
  for (const GeometryRow& row : kGeometry) {
    if (size == row.size) {
      a.geometry = column == 0 ? row.dpi300 : column == 1 ? row.dpi600 : row.dpi2400;
      break;
    }
  }
  log.printf(
      "DEBUG:%scompute papersize*************: \n paperSize = %s\n resolution = %s\n resolutionsg = %s\n "
      "pageWidthHeight = %s\n",
      kTag, size.c_str(), resolution.c_str(), a.resolution.c_str(), a.geometry.c_str());
  return a;
}

std::vector<std::string> ghostscriptArgs(int colorFlag, const RasterArgs& args, int duplexMode,
                                         const std::string& mediaPosition) {
  const std::string device = colorFlag == kMono ? "-sDEVICE=pxlmono" : "-sDEVICE=pxlcolor";
  const bool geometry = args.geometry != "NULL";
  std::vector<std::string> v = {"-dBATCH", "-dPARANOIDSAFER", "-dNOMEDIAATTRS"};
  if (duplexMode == 1 || duplexMode == 2) v.push_back("-dDuplex");
  if (duplexMode == 2) v.push_back("-dTumble");
  v.insert(v.end(), {"-dNOINTERPOLATE", "-dNumRenderingThreads=4", device, args.resolution});
  if (duplexMode == 2) {
    // Short edge: the media position goes ahead of the geometry and "-q".
    v.push_back(mediaPosition);
    if (geometry) v.push_back(args.geometry);
    v.push_back("-q");
  } else {
    if (geometry) v.push_back(args.geometry);
    v.push_back("-q");
    v.push_back(mediaPosition);
  }
  // Ghostscript's own messages (and whatever a document prints) go to the
  // log, never into the print stream.
  v.insert(v.end(), {"-dNOPAUSE", "-dSAFER", "-sstdout=%stderr", "-sOutputFile=-", "-_"});
  return v;
}

std::string rasterizerHead(int colorFlag, const std::string& resolutionArg) {
  // "-r600x600" -> "600"
  const size_t x = resolutionArg.find('x');
  const std::string dpi =
      resolutionArg.size() > 2 && x != std::string::npos ? resolutionArg.substr(2, x - 2) : "";
  return std::string("\x1b%-12345X@PJL SET RENDERMODE=") + (colorFlag == kMono ? "GRAYSCALE" : "COLOR") +
         "\n@PJL SET RESOLUTION=" + dpi + "\n";
}

}  // namespace hrv
