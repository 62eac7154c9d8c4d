#include "platform/FreedesktopNotificationCenter.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

namespace corvane {
namespace {

constexpr auto kService = "org.freedesktop.Notifications";
constexpr auto kPath = "/org/freedesktop/Notifications";
constexpr auto kInterface = "org.freedesktop.Notifications";

}  // namespace

// Connecting to the session bus takes a few milliseconds (authentication,
// Hello); done here, the first alert does not pay for it.
FreedesktopNotificationCenter::FreedesktopNotificationCenter() { (void)QDBusConnection::sessionBus(); }

void FreedesktopNotificationCenter::post(const LocalNotification& notification) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;

    const QString identifier = QString::fromStdString(notification.identifier);
    const bool critical = notification.sound == LocalNotification::Sound::critical;
    QVariantMap hints;
    hints.insert("urgency", QVariant::fromValue(static_cast<uchar>(critical ? 2 : 1)));
    hints.insert("sound-name", critical ? QStringLiteral("alarm-clock-elapsed") : QStringLiteral("message-new-instant"));
    hints.insert("x-corvane-identifier", identifier);

    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, "Notify");
    call << QStringLiteral("Corvane") << idsByIdentifier_.value(identifier, 0u) << QString()
         << QString::fromStdString(notification.title) << QString::fromStdString(notification.body) << QStringList()
         << hints << -1;

    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, identifier](QDBusPendingCallWatcher* finished) {
        const QDBusPendingReply<uint> reply = *finished;
        if (!reply.isError()) idsByIdentifier_.insert(identifier, reply.value());
        finished->deleteLater();
    });
}

}  // namespace corvane
