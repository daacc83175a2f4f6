// The monitors' debug output: English diagnostic lines on the Qt debug
// output, under the category "hrv.monitor".
#pragma once

#include <QLoggingCategory>

namespace hrv::monitor {
Q_DECLARE_LOGGING_CATEGORY(lcMonitor)
}
