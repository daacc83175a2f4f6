// PCL XL binary stream reader: turns the binary framing into operators with
// their attribute lists and embedded data. No I/O: it works on bytes held by
// the caller. Tags, attribute ids and names are the encoder's (protocol.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "protocol.h"

namespace hrv::pxl {

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

}  // namespace hrv::pxl
