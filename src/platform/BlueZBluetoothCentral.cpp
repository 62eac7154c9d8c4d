// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/BlueZBluetoothCentral.h"

#include <optional>

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

// Values are read only when they carry the type BlueZ gives them: a daemon
// of another make or a confused one must not be misread (a string RSSI as 0
// dBm, a number as a name). A wrong type reads as absent.
template <typename T>
std::optional<T> typed(const QVariant& value) {
    if (value.metaType() != QMetaType::fromType<T>()) return std::nullopt;
    return value.value<T>();
}

std::optional<QStringList> asStrings(const QVariant& value) {
    if (value.metaType() == QMetaType::fromType<QStringList>()) return value.toStringList();
    if (value.metaType() != QMetaType::fromType<QDBusArgument>()) return std::nullopt;
    const auto argument = value.value<QDBusArgument>();
    if (argument.currentSignature() != QStringLiteral("as")) return std::nullopt;
    return qdbus_cast<QStringList>(argument);
}

QVariantMap asMap(const QVariant& value) {
    if (value.canConvert<QDBusArgument>()) return qdbus_cast<QVariantMap>(value.value<QDBusArgument>());
    return value.toMap();
}

std::optional<int> asRssi(const QVariant& value) {
    const auto rssi = typed<qint16>(value);
    return rssi ? std::optional<int>(*rssi) : std::nullopt;
}

QString errorText(const QDBusMessage& reply) {
    return reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
}

const QString kCannotRead = QStringLiteral("Bluetooth devices could not be read: ");
const QString kCannotScan = QStringLiteral("Bluetooth scanning could not start: ");

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
        const bool absent = error == QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown") ||
                            error == QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner") ||
                            error == QStringLiteral("org.freedesktop.DBus.Error.Disconnected");
        accessDenied_ = error.endsWith(QStringLiteral(".AccessDenied"));
        daemonPresent_ = accessDenied_;
        updateState();
        // No reply, a time-out or a refusal of any other kind: the daemon is
        // there but tells nothing, which no state describes.
        if (!absent && !accessDenied_) fail(kCannotRead + errorText(reply));
        return;
    }
    if (reply.signature() != QStringLiteral("a{oa{sa{sv}}}")) {
        daemonPresent_ = false;
        updateState();
        fail(kCannotRead + QStringLiteral("bluetoothd answered with data of an unexpected type (%1).").arg(reply.signature()));
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
    device.adapter = typed<QDBusObjectPath>(properties.value(QStringLiteral("Adapter"))).value_or(QDBusObjectPath()).path();
    device.address = typed<QString>(properties.value(QStringLiteral("Address"))).value_or(QString());
    device.alias = typed<QString>(properties.value(QStringLiteral("Alias"))).value_or(QString());
    device.name = typed<QString>(properties.value(QStringLiteral("Name"))).value_or(QString());
    device.uuids = asStrings(properties.value(QStringLiteral("UUIDs"))).value_or(QStringList());
    devices_.insert(path, device);
    if (const auto rssi = asRssi(properties.value(QStringLiteral("RSSI"))); live && rssi) advertise(device, *rssi);
}

void BlueZBluetoothCentral::interfacesAdded(const QDBusMessage& message) {
    if (message.signature() != QStringLiteral("oa{sa{sv}}")) return;
    const auto path = message.arguments().value(0).value<QDBusObjectPath>().path();
    InterfaceMap interfaces;
    message.arguments().value(1).value<QDBusArgument>() >> interfaces;
    const bool adapterCame = interfaces.contains(kAdapterInterface);
    addInterfaces(path, interfaces, true);
    if (adapterCame) chooseAdapter();
}

void BlueZBluetoothCentral::interfacesRemoved(const QDBusMessage& message) {
    if (message.signature() != QStringLiteral("oas")) return;
    const auto path = message.arguments().value(0).value<QDBusObjectPath>().path();
    const QStringList interfaces = asStrings(message.arguments().value(1)).value_or(QStringList());
    if (interfaces.contains(kDeviceInterface)) devices_.remove(path);
    if (interfaces.contains(kAdapterInterface)) {
        adapters_.remove(path);
        chooseAdapter();
    }
}

void BlueZBluetoothCentral::propertiesChanged(const QDBusMessage& message) {
    if (message.signature() != QStringLiteral("sa{sv}as")) return;
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
    if (const auto alias = typed<QString>(changed.value(QStringLiteral("Alias")))) device.alias = *alias;
    if (const auto name = typed<QString>(changed.value(QStringLiteral("Name")))) device.name = *name;
    if (const auto uuids = asStrings(changed.value(QStringLiteral("UUIDs")))) device.uuids = *uuids;
    if (const auto rssi = asRssi(changed.value(QStringLiteral("RSSI")))) advertise(device, *rssi);
}

void BlueZBluetoothCentral::ownerChanged(const QString& owner) {
    ++generation_;
    adapters_.clear();
    devices_.clear();
    adapter_.clear();
    discovering_ = false;
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
        if (roles.isValid() && !asStrings(roles).value_or(QStringList()).contains(QStringLiteral("central"))) continue;
        if (best.isEmpty() || adapterNumber(it.key()) < adapterNumber(best)) best = it.key();
    }
    if (best != adapter_) {
        const QString previous = std::exchange(adapter_, best);
        leUnsupported_ = false;
        notReady_ = false;
        // A move, not a loss: the scan leaves the old radio, if it is still
        // there, and the owner hears resetting first so that what it heard
        // through the old one starts afresh.
        if (!previous.isEmpty() && !best.isEmpty()) {
            if (discovering_ && adapters_.contains(previous)) {
                bus_.asyncCall(QDBusMessage::createMethodCall(kService, previous, kAdapterInterface, "StopDiscovery"));
            }
            discovering_ = false;
            report(BluetoothCentralState::resetting);
        }
    }
    updateState();
    if (scanWanted_ && !discovering_ && state_ == BluetoothCentralState::poweredOn) beginDiscovery();
}

void BlueZBluetoothCentral::report(BluetoothCentralState state) {
    reported_ = true;
    state_ = state;
    if (handlers_.onStateChange) handlers_.onStateChange(state);
}

void BlueZBluetoothCentral::fail(const QString& description) {
    discovering_ = false;
    if (handlers_.onFailure) handlers_.onFailure(description.toStdString());
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
        if (notReady_ || !typed<bool>(adapter.value(QStringLiteral("Powered"))).value_or(false) ||
            typed<QString>(adapter.value(QStringLiteral("PowerState"))) == QStringLiteral("off-blocked")) {
            state = BluetoothCentralState::poweredOff;
        }
    }
    if (reported_ && state == state_) return;
    report(state);
}

void BlueZBluetoothCentral::startScan() {
    scanWanted_ = true;
    if (state_ == BluetoothCentralState::poweredOn) beginDiscovery();
}

void BlueZBluetoothCentral::stopScan() {
    if (!scanWanted_) return;
    scanWanted_ = false;
    discovering_ = false;
    if (state_ == BluetoothCentralState::poweredOn) callAdapter("StopDiscovery", {}, [](const QDBusMessage&) {});
}

void BlueZBluetoothCentral::beginDiscovery() {
    discovering_ = true;
    QVariantMap filter;
    filter.insert(QStringLiteral("Transport"), QStringLiteral("le"));
    filter.insert(QStringLiteral("DuplicateData"), true);
    callAdapter("SetDiscoveryFilter", {filter}, [this](const QDBusMessage& reply) {
        if (reply.type() == QDBusMessage::ErrorMessage) {
            if (reply.errorName() == QStringLiteral("org.bluez.Error.NotSupported") ||
                reply.errorName() == QStringLiteral("org.bluez.Error.InvalidArguments")) {
                leUnsupported_ = true;
                discovering_ = false;
                updateState();
                return;
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

// Refusals a state names become that state; any other failure (Failed, no
// reply, a time-out) is reported as it is, never taken as scanning.
void BlueZBluetoothCentral::noteCallError(const QDBusMessage& reply) {
    const QString error = reply.errorName();
    if (error.endsWith(QStringLiteral(".AccessDenied")) || error == QStringLiteral("org.bluez.Error.NotAuthorized")) {
        accessDenied_ = true;
    } else if (error == QStringLiteral("org.bluez.Error.NotReady")) {
        notReady_ = true;
    } else {
        scanWanted_ = false;
        return fail(kCannotScan + errorText(reply));
    }
    discovering_ = false;
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
