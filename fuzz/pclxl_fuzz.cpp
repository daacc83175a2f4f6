// The PCL XL encoder: pages of any size, format and content, read back through
// the stream inspector; and the RLE decoder on any bytes.
#include <string>
#include <vector>

#include "encoder.h"
#include "fuzz_input.h"
#include "job_stream.h"
#include "rle.h"

namespace {

using namespace hrv::pxl;

// The decoded rows of page 1, on a white page.
class Page : public ImageSink {
 public:
  Page(unsigned height, size_t rowBytes) : rows(height, std::string(rowBytes, '\xff')) {}
  void row(int page, unsigned x, unsigned y, unsigned, std::string_view pixels) override {
    FUZZ_CHECK(page == 1 && x == 0 && y < rows.size() && pixels.size() == rows[0].size(),
               "row %u of page %d at x %u, %zu bytes", y, page, x, pixels.size());
    rows[y] = std::string(pixels);
  }
  std::vector<std::string> rows;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  hrvfuzz::FuzzInput in(data, size);
  PageSetup page;
  page.format = in.flag() ? PixelFormat::kRgb8 : PixelFormat::kGray8;
  page.width = 1 + (in.byte() | (in.byte() & 0x03) << 8);  // 1..1024
  page.height = 1 + in.byte() % 64;
  page.sides = static_cast<Sides>(in.byte() % 3);
  page.copies = in.byte();
  const unsigned dpi = in.flag() ? 600 : 300;
  const unsigned rowsGiven = in.byte() % (page.height + 2);

  // Rows: white, one repeated byte, or bytes of the input (cycled).
  Encoder e(dpi);
  std::string job;
  e.beginSession(job);
  FUZZ_CHECK(e.beginPage(page, job), "page %ux%u refused", page.width, page.height);
  std::vector<std::string> expected(page.height, std::string(e.rowBytes(), '\xff'));
  const std::string_view rest = in.rest();
  for (unsigned y = 0; y < rowsGiven; ++y) {
    std::string row(e.rowBytes(), '\xff');
    const uint8_t kind = rest.empty() ? 0 : static_cast<uint8_t>(rest[y % rest.size()]);
    if (kind % 3 == 1) row.assign(row.size(), static_cast<char>(kind));
    if (kind % 3 == 2)
      for (size_t i = 0; i < row.size(); ++i) row[i] = rest[(y * 31 + i) % rest.size()];
    e.writeRow(reinterpret_cast<const uint8_t*>(row.data()), job);
    if (y < page.height) expected[y] = row;
  }
  e.endSession(job);

  Page decoded(page.height, e.rowBytes());
  JobReport report = analyzeJob(job, &decoded);
  FUZZ_CHECK(report.ok(), "%s at %zu", report.error.c_str(), report.errorOffset);
  FUZZ_CHECK(report.completePages == 1 && report.pages[0].copies == (page.copies ? page.copies : 1u),
             "%u pages, copies %u", report.completePages, report.pages.empty() ? 0 : report.pages[0].copies);
  for (unsigned y = 0; y < page.height; ++y) FUZZ_CHECK(decoded.rows[y] == expected[y], "row %u differs", y);

  // RLE: any bytes decode to at most the limit; encoding round-trips.
  std::string out;
  const size_t limit = rest.size() * 2;
  rleDecode(rest, limit, out);
  FUZZ_CHECK(out.size() <= limit, "decoded %zu bytes, limit %zu", out.size(), limit);
  std::string packed, back;
  rleEncode(reinterpret_cast<const uint8_t*>(rest.data()), rest.size(), packed);
  FUZZ_CHECK(rleDecode(packed, rest.size(), back) && back == rest, "round trip of %zu bytes", rest.size());
  FUZZ_CHECK(packed.size() <= rest.size() + (rest.size() + 127) / 128, "%zu bytes packed to %zu", rest.size(),
             packed.size());
  return 0;
}
