// A captured print job taken apart: lock requests and PJL lines ahead of the
// PCL XL stream, the stream header, sessions, pages and images of the PCL XL
// stream (image data decoded and checked against the image's size), the PJL
// lines after it and the job's ending (trailer or cancel sequence).
// No I/O: the caller passes the job's bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "pxl_stream.h"

namespace hrv::pxl {

inline constexpr std::string_view kUel = "\x1b%-12345X";
inline constexpr std::string_view kLockRequest = "LockPrinter?";
// The filter's job trailer and cancel sequence, from its own header (pjl.h).
extern const std::string_view kJobTrailer;
extern const std::string_view kCancelSequence;

struct PjlItem {
  enum class Kind { kExit, kLock, kLine };
  Kind kind = Kind::kLine;
  std::string text;  // a line without its line feed, or the exit / request text
  size_t offset = 0;
  bool terminated = true;  // false only for a cut-off last fragment
};

// Splits the PJL text that starts at `from` into exits (a following line feed
// belongs to the exit), lock requests and lines. Stops at a PCL XL stream
// header, at the end of the data, or at a line that is no PJL.
struct PjlSplit {
  enum class Stop { kEndOfData, kStreamHeader, kForeign };
  std::vector<PjlItem> items;
  size_t stop = 0;
  Stop why = Stop::kEndOfData;
};
PjlSplit splitPjl(std::string_view data, size_t from);

enum class Ending { kNone, kTrailer, kCancel };
Ending detectEnding(std::string_view data);

struct StreamHeader {
  size_t offset = 0;
  std::string line;  // without its line feed and the zero bytes before it
  Binding binding = Binding::kLittleEndian;
  std::string protocolClass;
  std::string revision;
  std::string comment;
};

struct SessionInfo {
  double unitsX = 0, unitsY = 0;  // UnitsPerMeasure, 0 when absent
  unsigned measure = 0;           // Measure enumeration
  std::string resolution;         // "600x600" in dots per inch, or "unknown"
};

struct PageInfo {
  int number = 0;
  size_t session = 0;  // index into JobReport::sessions
  std::string media = "unspecified";
  std::string source = "unspecified";
  std::string orientation = "unspecified";
  std::string duplex = "unspecified";    // simplex, duplex-vertical, duplex-horizontal
  std::vector<std::string> colorSpaces;  // distinct, in the order they were set
  unsigned copies = 0;                   // PageCopies of EndPage, 0 when absent
  bool ended = false;
  unsigned images = 0;                    // BeginImage/EndImage pairs
  unsigned imageRows = 0;                 // rows of image data read (all images)
  std::vector<std::string> compressions;  // distinct CompressMode names of ReadImage
};

// Receives the decoded rows of the pages' direct-pixel 8-bit images (gray or
// RGB), without their padding, placed at the image's cursor position.
class ImageSink {
 public:
  virtual ~ImageSink() = default;
  virtual void row(int page, unsigned x, unsigned y, unsigned components, std::string_view pixels) = 0;
};

struct JobReport {
  enum class Stream { kAbsent, kComplete, kCut, kBroken };

  size_t size = 0;
  unsigned lockRequests = 0;
  std::vector<PjlItem> header;  // everything ahead of the PCL XL stream
  bool enterLanguage = false;   // "@PJL ENTER LANGUAGE = PCLXL" seen
  Stream stream = Stream::kAbsent;
  StreamHeader streamHeader;
  unsigned operators = 0;
  std::vector<SessionInfo> sessions;
  std::vector<PageInfo> pages;   // one per BeginPage
  unsigned completePages = 0;    // BeginPage/EndPage pairs
  std::vector<PjlItem> trailer;  // after the PCL XL stream, the ending included
  Ending ending = Ending::kNone;

  ErrorKind errorKind = ErrorKind::kNone;
  size_t errorOffset = 0;
  std::string error;

  bool ok() const { return errorKind == ErrorKind::kNone; }
};

JobReport analyzeJob(std::string_view data, ImageSink* sink = nullptr);

}  // namespace hrv::pxl
