// Rasterizer arguments: geometry table, argument vectors, head lengths.
#include <gtest/gtest.h>

#include "raster.h"
#include "settings.h"

using namespace hrv;

namespace {
RasterArgs argsFor(const std::string& size, const std::string& res) {
  StringLogger log;
  return rasterArgsFor(size, res, log);
}
using V = std::vector<std::string>;
}  // namespace

TEST(RasterArgs, GeometryTableTexts) {
  EXPECT_EQ(argsFor("A4", "600dpi").geometry, "-g4961x7016");
  EXPECT_EQ(argsFor("A4", "300dpi").geometry, "-g2480x3508");
  EXPECT_EQ(argsFor("A4", "2400dpi").geometry, "-g9922x14032");
  EXPECT_EQ(argsFor("A5", "600dpi").geometry, "-g3505x4960");
  EXPECT_EQ(argsFor("EnvDL", "600dpi").geometry, "-g2599x5197");
  EXPECT_EQ(argsFor("197x273mm", "2400dpi").geometry, "-g9308x12898");
  EXPECT_EQ(argsFor("2400dpi", "300dpi").geometry, "NULL");
  EXPECT_EQ(argsFor("A4", "2400dpi").resolution, "-r1200x1200");
  EXPECT_EQ(argsFor("A4", "300dpi").resolution, "-r300x300");
}

TEST(RasterArgs, SizeWithoutRowAndUnknownResolution) {
  RasterArgs a = argsFor("210x270mm", "600dpi");
  EXPECT_EQ(a.geometry, "NULL");
  EXPECT_EQ(a.resolution, "-r600x600");
  a = argsFor("Letter", "4800dpi");
  EXPECT_EQ(a.resolution, "-r600x600");
  EXPECT_EQ(a.geometry, "-g5100x6600");
}

TEST(RasterArgs, SixArgumentVectors) {
  RasterArgs g{"-r600x600", "-g4961x7016"};
  RasterArgs none{"-r600x600", "NULL"};
  const std::string pos = "-dMediaPosition=4";
  EXPECT_EQ(ghostscriptArgs(kColor, g, 0, pos),
            (V{"-dBATCH", "-dPARANOIDSAFER", "-dNOMEDIAATTRS", "-dNOINTERPOLATE", "-dNumRenderingThreads=4",
               "-sDEVICE=pxlcolor", "-r600x600", "-g4961x7016", "-q", pos, "-dNOPAUSE", "-dSAFER",
               "-sOutputFile=-", "-"}));
  EXPECT_EQ(ghostscriptArgs(kMono, g, 1, pos),
            (V{"-dBATCH", "-dPARANOIDSAFER", "-dNOMEDIAATTRS", "-dDuplex", "-dNOINTERPOLATE",
               "-dNumRenderingThreads=4", "-sDEVICE=pxlmono", "-r600x600", "-g4961x7016", "-q", pos,
               "-dNOPAUSE", "-dSAFER", "-sOutputFile=-", "-"}));
  EXPECT_EQ(ghostscriptArgs(kAuto, g, 2, pos),
            (V{"-dBATCH", "-dPARANOIDSAFER", "-dNOMEDIAATTRS", "-dDuplex", "-dTumble", "-dNOINTERPOLATE",
               "-dNumRenderingThreads=4", "-sDEVICE=pxlcolor", "-r600x600", pos, "-g4961x7016", "-q",
               "-dNOPAUSE", "-dSAFER", "-sOutputFile=-", "-"}));
  EXPECT_EQ(ghostscriptArgs(kColor, none, 0, pos),
            (V{"-dBATCH", "-dPARANOIDSAFER", "-dNOMEDIAATTRS", "-dNOINTERPOLATE", "-dNumRenderingThreads=4",
               "-sDEVICE=pxlcolor", "-r600x600", "-q", pos, "-dNOPAUSE", "-dSAFER", "-sOutputFile=-", "-"}));
  EXPECT_EQ(ghostscriptArgs(kColor, none, 1, pos),
            (V{"-dBATCH", "-dPARANOIDSAFER", "-dNOMEDIAATTRS", "-dDuplex", "-dNOINTERPOLATE",
               "-dNumRenderingThreads=4", "-sDEVICE=pxlcolor", "-r600x600", "-q", pos, "-dNOPAUSE", "-dSAFER",
               "-sOutputFile=-", "-"}));
  EXPECT_EQ(ghostscriptArgs(kColor, none, 2, pos),
            (V{"-dBATCH", "-dPARANOIDSAFER", "-dNOMEDIAATTRS", "-dDuplex", "-dTumble", "-dNOINTERPOLATE",
               "-dNumRenderingThreads=4", "-sDEVICE=pxlcolor", "-r600x600", pos, "-q", "-dNOPAUSE", "-dSAFER",
               "-sOutputFile=-", "-"}));
}

TEST(RasterArgs, HeadLengths) {
  EXPECT_EQ(rasterizerHeadLength(kColor, "-r600x600"), 59);
  EXPECT_EQ(rasterizerHeadLength(kAuto, "-r1200x1200"), 60);
  EXPECT_EQ(rasterizerHeadLength(kMono, "-r300x300"), 63);
  EXPECT_EQ(rasterizerHeadLength(kMono, "-r1200x1200"), 64);
}
