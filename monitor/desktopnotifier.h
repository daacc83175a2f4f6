// Notifications through the desktop's notification service
// (org.freedesktop.Notifications on the session bus), for desktops without
// a system tray to show the monitor's balloons. Each notification replaces
// the monitor's previous one.
#pragma once

#include <QObject>
#include <QString>

class DesktopNotifier : public QObject {
  Q_OBJECT

 public:
  // `appName`: the sending program as the service shows it.
  explicit DesktopNotifier(const QString& appName, QObject* parent = nullptr);

  // Sends the state of `level` (1 information, 2 warning, 3 error: the
  // notification's icon and urgency), shown for `msecs`. Never waits for
  // the service; without a session bus nothing happens.
  void notify(int level, const QString& title, const QString& message, int msecs);

 private:
  QString appName_;
  uint lastId_ = 0;
};
