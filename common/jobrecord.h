// The job files the print filter leaves for the status monitors: the settings
// of the last job (printerInfo) and the USB filter's state (printerState).
// The filter writes them and the monitors read them through this one
// definition. Texts only: the callers open, write and read the files.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace hrv {

// printerInfo: one "key:value;" line per setting, in this order. The defaults
// are what the filter writes for a job with every option at its default; a
// reader keeps them for a setting without a line and for a missing file.
struct PrinterInfo {
  std::string resolution = "600dpi";
  std::string paperSize = "A4";
  std::string inputSlot = "AUTO";
  std::string mediaType = "PLAIN";
  std::string duplex = "None";
};

std::string printerInfoText(const PrinterInfo& info);

// Reads a printerInfo text as a text file: carriage returns are dropped and
// lines end at line feeds (a zero byte is a character of its line). A line
// belongs to the first key it holds ("resolution", "papersize", "inputslot",
// "mediatype", "duplex"); its value is the text between the line's first and
// second ":" (or to the line's end), without the ";" that ends it. A later
// line for a key replaces an earlier one.
PrinterInfo parsePrinterInfo(std::string_view text);

// printerState: one state text and no line end, replaced at each change.
inline constexpr char kStatePrinting[] = "CODE=10023";
inline constexpr char kStateReady[] = "CODE=10001";
inline constexpr char kStatePasswdError[] = "CODE=99999";
inline constexpr char kStateCommunicateError[] = "CODE=44444";

// The lines of a printerState text that hold "CODE=", in their order, read as
// a text file like parsePrinterInfo.
std::vector<std::string> printerStateLines(std::string_view text);

}  // namespace hrv
