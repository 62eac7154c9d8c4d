// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// This computer's location from GeoClue2 on the system bus, spoken to
// directly with QtDBus. Asking for permission creates the client (desktop id
// "corvane", street accuracy, 50 m threshold): a working service counts as
// authorized; AccessDenied (no agent, location switched off) or a missing
// service as denied. A fix request starts the client, takes the first
// LocationUpdated and stops it; one that finds nothing in time is the
// harmless error code 0. GeoClue exits about a minute after its last client
// stopped: when its owner changes, or it answers that it no longer knows the
// client, the client is forgotten and the request tried once more on a new
// one. A fix with a coordinate that is not a finite number, or a time stamp
// out of range, is an error, never delivered.
// Loop thread only; every call is asynchronous.
#include <chrono>
#include <cstdint>

#include <QDBusConnection>
#include <QObject>
#include <QTimer>

#include "app/ports/LocationProvider.h"

class QDBusServiceWatcher;

namespace corvane {

class DBusSignalRelay;

class GeoClueLocationProvider final : public QObject, public LocationProvider {
public:
    // GeoClue's accuracy levels: street uses Wi-Fi and network sources, only
    // exact also a GPS receiver.
    static constexpr std::uint32_t kStreetLevel = 6;
    static constexpr std::uint32_t kExactLevel = 8;

    explicit GeoClueLocationProvider(const QDBusConnection& bus = QDBusConnection::systemBus(),
                                     std::chrono::milliseconds fixTimeout = std::chrono::seconds(30),
                                     std::uint32_t accuracyLevel = kStreetLevel);
    ~GeoClueLocationProvider() override;

    void setHandlers(Handlers handlers) override { handlers_ = std::move(handlers); }
    LocationAuthorization authorization() const override { return status_; }
    void requestWhenInUseAuthorization() override;
    void requestLocation() override;
    void stopUpdatingLocation() override;

private:
    void call(const QString& path, const QString& interface, const QString& method, const QVariantList& arguments,
              std::function<void(const QDBusMessage&)> done);
    void startClient();
    void createClient();
    void forgetClient();
    // Asks a new client for the fix, once per request; false when done before.
    bool retry();
    void configure(const QString& client);
    void decide(LocationAuthorization status);
    void locationUpdated(const QDBusMessage& message);
    void finishRequest();

    QDBusConnection bus_;
    std::uint32_t accuracyLevel_;
    QDBusServiceWatcher* watcher_;
    Handlers handlers_;
    LocationAuthorization status_ = LocationAuthorization::notDetermined;
    bool creating_ = false;
    bool wantFix_ = false;
    bool running_ = false;
    bool retried_ = false;
    QString client_;
    DBusSignalRelay* updates_ = nullptr;
    QTimer timeout_;
    // Replies that arrive after a stop belong to an old request.
    std::uint64_t request_ = 0;
};

}  // namespace corvane
