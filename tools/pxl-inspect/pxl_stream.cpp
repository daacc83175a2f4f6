#include "pxl_stream.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <utility>

namespace hrv::pxl {
namespace {

constexpr std::string_view kUel = "\x1b%-12345X";

constexpr size_t kTypeSize[] = {1, 2, 4, 2, 4, 4};

bool isWhitespace(uint8_t b) {
  return b == 0x00 || (b >= 0x09 && b <= 0x0D) || b == 0x20;
}

std::string hexByte(uint8_t b) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%02x", b);
  return buf;
}

}  // namespace

std::string Value::bytes() const {
  std::string out;
  out.reserve(numbers.size());
  for (double n : numbers) out.push_back(static_cast<char>(static_cast<unsigned char>(n)));
  return out;
}

const Attribute* Operator::find(uint16_t id) const {
  for (const Attribute& a : attributes)
    if (a.id == id) return &a;
  return nullptr;
}

Reader::Reader(std::string_view bytes, size_t pos, Binding binding)
    : bytes_(bytes), pos_(pos), binding_(binding) {}

Reader::Status Reader::fail(ErrorKind kind, size_t at, std::string message) {
  if (errorKind_ == ErrorKind::kNone) {
    errorKind_ = kind;
    errorOffset_ = at;
    error_ = std::move(message);
  }
  return Status::kError;
}

bool Reader::need(size_t count, size_t at, const char* what) {
  if (bytes_.size() - pos_ >= count) return true;
  fail(ErrorKind::kTruncated, at,
       std::string("stream ends inside ") + what + " (needs " + std::to_string(count) + " more bytes, " +
           std::to_string(bytes_.size() - pos_) + " left)");
  return false;
}

uint16_t Reader::u16(size_t at) const {
  auto b0 = static_cast<uint8_t>(bytes_[at]), b1 = static_cast<uint8_t>(bytes_[at + 1]);
  return binding_ == Binding::kLittleEndian ? static_cast<uint16_t>(b0 | (b1 << 8))
                                            : static_cast<uint16_t>((b0 << 8) | b1);
}

uint32_t Reader::u32(size_t at) const {
  uint32_t lo = u16(at), hi = u16(at + 2);
  return binding_ == Binding::kLittleEndian ? (lo | (hi << 16)) : ((lo << 16) | hi);
}

void Reader::skipWhitespace() {
  while (pos_ < bytes_.size() && isWhitespace(static_cast<uint8_t>(bytes_[pos_]))) ++pos_;
}

bool Reader::readNumber(Type type, double& out) {
  switch (type) {
    case Type::kUByte:
      out = static_cast<uint8_t>(bytes_[pos_]);
      break;
    case Type::kUInt16:
      out = u16(pos_);
      break;
    case Type::kUInt32:
      out = u32(pos_);
      break;
    case Type::kSInt16:
      out = static_cast<int16_t>(u16(pos_));
      break;
    case Type::kSInt32:
      out = static_cast<int32_t>(u32(pos_));
      break;
    case Type::kReal32: {
      uint32_t raw = u32(pos_);
      float f;
      std::memcpy(&f, &raw, sizeof f);
      out = f;
      break;
    }
  }
  pos_ += kTypeSize[static_cast<size_t>(type)];
  return true;
}

// `tag` is a data type tag; pos_ is just past it.
bool Reader::readValue(uint8_t t, Value& value) {
  value = Value{};
  value.offset = pos_ - 1;
  uint8_t group = t & 0xF8;
  auto type = static_cast<Type>(t & 0x07);
  value.type = type;
  size_t size = kTypeSize[t & 0x07];
  size_t count = 1;
  if (group == tag::kUByte) {
    value.shape = Shape::kScalar;
  } else if (group == tag::kUByteXy) {
    value.shape = Shape::kXy;
    count = 2;
  } else if (group == tag::kUByteBox) {
    value.shape = Shape::kBox;
    count = 4;
  } else {  // array: a ubyte or uint16 length with its own tag, then the elements
    value.shape = Shape::kArray;
    if (!need(1, value.offset, "an array length")) return false;
    auto lengthTag = static_cast<uint8_t>(bytes_[pos_]);
    if (lengthTag != tag::kUByte && lengthTag != tag::kUByte + 1) {
      fail(ErrorKind::kMalformed, pos_,
           "array length must be a ubyte or uint16, found tag " + hexByte(lengthTag));
      return false;
    }
    ++pos_;
    size_t lengthSize = lengthTag == tag::kUByte ? 1 : 2;
    if (!need(lengthSize, value.offset, "an array length")) return false;
    count = lengthSize == 1 ? static_cast<uint8_t>(bytes_[pos_]) : u16(pos_);
    pos_ += lengthSize;
  }
  if (!need(count * size, value.offset, "a value")) return false;
  value.numbers.resize(count);
  for (size_t i = 0; i < count; ++i) readNumber(type, value.numbers[i]);
  return true;
}

bool Reader::checkDataLength(const Operator& op) {
  auto single = [&op](uint16_t id, double& out) {
    const Attribute* a = op.find(id);
    if (!a || a->value.shape != Shape::kScalar || a->value.numbers.size() != 1) return false;
    out = a->value.numbers[0];
    return true;
  };
  double expected = 0;
  std::string source;
  switch (op.tag) {
    case tag::kReadChar:
    case tag::kReadFontHeader:
    case tag::kReadStream:
    case tag::kVendorUnique: {
      uint16_t id = op.tag == tag::kReadChar         ? attr::kCharDataSize
                    : op.tag == tag::kReadFontHeader ? attr::kFontHeaderLength
                    : op.tag == tag::kReadStream     ? attr::kStreamDataLength
                                                     : attr::kVUDataLength;
      if (!single(id, expected)) return true;
      source = std::string(attributeName(id)) + " says";
      break;
    }
    case tag::kLinePath:
    case tag::kLineRelPath:
    case tag::kBezierPath:
    case tag::kBezierRelPath: {
      // Points as x,y pairs of the PointType: ubyte, sbyte, uint16, sint16.
      double points = 0, type = 0;
      if (!single(attr::kNumberOfPoints, points) || !single(attr::kPointType, type) || type < 0 || type > 3)
        return true;
      expected = points * 2 * (type < 2 ? 1 : 2);
      source = std::to_string(static_cast<long long>(points)) + " points need";
      break;
    }
    default:
      return true;
  }
  if (expected == static_cast<double>(op.dataLength)) return true;
  fail(ErrorKind::kMalformed, op.dataOffset,
       std::string("embedded data of ") + operatorName(op.tag) + " holds " + std::to_string(op.dataLength) +
           " bytes but " + source + " " + std::to_string(static_cast<long long>(expected)));
  return false;
}

bool Reader::readEmbeddedData(Operator& op) {
  skipWhitespace();
  if (pos_ >= bytes_.size()) return true;  // any data would come in the next bytes
  auto t = static_cast<uint8_t>(bytes_[pos_]);
  if (t != tag::kDataLength && t != tag::kDataLengthByte) {
    bool required = op.tag == tag::kReadImage || op.tag == tag::kReadRastPattern ||
                    op.tag == tag::kReadChar || op.tag == tag::kReadFontHeader || op.tag == tag::kReadStream;
    if (required) {
      fail(ErrorKind::kMalformed, pos_,
           std::string(operatorName(op.tag)) + " is not followed by embedded data (found tag " + hexByte(t) +
               ")");
      return false;
    }
    return true;
  }
  size_t at = pos_++;
  size_t lengthSize = t == tag::kDataLength ? 4 : 1;
  if (!need(lengthSize, at, "an embedded data length")) return false;
  op.dataLength = lengthSize == 4 ? u32(pos_) : static_cast<uint8_t>(bytes_[pos_]);
  pos_ += lengthSize;
  op.hasData = true;
  op.dataOffset = pos_;
  if (!checkDataLength(op)) return false;
  if (bytes_.size() - pos_ < op.dataLength) {
    fail(ErrorKind::kTruncated, at,
         "embedded data of " + std::to_string(op.dataLength) + " bytes runs past the end (" +
             std::to_string(bytes_.size() - pos_) + " bytes left)");
    return false;
  }
  pos_ += op.dataLength;
  return true;
}

Reader::Status Reader::next(Operator& op) {
  if (errorKind_ != ErrorKind::kNone) return Status::kError;
  op = Operator{};
  Value pending;
  bool havePending = false;
  for (;;) {
    skipWhitespace();
    if (pos_ >= bytes_.size()) {
      if (havePending || !op.attributes.empty())
        return fail(ErrorKind::kTruncated, pos_, "stream ends inside an attribute list");
      return Status::kEnd;
    }
    size_t at = pos_;
    auto t = static_cast<uint8_t>(bytes_[pos_++]);

    if (t >= tag::kUByte && t <= 0xE7 && (t & 0x07) <= 5 && (t & 0xF8) != 0xD8) {
      if (havePending)
        return fail(ErrorKind::kMalformed, at,
                    "value at offset " + std::to_string(pending.offset) +
                        " has no attribute id before the next value");
      if (!readValue(t, pending)) return Status::kError;
      havePending = true;
      continue;
    }
    if (t == tag::kAttrUByte || t == tag::kAttrUInt16) {
      size_t idSize = t == tag::kAttrUByte ? 1 : 2;
      if (!need(idSize, at, "an attribute id")) return Status::kError;
      uint16_t id = idSize == 1 ? static_cast<uint8_t>(bytes_[pos_]) : u16(pos_);
      pos_ += idSize;
      if (!havePending)
        return fail(ErrorKind::kMalformed, at, "attribute id " + std::to_string(id) + " without a value");
      op.attributes.push_back(Attribute{id, std::move(pending)});
      havePending = false;
      continue;
    }
    if (t == tag::kDataLength || t == tag::kDataLengthByte)
      return fail(ErrorKind::kMalformed, at, "embedded data not after an operator that reads data");
    if (t == tag::kEsc) {
      size_t left = bytes_.size() - at;
      std::string_view here = bytes_.substr(at, std::min(left, kUel.size()));
      if (kUel.substr(0, here.size()) != here)
        return fail(ErrorKind::kMalformed, at, "unknown tag 0x1b (not a universal exit)");
      if (here.size() < kUel.size())
        return fail(ErrorKind::kTruncated, at, "stream ends inside a universal exit");
      if (havePending || !op.attributes.empty())
        return fail(ErrorKind::kMalformed, at, "universal exit inside an attribute list");
      pos_ = at;
      return Status::kUel;
    }
    if (operatorName(t)) {
      if (havePending)
        return fail(ErrorKind::kMalformed, pending.offset,
                    std::string("value without an attribute id before ") + operatorName(t));
      op.tag = t;
      op.offset = at;
      if (isDataOperator(t) && !readEmbeddedData(op)) return Status::kError;
      return Status::kOperator;
    }
    return fail(ErrorKind::kMalformed, at, "unknown tag " + hexByte(t));
  }
}

}  // namespace hrv::pxl
