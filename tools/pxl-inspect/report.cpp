#include "report.h"

#include <cstdio>
#include <vector>

namespace hrv::pxl {
namespace {

const char* endingName(Ending e) {
  switch (e) {
    case Ending::kTrailer:
      return "trailer";
    case Ending::kCancel:
      return "cancel";
    case Ending::kNone:
      break;
  }
  return "none";
}

const char* streamName(JobReport::Stream s) {
  switch (s) {
    case JobReport::Stream::kComplete:
      return "complete";
    case JobReport::Stream::kCut:
      return "cut";
    case JobReport::Stream::kBroken:
      return "broken";
    case JobReport::Stream::kAbsent:
      break;
  }
  return "absent";
}

std::string join(const std::vector<std::string>& parts, const char* sep, const char* empty) {
  if (parts.empty()) return empty;
  std::string out;
  for (const std::string& p : parts) {
    if (!out.empty()) out += sep;
    out += p;
  }
  return out;
}

std::string pageResolution(const JobReport& r, const PageInfo& p) {
  return p.session < r.sessions.size() ? r.sessions[p.session].resolution : "unknown";
}

std::vector<const PjlItem*> pjlLines(const std::vector<PjlItem>& items) {
  std::vector<const PjlItem*> out;
  for (const PjlItem& item : items)
    if (item.kind != PjlItem::Kind::kLock) out.push_back(&item);
  return out;
}

std::string hexOffset(size_t offset) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%zu (0x%zx)", offset, offset);
  return buf;
}

}  // namespace

const char* errorKindName(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::kTruncated:
      return "truncated";
    case ErrorKind::kMalformed:
      return "malformed";
    case ErrorKind::kNone:
      break;
  }
  return "none";
}

std::string visible(std::string_view bytes) {
  std::string out;
  for (char ch : bytes) {
    auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case 0x1B:
        out += "\\e";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\0':
        out += "\\0";
        break;
      case '\\':
        out += "\\\\";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\x%02x", c);
          out += buf;
        } else {
          out.push_back(ch);
        }
    }
  }
  return out;
}

std::string formatSummary(const JobReport& r) {
  std::string out;
  auto put = [&out](const std::string& key, const std::string& value) {
    out += key;
    out += '=';
    out += value;
    out += '\n';
  };
  put("file.size", std::to_string(r.size));
  put("lock.requests", std::to_string(r.lockRequests));
  std::vector<const PjlItem*> head = pjlLines(r.header);
  put("pjl.header.count", std::to_string(head.size()));
  for (size_t i = 0; i < head.size(); ++i) put("pjl.header." + std::to_string(i + 1), visible(head[i]->text));
  put("pjl.enter_language", r.enterLanguage ? "yes" : "no");
  put("pxl", streamName(r.stream));
  if (r.stream != JobReport::Stream::kAbsent) {
    put("pxl.header", visible(r.streamHeader.line));
    put("pxl.binding", r.streamHeader.binding == Binding::kLittleEndian ? "little-endian" : "big-endian");
    put("pxl.class", r.streamHeader.protocolClass);
    put("pxl.revision", r.streamHeader.revision);
    put("pxl.operators", std::to_string(r.operators));
  }
  put("sessions", std::to_string(r.sessions.size()));
  put("resolution", r.sessions.empty() ? "unknown" : r.sessions.front().resolution);
  put("pages", std::to_string(r.completePages));
  put("pages.begun", std::to_string(r.pages.size()));
  for (const PageInfo& p : r.pages) {
    std::string k = "page" + std::to_string(p.number) + ".";
    put(k + "media", p.media);
    put(k + "resolution", pageResolution(r, p));
    put(k + "colorspace", join(p.colorSpaces, ",", "none"));
    put(k + "source", p.source);
    put(k + "orientation", p.orientation);
    put(k + "duplex", p.duplex);
    put(k + "copies", std::to_string(p.copies));
    put(k + "images", std::to_string(p.images));
    put(k + "image_rows", std::to_string(p.imageRows));
    put(k + "compression", join(p.compressions, ",", "none"));
    put(k + "complete", p.ended ? "yes" : "no");
  }
  std::vector<const PjlItem*> tail = pjlLines(r.trailer);
  put("pjl.trailer.count", std::to_string(tail.size()));
  for (size_t i = 0; i < tail.size(); ++i)
    put("pjl.trailer." + std::to_string(i + 1), visible(tail[i]->text));
  put("end", endingName(r.ending));
  put("error", errorKindName(r.errorKind));
  if (!r.ok()) {
    put("error.offset", std::to_string(r.errorOffset));
    put("error.message", r.error);
  }
  return out;
}

std::string formatReport(const JobReport& r, std::string_view name) {
  std::string out;
  auto line = [&out](const std::string& text) {
    out += text;
    out += '\n';
  };
  line(std::string(name) + ": " + std::to_string(r.size) + " bytes");
  if (r.lockRequests > 0) line("Lock requests: " + std::to_string(r.lockRequests) + " x \"LockPrinter?\"");

  std::vector<const PjlItem*> head = pjlLines(r.header);
  line("PJL ahead of the PCL XL stream: " + std::to_string(head.size()) + " lines");
  for (const PjlItem* item : head)
    line("  " + visible(item->text) + (item->terminated ? "" : "   [cut off]"));

  switch (r.stream) {
    case JobReport::Stream::kAbsent:
      line("PCL XL stream: none");
      break;
    default: {
      const StreamHeader& h = r.streamHeader;
      line("PCL XL stream header: \"" + visible(h.line) + "\"");
      line(std::string("  binding ") +
           (h.binding == Binding::kLittleEndian ? "little-endian" : "big-endian") + ", protocol class " +
           h.protocolClass + "." + h.revision + ", " + std::to_string(r.operators) + " operators read");
      if (r.stream == JobReport::Stream::kCut) line("  stream cut short by the cancel");
    }
  }
  for (size_t i = 0; i < r.sessions.size(); ++i) {
    const SessionInfo& s = r.sessions[i];
    const char* m = measureName(s.measure);
    char units[96];
    std::snprintf(units, sizeof units, "%g x %g per %s", s.unitsX, s.unitsY, m ? m : "?");
    line("Session " + std::to_string(i + 1) + ": " + units + ", resolution " + s.resolution + " dpi");
  }
  line("Pages: " + std::to_string(r.completePages) + " (BeginPage/EndPage pairs)");
  for (const PageInfo& p : r.pages) {
    line("  page " + std::to_string(p.number) + ": " + p.media + ", " + pageResolution(r, p) +
         " dpi, colour " + join(p.colorSpaces, "+", "none") + ", source " + p.source + ", " + p.orientation +
         ", " + p.duplex + (p.copies ? ", copies " + std::to_string(p.copies) : std::string()) + ", " +
         std::to_string(p.images) + " images of " + std::to_string(p.imageRows) + " rows (" +
         join(p.compressions, "+", "no data") + ")" + (p.ended ? "" : "   [no EndPage]"));
  }
  std::vector<const PjlItem*> tail = pjlLines(r.trailer);
  line("PJL after the PCL XL stream: " + std::to_string(tail.size()) + " lines");
  for (const PjlItem* item : tail) line("  " + visible(item->text));
  switch (r.ending) {
    case Ending::kTrailer:
      line("Ends with: job trailer");
      break;
    case Ending::kCancel:
      line("Ends with: cancel sequence");
      break;
    case Ending::kNone:
      line("Ends with: neither the job trailer nor the cancel sequence");
      break;
  }
  if (!r.ok())
    line(std::string("Error: ") + errorKindName(r.errorKind) + " stream at offset " +
         hexOffset(r.errorOffset) + ": " + r.error);
  return out;
}

}  // namespace hrv::pxl
