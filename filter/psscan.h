// Inspection of the spooled PostScript: pages, copies and the page size of
// the first MediaBox.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "log.h"

namespace hrv {

struct Inspection {
  int pages = 0;
  int copies = 1;         // 1 when the document names none
  std::string paperSize;  // size name of the first usable MediaBox, or empty
};

// "<spoolDir>/d" + job id as a decimal, at least five digits + "-001".
std::string spoolFilePath(const std::string& spoolDir, const std::string& jobId);

// One row of the size table: the whole-point windows (both ends included)
// of a MediaBox's width and height that name a paper size.
struct PageSizeRow {
  const char* name;
  int wMin, wMax, hMin, hMax;
};
// The size table, in the order the rows are tried.
const PageSizeRow* pageSizeRowsBegin();
const PageSizeRow* pageSizeRowsEnd();

// Maps a MediaBox's upper-right corner in whole points to a size name, or
// empty when no row of the size table holds it.
std::string pageSizeFor(int width, int height, Logger& log);

// Asked between two reads of the file: true ends the scan early (a cancel).
using ScanStop = std::function<bool()>;

// Scans an open spool file line by line (400-byte pieces).
Inspection inspectPostScript(std::FILE* file, Logger& log, const ScanStop& stop = {});

// Opens the spool file of `jobId` under `spoolDir` and scans it; a file that
// cannot be opened gives no pages, one copy and no size.
Inspection getPageCount(const std::string& spoolDir, const std::string& jobId, Logger& log,
                        const ScanStop& stop = {});

}  // namespace hrv
