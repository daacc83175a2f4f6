// The status code catalogue shared by both monitors: every code the printer,
// the USB filter or the monitor itself can report, with its level, title and
// message, and the priority class used to choose among state-file lines.
#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

namespace hrv::monitor {

enum class MonitorVariant { Usb, Network };

// Levels as passed to showMessageOnWindow.
inline constexpr int kLevelInformation = 1;
inline constexpr int kLevelWarning = 2;
inline constexpr int kLevelCritical = 3;

// The few codes with a condition or an extra action. The job states 44444
// (no communication) and 99999 (wrong secure-print PIN) are ordinary
// entries: they are shown whatever the window showed before.
enum class StatusRule {
  None,
  EngineInit,  // 10003: shown only with a job queued, else 10001 stands in
  Printing,    // 10023: shown, then the job view is refreshed
};

struct StatusEntry {
  int code = 0;
  int level = 0;
  QString title;
  QString message;
  StatusRule rule = StatusRule::None;
};

// All 336 entries of a monitor variant, sorted by code. The two variants
// differ only in the texts of 10007.
const std::vector<StatusEntry>& statusCatalogue(MonitorVariant variant = MonitorVariant::Usb);

// The entry of `code`, or nullptr for a code outside the catalogue.
const StatusEntry* findStatusEntry(int code, MonitorVariant variant = MonitorVariant::Usb);

// Paper-size codes: family prefix * 100 + size suffix.
struct PaperFamily {
  int prefix;  // 112..115, 410, 412..415, 419
  int level;
  const char* titlePattern;  // UTF-8, "{N}" tray digit, "{S}" size name
  int tray;                  // 1..4, or 0 for the patterns without {N}
};
struct PaperSuffix {
  int suffix;
  const char* sizeName;  // UTF-8
};
const std::vector<PaperFamily>& paperFamilies();  // 10 families
const std::vector<PaperSuffix>& paperSuffixes();  // 25 sizes
inline constexpr const char kPaperSizeMessage[] = "请加纸";

// The code of a line holding "CODE=": the text between the first and the
// second "=", read as a decimal number the way QByteArray::toInt reads it
// (surrounding white space accepted); 0 when it is not a number.
int codeFromLine(const QByteArray& line);
int codeFromLine(const QString& line);

// Priority class 1..4 of a state-file line (execMessageLevel): 88888 ranks
// highest, then the stop conditions and unknown codes, warnings, information.
int execMessageLevel(const QString& line);

}  // namespace hrv::monitor
