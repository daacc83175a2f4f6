#include "jobrecord.h"

namespace hrv {

namespace {

struct Key {
  const char* name;
  std::string PrinterInfo::*value;
};
// In the order the lines are written and the keys are tried.
constexpr Key kKeys[] = {{"resolution", &PrinterInfo::resolution},
                         {"papersize", &PrinterInfo::paperSize},
                         {"inputslot", &PrinterInfo::inputSlot},
                         {"mediatype", &PrinterInfo::mediaType},
                         {"duplex", &PrinterInfo::duplex}};

// The lines of a file read in text mode.
std::vector<std::string> textLines(std::string_view text) {
  std::vector<std::string> lines(1);
  for (char c : text) {
    if (c == '\n')
      lines.emplace_back();
    else if (c != '\r')
      lines.back() += c;
  }
  return lines;
}

}  // namespace

std::string printerInfoText(const PrinterInfo& info) {
  std::string text;
  for (const Key& k : kKeys) text.append(k.name).append(":").append(info.*k.value).append(";\n");
  return text;
}

PrinterInfo parsePrinterInfo(std::string_view text) {
  PrinterInfo info;
  for (const std::string& line : textLines(text)) {
    for (const Key& k : kKeys) {
      if (line.find(k.name) == std::string::npos) continue;
      const size_t colon = line.find(':');
      std::string value;
      if (colon != std::string::npos) value = line.substr(colon + 1, line.find(':', colon + 1) - colon - 1);
      while (!value.empty() && value.back() == ';') value.pop_back();
      info.*k.value = value;
      break;
    }
  }
  return info;
}

std::vector<std::string> printerStateLines(std::string_view text) {
  std::vector<std::string> found;
  for (std::string& line : textLines(text))
    if (line.find("CODE=") != std::string::npos) found.push_back(std::move(line));
  return found;
}

}  // namespace hrv
