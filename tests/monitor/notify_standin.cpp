// A stand-in for the desktop's notification service: owns
// org.freedesktop.Notifications on the session bus and prints every Notify
// call as one line, "notify <app>|<icon>|<summary>|<body>|<timeout>", with
// line feeds of the texts as "\n". Prints "ready" once it owns the name.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QStringList>
#include <QVariantMap>

#include <cstdio>

class Notifications : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

 public slots:
  uint Notify(const QString& app, uint replaces, const QString& icon, const QString& summary,
              const QString& body, const QStringList&, const QVariantMap&, int timeout) {
    const QString line =
        QStringList{app, icon, summary, body, QString::number(timeout)}.join(QLatin1Char('|'));
    std::printf("notify %s\n", line.toUtf8().replace('\n', "\\n").constData());
    std::fflush(stdout);
    return replaces ? replaces : ++last_;
  }

 private:
  uint last_ = 0;
};

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  Notifications service;
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.registerObject("/org/freedesktop/Notifications", &service, QDBusConnection::ExportAllSlots) ||
      !bus.registerService("org.freedesktop.Notifications"))
    return 1;
  std::printf("ready\n");
  std::fflush(stdout);
  return app.exec();
}

#include "notify_standin.moc"
