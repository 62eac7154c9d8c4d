// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/KdeConnectPhoneChannel.h"

#include <algorithm>
#include <memory>
#include <optional>

#include <QDBusArgument>
#include <QMap>
#include <QTimer>

#include "core/TextCompare.h"
#include "platform/DBusCall.h"
#include "platform/DBusSignalRelay.h"

namespace corvane {
namespace {

const QString kService = QStringLiteral("org.kde.kdeconnect");
const QString kDaemonPath = QStringLiteral("/modules/kdeconnect");
const QString kDaemon = QStringLiteral("org.kde.kdeconnect.daemon");
const QString kDevice = QStringLiteral("org.kde.kdeconnect.device");
const QString kPing = QStringLiteral("org.kde.kdeconnect.device.ping");

QMap<QString, QString> namesIn(const QDBusMessage& reply) {
    return qdbus_cast<QMap<QString, QString>>(reply.arguments().value(0));
}

std::string errorText(const QDBusMessage& reply) {
    // The ping plugin's object exists only while the plugin is on for a
    // reachable phone.
    if (reply.errorName() == QStringLiteral("org.freedesktop.DBus.Error.UnknownObject") ||
        reply.errorName() == QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod")) {
        return "KDE Connect's Ping plugin is not available for this phone.";
    }
    return (reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage()).toStdString();
}

}  // namespace

KdeConnectPhoneChannel::KdeConnectPhoneChannel(const QDBusConnection& bus)
    : bus_(bus), watcher_(kService, bus, QDBusServiceWatcher::WatchForOwnerChange) {
    connect(&watcher_, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& owner) {
                if (owner.isEmpty()) {
                    ++generation_;
                    publish(false, {});
                } else {
                    refreshSoon();
                }
            });
    relay_ = new DBusSignalRelay(bus_, [this](const QDBusMessage&) { refreshSoon(); }, this);
    for (const char* signal : {"deviceAdded", "deviceRemoved", "deviceVisibilityChanged", "deviceListChanged"}) {
        relay_->listen(kService, kDaemonPath, kDaemon, QString::fromLatin1(signal));
    }
    relay_->listen(kService, {}, kDevice, QStringLiteral("nameChanged"));
    refreshSoon();
}

KdeConnectPhoneChannel::~KdeConnectPhoneChannel() = default;

void KdeConnectPhoneChannel::call(const QDBusMessage& message, std::function<void(const QDBusMessage&)> done) {
    QDBusMessage outgoing = message;
    outgoing.setAutoStartService(false);
    callDBus(bus_, outgoing, this, std::move(done));
}

// One daemon change comes as several signals (visibility, then list):
// asked once per loop turn.
void KdeConnectPhoneChannel::refreshSoon() {
    if (refreshQueued_) return;
    refreshQueued_ = true;
    QTimer::singleShot(0, this, [this] {
        refreshQueued_ = false;
        refresh();
    });
}

void KdeConnectPhoneChannel::refresh() {
    if (!bus_.isConnected()) return;
    const std::uint64_t generation = ++generation_;
    struct Answers {
        std::optional<QDBusMessage> paired, reachable;
    };
    auto answers = std::make_shared<Answers>();
    const auto settle = [this, generation, answers] {
        if (generation != generation_ || !answers->paired || !answers->reachable) return;
        if (answers->paired->type() != QDBusMessage::ReplyMessage ||
            answers->reachable->type() != QDBusMessage::ReplyMessage) {
            publish(false, {});
            return;
        }
        const auto reachable = namesIn(*answers->reachable);
        const auto paired = namesIn(*answers->paired);
        std::vector<PairedPhone> phones;
        for (auto it = paired.cbegin(); it != paired.cend(); ++it) {
            phones.push_back({it.key().toStdString(), it.value().toStdString(), reachable.contains(it.key())});
        }
        std::sort(phones.begin(), phones.end(), [](const PairedPhone& a, const PairedPhone& b) {
            const auto order = localizedStandardCompare(a.name, b.name);
            return order != 0 ? order < 0 : a.id < b.id;
        });
        publish(true, std::move(phones));
    };
    const auto ask = [this](bool onlyReachable) {
        return QDBusMessage::createMethodCall(kService, kDaemonPath, kDaemon, QStringLiteral("deviceNames"))
               << onlyReachable << true;
    };
    call(ask(false), [answers, settle](const QDBusMessage& reply) {
        answers->paired = reply;
        settle();
    });
    call(ask(true), [answers, settle](const QDBusMessage& reply) {
        answers->reachable = reply;
        settle();
    });
}

void KdeConnectPhoneChannel::publish(bool running, std::vector<PairedPhone> phones) {
    if (running == running_ && phones == phones_) return;
    running_ = running;
    phones_ = std::move(phones);
    if (observer_) observer_();
}

void KdeConnectPhoneChannel::send(const std::string& phoneID, const std::string& text, Completion done) {
    const QString path = kDaemonPath + QStringLiteral("/devices/") + QString::fromStdString(phoneID) + QStringLiteral("/ping");
    auto message = QDBusMessage::createMethodCall(kService, path, kPing, QStringLiteral("sendPing"))
                   << QString::fromStdString(text);
    if (!bus_.isConnected()) {
        // Still later, never inside the caller's own call.
        QTimer::singleShot(0, this, [done = std::move(done)] { done("No session bus."); });
        return;
    }
    call(message, [done = std::move(done)](const QDBusMessage& reply) {
        if (reply.type() == QDBusMessage::ReplyMessage) {
            done(std::nullopt);
        } else {
            done(errorText(reply));
        }
    });
}

}  // namespace corvane
