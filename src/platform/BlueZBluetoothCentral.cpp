// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/BlueZBluetoothCentral.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QUuid>

#include "platform/DBusNames.h"
#include "platform/DBusSignalRelay.h"

namespace corvane {
namespace {

using dbus::kObjectManager;
using dbus::kProperties;

const QString kService = QStringLiteral("org.bluez");
const QString kAdapterInterface = QStringLiteral("org.bluez.Adapter1");
const QString kDeviceInterface = QStringLiteral("org.bluez.Device1");
const QUuid kIdentifierNamespace(QStringLiteral("6F1B0A52-3C2D-5E8F-9A47-C0A1B2C3D4E5"));

using InterfaceMap = QMap<QString, QVariantMap>;

// "/org/bluez/hci12" -> 12; other paths sort last.
int adapterNumber(const QString& path) {
    const QString name = path.section('/', -1);
    bool ok = false;
    const int number = name.startsWith(QStringLiteral("hci")) ? name.mid(3).toInt(&ok) : 0;
    return ok ? number : INT_MAX;
}

QVariantMap asMap(const QVariant& value) {
    if (value.canConvert<QDBusArgument>()) return qdbus_cast<QVariantMap>(value.value<QDBusArgument>());
    return value.toMap();
}

QStringList asStrings(const QVariant& value) {
    if (value.canConvert<QDBusArgument>()) return qdbus_cast<QStringList>(value.value<QDBusArgument>());
    return value.toStringList();
}

}  // namespace

BlueZBluetoothCentral::BlueZBluetoothCentral(const QDBusConnection& bus)
    : bus_(bus),
      watcher_(kService, bus, QDBusServiceWatcher::WatchForOwnerChange),
      added_(new DBusSignalRelay(bus, [this](const QDBusMessage& m) { interfacesAdded(m); }, this)),
      removed_(new DBusSignalRelay(bus, [this](const QDBusMessage& m) { interfacesRemoved(m); }, this)),
      changed_(new DBusSignalRelay(bus, [this](const QDBusMessage& m) { propertiesChanged(m); }, this)) {
    connect(&watcher_, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& owner) { ownerChanged(owner); });
    added_->listen(kService, QStringLiteral("/"), kObjectManager, QStringLiteral("InterfacesAdded"));
    removed_->listen(kService, QStringLiteral("/"), kObjectManager, QStringLiteral("InterfacesRemoved"));
    changed_->listen(kService, QString(), kProperties, QStringLiteral("PropertiesChanged"));
    readObjects();
}

BlueZBluetoothCentral::~BlueZBluetoothCentral() {
    handlers_ = {};
    if (scanWanted_ && !adapter_.isEmpty()) {
        bus_.asyncCall(QDBusMessage::createMethodCall(kService, adapter_, kAdapterInterface, "StopDiscovery"));
    }
}

Uuid BlueZBluetoothCentral::identifierForAddress(const QString& address) {
    const QUuid id = QUuid::createUuidV5(kIdentifierNamespace, address.toUpper().toUtf8());
    return *Uuid::parse(id.toString(QUuid::WithoutBraces).toStdString());
}

void BlueZBluetoothCentral::readObjects() {
    const std::uint64_t generation = generation_;
    const auto call = QDBusMessage::createMethodCall(kService, "/", kObjectManager, "GetManagedObjects");
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, generation](QDBusPendingCallWatcher* finished) {
        finished->deleteLater();
        objectsRead(finished->reply(), generation);
    });
}

void BlueZBluetoothCentral::objectsRead(const QDBusMessage& reply, std::uint64_t generation) {
    if (generation != generation_) return;
    if (reply.type() == QDBusMessage::ErrorMessage) {
        const QString error = reply.errorName();
        daemonPresent_ = error != QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown") &&
                         error != QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner") &&
                         error != QStringLiteral("org.freedesktop.DBus.Error.NoReply") &&
                         error != QStringLiteral("org.freedesktop.DBus.Error.Disconnected");
        accessDenied_ = error.endsWith(QStringLiteral(".AccessDenied"));
        updateState();
        return;
    }
    daemonPresent_ = true;
    accessDenied_ = false;
    const QDBusArgument objects = reply.arguments().value(0).value<QDBusArgument>();
    objects.beginMap();
    while (!objects.atEnd()) {
        QDBusObjectPath path;
        InterfaceMap interfaces;
        objects.beginMapEntry();
        objects >> path >> interfaces;
        objects.endMapEntry();
        addInterfaces(path.path(), interfaces, false);
    }
    objects.endMap();
    chooseAdapter();
}

// `live`: from InterfacesAdded, where a device's RSSI is an advertisement;
// in the start-up snapshot it is only what the daemon last remembered.
void BlueZBluetoothCentral::addInterfaces(const QString& path, const InterfaceMap& interfaces, bool live) {
    if (interfaces.contains(kAdapterInterface)) adapters_.insert(path, interfaces.value(kAdapterInterface));
    if (!interfaces.contains(kDeviceInterface)) return;
    const QVariantMap properties = interfaces.value(kDeviceInterface);
    Device device;
    device.adapter = properties.value(QStringLiteral("Adapter")).value<QDBusObjectPath>().path();
    device.address = properties.value(QStringLiteral("Address")).toString();
    device.alias = properties.value(QStringLiteral("Alias")).toString();
    device.name = properties.value(QStringLiteral("Name")).toString();
    device.uuids = asStrings(properties.value(QStringLiteral("UUIDs")));
    devices_.insert(path, device);
    if (live && properties.contains(QStringLiteral("RSSI"))) {
        advertise(device, properties.value(QStringLiteral("RSSI")).toInt());
    }
}

void BlueZBluetoothCentral::interfacesAdded(const QDBusMessage& message) {
    const auto path = message.arguments().value(0).value<QDBusObjectPath>().path();
    InterfaceMap interfaces;
    message.arguments().value(1).value<QDBusArgument>() >> interfaces;
    const bool adapterCame = interfaces.contains(kAdapterInterface);
    addInterfaces(path, interfaces, true);
    if (adapterCame) chooseAdapter();
}

void BlueZBluetoothCentral::interfacesRemoved(const QDBusMessage& message) {
    const auto path = message.arguments().value(0).value<QDBusObjectPath>().path();
    const QStringList interfaces = asStrings(message.arguments().value(1));
    if (interfaces.contains(kDeviceInterface)) devices_.remove(path);
    if (interfaces.contains(kAdapterInterface)) {
        adapters_.remove(path);
        chooseAdapter();
    }
}

void BlueZBluetoothCentral::propertiesChanged(const QDBusMessage& message) {
    const QString interface = message.arguments().value(0).toString();
    const QVariantMap changed = asMap(message.arguments().value(1));
    const QString path = message.path();
    if (interface == kAdapterInterface) {
        auto it = adapters_.find(path);
        if (it == adapters_.end()) return;
        for (auto change = changed.begin(); change != changed.end(); ++change) it->insert(change.key(), change.value());
        if (path == adapter_ && changed.contains(QStringLiteral("Powered"))) {
            notReady_ = false;
            updateState();
        } else if (path == adapter_ && changed.contains(QStringLiteral("PowerState"))) {
            updateState();
        }
        return;
    }
    if (interface != kDeviceInterface) return;
    auto it = devices_.find(path);
    if (it == devices_.end()) return;
    Device& device = *it;
    if (changed.contains(QStringLiteral("Alias"))) device.alias = changed.value(QStringLiteral("Alias")).toString();
    if (changed.contains(QStringLiteral("Name"))) device.name = changed.value(QStringLiteral("Name")).toString();
    if (changed.contains(QStringLiteral("UUIDs"))) device.uuids = asStrings(changed.value(QStringLiteral("UUIDs")));
    if (changed.contains(QStringLiteral("RSSI"))) advertise(device, changed.value(QStringLiteral("RSSI")).toInt());
}

void BlueZBluetoothCentral::ownerChanged(const QString& owner) {
    ++generation_;
    adapters_.clear();
    devices_.clear();
    adapter_.clear();
    accessDenied_ = false;
    leUnsupported_ = false;
    notReady_ = false;
    daemonPresent_ = false;
    updateState();
    if (!owner.isEmpty()) readObjects();
}

void BlueZBluetoothCentral::chooseAdapter() {
    QString best;
    for (auto it = adapters_.begin(); it != adapters_.end(); ++it) {
        const QVariant roles = it->value(QStringLiteral("Roles"));
        // Daemons before BlueZ 5.56 do not list roles; every adapter then
        // can scan.
        if (roles.isValid() && !asStrings(roles).contains(QStringLiteral("central"))) continue;
        if (best.isEmpty() || adapterNumber(it.key()) < adapterNumber(best)) best = it.key();
    }
    if (best != adapter_) {
        adapter_ = best;
        leUnsupported_ = false;
        notReady_ = false;
    }
    updateState();
}

void BlueZBluetoothCentral::updateState() {
    BluetoothCentralState state = BluetoothCentralState::poweredOn;
    if (!daemonPresent_) {
        state = BluetoothCentralState::unknown;
    } else if (accessDenied_) {
        state = BluetoothCentralState::unauthorized;
    } else if (adapter_.isEmpty() || leUnsupported_) {
        state = BluetoothCentralState::unsupported;
    } else {
        const QVariantMap& adapter = adapters_[adapter_];
        if (notReady_ || !adapter.value(QStringLiteral("Powered")).toBool() ||
            adapter.value(QStringLiteral("PowerState")).toString() == QStringLiteral("off-blocked")) {
            state = BluetoothCentralState::poweredOff;
        }
    }
    if (reported_ && state == state_) return;
    reported_ = true;
    state_ = state;
    if (handlers_.onStateChange) handlers_.onStateChange(state);
}

void BlueZBluetoothCentral::startScan() {
    scanWanted_ = true;
    if (state_ == BluetoothCentralState::poweredOn) beginDiscovery();
}

void BlueZBluetoothCentral::stopScan() {
    if (!scanWanted_) return;
    scanWanted_ = false;
    if (state_ == BluetoothCentralState::poweredOn) callAdapter("StopDiscovery", {}, [](const QDBusMessage&) {});
}

void BlueZBluetoothCentral::beginDiscovery() {
    QVariantMap filter;
    filter.insert(QStringLiteral("Transport"), QStringLiteral("le"));
    filter.insert(QStringLiteral("DuplicateData"), true);
    callAdapter("SetDiscoveryFilter", {filter}, [this](const QDBusMessage& reply) {
        if (reply.type() == QDBusMessage::ErrorMessage) {
            if (reply.errorName() == QStringLiteral("org.bluez.Error.NotSupported") ||
                reply.errorName() == QStringLiteral("org.bluez.Error.InvalidArguments")) {
                leUnsupported_ = true;
            }
            noteCallError(reply);
            return;
        }
        if (!scanWanted_) return;
        callAdapter("StartDiscovery", {}, [this](const QDBusMessage& started) {
            if (started.type() == QDBusMessage::ErrorMessage &&
                started.errorName() != QStringLiteral("org.bluez.Error.InProgress")) {
                noteCallError(started);
            }
        });
    });
}

void BlueZBluetoothCentral::noteCallError(const QDBusMessage& reply) {
    const QString error = reply.errorName();
    if (error.endsWith(QStringLiteral(".AccessDenied")) || error == QStringLiteral("org.bluez.Error.NotAuthorized")) {
        accessDenied_ = true;
    } else if (error == QStringLiteral("org.bluez.Error.NotReady")) {
        notReady_ = true;
    }
    updateState();
}

// Replies to a call made for another daemon or adapter are dropped.
void BlueZBluetoothCentral::callAdapter(const QString& method, const QVariantList& arguments,
                                        std::function<void(const QDBusMessage&)> done) {
    if (adapter_.isEmpty()) return;
    auto call = QDBusMessage::createMethodCall(kService, adapter_, kAdapterInterface, method);
    call.setArguments(arguments);
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, generation = generation_, adapter = adapter_, done = std::move(done)](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                if (generation == generation_ && adapter == adapter_) done(finished->reply());
            });
}

void BlueZBluetoothCentral::advertise(const Device& device, int rssi) {
    if (!scanWanted_ || state_ != BluetoothCentralState::poweredOn || device.adapter != adapter_ ||
        device.address.isEmpty() || !handlers_.onAdvertisement) {
        return;
    }
    BluetoothAdvertisement advertisement;
    advertisement.id = identifierForAddress(device.address);
    // BlueZ's fallback alias is the address with dashes: not a name.
    QString fallback = device.address;
    fallback.replace(':', '-');
    if (!device.alias.isEmpty() && device.alias.compare(fallback, Qt::CaseInsensitive) != 0) {
        advertisement.peripheralName = device.alias.toStdString();
    }
    if (!device.name.isEmpty()) advertisement.localName = device.name.toStdString();
    advertisement.serviceUUIDs.reserve(static_cast<std::size_t>(device.uuids.size()));
    for (const auto& uuid : device.uuids) advertisement.serviceUUIDs.push_back(uuid.toStdString());
    advertisement.rssi = rssi;
    handlers_.onAdvertisement(advertisement);
}

}  // namespace corvane
