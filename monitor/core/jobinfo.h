// The USB filter's job files as the monitors read them (their texts are
// jobrecord.h's): the settings of the last job (printerInfo) with their
// display texts, and the state file (printerState). The readers take the
// file's path.
#pragma once

#include <QByteArray>
#include <QString>

#include "jobrecord.h"

namespace hrv::monitor {

// Display texts for the five labels of the first tab.
struct JobInfoTexts {
  QString resolution;  // printer_resolution
  QString mediaType;   // printer_mediatype
  QString pageSize;    // printer_pagesize
  QString inputSlot;   // printer_inputslot
  QString duplex;      // printer_duplex
};

// Display tables. First matching row wins; a value no row names is shown as
// it is (the resolution shows its value, except "2400" as "HQ1200dpi").
QString resolutionText(const QString& raw);
QString paperSizeText(const QString& raw);
QString inputSlotText(const QString& raw);
QString mediaTypeText(const QString& raw);
QString duplexText(const QString& raw);
JobInfoTexts jobInfoTexts(const PrinterInfo& settings);

// Reads the file at `path`; the defaults when it cannot be opened (and the
// debug line "open file failed").
PrinterInfo readJobSettings(const QString& path);
// readJobSettings mapped through the display tables.
JobInfoTexts readPrintJobInfo(const QString& path);

// The most important "CODE=" line of a printerState text (by
// execMessageLevel; the first of equals; a class 4 line ends the search),
// without its line end; empty when no line holds "CODE=".
QString choosePrinterStateLine(const QByteArray& content);
// The same for the file at `path`; empty (and "open file failed") when it
// cannot be opened.
QString readPrinterState(const QString& path);

}  // namespace hrv::monitor
