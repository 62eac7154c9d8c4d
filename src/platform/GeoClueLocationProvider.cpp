// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/GeoClueLocationProvider.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <optional>

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusServiceWatcher>
#include <QDBusVariant>

#include "platform/DBusCall.h"
#include "platform/DBusNames.h"
#include "platform/DBusSignalRelay.h"

namespace corvane {
namespace {

using dbus::kProperties;

const QString kService = QStringLiteral("org.freedesktop.GeoClue2");
const QString kManagerPath = QStringLiteral("/org/freedesktop/GeoClue2/Manager");
const QString kManager = QStringLiteral("org.freedesktop.GeoClue2.Manager");
const QString kClient = QStringLiteral("org.freedesktop.GeoClue2.Client");
const QString kLocation = QStringLiteral("org.freedesktop.GeoClue2.Location");
constexpr uint kDistanceThresholdMetres = 50;

QString errorText(const QDBusMessage& reply) {
    return reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
}

// The answers of a daemon that no longer knows the client: it exited when
// idle (a new one is started on demand) or was restarted.
bool forgotClient(const QDBusMessage& reply) {
    static const QString names[] = {
        QStringLiteral("org.freedesktop.DBus.Error.UnknownObject"),
        QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
        QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown"),
    };
    return reply.type() == QDBusMessage::ErrorMessage && std::find(std::begin(names), std::end(names), reply.errorName()) != std::end(names);
}

// GeoClue's (seconds, microseconds) as a time point, if it fits one.
std::optional<Timestamp> timestampOf(quint64 seconds, quint64 micros) {
    using std::chrono::duration_cast;
    constexpr auto kLast = duration_cast<std::chrono::seconds>(Timestamp::duration::max()).count() - 1;
    if (seconds > static_cast<quint64>(kLast) || micros >= 1'000'000) return std::nullopt;
    return Timestamp(duration_cast<Timestamp::duration>(std::chrono::seconds(static_cast<std::int64_t>(seconds)) +
                                                        std::chrono::microseconds(static_cast<std::int64_t>(micros))));
}

}  // namespace

GeoClueLocationProvider::GeoClueLocationProvider(const QDBusConnection& bus, std::chrono::milliseconds fixTimeout,
                                                 std::uint32_t accuracyLevel)
    : bus_(bus),
      accuracyLevel_(accuracyLevel),
      watcher_(new QDBusServiceWatcher(kService, bus_, QDBusServiceWatcher::WatchForOwnerChange, this)) {
    connect(watcher_, &QDBusServiceWatcher::serviceOwnerChanged, this, [this] {
        const bool wasRunning = running_;
        forgetClient();
        if (wasRunning && !retry() && handlers_.onError) handlers_.onError({1, "GeoClue stopped before a fix arrived."});
    });
    timeout_.setSingleShot(true);
    timeout_.setInterval(fixTimeout);
    connect(&timeout_, &QTimer::timeout, this, [this] {
        finishRequest();
        if (handlers_.onError) handlers_.onError({0, "No location fix arrived in time."});
    });
}

GeoClueLocationProvider::~GeoClueLocationProvider() {
    handlers_ = {};
    if (running_) bus_.asyncCall(QDBusMessage::createMethodCall(kService, client_, kClient, "Stop"));
}

void GeoClueLocationProvider::call(const QString& path, const QString& interface, const QString& method,
                                   const QVariantList& arguments, std::function<void(const QDBusMessage&)> done) {
    auto message = QDBusMessage::createMethodCall(kService, path, interface, method);
    message.setArguments(arguments);
    callDBus(bus_, message, this, std::move(done));
}

void GeoClueLocationProvider::requestWhenInUseAuthorization() {
    if (client_.isEmpty()) createClient();
}

void GeoClueLocationProvider::createClient() {
    if (creating_) return;
    creating_ = true;
    call(kManagerPath, kManager, "GetClient", {}, [this](const QDBusMessage& reply) {
        if (reply.type() == QDBusMessage::ErrorMessage) {
            creating_ = false;
            decide(LocationAuthorization::denied);
            if (wantFix_) {
                wantFix_ = false;
                if (handlers_.onError) handlers_.onError({1, errorText(reply).toStdString()});
            }
            return;
        }
        configure(reply.arguments().value(0).value<QDBusObjectPath>().path());
    });
}

// The three settings go out together; the daemon answers in order, so the
// last reply tells whether all were taken.
void GeoClueLocationProvider::configure(const QString& client) {
    const std::pair<const char*, QVariant> settings[] = {
        {"DesktopId", QStringLiteral("corvane")},
        {"RequestedAccuracyLevel", QVariant::fromValue(uint{accuracyLevel_})},
        {"DistanceThreshold", QVariant::fromValue(kDistanceThresholdMetres)},
    };
    auto failed = std::make_shared<bool>(false);
    for (std::size_t i = 0; i < std::size(settings); ++i) {
        const bool last = i + 1 == std::size(settings);
        call(client, kProperties, "Set",
             {kClient, QString::fromLatin1(settings[i].first), QVariant::fromValue(QDBusVariant(settings[i].second))},
             [this, client, failed, last](const QDBusMessage& reply) {
                 if (reply.type() == QDBusMessage::ErrorMessage) *failed = true;
                 if (!last) return;
                 creating_ = false;
                 if (*failed) {
                     decide(LocationAuthorization::denied);
                     return;
                 }
                 client_ = client;
                 updates_ = new DBusSignalRelay(bus_, [this](const QDBusMessage& m) { locationUpdated(m); }, this);
                 updates_->listen(kService, client_, kClient, QStringLiteral("LocationUpdated"));
                 decide(LocationAuthorization::authorized);
                 if (wantFix_) startClient();
             });
    }
}

void GeoClueLocationProvider::decide(LocationAuthorization status) {
    const bool changed = status != status_;
    status_ = status;
    if (changed && handlers_.onAuthorizationChange) handlers_.onAuthorizationChange(status);
}

void GeoClueLocationProvider::forgetClient() {
    delete updates_;
    updates_ = nullptr;
    client_.clear();
    timeout_.stop();
    ++request_;
    running_ = false;
}

bool GeoClueLocationProvider::retry() {
    if (retried_) return false;
    retried_ = true;
    forgetClient();
    wantFix_ = true;
    createClient();
    return true;
}

void GeoClueLocationProvider::requestLocation() {
    retried_ = false;
    startClient();
}

void GeoClueLocationProvider::startClient() {
    if (client_.isEmpty()) {
        wantFix_ = true;
        createClient();
        return;
    }
    wantFix_ = false;
    if (running_) return;
    running_ = true;
    const std::uint64_t request = ++request_;
    timeout_.start();
    call(client_, kClient, "Start", {}, [this, request](const QDBusMessage& reply) {
        if (request != request_ || reply.type() != QDBusMessage::ErrorMessage) return;
        if (forgotClient(reply) && retry()) return;
        finishRequest();
        if (reply.errorName().endsWith(QStringLiteral(".AccessDenied"))) decide(LocationAuthorization::denied);
        if (handlers_.onError) handlers_.onError({1, errorText(reply).toStdString()});
    });
}

void GeoClueLocationProvider::locationUpdated(const QDBusMessage& message) {
    if (!running_) return;
    const std::uint64_t request = request_;
    const QString location = message.arguments().value(1).value<QDBusObjectPath>().path();
    call(location, kProperties, "GetAll", {kLocation}, [this, request](const QDBusMessage& reply) {
        if (request != request_ || !running_) return;
        if (forgotClient(reply) && retry()) return;
        finishRequest();
        if (reply.type() == QDBusMessage::ErrorMessage) {
            if (handlers_.onError) handlers_.onError({1, errorText(reply).toStdString()});
            return;
        }
        const QVariantMap properties = qdbus_cast<QVariantMap>(reply.arguments().value(0).value<QDBusArgument>());
        LocationFix fix;
        fix.latitude = properties.value(QStringLiteral("Latitude")).toDouble();
        fix.longitude = properties.value(QStringLiteral("Longitude")).toDouble();
        fix.horizontalAccuracy = properties.value(QStringLiteral("Accuracy")).toDouble();
        quint64 seconds = 0;
        quint64 micros = 0;
        const QVariant stamp = properties.value(QStringLiteral("Timestamp"));
        if (stamp.canConvert<QDBusArgument>()) {
            const QDBusArgument argument = stamp.value<QDBusArgument>();
            argument.beginStructure();
            argument >> seconds >> micros;
            argument.endStructure();
        }
        const auto timestamp = timestampOf(seconds, micros);
        // Stored with the tracked devices, a coordinate that is not a number
        // would make every later save of them fail.
        if (!timestamp || !std::isfinite(fix.latitude) || !std::isfinite(fix.longitude) || std::fabs(fix.latitude) > 90 ||
            std::fabs(fix.longitude) > 180) {
            if (handlers_.onError) handlers_.onError({1, "GeoClue reported an invalid location."});
            return;
        }
        fix.timestamp = *timestamp;
        retried_ = false;
        if (handlers_.onLocations) handlers_.onLocations({fix});
    });
}

void GeoClueLocationProvider::finishRequest() {
    timeout_.stop();
    ++request_;
    if (!running_) return;
    running_ = false;
    call(client_, kClient, "Stop", {}, [](const QDBusMessage&) {});
}

void GeoClueLocationProvider::stopUpdatingLocation() {
    wantFix_ = false;
    finishRequest();
}

}  // namespace corvane
