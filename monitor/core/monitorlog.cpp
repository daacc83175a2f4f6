#include "monitorlog.h"

namespace hrv::monitor {
Q_LOGGING_CATEGORY(lcMonitor, "hrv.monitor", QtInfoMsg)
}
