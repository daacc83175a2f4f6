#include "psscan.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>

namespace hrv {

namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

const char* skipBlanks(const char* p) {
  while (isBlank(*p)) ++p;
  return p;
}

// Matches `literal` at `p`, where a blank in the literal matches any run of
// white space, also none. Returns the position after it or nullptr.
const char* matchLiteral(const char* p, const char* literal) {
  for (const char* l = literal; *l; ++l) {
    if (*l == ' ') {
      p = skipBlanks(p);
    } else {
      if (*p != *l) return nullptr;
      ++p;
    }
  }
  return p;
}

// A decimal integer as scanf's %d reads it, clamped to the int range.
bool readInt(const char* p, int& out) {
  p = skipBlanks(p);
  errno = 0;
  char* end = nullptr;
  long v = std::strtol(p, &end, 10);
  if (end == p) return false;
  if (v > INT_MAX) v = INT_MAX;
  if (v < INT_MIN) v = INT_MIN;
  out = static_cast<int>(v);
  return true;
}

// The four numbers of "MediaBox[a b c d]" or "MediaBox [a b c d]".
int readMediaBox(const char* p, float box[4]) {
  p = matchLiteral(p, "MediaBox [");
  if (!p) return 0;
  int n = 0;
  for (; n < 4; ++n) {
    p = skipBlanks(p);
    char* end = nullptr;
    float v = std::strtof(p, &end);
    if (end == p) break;
    box[n] = v;
    p = end;
  }
  return n;
}

// Cuts toward zero; values that no int can hold (huge, NaN) become -1, which
// no paper size matches.
int truncatePoints(float v) {
  if (!std::isfinite(v) || v >= 2147483520.0f || v <= -2147483520.0f) return -1;
  return static_cast<int>(v);
}

}  // namespace

std::string spoolFilePath(const std::string& spoolDir, const std::string& jobId) {
  errno = 0;
  long id = std::strtol(jobId.c_str(), nullptr, 10);
  if (id > INT_MAX || id < INT_MIN) id = 0;
  char name[40] = {};
  std::snprintf(name, sizeof name, "/d%05d-001", static_cast<int>(id));
  return spoolDir + name;
}

const PageSizeRow kSizes[] = {
    {"Letter", 611, 613, 791, 793},      {"Legal", 611, 613, 1007, 1009},
    {"MexicoLegal", 611, 613, 962, 964}, {"Folio", 611, 613, 935, 937},
    {"IndiaLegal", 608, 610, 977, 979},  {"Executive", 521, 523, 755, 757},
    {"A4", 594, 596, 841, 843},          {"A5", 419, 421, 594, 596},
    {"A5L", 594, 596, 419, 421},         {"A6", 296, 298, 419, 421},
    {"210x270mm", 594, 596, 764, 766},   {"Env10", 296, 298, 683, 685},
    {"EnvMonarch", 278, 280, 539, 541},  {"EnvDL", 311, 313, 623, 625},
    {"EnvC5", 458, 460, 648, 650},       {"ISOB5", 498, 500, 708, 710},
    {"B5", 516, 518, 728, 730},          {"195x270mm", 552, 554, 764, 766},
    {"184x260mm", 521, 523, 736, 738},   {"197x273mm", 557, 559, 773, 775},
};

const PageSizeRow* pageSizeRowsBegin() {
  return std::begin(kSizes);
}
const PageSizeRow* pageSizeRowsEnd() {
  return std::end(kSizes);
}

std::string pageSizeFor(int width, int height, Logger& log) {
  log.printf("w=%d h=%d\n", width, height);
  for (const PageSizeRow& r : kSizes) {
    if (width >= r.wMin && width <= r.wMax && height >= r.hMin && height <= r.hMax) return r.name;
  }
  return {};
}

namespace {

// Hands out the file as fgets would with a 400-byte buffer: pieces of at most
// 399 bytes that end at a line feed (kept) or at the size limit. Reads in
// large blocks so that a long spool file costs little more than one pass.
class PieceReader {
 public:
  PieceReader(std::FILE* file, const ScanStop& stop) : file_(file), stop_(stop) {}

  // The next piece, zero-terminated in place; nullptr at the end.
  char* next() {
    if (held_) {
      buf_[start_] = heldByte_;
      held_ = false;
    }
    if (end_ - start_ < kPiece && !eof_) refill();
    if (start_ == end_) return nullptr;
    size_t avail = std::min(end_ - start_, kPiece);
    char* piece = buf_ + start_;
    const void* nl = std::memchr(piece, '\n', avail);
    size_t len = nl ? static_cast<size_t>(static_cast<const char*>(nl) - piece) + 1 : avail;
    start_ += len;
    // Terminate in place; the byte is put back before the next piece.
    heldByte_ = buf_[start_];
    held_ = true;
    buf_[start_] = '\0';
    return piece;
  }

 private:
  static constexpr size_t kPiece = 399;
  static constexpr size_t kSize = 1 << 16;

  void refill() {
    std::memmove(buf_, buf_ + start_, end_ - start_);
    end_ -= start_;
    start_ = 0;
    while (end_ < kSize) {
      if (stop_ && stop_()) {
        eof_ = true;
        break;
      }
      size_t n = std::fread(buf_ + end_, 1, kSize - end_, file_);
      if (n == 0) {
        eof_ = true;
        break;
      }
      end_ += n;
      if (end_ - start_ >= kPiece) break;
    }
  }

  std::FILE* file_;
  const ScanStop& stop_;
  char buf_[kSize + 1];
  size_t start_ = 0, end_ = 0;
  bool eof_ = false;
  bool held_ = false;
  char heldByte_ = 0;
};

}  // namespace

Inspection inspectPostScript(std::FILE* file, Logger& log, const ScanStop& stop) {
  Inspection r;
  int hashCopies = 0;
  int numCopies = 0;
  bool copiesFound = false;
  bool mediaBoxFound = false;
  auto reader = std::make_unique<PieceReader>(file, stop);

  while (char* line = reader->next()) {
    // Only lines starting with '/' or '%' can carry copies or pages.
    if (line[0] == '/' || line[0] == '%') {
      bool copiesLine = false;
      if (const char* p = matchLiteral(line, "/#copies ")) copiesLine |= readInt(p, hashCopies);
      if (const char* p = matchLiteral(line, "%%Requirements: numcopies("))
        copiesLine |= readInt(p, numCopies);
      if (copiesLine) {
        copiesFound = true;
        r.copies = hashCopies != 0 ? hashCopies : numCopies;
        log.printf("DEBUG:%sget page copies = %d\n", kTag, r.copies);
      }

      if (const char* p = matchLiteral(line, "%%Pages: ")) readInt(p, r.pages);
    }

    if (!mediaBoxFound) {
      if (const char* at = std::strstr(line, "MediaBox")) {
        log.printf("test tmpStrCrop = %s\n", printable(at).c_str());
        float box[4] = {0, 0, 0, 0};
        int n = readMediaBox(at, box);
        int k = truncatePoints(box[2]);
        int l = truncatePoints(box[3]);
        log.printf("k=%d, l=%d\n", k, l);
        if (n == 4) {
          r.paperSize = pageSizeFor(k, l, log);
          log.printf("extract papersize = %s, k=%d, l=%d\n",
                     r.paperSize.empty() ? "(null)" : r.paperSize.c_str(), k, l);
          mediaBoxFound = true;
        }
      }
    }
  }

  if (!copiesFound) {
    log.printf("DEBUG:%scan not find copies from ps \n", kTag);
    r.copies = 1;
  }
  return r;
}

Inspection getPageCount(const std::string& spoolDir, const std::string& jobId, Logger& log,
                        const ScanStop& stop) {
  std::string path = spoolFilePath(spoolDir, jobId);
  log.printf("DEBUG:%s psfilepth for get Page Count= %s\n", kTag, path.c_str());
  std::FILE* f = std::fopen(path.c_str(), "r");
  if (!f) {
    log.printf("DEBUG:%scan not find copies from ps \n", kTag);
    return Inspection{};
  }
  Inspection r = inspectPostScript(f, log, stop);
  std::fclose(f);
  return r;
}

}  // namespace hrv
