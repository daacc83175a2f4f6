#include "job_stream.h"

#include "rle.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <utility>

#include "pjl.h"

namespace hrv::pxl {

const std::string_view kJobTrailer = kPjlTrailer;
const std::string_view kCancelSequence = kPjlCancel;

namespace {

constexpr std::string_view kStreamMark = " HP-PCL XL";
constexpr std::string_view kPjlMark = "@PJL";
// The lead-in's second line, without its line feed.
constexpr std::string_view kVendorPrefix =
    kPjlLeadIn.substr(kUel.size() + 1, kPjlLeadIn.size() - kUel.size() - 2);

bool startsWith(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

// True when `rest` is `whole` or a cut-off beginning of it.
bool isPrefixOf(std::string_view rest, std::string_view whole) {
  return rest.size() <= whole.size() && whole.substr(0, rest.size()) == rest;
}

bool isBindingByte(char c) {
  return c == '(' || c == ')' || c == '\'';
}

bool atStreamHeader(std::string_view rest) {
  if (rest.empty() || !isBindingByte(rest[0])) return false;
  std::string_view mark = rest.substr(1, kStreamMark.size());
  return isPrefixOf(mark, kStreamMark) &&
         (mark.size() == kStreamMark.size() || rest.size() == 1 + mark.size());
}

// "@PJL ENTER LANGUAGE = PCLXL", blanks around '=' optional, case-insensitive.
bool isEnterPclXl(std::string_view line) {
  std::string squeezed;
  for (char c : line)
    if (c != ' ' && c != '\t' && c != '\r')
      squeezed.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
  constexpr std::string_view kWanted = "@PJLENTERLANGUAGE=PCLXL";
  return squeezed.size() >= kWanted.size() &&
         std::string_view(squeezed).substr(squeezed.size() - kWanted.size()) == kWanted;
}

std::string formatNumber(double v) {
  char buf[32];
  if (v == std::floor(v) && std::fabs(v) < 1e9)
    std::snprintf(buf, sizeof buf, "%.0f", v);
  else
    std::snprintf(buf, sizeof buf, "%.2f", v);
  return buf;
}

std::string resolutionText(double x, double y, unsigned measure) {
  static constexpr double kPerInch[] = {1.0, 25.4, 254.0};
  if (x <= 0 || y <= 0 || measure > 2) return "unknown";
  return formatNumber(std::round(x * kPerInch[measure])) + "x" +
         formatNumber(std::round(y * kPerInch[measure]));
}

unsigned enumValue(const Attribute* a, unsigned fallback) {
  if (!a || a->value.shape != Shape::kScalar || !a->value.isInteger() || a->value.numbers.empty())
    return fallback;
  return static_cast<unsigned>(a->value.numbers[0]);
}

std::string pageMedia(const Operator& op) {
  if (const Attribute* a = op.find(attr::kMediaSize)) {
    if (a->value.shape == Shape::kArray && a->value.type == Type::kUByte) return a->value.bytes();
    if (a->value.shape == Shape::kScalar) return mediaSizeName(enumValue(a, 255));
  }
  if (const Attribute* a = op.find(attr::kCustomMediaSize)) {
    if (a->value.shape == Shape::kXy) {
      unsigned units = enumValue(op.find(attr::kCustomMediaSizeUnits), 0);
      const char* unitName = units == 0 ? "in" : measureName(units);
      return "custom:" + formatNumber(a->value.numbers[0]) + "x" + formatNumber(a->value.numbers[1]) +
             (unitName ? unitName : "?");
    }
  }
  return "unspecified";
}

std::string pageDuplex(const Operator& op) {
  if (op.find(attr::kSimplexPageMode)) return "simplex";
  if (const Attribute* a = op.find(attr::kDuplexPageMode)) {
    unsigned mode = enumValue(a, 99);
    if (mode == 0) return "duplex-horizontal";
    if (mode == 1) return "duplex-vertical";
    return "duplex#" + std::to_string(mode);
  }
  return "unspecified";
}

void addDistinct(std::vector<std::string>& list, std::string item) {
  if (std::find(list.begin(), list.end(), item) == list.end()) list.push_back(std::move(item));
}

// Walks the operators of the stream and keeps sessions, pages and images.
class StreamWalker {
 public:
  StreamWalker(JobReport& report, std::string_view body, ImageSink* sink)
      : report_(report), body_(body), sink_(sink) {}

  // False with `message` set when the operator is out of place.
  bool take(const Operator& op, std::string& message) {
    ++report_.operators;
    const char* name = operatorName(op.tag);
    if (!inSession_ && op.tag != tag::kBeginSession) {
      message = std::string(name) + " outside a session";
      return false;
    }
    switch (op.tag) {
      case tag::kBeginSession: {
        if (inSession_) {
          message = "BeginSession inside a session";
          return false;
        }
        inSession_ = true;
        SessionInfo s;
        if (const Attribute* u = op.find(attr::kUnitsPerMeasure); u && u->value.shape == Shape::kXy) {
          s.unitsX = u->value.numbers[0];
          s.unitsY = u->value.numbers[1];
        }
        s.measure = enumValue(op.find(attr::kMeasure), 0);
        s.resolution = resolutionText(s.unitsX, s.unitsY, s.measure);
        report_.sessions.push_back(std::move(s));
        break;
      }
      case tag::kEndSession:
        if (inPage_) {
          message = "EndSession inside page " + std::to_string(report_.pages.back().number);
          return false;
        }
        inSession_ = false;
        break;
      case tag::kBeginPage: {
        if (inPage_) {
          message = "BeginPage inside page " + std::to_string(report_.pages.back().number);
          return false;
        }
        inPage_ = true;
        PageInfo p;
        p.number = static_cast<int>(report_.pages.size()) + 1;
        p.session = report_.sessions.size() - 1;
        p.media = pageMedia(op);
        if (const Attribute* a = op.find(attr::kMediaSource)) p.source = mediaSourceName(enumValue(a, 255));
        if (const Attribute* a = op.find(attr::kOrientation))
          p.orientation = orientationName(enumValue(a, 255));
        p.duplex = pageDuplex(op);
        report_.pages.push_back(std::move(p));
        break;
      }
      case tag::kEndPage:
        if (!inPage_) {
          message = "EndPage without BeginPage";
          return false;
        }
        if (image_.open) {
          message = "EndPage inside an image";
          return false;
        }
        inPage_ = false;
        colorSpace_ = value::kGray;
        report_.pages.back().ended = true;
        report_.pages.back().copies = enumValue(op.find(attr::kPageCopies), 0);
        ++report_.completePages;
        break;
      case tag::kSetColorSpace:
        if (inPage_) {
          if (const Attribute* a = op.find(attr::kColorSpace)) {
            colorSpace_ = enumValue(a, 255);
            addDistinct(report_.pages.back().colorSpaces, colorSpaceName(colorSpace_));
          }
        }
        break;
      case tag::kSetCursor:
        if (const Attribute* a = op.find(attr::kPoint); a && a->value.shape == Shape::kXy) {
          cursorX_ = a->value.numbers[0];
          cursorY_ = a->value.numbers[1];
        }
        break;
      case tag::kBeginImage:
        return beginImage(op, message);
      case tag::kReadImage:
        return readImage(op, message);
      case tag::kEndImage:
        if (!image_.open) {
          message = "EndImage without BeginImage";
          return false;
        }
        if (image_.rows != image_.height) {
          message = "image ends after " + std::to_string(image_.rows) + " of its " +
                    std::to_string(image_.height) + " rows";
          return false;
        }
        image_.open = false;
        ++report_.pages.back().images;
        break;
      default:
        break;
    }
    return true;
  }

  bool inSession() const { return inSession_; }
  bool anySession() const { return !report_.sessions.empty(); }

 private:
  struct Image {
    bool open = false;
    unsigned width = 0, height = 0;
    unsigned bitsPerPixel = 0;  // 0: a layout this reader does not decode
    unsigned components = 0;    // of a direct-pixel 8-bit image, else 0
    double x = 0, y = 0;
    unsigned rows = 0;  // read so far
  };

  bool beginImage(const Operator& op, std::string& message) {
    if (!inPage_ || image_.open) {
      message = inPage_ ? "BeginImage inside an image" : "BeginImage outside a page";
      return false;
    }
    image_ = Image{};
    image_.open = true;
    image_.width = enumValue(op.find(attr::kSourceWidth), 0);
    image_.height = enumValue(op.find(attr::kSourceHeight), 0);
    image_.x = cursorX_;
    image_.y = cursorY_;
    static constexpr unsigned kDepthBits[] = {1, 4, 8};
    unsigned depth = enumValue(op.find(attr::kColorDepth), 99);
    bool direct = enumValue(op.find(attr::kColorMapping), 99) == value::kDirectPixel;
    unsigned components = direct ? colorComponents(colorSpace_) : 1;
    if (depth < 3 && components > 0) image_.bitsPerPixel = kDepthBits[depth] * components;
    if (direct && depth == value::k8Bit) image_.components = components;
    return true;
  }

  bool readImage(const Operator& op, std::string& message) {
    if (!image_.open) {
      message = "ReadImage outside an image";
      return false;
    }
    unsigned start = enumValue(op.find(attr::kStartLine), 0);
    unsigned count = enumValue(op.find(attr::kBlockHeight), 0);
    unsigned mode = enumValue(op.find(attr::kCompressMode), value::kNoCompression);
    unsigned pad = enumValue(op.find(attr::kPadBytesMultiple), 4);
    if (start != image_.rows || count > image_.height - image_.rows) {
      message = "ReadImage of rows " + std::to_string(start) + " to " + std::to_string(start + count) +
                " after " + std::to_string(image_.rows) + " of the image's " + std::to_string(image_.height) +
                " rows";
      return false;
    }
    PageInfo& page = report_.pages.back();
    addDistinct(page.compressions, compressionName(mode));
    bool decodable = mode == value::kNoCompression || mode == value::kRLECompression;
    if (image_.bitsPerPixel > 0 && decodable && pad >= 1 && pad <= 4) {
      size_t rowBytes = (size_t{image_.width} * image_.bitsPerPixel + 7) / 8;
      size_t padded = (rowBytes + pad - 1) / pad * pad;
      size_t expected = padded * count;
      std::string_view data = body_.substr(op.dataOffset, op.dataLength);
      rows_.clear();
      if (mode == value::kNoCompression)
        rows_.assign(data);
      else if (!rleDecode(data, expected, rows_))
        rows_.append(expected + 1, '\0');  // reported as too long or cut below
      if (rows_.size() != expected) {
        message = "image data of " + std::to_string(count) + " rows decodes to " +
                  (rows_.size() > expected ? std::string("more than ") : std::string()) +
                  std::to_string(std::min(rows_.size(), expected)) + " bytes, not " +
                  std::to_string(expected);
        return false;
      }
      if (sink_ && image_.components > 0) {
        for (unsigned i = 0; i < count; ++i)
          sink_->row(page.number, static_cast<unsigned>(image_.x),
                     static_cast<unsigned>(image_.y) + start + i, image_.components,
                     std::string_view(rows_).substr(i * padded, rowBytes));
      }
    }
    image_.rows += count;
    page.imageRows += count;
    return true;
  }

  JobReport& report_;
  std::string_view body_;
  ImageSink* sink_;
  bool inSession_ = false;
  bool inPage_ = false;
  unsigned colorSpace_ = value::kGray;
  double cursorX_ = 0, cursorY_ = 0;
  Image image_;
  std::string rows_;
};

void setError(JobReport& r, ErrorKind kind, size_t offset, std::string message) {
  if (r.errorKind != ErrorKind::kNone) return;
  r.errorKind = kind;
  r.errorOffset = offset;
  r.error = std::move(message);
}

// Parses the stream header line at `pos`; returns the offset after it, or 0.
size_t readStreamHeader(std::string_view body, size_t pos, JobReport& r) {
  size_t end = body.find('\n', pos);
  if (end == std::string_view::npos) {
    setError(r, ErrorKind::kTruncated, pos, "stream ends inside the PCL XL stream header");
    return 0;
  }
  StreamHeader& h = r.streamHeader;
  h.offset = pos;
  std::string_view line = body.substr(pos, end - pos);
  while (!line.empty() && (line.back() == '\0' || line.back() == '\r')) line.remove_suffix(1);
  h.line.assign(line);
  if (body[pos] == '\'') {
    setError(r, ErrorKind::kMalformed, pos, "ASCII stream binding is not supported");
    return 0;
  }
  h.binding = body[pos] == ')' ? Binding::kLittleEndian : Binding::kBigEndian;
  std::string_view rest = line.substr(1 + kStreamMark.size());
  if (rest.empty() || rest[0] != ';') {
    setError(r, ErrorKind::kMalformed, pos, "stream header lacks the protocol class");
    return 0;
  }
  rest.remove_prefix(1);
  std::string_view fields[3];
  for (int i = 0; i < 3; ++i) {
    size_t semi = i < 2 ? rest.find(';') : std::string_view::npos;
    fields[i] = rest.substr(0, semi);
    if (semi == std::string_view::npos) {
      rest = {};
      break;
    }
    rest.remove_prefix(semi + 1);
  }
  h.protocolClass.assign(fields[0]);
  h.revision.assign(fields[1]);
  h.comment.assign(fields[2]);
  if (h.protocolClass.empty() || h.protocolClass.find_first_not_of("0123456789") != std::string::npos) {
    setError(r, ErrorKind::kMalformed, pos, "stream header has no numeric protocol class");
    return 0;
  }
  return end + 1;
}

std::vector<PjlItem> endingItems(Ending ending, size_t offset) {
  std::string_view text = ending == Ending::kTrailer ? kJobTrailer : kCancelSequence;
  PjlSplit split = splitPjl(text, 0);
  for (PjlItem& item : split.items) item.offset += offset;
  return split.items;
}

}  // namespace

PjlSplit splitPjl(std::string_view data, size_t from) {
  PjlSplit out;
  size_t pos = from;
  while (pos < data.size()) {
    std::string_view rest = data.substr(pos);
    PjlItem item;
    item.offset = pos;
    if (atStreamHeader(rest)) {
      out.stop = pos;
      out.why = PjlSplit::Stop::kStreamHeader;
      return out;
    }
    if (startsWith(rest, kUel)) {
      item.kind = PjlItem::Kind::kExit;
      item.text.assign(kUel);
      pos += kUel.size();
      if (pos < data.size() && data[pos] == '\n') ++pos;
    } else if (startsWith(rest, kLockRequest)) {
      item.kind = PjlItem::Kind::kLock;
      item.text.assign(kLockRequest);
      pos += kLockRequest.size();
    } else {
      size_t lf = rest.find('\n');
      std::string_view line = rest.substr(0, lf);
      bool terminated = lf != std::string_view::npos;
      bool pjl = line.empty() || line.find(kPjlMark) != std::string_view::npos;
      if (!pjl && !terminated)  // a cut-off last fragment of something we know
        pjl = isPrefixOf(line, kUel) || isPrefixOf(line, kLockRequest) || isPrefixOf(line, kPjlMark) ||
              isPrefixOf(line, kVendorPrefix);
      if (!pjl) {
        out.stop = pos;
        out.why = PjlSplit::Stop::kForeign;
        return out;
      }
      item.text.assign(line);
      item.terminated = terminated;
      pos += line.size() + (terminated ? 1 : 0);
    }
    out.items.push_back(std::move(item));
  }
  out.stop = pos;
  out.why = PjlSplit::Stop::kEndOfData;
  return out;
}

Ending detectEnding(std::string_view data) {
  auto endsWith = [&](std::string_view tail) {
    return data.size() >= tail.size() && data.substr(data.size() - tail.size()) == tail;
  };
  if (endsWith(kJobTrailer)) return Ending::kTrailer;
  if (endsWith(kCancelSequence)) return Ending::kCancel;
  return Ending::kNone;
}

JobReport analyzeJob(std::string_view data, ImageSink* sink) {
  JobReport r;
  r.size = data.size();
  r.ending = detectEnding(data);
  size_t bodySize = data.size();
  if (r.ending == Ending::kTrailer) bodySize -= kJobTrailer.size();
  if (r.ending == Ending::kCancel) bodySize -= kCancelSequence.size();
  std::string_view body = data.substr(0, bodySize);
  bool cancelled = r.ending == Ending::kCancel;

  auto keepHeader = [&](std::vector<PjlItem>& items) {
    for (PjlItem& item : items) {
      if (item.kind == PjlItem::Kind::kLock) ++r.lockRequests;
      if (item.kind == PjlItem::Kind::kLine && isEnterPclXl(item.text)) r.enterLanguage = true;
      r.header.push_back(std::move(item));
    }
  };

  PjlSplit head = splitPjl(body, 0);
  keepHeader(head.items);
  auto cutLine = [](const std::vector<PjlItem>& items) { return !items.empty() && !items.back().terminated; };

  if (head.why == PjlSplit::Stop::kForeign) {
    r.stream = JobReport::Stream::kBroken;
    setError(r, ErrorKind::kMalformed, head.stop, "data that is neither PJL nor a PCL XL stream header");
  } else if (head.why == PjlSplit::Stop::kEndOfData) {
    if (cutLine(r.header) && !cancelled)
      setError(r, ErrorKind::kTruncated, r.header.back().offset, "stream ends inside a PJL line");
    else if (r.enterLanguage && !cancelled)
      setError(r, ErrorKind::kTruncated, body.size(), "no PCL XL stream after ENTER LANGUAGE");
    else if (r.enterLanguage)
      r.stream = JobReport::Stream::kCut;
  } else {
    r.stream = JobReport::Stream::kBroken;
    size_t pos = readStreamHeader(body, head.stop, r);
    if (pos == 0 && cancelled && r.errorKind == ErrorKind::kTruncated) {
      r.errorKind = ErrorKind::kNone;
      r.error.clear();
      r.stream = JobReport::Stream::kCut;
    }
    if (pos != 0) {
      Reader reader(body, pos, r.streamHeader.binding);
      StreamWalker walker(r, body, sink);
      Operator op;
      Reader::Status status;
      std::string message;
      while ((status = reader.next(op)) == Reader::Status::kOperator) {
        if (!walker.take(op, message)) {
          setError(r, ErrorKind::kMalformed, op.offset, message);
          break;
        }
      }
      if (r.ok()) {
        if (status == Reader::Status::kError) {
          if (reader.errorKind() == ErrorKind::kTruncated && cancelled) {
            r.stream = JobReport::Stream::kCut;
          } else {
            setError(r, reader.errorKind(), reader.errorOffset(), reader.error());
          }
        } else if (walker.inSession() || !walker.anySession()) {
          // The stream was left (exit or end of data) before its session closed.
          if (cancelled && status == Reader::Status::kEnd)
            r.stream = JobReport::Stream::kCut;
          else
            setError(r, ErrorKind::kTruncated, reader.position(),
                     walker.anySession() ? "PCL XL stream ends before EndSession"
                                         : "PCL XL stream ends before BeginSession");
        } else {
          r.stream = JobReport::Stream::kComplete;
          PjlSplit tail = splitPjl(body, reader.position());
          for (PjlItem& item : tail.items) {
            if (item.kind == PjlItem::Kind::kLock) ++r.lockRequests;
            r.trailer.push_back(std::move(item));
          }
          if (tail.why != PjlSplit::Stop::kEndOfData)
            setError(r, ErrorKind::kMalformed, tail.stop, "unexpected data after the PCL XL stream");
          else if (cutLine(r.trailer) && !cancelled)
            setError(r, ErrorKind::kTruncated, r.trailer.back().offset, "stream ends inside a PJL line");
        }
      }
    }
  }

  if (r.ending != Ending::kNone) {
    for (PjlItem& item : endingItems(r.ending, bodySize)) r.trailer.push_back(std::move(item));
  }
  return r;
}

}  // namespace hrv::pxl
