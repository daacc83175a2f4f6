#include "encoder.h"

#include <algorithm>
#include <cstring>

#include "rle.h"

namespace hrv::pxl {

namespace {

// Values in the little-endian binding.
void u16le(std::string& out, unsigned v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void u32le(std::string& out, uint32_t v) {
  u16le(out, v & 0xFFFF);
  u16le(out, v >> 16);
}
void real32le(std::string& out, float f) {
  uint32_t raw;
  std::memcpy(&raw, &f, sizeof raw);
  u32le(out, raw);
}

void attribute(std::string& out, uint16_t id) {
  out.push_back(static_cast<char>(tag::kAttrUByte));
  out.push_back(static_cast<char>(id));
}
void ubyteAttr(std::string& out, uint8_t v, uint16_t id) {
  out.push_back(static_cast<char>(tag::kUByte));
  out.push_back(static_cast<char>(v));
  attribute(out, id);
}
void uint16Attr(std::string& out, unsigned v, uint16_t id) {
  out.push_back(static_cast<char>(tag::kUInt16));
  u16le(out, v);
  attribute(out, id);
}
void uint16XyAttr(std::string& out, unsigned x, unsigned y, uint16_t id) {
  out.push_back(static_cast<char>(tag::kUInt16Xy));
  u16le(out, x);
  u16le(out, y);
  attribute(out, id);
}
void op(std::string& out, uint8_t t) {
  out.push_back(static_cast<char>(t));
}
void embeddedData(std::string& out, const std::string& data) {
  if (data.size() > 255) {
    out.push_back(static_cast<char>(tag::kDataLength));
    u32le(out, static_cast<uint32_t>(data.size()));
  } else {
    out.push_back(static_cast<char>(tag::kDataLengthByte));
    out.push_back(static_cast<char>(data.size()));
  }
  out += data;
}

bool isWhite(const uint8_t* row, size_t size) {
  return row[0] == 0xFF && std::memcmp(row, row + 1, size - 1) == 0;
}

}  // namespace

void Encoder::beginSession(std::string& out) {
  out += kEnterLanguage;
  out += kBinaryHeader;
  uint16XyAttr(out, dpi_, dpi_, attr::kUnitsPerMeasure);
  ubyteAttr(out, value::kInch, attr::kMeasure);
  ubyteAttr(out, value::kBackChAndErrPage, attr::kErrorReport);
  op(out, tag::kBeginSession);
  ubyteAttr(out, value::kDefaultDataSource, attr::kSourceType);
  ubyteAttr(out, value::kBinaryLowByteFirst, attr::kDataOrg);
  op(out, tag::kOpenDataSource);
}

bool Encoder::beginPage(const PageSetup& page, std::string& out) {
  if (inPage_ || page.width == 0 || page.height == 0 || page.width > kMaxPixels || page.height > kMaxPixels)
    return false;
  page_ = page;
  if (page_.xdpi == 0) page_.xdpi = dpi_;
  if (page_.ydpi == 0) page_.ydpi = dpi_;
  if (toUnitsX(page.width) > kMaxPixels || toUnitsY(page.height) > kMaxPixels) return false;
  inPage_ = true;
  page_.copies = std::clamp(page.copies, 1u, 65535u);
  rowBytes_ = size_t{page.width} * (page.format == PixelFormat::kRgb8 ? 3 : 1);
  paddedBytes_ = (rowBytes_ + 3) & ~size_t{3};
  stripRows_ = static_cast<unsigned>(std::max<size_t>(1, kMaxStripBytes / rowBytes_));
  row_ = 0;
  stripCount_ = 0;
  strip_.clear();

  ubyteAttr(out, page.media.orientation, attr::kOrientation);
  if (page.media.custom) {
    out.push_back(static_cast<char>(tag::kReal32Xy));
    real32le(out, page.media.widthInches);
    real32le(out, page.media.heightInches);
    attribute(out, attr::kCustomMediaSize);
    ubyteAttr(out, value::kInch, attr::kCustomMediaSizeUnits);
  } else {
    ubyteAttr(out, static_cast<uint8_t>(page.media.size), attr::kMediaSize);
  }
  ubyteAttr(out, page.mediaSource, attr::kMediaSource);
  if (page.sides == Sides::kOneSided) {
    ubyteAttr(out, value::kSimplexFrontSide, attr::kSimplexPageMode);
  } else {
    ubyteAttr(
        out,
        page.sides == Sides::kShortEdge ? value::kDuplexHorizontalBinding : value::kDuplexVerticalBinding,
        attr::kDuplexPageMode);
    // Pages alternate between the front and the back of a sheet.
    ubyteAttr(out, pages_ % 2 == 0 ? value::kFrontMediaSide : value::kBackMediaSide, attr::kDuplexPageSide);
  }
  op(out, tag::kBeginPage);
  ubyteAttr(out, value::kSourceCopy, attr::kROP3);
  op(out, tag::kSetROP);
  ubyteAttr(out, page.format == PixelFormat::kRgb8 ? value::kRGB : value::kGray, attr::kColorSpace);
  op(out, tag::kSetColorSpace);
  return true;
}

void Encoder::writeRow(const uint8_t* row, std::string& out) {
  if (!inPage_ || row_ >= page_.height) return;
  if (isWhite(row, rowBytes_)) {
    flushStrip(out);
  } else {
    if (stripCount_ == 0) stripFirst_ = row_;
    strip_.append(reinterpret_cast<const char*>(row), rowBytes_);
    strip_.append(paddedBytes_ - rowBytes_, '\0');
    if (++stripCount_ == stripRows_) flushStrip(out);
  }
  ++row_;
}

unsigned Encoder::toUnitsX(unsigned pixels) const {
  return static_cast<unsigned>(uint64_t{pixels} * dpi_ / page_.xdpi);
}
unsigned Encoder::toUnitsY(unsigned rows) const {
  return static_cast<unsigned>(uint64_t{rows} * dpi_ / page_.ydpi);
}

void Encoder::flushStrip(std::string& out) {
  if (stripCount_ == 0) return;
  // SetCursor to the strip's first row, in the session's units.
  const unsigned top = toUnitsY(stripFirst_);
  const unsigned rows = std::max(1u, toUnitsY(stripFirst_ + stripCount_) - top);
  out.push_back(static_cast<char>(tag::kSInt16Xy));
  u16le(out, 0);
  u16le(out, top);
  attribute(out, attr::kPoint);
  op(out, tag::kSetCursor);
  ubyteAttr(out, value::k8Bit, attr::kColorDepth);
  ubyteAttr(out, value::kDirectPixel, attr::kColorMapping);
  uint16Attr(out, page_.width, attr::kSourceWidth);
  uint16Attr(out, stripCount_, attr::kSourceHeight);
  uint16XyAttr(out, std::max(1u, toUnitsX(page_.width)), rows, attr::kDestinationSize);
  op(out, tag::kBeginImage);

  uint16Attr(out, 0, attr::kStartLine);
  uint16Attr(out, stripCount_, attr::kBlockHeight);
  packed_.clear();
  rleEncode(reinterpret_cast<const uint8_t*>(strip_.data()), strip_.size(), packed_);
  // Data that does not get smaller goes as it is.
  bool rle = packed_.size() < strip_.size();
  ubyteAttr(out, rle ? value::kRLECompression : value::kNoCompression, attr::kCompressMode);
  op(out, tag::kReadImage);
  embeddedData(out, rle ? packed_ : strip_);
  op(out, tag::kEndImage);

  strip_.clear();
  stripCount_ = 0;
}

void Encoder::endPage(std::string& out) {
  if (!inPage_) return;
  flushStrip(out);
  uint16Attr(out, page_.copies, attr::kPageCopies);
  op(out, tag::kEndPage);
  inPage_ = false;
  ++pages_;
}

void Encoder::endSession(std::string& out) {
  endPage(out);
  op(out, tag::kCloseDataSource);
  op(out, tag::kEndSession);
  out += kUniversalExit;
}

}  // namespace hrv::pxl
