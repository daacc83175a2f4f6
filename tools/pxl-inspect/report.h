// Text forms of a job report: a readable listing for people and key=value
// lines for tests and scripts. No I/O.
#pragma once

#include <string>
#include <string_view>

#include "job_stream.h"

namespace hrv::pxl {

// Control bytes as \e, \r, \n, \t, \0 or \xNN, the backslash doubled; other
// bytes (UTF-8 text of titles and user names) as they are.
std::string visible(std::string_view bytes);

std::string formatReport(const JobReport& report, std::string_view name);
std::string formatSummary(const JobReport& report);

const char* errorKindName(ErrorKind kind);  // "truncated", "malformed", "none"

}  // namespace hrv::pxl
