// The run-length compression of PCL XL image data (CompressMode eRLECompression,
// the PackBits scheme): a control byte n of 0..127 is followed by n + 1
// literal bytes, one of 129..255 by a byte that stands 257 - n times, and 128
// is skipped. Runs may go on across rows; a block decodes to its rows, each
// padded to a multiple of four bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace hrv::pxl {

// Appends the compressed form of `data` to `out`.
void rleEncode(const uint8_t* data, size_t size, std::string& out);

// Appends the decoded bytes of `data` to `out`, but never more than `limit`
// bytes in all. False when the data ends inside a literal run or would decode
// to more than `limit` bytes; `out` then holds what was decoded up to there.
bool rleDecode(std::string_view data, size_t limit, std::string& out);

}  // namespace hrv::pxl
