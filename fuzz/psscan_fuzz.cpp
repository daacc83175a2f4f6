// The spooled PostScript inspection, fed whole files. The scan stays in step
// with the lines: lines ahead change nothing, wherever the file then falls in
// the read blocks (the first two bytes say where); a file framed by known
// lines reads as those, whatever lies between.
#include <cstdio>
#include <string>

#include "fuzz_input.h"
#include "psscan.h"

namespace {

std::string describe(std::string& bytes) {
  if (bytes.empty()) return "0 1 ";  // fmemopen wants at least one byte
  hrv::StringLogger log;
  std::FILE* f = fmemopen(bytes.data(), bytes.size(), "r");
  FUZZ_CHECK(f != nullptr, "fmemopen of %zu bytes", bytes.size());
  const hrv::Inspection r = hrv::inspectPostScript(f, log);
  std::fclose(f);
  return std::to_string(r.pages) + " " + std::to_string(r.copies) + " " + r.paperSize;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  hrvfuzz::FuzzInput in(data, size);
  const size_t shift = (static_cast<size_t>(in.byte()) << 8 | in.byte()) % 4096;
  std::string file(in.rest());
  const std::string alone = describe(file);
  const std::string name = alone.substr(alone.rfind(' ') + 1);
  bool known = name.empty();
  for (const hrv::PageSizeRow* r = hrv::pageSizeRowsBegin(); r != hrv::pageSizeRowsEnd(); ++r)
    known |= name == r->name;
  FUZZ_CHECK(known, "size name \"%s\"", name.c_str());

  // Lines without anything the scan looks for, then the file.
  static std::string shifted;
  shifted.clear();
  const size_t length = (size_t{1} << 16) + shift;
  while (length - shifted.size() >= 100) shifted.append(99, 'x').append(1, '\n');
  if (shifted.size() < length) shifted.append(length - shifted.size() - 1, 'y').append(1, '\n');
  shifted += file;
  const std::string after = describe(shifted);
  FUZZ_CHECK(after == alone, "after %zu bytes of lines: %s; alone: %s", length, after.c_str(), alone.c_str());

  std::string framed = "MediaBox[0 0 595.3 842]\n" + file + "\n%%Pages: 7\n/#copies 3\n";
  FUZZ_CHECK(describe(framed) == "7 3 A4", "framed: %s", describe(framed).c_str());
  return 0;
}
