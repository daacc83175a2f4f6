// hrv5720zwb-printer-app: the HRV5720ZWB as an IPP Everywhere printer, for
// any IPP client and for a CUPS without a driver of ours. PAPPL's standard
// command line (server, add, devices, drivers, printers, submit, status,
// shutdown, ...) and web interface; one driver, "hrv5720zwb", for the
// printer on the network (socket://HOST:9100) and on USB (hrvusb://).
#include <pappl/pappl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QString>
#include <QtGlobal>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "config.h"
#include "driver.h"
#include "printjob.h"
#include "usbdevice.h"

namespace {

using namespace hrv;

pappl_pr_driver_t gDrivers[] = {
    {kPrinterAppDriver, kPrinterAppMakeModel, kPrinterAppDeviceId, nullptr},
};

std::string gStateFile;
pappl_system_t* gSystem = nullptr;

// The USB channel and the status catalogue write Qt debug lines; they go to
// the application's log.
void qtMessage(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (!gSystem) return;
  papplLog(gSystem, type == QtDebugMsg || type == QtInfoMsg ? PAPPL_LOGLEVEL_DEBUG : PAPPL_LOGLEVEL_WARN,
           "%s", message.toLocal8Bit().constData());
}

const char* autoAdd(const char*, const char* uri, const char* deviceId, void*) {
  const bool ours = (deviceId && std::strstr(deviceId, "MDL:HRV5720ZWB")) ||
                    (uri && std::strncmp(uri, kPrinterAppUsbScheme, std::strlen(kPrinterAppUsbScheme)) == 0);
  return ours ? kPrinterAppDriver : nullptr;
}

bool parseLogLevel(const char* value, pappl_loglevel_t& level) {
  static constexpr struct {
    const char* name;
    pappl_loglevel_t level;
  } kLevels[] = {{"debug", PAPPL_LOGLEVEL_DEBUG},
                 {"info", PAPPL_LOGLEVEL_INFO},
                 {"warn", PAPPL_LOGLEVEL_WARN},
                 {"error", PAPPL_LOGLEVEL_ERROR},
                 {"fatal", PAPPL_LOGLEVEL_FATAL}};
  for (const auto& l : kLevels) {
    if (std::strcmp(value, l.name) == 0) {
      level = l.level;
      return true;
    }
  }
  return false;
}

// The state file: "-o state-file=...", else the service's state folder, the
// fixed folder as root, or the user's home.
std::string stateFile(int numOptions, cups_option_t* options) {
  if (const char* file = cupsGetOption("state-file", numOptions, options)) return file;
  if (const char* dir = std::getenv("STATE_DIRECTORY")) return std::string(dir) + "/" + kPrinterAppStateFile;
  if (geteuid() == 0) {
    ::mkdir(kPrinterAppStateDir, 0700);
    return std::string(kPrinterAppStateDir) + "/" + kPrinterAppStateFile;
  }
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "/tmp") + "/" + kPrinterAppUserStateFile;
}

bool saveState(pappl_system_t* system, void* file) {
  return papplSystemSaveState(system, static_cast<const char*>(file));
}

pappl_system_t* createSystem(int numOptions, cups_option_t* options, void*) {
  pappl_loglevel_t level = PAPPL_LOGLEVEL_UNSPEC;
  if (const char* v = cupsGetOption("log-level", numOptions, options); v && !parseLogLevel(v, level)) {
    std::fprintf(stderr, "%s: bad log-level value '%s'.\n", kPrinterAppName, v);
    return nullptr;
  }
  int port = 0;
  if (const char* v = cupsGetOption("server-port", numOptions, options)) {
    char* end = nullptr;
    long p = std::strtol(v, &end, 10);
    if (!std::isdigit(static_cast<unsigned char>(*v)) || *end || p < 1 || p > 65535) {
      std::fprintf(stderr, "%s: bad server-port value '%s'.\n", kPrinterAppName, v);
      return nullptr;
    }
    port = static_cast<int>(p);
  }
  pappl_soptions_t soptions = PAPPL_SOPTIONS_MULTI_QUEUE | PAPPL_SOPTIONS_WEB_INTERFACE |
                              PAPPL_SOPTIONS_WEB_LOG | PAPPL_SOPTIONS_WEB_SECURITY;
  if (const char* v = cupsGetOption("server-options", numOptions, options); v && std::strstr(v, "no-tls"))
    soptions |= PAPPL_SOPTIONS_NO_TLS;

  const char* spoolDir = cupsGetOption("spool-directory", numOptions, options);
  if (spoolDir && ::mkdir(spoolDir, 0700) != 0 && errno != EEXIST) {
    std::fprintf(stderr, "%s: cannot create %s: %s\n", kPrinterAppName, spoolDir, std::strerror(errno));
    return nullptr;
  }
  const char* logFile = cupsGetOption("log-file", numOptions, options);
  const char* systemName = cupsGetOption("system-name", numOptions, options);
  pappl_system_t* system = papplSystemCreate(
      soptions, systemName ? systemName : "HRV5720ZWB Printer Application", port, "_print,_universal",
      spoolDir, logFile ? logFile : "-", level, cupsGetOption("auth-service", numOptions, options), false);
  if (!system) return nullptr;
  gSystem = system;
  qInstallMessageHandler(qtMessage);

  papplSystemAddListeners(system, cupsGetOption("listen-hostname", numOptions, options));
  papplSystemSetHostName(system, cupsGetOption("server-hostname", numOptions, options));
  if (const char* group = cupsGetOption("admin-group", numOptions, options))
    papplSystemSetAdminGroup(system, group);
  papplSystemSetPrinterDrivers(system, static_cast<int>(std::size(gDrivers)), gDrivers, autoAdd, nullptr,
                               app::driverCallback, nullptr);
  for (const app::DocumentPath& path : app::documentPaths())
    papplSystemAddMIMEFilter(system, path.format, "image/pwg-raster", path.print, nullptr);
  papplSystemSetFooterHTML(system, "HRV5720ZWB driver suite");

  gStateFile = stateFile(numOptions, options);
  papplSystemSetSaveCallback(system, saveState, const_cast<char*>(gStateFile.c_str()));
  if (!papplSystemLoadState(system, gStateFile.c_str()))
    papplSystemSetDNSSDName(system, systemName ? systemName : "HRV5720ZWB Printer Application");
  return system;
}

}  // namespace

int main(int argc, char** argv) {
  app::addUsbDeviceScheme();
  return papplMainloop(argc, argv, "1.0.0", nullptr, static_cast<int>(std::size(gDrivers)), gDrivers, autoAdd,
                       app::driverCallback, nullptr, nullptr, createSystem, nullptr, nullptr);
}
