#include "desktopnotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

#include "monitorlog.h"

DesktopNotifier::DesktopNotifier(const QString& appName, QObject* parent)
    : QObject(parent), appName_(appName) {}

void DesktopNotifier::notify(int level, const QString& title, const QString& message, int msecs) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    qCDebug(hrv::monitor::lcMonitor) << "no session bus for the notification" << title;
    return;
  }
  static const char* const kIcons[] = {"", "dialog-information", "dialog-warning", "dialog-error"};
  const int index = level >= 1 && level <= 3 ? level : 0;
  QVariantMap hints;
  // urgency: 0 low, 1 normal, 2 critical
  hints.insert(QStringLiteral("urgency"),
               QVariant::fromValue<uchar>(static_cast<uchar>(index > 0 ? index - 1 : 1)));
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
  call << appName_ << lastId_ << QString::fromLatin1(kIcons[index]) << title << message << QStringList()
       << hints << msecs;
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
    const QDBusPendingReply<uint> reply = *w;
    if (reply.isError())
      qCDebug(hrv::monitor::lcMonitor) << "notification not shown:" << reply.error().message();
    else
      lastId_ = reply.value();
    w->deleteLater();
  });
}
