// PCL XL encoder for raster pages: one session at a fixed resolution, pages
// of 8-bit gray or 8-bit RGB rows. Rows are sent as images, RLE compressed;
// rows that are entirely white are not sent at all (the page starts white).
// No I/O: every call appends bytes to the caller's buffer.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "protocol.h"

namespace hrv::pxl {

// MediaSize by enumeration, or a custom size in inches.
struct Media {
  bool custom = false;
  MediaSize size = MediaSize::kA4;
  float widthInches = 0;
  float heightInches = 0;
  uint8_t orientation = value::kPortrait;
};

enum class Sides { kOneSided, kLongEdge, kShortEdge };
enum class PixelFormat { kGray8, kRgb8 };

struct PageSetup {
  Media media;
  uint8_t mediaSource = 1;  // MediaSource: 1 automatic, 3 multipurpose tray, 4, 5, 7, 8 trays 1 to 4
  Sides sides = Sides::kOneSided;
  unsigned copies = 1;  // PageCopies, the printer repeats the page
  PixelFormat format = PixelFormat::kRgb8;
  unsigned width = 0;   // pixels per row
  unsigned height = 0;  // rows
  // The raster's resolution when it differs from the session's: the printer
  // scales the rows to the session's units. 0 means the session's.
  unsigned xdpi = 0;
  unsigned ydpi = 0;
};

// Largest page side the encoder writes (cursor positions are signed 16-bit).
inline constexpr unsigned kMaxPixels = 32767;
// Rows of one image strip hold at most this many bytes before compression.
inline constexpr size_t kMaxStripBytes = 500000;

class Encoder {
 public:
  // `dpi`: the session's units per inch, 1..65535.
  explicit Encoder(unsigned dpi) : dpi_(std::clamp(dpi, 1u, 65535u)) {}

  // "@PJL ENTER LANGUAGE = PCLXL", the stream header, BeginSession and
  // OpenDataSource.
  void beginSession(std::string& out);
  // False (and nothing written) for a page of no or too many pixels, or a
  // page begun before the last one ended.
  bool beginPage(const PageSetup& page, std::string& out);
  // One row of `rowBytes()` bytes. Rows past the page's height are ignored.
  void writeRow(const uint8_t* row, std::string& out);
  // Rows not written stay white.
  void endPage(std::string& out);
  // CloseDataSource, EndSession and the universal exit.
  void endSession(std::string& out);

  size_t rowBytes() const { return rowBytes_; }
  unsigned rowsWritten() const { return row_; }
  unsigned pagesEnded() const { return pages_; }

 private:
  void flushStrip(std::string& out);
  unsigned toUnitsX(unsigned pixels) const;
  unsigned toUnitsY(unsigned rows) const;

  unsigned dpi_;
  bool inPage_ = false;
  unsigned pages_ = 0;
  PageSetup page_;
  size_t rowBytes_ = 0;     // bytes per row as given
  size_t paddedBytes_ = 0;  // the same, padded to a multiple of four
  unsigned stripRows_ = 0;  // most rows per strip
  unsigned row_ = 0;        // next row of the page
  unsigned stripFirst_ = 0;
  unsigned stripCount_ = 0;
  std::string strip_;  // padded rows of the strip being collected
  std::string packed_;
};

}  // namespace hrv::pxl
