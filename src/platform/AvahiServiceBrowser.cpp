// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/AvahiServiceBrowser.h"

#include <net/if.h>

#include <functional>
#include <utility>

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusObjectPath>
#include <QTimer>

#include "core/LocalNetworkDevice.h"

namespace corvane {
namespace {

constexpr auto kService = "org.freedesktop.Avahi";
constexpr auto kServer = "org.freedesktop.Avahi.Server2";
constexpr auto kBrowserInterface = "org.freedesktop.Avahi.ServiceBrowser";
constexpr auto kResolverInterface = "org.freedesktop.Avahi.ServiceResolver";
constexpr int kUnspecified = -1;
// AVAHI_LOOKUP_NO_TXT | AVAHI_LOOKUP_NO_ADDRESS: only the service record is
// wanted, the one whose expiry tells that the host went silent.
constexpr uint kResolverFlags = 4 | 8;

const QString kNotRunning = QStringLiteral("Avahi, the service that finds Bonjour devices, is not running.");
const QString kStopped = QStringLiteral("Avahi, the service that finds Bonjour devices, stopped.");

// Avahi says "local"; the device identifiers and the file say "local.".
std::string applicationDomain(const QString& domain) {
    std::string text = domain.toStdString();
    if (!text.ends_with('.')) text += '.';
    return text;
}

std::string interfaceName(int index) {
    char name[IF_NAMESIZE] = {};
    if (index <= 0 || !::if_indextoname(static_cast<unsigned>(index), name)) return {};
    return name;
}

bool isDaemonMissing(const QDBusError& error) {
    return error.type() == QDBusError::ServiceUnknown || error.name() == "org.freedesktop.DBus.Error.NameHasNoOwner";
}

}  // namespace

AvahiServiceBrowser::AvahiServiceBrowser(QDBusConnection bus)
    : bus_(std::move(bus)),
      watcher_(kService, bus_, QDBusServiceWatcher::WatchForRegistration | QDBusServiceWatcher::WatchForUnregistration) {
    connect(&watcher_, &QDBusServiceWatcher::serviceRegistered, this, [this] { daemonAppeared(); });
    connect(&watcher_, &QDBusServiceWatcher::serviceUnregistered, this, [this] { daemonVanished(); });
    // One subscription per signal for every object: the paths are known
    // only after each Prepare, and Start comes after this, so nothing is
    // missed.
    bus_.connect(kService, QString(), kBrowserInterface, "ItemNew", this, SLOT(onItemNew(QDBusMessage)));
    bus_.connect(kService, QString(), kBrowserInterface, "ItemRemove", this, SLOT(onItemRemove(QDBusMessage)));
    bus_.connect(kService, QString(), kBrowserInterface, "Failure", this, SLOT(onBrowserFailure(QDBusMessage)));
    bus_.connect(kService, QString(), kBrowserInterface, "AllForNow", this, SLOT(onAllForNow(QDBusMessage)));
    bus_.connect(kService, QString(), kResolverInterface, "Found", this, SLOT(onResolverFound(QDBusMessage)));
    bus_.connect(kService, QString(), kResolverInterface, "Failure", this, SLOT(onResolverFailure(QDBusMessage)));
}

AvahiServiceBrowser::~AvahiServiceBrowser() { stop(); }

void AvahiServiceBrowser::start(const std::vector<std::string>& serviceTypes, Handlers handlers) {
    stop();
    handlers_ = std::move(handlers);
    running_ = true;
    reportedFailures_.clear();
    typeOrder_ = serviceTypes;
    for (const auto& type : serviceTypes) types_[type];
    if (!bus_.isConnected()) return reportFailure(kNotRunning + " " + bus_.lastError().message());
    prepareBrowsers();
}

void AvahiServiceBrowser::stop() {
    if (!running_) return;
    running_ = false;
    ++generation_;
    for (const auto& [path, type] : typeByBrowser_) freeObject(path, kBrowserInterface);
    for (const auto& [path, entry] : entryByResolver_) freeObject(path, kResolverInterface);
    typeByBrowser_.clear();
    entryByResolver_.clear();
    types_.clear();
    changedTypes_.clear();
}

void AvahiServiceBrowser::confirmDepartures(const std::set<std::string>& deviceIdentifiers) {
    confirmed_ = deviceIdentifiers;
    syncResolvers();
}

void AvahiServiceBrowser::prepareBrowsers() {
    for (const auto& type : typeOrder_) prepareBrowser(type);
}

void AvahiServiceBrowser::prepareBrowser(const std::string& type) {
    QDBusMessage call = QDBusMessage::createMethodCall(kService, "/", kServer, "ServiceBrowserPrepare");
    call << kUnspecified << kUnspecified << QString::fromStdString(type) << QString() << uint(0);
    auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [this, type, generation = generation_](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                const QDBusPendingReply<QDBusObjectPath> reply = *finished;
                if (reply.isError()) {
                    if (generation != generation_) return;
                    return reportFailure(isDaemonMissing(reply.error())
                                             ? kNotRunning
                                             : "Avahi could not browse for " + QString::fromStdString(type) + ": " +
                                                   reply.error().message());
                }
                const QString path = reply.value().path();
                if (generation != generation_) return freeObject(path, kBrowserInterface);
                typeByBrowser_[path] = type;
                types_[type].browserPath = path;
                bus_.asyncCall(QDBusMessage::createMethodCall(kService, path, kBrowserInterface, "Start"));
            });
}

void AvahiServiceBrowser::daemonAppeared() {
    if (!running_) return;
    ++generation_;
    reportedFailures_.clear();
    typeByBrowser_.clear();
    entryByResolver_.clear();
    for (auto& [type, state] : types_) {
        state.replacing = true;
        state.replacement.clear();
    }
    prepareBrowsers();
}

void AvahiServiceBrowser::daemonVanished() {
    if (!running_) return;
    ++generation_;
    // The daemon's objects went with it; the sets stay as they were.
    typeByBrowser_.clear();
    entryByResolver_.clear();
    for (auto& [type, state] : types_) {
        state.browserPath.clear();
        state.replacing = false;
        state.replacement.clear();
        for (auto& [key, entry] : state.entries) {
            entry.resolverPath.clear();
            entry.resolverRequested = false;
        }
    }
    reportFailure(kStopped);
}

void AvahiServiceBrowser::reportFailure(const QString& description, ServiceBrowserState::Kind kind) {
    if (!reportedFailures_.insert(description).second) return;
    QTimer::singleShot(0, this, [this, kind, generation = generation_, text = description.toStdString()] {
        if (!running_ || generation != generation_) return;
        handlers_.state({.kind = kind, .description = text, .dnsErrorCode = std::nullopt});
    });
}

AvahiServiceBrowser::Entries* AvahiServiceBrowser::entriesFor(const QDBusMessage& message, std::string* type) {
    const auto browser = typeByBrowser_.find(message.path());
    if (browser == typeByBrowser_.end()) return nullptr;
    auto& state = types_[browser->second];
    if (type) *type = browser->second;
    return state.replacing ? &state.replacement : &state.entries;
}

void AvahiServiceBrowser::onItemNew(const QDBusMessage& message) {
    std::string type;
    auto* entries = entriesFor(message, &type);
    const auto arguments = message.arguments();
    if (!entries || arguments.size() < 5) return;
    EntryKey key{arguments[0].toInt(), arguments[1].toInt(), arguments[2].toString(), arguments[3].toString(),
                 arguments[4].toString()};
    const int index = std::get<0>(key);
    auto [position, added] = entries->try_emplace(std::move(key));
    if (!added) return;
    position->second.interfaceName = interfaceName(index);
    if (types_[type].replacing) return;
    syncResolver(type, position->first, position->second);
    markChanged(type);
}

void AvahiServiceBrowser::onItemRemove(const QDBusMessage& message) {
    std::string type;
    auto* entries = entriesFor(message, &type);
    const auto arguments = message.arguments();
    if (!entries || arguments.size() < 5) return;
    const auto found = entries->find({arguments[0].toInt(), arguments[1].toInt(), arguments[2].toString(),
                                      arguments[3].toString(), arguments[4].toString()});
    if (found == entries->end()) return;
    if (!found->second.resolverPath.isEmpty()) {
        entryByResolver_.erase(found->second.resolverPath);
        freeObject(found->second.resolverPath, kResolverInterface);
    }
    entries->erase(found);
    if (!types_[type].replacing) markChanged(type);
}

// The failed object counts against Avahi's per-client limit until freed.
void AvahiServiceBrowser::onBrowserFailure(const QDBusMessage& message) {
    const auto browser = typeByBrowser_.find(message.path());
    if (browser == typeByBrowser_.end()) return;
    const auto arguments = message.arguments();
    const std::string type = browser->second;
    types_[type].browserPath.clear();
    typeByBrowser_.erase(browser);
    freeObject(message.path(), kBrowserInterface);
    reportFailure("Avahi stopped browsing for " + QString::fromStdString(type) + ": " +
                  (arguments.isEmpty() ? QString() : arguments[0].toString()));
}

void AvahiServiceBrowser::onAllForNow(const QDBusMessage& message) {
    std::string type;
    if (!entriesFor(message, &type)) return;
    auto& state = types_[type];
    if (state.replacing) {
        state.entries = std::move(state.replacement);
        state.replacement.clear();
        state.replacing = false;
        for (auto& [key, entry] : state.entries) syncResolver(type, key, entry);
    }
    markChanged(type);
}

AvahiServiceBrowser::Entry* AvahiServiceBrowser::entryForResolver(const QString& path, std::string* type) {
    const auto found = entryByResolver_.find(path);
    if (found == entryByResolver_.end()) return nullptr;
    auto& entries = types_[found->second.first].entries;
    const auto entry = entries.find(found->second.second);
    if (entry == entries.end()) return nullptr;
    *type = found->second.first;
    return &entry->second;
}

void AvahiServiceBrowser::onResolverFound(const QDBusMessage& message) {
    std::string type;
    auto* entry = entryForResolver(message.path(), &type);
    if (!entry || !entry->silent) return;
    entry->silent = false;
    markChanged(type);
}

void AvahiServiceBrowser::onResolverFailure(const QDBusMessage& message) {
    std::string type;
    auto* entry = entryForResolver(message.path(), &type);
    if (!entry || entry->silent) return;
    entry->silent = true;
    markChanged(type);
}

bool AvahiServiceBrowser::wantsConfirmation(const EntryKey& key) const {
    return running_ && confirmed_.contains(LocalNetworkDevice::identifier(std::get<2>(key).toStdString(),
                                                                          applicationDomain(std::get<4>(key))));
}

void AvahiServiceBrowser::syncResolvers() {
    for (auto& [type, state] : types_) {
        if (state.replacing) continue;
        for (auto& [key, entry] : state.entries) syncResolver(type, key, entry);
    }
}

void AvahiServiceBrowser::syncResolver(const std::string& type, const EntryKey& key, Entry& entry) {
    const bool wanted = wantsConfirmation(key);
    if (wanted == entry.resolverRequested) return;
    entry.resolverRequested = wanted;
    if (!wanted) {
        if (!entry.resolverPath.isEmpty()) {
            entryByResolver_.erase(entry.resolverPath);
            freeObject(entry.resolverPath, kResolverInterface);
            entry.resolverPath.clear();
        }
        if (std::exchange(entry.silent, false)) markChanged(type);
        return;
    }
    const auto& [index, protocol, name, serviceType, domain] = key;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, "/", kServer, "ServiceResolverPrepare");
    call << index << protocol << name << serviceType << domain << kUnspecified << kResolverFlags;
    auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [this, type, key, generation = generation_](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                const QDBusPendingReply<QDBusObjectPath> reply = *finished;
                if (reply.isError()) {
                    // The browser alone still sees the goodbyes; a silent
                    // departure waits for the cache (the limit of objects
                    // per client is the usual cause).
                    if (generation != generation_) return;
                    return reportFailure("Avahi could not watch " + std::get<2>(key) + " for departures: " +
                                             reply.error().message() +
                                             ". If it leaves without a goodbye, Corvane notices only when its "
                                             "announcement expires, up to 75 minutes later.",
                                         ServiceBrowserState::Kind::degraded);
                }
                const QString path = reply.value().path();
                auto& entries = types_[type].entries;
                const auto found = entries.find(key);
                if (generation != generation_ || found == entries.end() || !found->second.resolverRequested ||
                    !found->second.resolverPath.isEmpty()) {
                    return freeObject(path, kResolverInterface);
                }
                found->second.resolverPath = path;
                entryByResolver_[path] = {type, key};
                bus_.asyncCall(QDBusMessage::createMethodCall(kService, path, kResolverInterface, "Start"));
            });
}

void AvahiServiceBrowser::freeObject(const QString& path, const char* interface) {
    if (bus_.isConnected()) bus_.asyncCall(QDBusMessage::createMethodCall(kService, path, interface, "Free"));
}

void AvahiServiceBrowser::markChanged(const std::string& type) {
    changedTypes_.insert(type);
    if (deliveryPosted_) return;
    deliveryPosted_ = true;
    QTimer::singleShot(0, this, [this] {
        deliveryPosted_ = false;
        deliverChanged();
    });
}

void AvahiServiceBrowser::deliverChanged() {
    const auto changed = std::exchange(changedTypes_, {});
    for (const auto& type : typeOrder_) {
        if (!running_) return;
        if (!changed.contains(type)) continue;
        std::vector<BrowsedService> results;
        for (const auto& [key, entry] : types_[type].entries) {
            if (entry.silent) continue;
            results.push_back({std::get<2>(key).toStdString(), std::get<3>(key).toStdString(),
                               applicationDomain(std::get<4>(key)),
                               entry.interfaceName.empty() ? std::nullopt : std::optional(entry.interfaceName)});
        }
        handlers_.results(type, results);
    }
}

}  // namespace corvane
