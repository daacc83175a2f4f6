// PCL XL binary stream reader: tags, attribute ids, enumerations and a reader
// that turns the binary framing into operators with their attribute lists and
// embedded data. No I/O: it works on bytes held by the caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace hrv::pxl {

// Tag bytes.
namespace tag {
inline constexpr uint8_t kEsc = 0x1B;  // first byte of the universal exit language
inline constexpr uint8_t kBeginSession = 0x41;
inline constexpr uint8_t kEndSession = 0x42;
inline constexpr uint8_t kBeginPage = 0x43;
inline constexpr uint8_t kEndPage = 0x44;
inline constexpr uint8_t kVendorUnique = 0x46;
inline constexpr uint8_t kReadFontHeader = 0x50;
inline constexpr uint8_t kReadChar = 0x53;
inline constexpr uint8_t kReadStream = 0x5C;
inline constexpr uint8_t kSetColorSpace = 0x6A;
inline constexpr uint8_t kBezierPath = 0x93;
inline constexpr uint8_t kBezierRelPath = 0x95;
inline constexpr uint8_t kLinePath = 0x9B;
inline constexpr uint8_t kLineRelPath = 0x9D;
inline constexpr uint8_t kReadImage = 0xB1;
inline constexpr uint8_t kReadRastPattern = 0xB4;
inline constexpr uint8_t kScanLineRel = 0xB9;
inline constexpr uint8_t kPassthrough = 0xBF;
inline constexpr uint8_t kUByte = 0xC0;       // scalars 0xC0..0xC5
inline constexpr uint8_t kUByteArray = 0xC8;  // arrays 0xC8..0xCD
inline constexpr uint8_t kUByteXy = 0xD0;     // xy pairs 0xD0..0xD5
inline constexpr uint8_t kUByteBox = 0xE0;    // boxes 0xE0..0xE5
inline constexpr uint8_t kAttrUByte = 0xF8;
inline constexpr uint8_t kAttrUInt16 = 0xF9;
inline constexpr uint8_t kDataLength = 0xFA;
inline constexpr uint8_t kDataLengthByte = 0xFB;
}  // namespace tag

// Attribute ids used by the inspector.
namespace attr {
inline constexpr uint16_t kColorSpace = 3;
inline constexpr uint16_t kMediaSize = 37;
inline constexpr uint16_t kMediaSource = 38;
inline constexpr uint16_t kOrientation = 40;
inline constexpr uint16_t kCustomMediaSize = 47;
inline constexpr uint16_t kCustomMediaSizeUnits = 48;
inline constexpr uint16_t kPageCopies = 49;
inline constexpr uint16_t kSimplexPageMode = 52;
inline constexpr uint16_t kDuplexPageMode = 53;
inline constexpr uint16_t kDuplexPageSide = 54;
inline constexpr uint16_t kNumberOfPoints = 77;
inline constexpr uint16_t kPointType = 80;
inline constexpr uint16_t kCharDataSize = 163;
inline constexpr uint16_t kFontHeaderLength = 167;
inline constexpr uint16_t kStreamDataLength = 140;
inline constexpr uint16_t kVUDataLength = 146;
inline constexpr uint16_t kMeasure = 134;
inline constexpr uint16_t kUnitsPerMeasure = 137;
}  // namespace attr

enum class Binding { kBigEndian, kLittleEndian };

enum class Type : uint8_t { kUByte, kUInt16, kUInt32, kSInt16, kSInt32, kReal32 };
enum class Shape : uint8_t { kScalar, kArray, kXy, kBox };

struct Value {
  Type type = Type::kUByte;
  Shape shape = Shape::kScalar;
  size_t offset = 0;            // of the data type tag
  std::vector<double> numbers;  // 1 scalar, 2 for x,y, 4 for a box, or the array's elements

  // The elements of a ubyte array as bytes (a media size name, a font name).
  std::string bytes() const;
  bool isInteger() const { return type != Type::kReal32; }
};

struct Attribute {
  uint16_t id = 0;
  Value value;
};

struct Operator {
  uint8_t tag = 0;
  size_t offset = 0;  // of the operator byte
  std::vector<Attribute> attributes;
  bool hasData = false;
  uint32_t dataLength = 0;
  size_t dataOffset = 0;  // first byte of the embedded data

  const Attribute* find(uint16_t id) const;
};

enum class ErrorKind { kNone, kTruncated, kMalformed };

// Reads operators from a binary stream that starts at `pos` (right after the
// stream header line). next() returns kOperator for each operator, kUel when
// the stream is left with a universal exit language (the reader stays on its
// first byte), kEnd when the bytes run out between operators, and kError for a
// truncated or malformed stream; the error stays set and next() keeps
// returning kError.
class Reader {
 public:
  enum class Status { kOperator, kUel, kEnd, kError };

  Reader(std::string_view bytes, size_t pos, Binding binding);

  Status next(Operator& op);

  size_t position() const { return pos_; }
  ErrorKind errorKind() const { return errorKind_; }
  size_t errorOffset() const { return errorOffset_; }
  const std::string& error() const { return error_; }

 private:
  bool need(size_t count, size_t at, const char* what);
  bool readValue(uint8_t tag, Value& value);
  bool readNumber(Type type, double& out);
  bool readEmbeddedData(Operator& op);
  bool checkDataLength(const Operator& op);
  void skipWhitespace();
  Status fail(ErrorKind kind, size_t at, std::string message);
  uint16_t u16(size_t at) const;
  uint32_t u32(size_t at) const;

  std::string_view bytes_;
  size_t pos_;
  Binding binding_;
  ErrorKind errorKind_ = ErrorKind::kNone;
  size_t errorOffset_ = 0;
  std::string error_;
};

// Names for reports; nullptr (or a numbered fallback) for unknown values.
const char* operatorName(uint8_t tag);
const char* attributeName(uint16_t id);
std::string mediaSizeName(unsigned code);
std::string colorSpaceName(unsigned code);
std::string mediaSourceName(unsigned code);
std::string orientationName(unsigned code);
const char* measureName(unsigned code);  // "inch", "mm", "0.1mm", nullptr
bool isDataOperator(uint8_t tag);        // may be followed by embedded data

}  // namespace hrv::pxl
