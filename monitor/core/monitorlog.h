// The monitors' diagnostic output: English lines on the Qt debug output,
// under the category "hrv.monitor". Its debug lines are off unless the user
// asks for them (statusmon --debug, or QT_LOGGING_RULES="hrv.monitor.debug=true");
// warnings and errors always go out.
#pragma once

#include <QLoggingCategory>

namespace hrv::monitor {
Q_DECLARE_LOGGING_CATEGORY(lcMonitor)
}
