// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Bluetooth LE central on BlueZ (org.bluez on the system bus), spoken to
// directly with QtDBus. One adapter: the lowest-numbered hciN that can be a
// central, chosen again when adapters come or go. Scanning sends the LE
// discovery filter with duplicate reports before every StartDiscovery (power
// cuts and daemon restarts drop it). An advertisement is a Device1 that
// appears with an RSSI or a change that carries one; RSSI values of the
// start-up snapshot and their invalidation at StopDiscovery are not.
// InterfacesRemoved only forgets the cached names.
//
// States: no bluetoothd = unknown; no adapter, or the LE filter refused =
// unsupported; AccessDenied = unauthorized; Powered false or rfkill-blocked
// = powered off. bluetoothd leaving the bus reads as unknown; its return
// re-reads the objects and reports the state again, so the owner resumes a
// scan it still wants.
//
// Moving to another adapter (the chosen one removed while another is
// there, a lower-numbered one added) stops discovery on the old one and
// reports resetting before the new one's state. Failures no state names
// (GetManagedObjects or StartDiscovery failing, not answering) go to
// onFailure. Values of the wrong D-Bus type are ignored.
//
// Identifiers: the name-based UUID (SHA-1) of the upper-case address under a
// fixed namespace, stable across runs and adapters.
//
// Loop thread only; every call is asynchronous (no blocking waits).
#include <cstdint>
#include <utility>

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QHash>
#include <QMap>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include "app/ports/BluetoothCentral.h"

namespace corvane {

class DBusSignalRelay;

class BlueZBluetoothCentral final : public QObject, public BluetoothCentral {
public:
    explicit BlueZBluetoothCentral(const QDBusConnection& bus = QDBusConnection::systemBus());
    ~BlueZBluetoothCentral() override;

    void setHandlers(Handlers handlers) override { handlers_ = std::move(handlers); }
    BluetoothCentralState state() const override { return state_; }
    void startScan() override;
    void stopScan() override;

    static Uuid identifierForAddress(const QString& address);

private:
    struct Device {
        QString adapter;
        QString address;
        QString alias;
        QString name;
        QStringList uuids;
    };

    void readObjects();
    void objectsRead(const QDBusMessage& reply, std::uint64_t generation);
    void addInterfaces(const QString& path, const QMap<QString, QVariantMap>& interfaces, bool live);
    void interfacesAdded(const QDBusMessage& message);
    void interfacesRemoved(const QDBusMessage& message);
    void propertiesChanged(const QDBusMessage& message);
    void ownerChanged(const QString& owner);
    void chooseAdapter();
    void updateState();
    void beginDiscovery();
    void callAdapter(const QString& method, const QVariantList& arguments,
                     std::function<void(const QDBusMessage&)> done);
    void noteCallError(const QDBusMessage& reply);
    void report(BluetoothCentralState state);
    void fail(const QString& description);
    void advertise(const Device& device, int rssi);

    QDBusConnection bus_;
    Handlers handlers_;
    BluetoothCentralState state_ = BluetoothCentralState::unknown;
    bool reported_ = false;
    bool daemonPresent_ = false;
    bool accessDenied_ = false;
    bool leUnsupported_ = false;
    bool notReady_ = false;
    bool scanWanted_ = false;
    // Discovery was asked of adapter_ for the current scan.
    bool discovering_ = false;
    // Replies to calls made before the daemon last came or went are stale.
    std::uint64_t generation_ = 0;
    QMap<QString, QVariantMap> adapters_;
    QString adapter_;
    QHash<QString, Device> devices_;
    QDBusServiceWatcher watcher_;
    DBusSignalRelay* added_;
    DBusSignalRelay* removed_;
    DBusSignalRelay* changed_;
};

}  // namespace corvane
