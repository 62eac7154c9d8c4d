// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The user's phones through the KDE Connect daemon (kdeconnectd) on the
// session bus, spoken to directly with QtDBus, asynchronously only.
//
// Service "org.kde.kdeconnect", object "/modules/kdeconnect", interface
// "org.kde.kdeconnect.daemon": deviceNames(onlyReachable, onlyPaired) gives
// id → name; asked twice (paired; paired and reachable) it gives the list
// with reachability. It is asked again after the daemon's deviceAdded,
// deviceRemoved, deviceVisibilityChanged and deviceListChanged, a device's
// nameChanged ("org.kde.kdeconnect.device"), and whenever the daemon comes
// onto the bus. A text goes out as sendPing(message) of the ping plugin,
// "/modules/kdeconnect/devices/<id>/ping", "org.kde.kdeconnect.device.ping":
// the phone shows it as a notification.
//
// Calls never start the daemon (no auto-start): a daemon the user did not
// run reads as not running. Loop thread only.
#include <cstdint>
#include <functional>
#include <vector>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QObject>

#include "app/ports/PhoneAlertChannel.h"

namespace corvane {

class DBusSignalRelay;

class KdeConnectPhoneChannel final : public QObject, public PhoneAlertChannel {
public:
    explicit KdeConnectPhoneChannel(const QDBusConnection& bus = QDBusConnection::sessionBus());
    ~KdeConnectPhoneChannel() override;

    bool isRunning() const override { return running_; }
    const std::vector<PairedPhone>& phones() const override { return phones_; }
    void setObserver(std::function<void()> observer) override { observer_ = std::move(observer); }
    void send(const std::string& phoneID, const std::string& text, Completion done) override;

private:
    void call(const QDBusMessage& message, std::function<void(const QDBusMessage&)> done);
    void refreshSoon();
    void refresh();
    void publish(bool running, std::vector<PairedPhone> phones);

    QDBusConnection bus_;
    QDBusServiceWatcher watcher_;
    DBusSignalRelay* relay_ = nullptr;
    std::function<void()> observer_;
    bool running_ = false;
    std::vector<PairedPhone> phones_;
    bool refreshQueued_ = false;
    // Answers to an older refresh, or from a daemon that has since gone, are dropped.
    std::uint64_t generation_ = 0;
};

}  // namespace corvane
