// Rasterizer arguments where they are not a plain lookup, and the head that
// Ghostscript's PCL XL devices write ahead of the stream.
#include <gtest/gtest.h>

#include "raster.h"
#include "settings.h"

using namespace hrv;

TEST(RasterArgs, SizeAndResolutionRules) {
  const struct {
    const char* size;
    const char* resolution;
    const char* args;
  } cases[] = {
      {"A4", "600dpi", "-r600x600 -g4961x7016"},  // one pixel more than twice 300 dpi
      {"A5", "600dpi", "-r600x600 -g3505x4960"},
      {"EnvDL", "600dpi", "-r600x600 -g2599x5197"},
      {"A4", "2400dpi", "-r1200x1200 -g9922x14032"},  // 2400 dpi renders at 1200
      {"NULL", "300dpi", "-r300x300 NULL"},
      {"210x270mm", "600dpi", "-r600x600 NULL"},       // detected, but no geometry row
      {"Letter", "4800dpi", "-r600x600 -g5100x6600"},  // unknown resolution: 600 dpi
  };
  for (const auto& c : cases) {
    StringLogger log;
    const RasterArgs a = rasterArgsFor(c.size, c.resolution, log);
    EXPECT_EQ(a.resolution + " " + a.geometry, c.args) << c.size << " " << c.resolution;
  }
}

TEST(RasterArgs, HeadAsGhostscriptWritesIt) {
  const struct {
    int color;
    const char* resolution;
    const char* head;
  } cases[] = {
      {kColor, "-r600x600", "\x1b%-12345X@PJL SET RENDERMODE=COLOR\n@PJL SET RESOLUTION=600\n"},
      {kAuto, "-r1200x1200", "\x1b%-12345X@PJL SET RENDERMODE=COLOR\n@PJL SET RESOLUTION=1200\n"},
      {kMono, "-r300x300", "\x1b%-12345X@PJL SET RENDERMODE=GRAYSCALE\n@PJL SET RESOLUTION=300\n"},
      {kMono, "-r1200x1200", "\x1b%-12345X@PJL SET RENDERMODE=GRAYSCALE\n@PJL SET RESOLUTION=1200\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(rasterizerHead(c.color, c.resolution), c.head) << c.resolution;
}
