#include "monitorconfig.h"

#include "config.h"

MonitorConfig usbMonitorConfig() {
  MonitorConfig c;
  c.variant = hrv::monitor::MonitorVariant::Usb;
  c.windowTitle = QStringLiteral("HRV5720ZWB USB状态监控");
  c.startBalloonTitle = QStringLiteral("通知");
  c.startBalloonMessage = QStringLiteral("HRV5720ZWB状态监控启动");
  c.startTitle = QStringLiteral("状态监视器启动");
  c.startMessage = QStringLiteral("状态监视器正在连接打印机，请稍后");
  c.helpGeometry = QRect(100, 90, 411, 61);
  c.stateGeometry = QRect(100, 20, 411, 71);
  c.pollIntervalMs = hrv::kUsbPollMs;
  c.printerInfoPath = QString::fromUtf8(hrv::kUsbPrinterInfo);
  c.balloonOnEveryState = false;
  c.balloonOnClose = false;
  c.trayWaitRounds = hrv::kTrayWaitRounds;
  c.trayWaitRoundMs = hrv::kTrayWaitRoundMs;
  return c;
}

MonitorConfig networkMonitorConfig() {
  MonitorConfig c = usbMonitorConfig();
  c.variant = hrv::monitor::MonitorVariant::Network;
  c.windowTitle = QStringLiteral("HRV5720ZWB 网络状态监控");
  // No separate start-up balloon: the first state raises it.
  c.startBalloonTitle.clear();
  c.startBalloonMessage.clear();
  c.startTitle = QStringLiteral("网络状态监视器启动");
  c.startMessage = QStringLiteral("网络状态监视器正在连接打印机，请稍后");
  c.helpGeometry = QRect(100, 80, 411, 61);
  c.stateGeometry = QRect(100, 20, 411, 61);
  c.pollIntervalMs = hrv::kNetPollMs;
  c.printerInfoPath = QString::fromUtf8(hrv::kNetPrinterInfo);
  c.balloonOnEveryState = true;
  c.balloonOnClose = true;
  return c;
}
