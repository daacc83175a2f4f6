// Encodes one RGB page (a binary PPM, as Ghostscript's ppmraw device writes
// it) with the PCL XL encoder, several times, and prints the median time:
//   pclxl_encode_bench PAGE.ppm [REPS]
//   -> "encode ms=N mb_per_s=N raster_bytes=N pclxl_bytes=N"
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "encoder.h"

namespace {

// The next header token, skipping "#" comment lines.
std::string token(std::istream& in) {
  std::string t;
  while (in >> t && t[0] == '#') {
    std::string rest;
    std::getline(in, rest);
  }
  return t;
}

bool readPpm(const char* path, unsigned& width, unsigned& height, std::string& pixels) {
  std::ifstream in(path, std::ios::binary);
  if (token(in) != "P6") return false;
  width = static_cast<unsigned>(std::atoi(token(in).c_str()));
  height = static_cast<unsigned>(std::atoi(token(in).c_str()));
  if (token(in) != "255") return false;
  in.get();  // the single white space after the header
  pixels.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return pixels.size() >= size_t{width} * height * 3;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: pclxl_encode_bench PAGE.ppm [REPS]\n");
    return 1;
  }
  const int reps = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  unsigned width = 0, height = 0;
  std::string pixels;
  if (!readPpm(argv[1], width, height, pixels)) {
    std::fprintf(stderr, "pclxl_encode_bench: %s is not a binary 8-bit PPM\n", argv[1]);
    return 1;
  }
  hrv::pxl::PageSetup page;
  page.width = width;
  page.height = height;
  std::vector<double> ms;
  size_t outBytes = 0;
  std::string out;
  for (int r = 0; r < reps; ++r) {
    out.clear();
    out.reserve(pixels.size() / 4);
    auto start = std::chrono::steady_clock::now();
    hrv::pxl::Encoder e(600);
    e.beginSession(out);
    if (!e.beginPage(page, out)) {
      std::fprintf(stderr, "pclxl_encode_bench: page %ux%u refused\n", width, height);
      return 1;
    }
    for (unsigned y = 0; y < height; ++y)
      e.writeRow(reinterpret_cast<const uint8_t*>(pixels.data()) + size_t{y} * width * 3, out);
    e.endSession(out);
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    outBytes = out.size();
  }
  std::sort(ms.begin(), ms.end());
  const double median = ms[ms.size() / 2];
  const double raster = double(width) * height * 3;
  std::printf("encode ms=%.1f mb_per_s=%.1f raster_bytes=%.0f pclxl_bytes=%zu\n", median,
              raster / 1e6 / (median / 1000), raster, outBytes);
  return 0;
}
