// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FreedesktopNotificationCenter.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>
#include <utility>

namespace corvane {
namespace {

constexpr auto kService = "org.freedesktop.Notifications";
constexpr auto kPath = "/org/freedesktop/Notifications";
constexpr auto kInterface = "org.freedesktop.Notifications";

// The three characters the notification markup gives a meaning in a body.
QString markupEscaped(const QString& text) {
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar c : text) {
        if (c == u'&') {
            escaped += u"&amp;";
        } else if (c == u'<') {
            escaped += u"&lt;";
        } else if (c == u'>') {
            escaped += u"&gt;";
        } else {
            escaped += c;
        }
    }
    return escaped;
}

}  // namespace

// Connecting to the session bus takes a few milliseconds (authentication,
// Hello), and so does the server's answer about markup: both done here, the
// first alert goes out as soon as it is posted.
FreedesktopNotificationCenter::FreedesktopNotificationCenter()
    : serverWatcher_(kService, QDBusConnection::sessionBus(), QDBusServiceWatcher::WatchForOwnerChange) {
    connect(&serverWatcher_, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) { serverChanged(!newOwner.isEmpty()); });
    if (QDBusConnection::sessionBus().isConnected()) askCapabilities(Asking::ahead);
}

void FreedesktopNotificationCenter::post(const LocalNotification& notification) {
    if (!QDBusConnection::sessionBus().isConnected()) return;
    if (bodyMarkup_) {
        send(notification);
        return;
    }
    waiting_.push_back(notification);
    askCapabilities(Asking::forPost);
}

void FreedesktopNotificationCenter::askCapabilities(Asking asking) {
    if (asking_) return;
    asking_ = true;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, "GetCapabilities");
    // Asking ahead starts no server that is not running: only a notification
    // may do that.
    call.setAutoStartService(asking == Asking::forPost);
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, asking, server = server_](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                if (server != server_) return;  // serverChanged() has asked anew
                asking_ = false;
                const QDBusPendingReply<QStringList> reply = *finished;
                if (reply.isError() && asking == Asking::ahead) {
                    // No server yet, which says nothing about markup.
                    if (!waiting_.empty()) askCapabilities(Asking::forPost);
                    return;
                }
                // A server that cannot say is taken to read markup: escaped
                // text stays readable, markup taken for text may not.
                bodyMarkup_ = reply.isError() || reply.value().contains(QStringLiteral("body-markup"));
                for (const auto& notification : std::exchange(waiting_, {})) send(notification);
            });
}

void FreedesktopNotificationCenter::serverChanged(bool serverPresent) {
    ++server_;
    asking_ = false;
    bodyMarkup_.reset();
    idsByIdentifier_.clear();
    if (!waiting_.empty()) {
        askCapabilities(Asking::forPost);
    } else if (serverPresent) {
        askCapabilities(Asking::ahead);
    }
}

void FreedesktopNotificationCenter::send(const LocalNotification& notification) {
    const QString identifier = QString::fromStdString(notification.identifier);
    const bool critical = notification.sound == LocalNotification::Sound::critical;
    QVariantMap hints;
    hints.insert("urgency", QVariant::fromValue(static_cast<uchar>(critical ? 2 : 1)));
    hints.insert("sound-name", critical ? QStringLiteral("alarm-clock-elapsed") : QStringLiteral("message-new-instant"));
    hints.insert("x-corvane-identifier", identifier);
    QString body = QString::fromStdString(notification.body);
    if (*bodyMarkup_) body = markupEscaped(body);

    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, "Notify");
    call << QStringLiteral("Corvane") << idsByIdentifier_.value(identifier, 0u) << QString()
         << QString::fromStdString(notification.title) << body << QStringList() << hints << -1;

    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, identifier, server = server_](QDBusPendingCallWatcher* finished) {
                const QDBusPendingReply<uint> reply = *finished;
                if (!reply.isError() && server == server_) idsByIdentifier_.insert(identifier, reply.value());
                finished->deleteLater();
            });
}

}  // namespace corvane
