// Builds small PCL XL jobs byte by byte for the inspector and simulator tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

namespace hrv::testing {

inline const std::string kLeadIn = std::string("\x1b%-12345X\n\x1b#+54321X_VORN@PJL\n", 29);
inline const std::string kEnterPclXl = "@PJL ENTER LANGUAGE = PCLXL\n";
inline const std::string kTrailer = std::string("\x1b%-12345X\n\x1b#+54321X_VORN@PJL EOJ\n\x1b%-12345X", 42);
inline const std::string kCancel =
    std::string("\x1b%-12345X\n\x1b#+54321X_VORN@PJL CANCEL\n\x1b%-12345X", 45);
inline const std::string kExit = "\x1b%-12345X";

class PxlBuilder {
 public:
  explicit PxlBuilder(bool littleEndian = true) : little_(littleEndian) {
    s_ = littleEndian ? ") HP-PCL XL;2;0;hand-built" : "( HP-PCL XL;2;0;hand-built";
    s_ += '\n';
  }
  PxlBuilder& raw(const std::string& bytes) {
    s_ += bytes;
    return *this;
  }
  PxlBuilder& ub(uint8_t v) { return tag(0xC0).byte(v); }
  PxlBuilder& u16(uint16_t v) {
    tag(0xC1);
    return word(v);
  }
  PxlBuilder& u16xy(uint16_t x, uint16_t y) {
    tag(0xD1);
    word(x);
    return word(y);
  }
  PxlBuilder& real32xy(float x, float y) {
    tag(0xD5);
    real(x);
    return real(y);
  }
  PxlBuilder& ubArray(const std::string& bytes) {
    tag(0xC8).tag(0xC0).byte(static_cast<uint8_t>(bytes.size()));
    s_ += bytes;
    return *this;
  }
  PxlBuilder& attr(uint8_t id) { return tag(0xF8).byte(id); }
  PxlBuilder& op(uint8_t t) { return tag(t); }
  PxlBuilder& data(const std::string& bytes) {  // dataLengthByte
    tag(0xFB).byte(static_cast<uint8_t>(bytes.size()));
    s_ += bytes;
    return *this;
  }
  PxlBuilder& longData(uint32_t declared, const std::string& bytes) {  // dataLength
    tag(0xFA);
    word(static_cast<uint16_t>(little_ ? declared : declared >> 16));
    word(static_cast<uint16_t>(little_ ? declared >> 16 : declared));
    s_ += bytes;
    return *this;
  }

  // BeginSession at 600 units per inch and OpenDataSource.
  PxlBuilder& session() {
    u16xy(600, 600).attr(137).ub(0).attr(134).ub(0).attr(143).op(0x41);
    return ub(0).attr(136).ub(little_ ? 1 : 0).attr(130).op(0x48);
  }
  // BeginPage on A4 (enumeration 2), RGB colour, EndPage with one copy.
  PxlBuilder& page() {
    ub(0).attr(40).ub(2).attr(37).ub(1).attr(38).op(0x43);
    ub(2).attr(3).op(0x6A);
    return u16(1).attr(49).op(0x44);
  }
  PxlBuilder& end() { return op(0x49).op(0x42).raw(kExit); }

  std::string str() const { return s_; }
  size_t size() const { return s_.size(); }

 private:
  PxlBuilder& tag(uint8_t t) {
    s_ += static_cast<char>(t);
    return *this;
  }
  PxlBuilder& byte(uint8_t b) {
    s_ += static_cast<char>(b);
    return *this;
  }
  PxlBuilder& word(uint16_t v) {
    char lo = static_cast<char>(v & 0xFF), hi = static_cast<char>(v >> 8);
    s_ += little_ ? lo : hi;
    s_ += little_ ? hi : lo;
    return *this;
  }
  PxlBuilder& real(float f) {
    uint32_t raw;
    std::memcpy(&raw, &f, sizeof raw);
    word(static_cast<uint16_t>(little_ ? raw : raw >> 16));
    return word(static_cast<uint16_t>(little_ ? raw >> 16 : raw));
  }

  bool little_;
  std::string s_;
};

// A job as the filter sends it: lead-in, a PJL line, Ghostscript's
// ENTER LANGUAGE line, the stream and the ending.
inline std::string wrapJob(const std::string& stream, const std::string& ending,
                           const std::string& locks = "") {
  return locks + kLeadIn + "@PJL SET RESOLUTION=600\n" + kEnterPclXl + stream + ending;
}

}  // namespace hrv::testing
