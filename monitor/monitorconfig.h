// What tells the two monitors apart at the window level: title, start-up
// texts, the geometry of the two state labels, the polling interval, the job
// settings file and the balloon rule. Everything else of the window is shared.
#pragma once

#include <QRect>
#include <QString>

#include "statuscatalogue.h"

struct MonitorConfig {
  hrv::monitor::MonitorVariant variant = hrv::monitor::MonitorVariant::Usb;
  QString windowTitle;

  // Start-up: the balloon raised before the first state (none when the
  // title is empty) and the first state shown on the window.
  QString startBalloonTitle;
  QString startBalloonMessage;
  QString startTitle;
  QString startMessage;

  // Geometry of "printer_help" (message) and "printer_state" (title).
  QRect helpGeometry;
  QRect stateGeometry;

  int pollIntervalMs = 0;
  // printerInfo of the monitor's filter.
  QString printerInfoPath;
  // true: every state raises its balloon; false: only a change of level does.
  bool balloonOnEveryState = false;
  // true: hiding the window by closing it raises the current balloon again.
  bool balloonOnClose = false;

  // The wait for a system tray at start-up.
  int trayWaitRounds = 0;
  int trayWaitRoundMs = 0;
};

// statusmon: the USB monitor.
MonitorConfig usbMonitorConfig();
// statusmon-net: the network monitor.
MonitorConfig networkMonitorConfig();
