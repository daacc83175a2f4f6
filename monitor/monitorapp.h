// The main program of a status monitor: one instance per user, one window,
// the event loop until the tray menu's quit action.
#pragma once

#include <functional>
#include <memory>

#include "monitorconfig.h"
#include "statussource.h"

using StatusSourceFactory = std::function<std::unique_ptr<StatusSource>()>;

// Returns the process exit code: 0 at once when the program already runs
// for this user, else the event loop's result.
int runMonitor(int& argc, char** argv, const MonitorConfig& config, const StatusSourceFactory& makeSource);
