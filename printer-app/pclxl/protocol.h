// The PCL XL protocol as this suite writes and reads it: tag bytes, attribute
// ids, enumeration values and their names. The encoder (printer application)
// and the stream inspector (tools/pxl-inspect) both use these definitions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace hrv::pxl {

// What follows the printer's "@PJL ENTER LANGUAGE = PCLXL" line: the binary
// stream header. Protocol class 1.1 and the trailing zero byte before the line
// feed are what Ghostscript's PCL XL devices write, which the printer takes.
inline constexpr std::string_view kEnterLanguage = "@PJL ENTER LANGUAGE = PCLXL\n";
inline constexpr char kBinaryHeaderText[] = ") HP-PCL XL;1;1;Comment HRV5720ZWB printer application\0\n";
inline constexpr std::string_view kBinaryHeader{kBinaryHeaderText, sizeof kBinaryHeaderText - 1};
inline constexpr std::string_view kUniversalExit = "\x1b%-12345X";

// Tag bytes.
namespace tag {
inline constexpr uint8_t kEsc = 0x1B;  // first byte of the universal exit language
inline constexpr uint8_t kBeginSession = 0x41;
inline constexpr uint8_t kEndSession = 0x42;
inline constexpr uint8_t kBeginPage = 0x43;
inline constexpr uint8_t kEndPage = 0x44;
inline constexpr uint8_t kVendorUnique = 0x46;
inline constexpr uint8_t kOpenDataSource = 0x48;
inline constexpr uint8_t kCloseDataSource = 0x49;
inline constexpr uint8_t kReadFontHeader = 0x50;
inline constexpr uint8_t kReadChar = 0x53;
inline constexpr uint8_t kReadStream = 0x5C;
inline constexpr uint8_t kSetColorSpace = 0x6A;
inline constexpr uint8_t kSetCursor = 0x6B;
inline constexpr uint8_t kSetROP = 0x7B;
inline constexpr uint8_t kBezierPath = 0x93;
inline constexpr uint8_t kBezierRelPath = 0x95;
inline constexpr uint8_t kLinePath = 0x9B;
inline constexpr uint8_t kLineRelPath = 0x9D;
inline constexpr uint8_t kBeginImage = 0xB0;
inline constexpr uint8_t kReadImage = 0xB1;
inline constexpr uint8_t kEndImage = 0xB2;
inline constexpr uint8_t kReadRastPattern = 0xB4;
inline constexpr uint8_t kScanLineRel = 0xB9;
inline constexpr uint8_t kPassthrough = 0xBF;
inline constexpr uint8_t kUByte = 0xC0;  // scalars 0xC0..0xC5
inline constexpr uint8_t kUInt16 = 0xC1;
inline constexpr uint8_t kUByteArray = 0xC8;  // arrays 0xC8..0xCD
inline constexpr uint8_t kUByteXy = 0xD0;     // xy pairs 0xD0..0xD5
inline constexpr uint8_t kUInt16Xy = 0xD1;
inline constexpr uint8_t kSInt16Xy = 0xD3;
inline constexpr uint8_t kReal32Xy = 0xD5;
inline constexpr uint8_t kUByteBox = 0xE0;  // boxes 0xE0..0xE5
inline constexpr uint8_t kAttrUByte = 0xF8;
inline constexpr uint8_t kAttrUInt16 = 0xF9;
inline constexpr uint8_t kDataLength = 0xFA;
inline constexpr uint8_t kDataLengthByte = 0xFB;
}  // namespace tag

// Attribute ids.
namespace attr {
inline constexpr uint16_t kColorSpace = 3;
inline constexpr uint16_t kMediaSize = 37;
inline constexpr uint16_t kMediaSource = 38;
inline constexpr uint16_t kOrientation = 40;
inline constexpr uint16_t kROP3 = 44;
inline constexpr uint16_t kCustomMediaSize = 47;
inline constexpr uint16_t kCustomMediaSizeUnits = 48;
inline constexpr uint16_t kPageCopies = 49;
inline constexpr uint16_t kSimplexPageMode = 52;
inline constexpr uint16_t kDuplexPageMode = 53;
inline constexpr uint16_t kDuplexPageSide = 54;
inline constexpr uint16_t kPoint = 76;
inline constexpr uint16_t kNumberOfPoints = 77;
inline constexpr uint16_t kPointType = 80;
inline constexpr uint16_t kColorDepth = 98;
inline constexpr uint16_t kBlockHeight = 99;
inline constexpr uint16_t kColorMapping = 100;
inline constexpr uint16_t kCompressMode = 101;
inline constexpr uint16_t kDestinationSize = 103;
inline constexpr uint16_t kSourceHeight = 107;
inline constexpr uint16_t kSourceWidth = 108;
inline constexpr uint16_t kStartLine = 109;
inline constexpr uint16_t kPadBytesMultiple = 110;
inline constexpr uint16_t kDataOrg = 130;
inline constexpr uint16_t kMeasure = 134;
inline constexpr uint16_t kSourceType = 136;
inline constexpr uint16_t kUnitsPerMeasure = 137;
inline constexpr uint16_t kStreamDataLength = 140;
inline constexpr uint16_t kErrorReport = 143;
inline constexpr uint16_t kVUDataLength = 146;
inline constexpr uint16_t kCharDataSize = 163;
inline constexpr uint16_t kFontHeaderLength = 167;
}  // namespace attr

// Enumeration values.
namespace value {
inline constexpr uint8_t kInch = 0;                // Measure, CustomMediaSizeUnits
inline constexpr uint8_t kBackChAndErrPage = 3;    // ErrorReport
inline constexpr uint8_t kDefaultDataSource = 0;   // SourceType
inline constexpr uint8_t kBinaryLowByteFirst = 1;  // DataOrg
inline constexpr uint8_t kGray = 1;                // ColorSpace
inline constexpr uint8_t kRGB = 2;
inline constexpr uint8_t kPortrait = 0;  // Orientation
inline constexpr uint8_t kLandscape = 1;
inline constexpr uint8_t kSimplexFrontSide = 0;         // SimplexPageMode
inline constexpr uint8_t kDuplexHorizontalBinding = 0;  // DuplexPageMode: short edge
inline constexpr uint8_t kDuplexVerticalBinding = 1;    // long edge
inline constexpr uint8_t kFrontMediaSide = 0;           // DuplexPageSide
inline constexpr uint8_t kBackMediaSide = 1;
inline constexpr uint8_t kDirectPixel = 0;    // ColorMapping
inline constexpr uint8_t k8Bit = 2;           // ColorDepth
inline constexpr uint8_t kNoCompression = 0;  // CompressMode
inline constexpr uint8_t kRLECompression = 1;
inline constexpr uint8_t kJPEGCompression = 2;
inline constexpr uint8_t kDeltaRowCompression = 3;
inline constexpr uint8_t kSourceCopy = 204;  // ROP3: the image replaces what is below
}  // namespace value

// Media sizes by enumeration (MediaSize as a ubyte).
enum class MediaSize : uint8_t {
  kLetter = 0,
  kLegal = 1,
  kA4 = 2,
  kExecutive = 3,
  kCom10 = 6,
  kMonarch = 7,
  kC5 = 8,
  kDL = 9,
  kB5Envelope = 12,
  kA5 = 16,
  kA6 = 17,
  kJisExec = 21,
};

// Names for reports; nullptr (or a numbered fallback) for unknown values.
const char* operatorName(uint8_t tag);
const char* attributeName(uint16_t id);
std::string mediaSizeName(unsigned code);
std::string colorSpaceName(unsigned code);
std::string mediaSourceName(unsigned code);
std::string orientationName(unsigned code);
const char* measureName(unsigned code);  // "inch", "mm", "0.1mm", nullptr
std::string compressionName(unsigned code);
bool isDataOperator(uint8_t tag);  // may be followed by embedded data

// Components of a direct-pixel image in a colour space (1 gray, 3 RGB), 0
// for a space this suite does not know.
unsigned colorComponents(unsigned colorSpace);

}  // namespace hrv::pxl
