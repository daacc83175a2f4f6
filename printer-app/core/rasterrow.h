// Which raster pages the encoder takes and how their rows are turned into
// its gray or RGB rows. No I/O.
#pragma once

#include <cups/raster.h>

#include <cstddef>
#include <cstdint>
#include <optional>

#include "encoder.h"

namespace hrv::app {

enum class RowConversion { kNone, kRgbToGray, kBlackToGray };

struct PageFormat {
  pxl::PixelFormat format;
  RowConversion conversion;
};

// 8-bit gray (sGray, luminance, or black, which is inverted) and 8-bit RGB
// (sRGB, RGB, AdobeRGB); RGB rows of a monochrome job become gray. Other
// rasters (1-bit, 16-bit, CMYK, ...) are not taken.
std::optional<PageFormat> pageFormatFor(cups_cspace_t space, unsigned bitsPerPixel, bool monochrome);

// Converts one row of `width` pixels from `in` to `out` (room for width bytes).
void convertRow(RowConversion conversion, const uint8_t* in, size_t width, uint8_t* out);

}  // namespace hrv::app
