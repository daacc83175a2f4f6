#include "rasterrow.h"

namespace hrv::app {

std::optional<PageFormat> pageFormatFor(cups_cspace_t space, unsigned bitsPerPixel, bool monochrome) {
  using pxl::PixelFormat;
  if (bitsPerPixel == 8) {
    if (space == CUPS_CSPACE_SW || space == CUPS_CSPACE_W)
      return PageFormat{PixelFormat::kGray8, RowConversion::kNone};
    if (space == CUPS_CSPACE_K) return PageFormat{PixelFormat::kGray8, RowConversion::kBlackToGray};
  }
  if (bitsPerPixel == 24 &&
      (space == CUPS_CSPACE_SRGB || space == CUPS_CSPACE_RGB || space == CUPS_CSPACE_ADOBERGB)) {
    if (monochrome) return PageFormat{PixelFormat::kGray8, RowConversion::kRgbToGray};
    return PageFormat{PixelFormat::kRgb8, RowConversion::kNone};
  }
  return std::nullopt;
}

void convertRow(RowConversion conversion, const uint8_t* in, size_t width, uint8_t* out) {
  switch (conversion) {
    case RowConversion::kRgbToGray:
      // The luminance weights of Ghostscript's gray PCL XL device.
      for (size_t x = 0; x < width; ++x, in += 3)
        out[x] = static_cast<uint8_t>((in[0] * 30 + in[1] * 59 + in[2] * 11 + 50) / 100);
      break;
    case RowConversion::kBlackToGray:
      for (size_t x = 0; x < width; ++x) out[x] = static_cast<uint8_t>(255 - in[x]);
      break;
    case RowConversion::kNone:
      break;
  }
}

}  // namespace hrv::app
