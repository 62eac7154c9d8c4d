// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/LocalNetworkBrowser.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "core/TextCompare.h"
#include "core/UserFolders.h"

namespace corvane {
namespace {

constexpr int kLocalNetworkDeniedCode = -65570;

template <typename Container>
bool eraseFrom(Container& container, const std::string& id) {
    return container.erase(id) > 0;
}

}  // namespace

const std::vector<std::string>& LocalNetworkBrowser::serviceTypes() {
    static const std::vector<std::string> kTypes{
        "_workstation._tcp", "_device-info._tcp", "_companion-link._tcp", "_airplay._tcp", "_raop._tcp",
        "_ipp._tcp",         "_ipps._tcp",        "_printer._tcp",        "_smb._tcp",     "_ssh._tcp",
        "_http._tcp",        "_https._tcp",       "_homekit._tcp",        "_googlecast._tcp",
        "_spotify-connect._tcp"};
    return kTypes;
}

std::optional<std::string> LocalNetworkBrowser::defaultDataFolder() {
    const auto data = userDataFolder();
    if (!data) return std::nullopt;
    return *data + "/Corvane";
}

LocalNetworkBrowser::LocalNetworkBrowser(Dependencies dependencies)
    : loop_(dependencies.loop),
      browser_(dependencies.browser),
      notifications_(dependencies.notifications),
      writeFile_(std::move(dependencies.writeFile)),
      storageURL_(dependencies.dataFolder + "/local-network-devices.json"),
      pendingSave_(loop_, [this] { writeDevices(); }) {
    load();
    updateDepartureConfirmation();
}

// The window closing and a quit by signal end the scan here: what stop()
// would have saved reaches the disk before the coalesced write goes with us.
LocalNetworkBrowser::~LocalNetworkBrowser() {
    if (isScanning_) endScan();
    pendingSave_.flush();
}

void LocalNetworkBrowser::load() {
    const auto text = PrivateFile::read(storageURL_);
    if (!text) {
        // A file that is there but cannot be read (permissions, I/O, not a
        // regular file, too large) may still hold the user's devices.
        damagedFile_ = text.error().kind == PrivateFile::ReadFailure::unreadable;
        return;
    }
    auto decoded = LocalNetworkDevice::decodeFile(*text);
    if (!decoded) {
        damagedFile_ = true;
        return;
    }
    devices_ = std::move(*decoded);
    for (auto& device : devices_) device.isOnline = false;
    reindex();
}

void LocalNetworkBrowser::start() {
    if (isScanning_) return;
    isScanning_ = true;
    state_ = "Looking for devices…";
    errorMessage_.reset();
    clearScanMemory();
    monitorTimer_ = loop_.repeating(kMonitorInterval, [this] { checkLossAlerts(loop_.monotonicNow()); });
    browser_.start(serviceTypes(),
                   {.results = [this](const std::string& type,
                                      const std::vector<BrowsedService>& results) { receive(results, type); },
                    .state = [this](const ServiceBrowserState& browserState) { handle(browserState); }});
    changed_.notify();
}

void LocalNetworkBrowser::stop() {
    endScan();
    changed_.notify();
}

void LocalNetworkBrowser::endScan() {
    browser_.stop();
    clearScanMemory();
    monitorTimer_.cancel();
    isScanning_ = false;
    // A device that was online until now was last seen now; without this the
    // list would show when it was first heard in this scan.
    const Timestamp now = loop_.now();
    bool moved = false;
    for (auto& device : devices_) {
        if (!device.isOnline) continue;
        device.isOnline = false;
        device.lastSeen = now;
        moved = true;
    }
    state_ = devices_.empty() ? "Local Network is ready" : "Scan stopped";
    if (moved) saveDevices();
}

void LocalNetworkBrowser::clearScanMemory() {
    liveOwnersByType_.clear();
    heardThisSession_.clear();
    offlineSince_.clear();
}

void LocalNetworkBrowser::handle(const ServiceBrowserState& browserState) {
    switch (browserState.kind) {
    case ServiceBrowserState::Kind::failed:
        if (!isScanning_) return;
        state_ = "Local Network scan failed";
        errorMessage_ = browserState.description;
        break;
    case ServiceBrowserState::Kind::degraded:
        // Browsing goes on; only the early notice of a silent departure is
        // lost, which the user must know before trusting the alert.
        if (!isScanning_) return;
        errorMessage_ = browserState.description;
        break;
    case ServiceBrowserState::Kind::waiting:
        state_ = "Waiting for Local Network access";
        if (browserState.dnsErrorCode == kLocalNetworkDeniedCode) {
            errorMessage_ =
                "Allow Corvane to access the Local Network in System Settings → Privacy & Security → Local Network.";
        }
        break;
    }
    changed_.notify();
}

const std::string& LocalNetworkBrowser::identifierFor(const std::string& name, const std::string& domain) {
    identifierKey_.assign(name).append(1, '\0').append(domain);
    auto found = identifiers_.find(identifierKey_);
    if (found == identifiers_.end()) {
        found = identifiers_.emplace(identifierKey_, LocalNetworkDevice::identifier(name, domain)).first;
    }
    return found->second;
}

const std::string& LocalNetworkBrowser::sortKeyFor(const std::string& name) {
    auto found = sortKeys_.find(name);
    if (found == sortKeys_.end()) {
        found = sortKeys_.emplace(name, TextCompare::forProcessLocale().sortKey(name)).first;
    }
    return found->second;
}

void LocalNetworkBrowser::reindex() {
    indexById_.clear();
    for (std::size_t index = 0; index < devices_.size(); ++index) indexById_.try_emplace(devices_[index].id, index);
}

LocalNetworkDevice* LocalNetworkBrowser::find(const std::string& id) {
    const auto found = indexById_.find(id);
    return found == indexById_.end() ? nullptr : &devices_[found->second];
}

void LocalNetworkBrowser::receive(const std::vector<BrowsedService>& results, const std::string& serviceType) {
    if (!isScanning_) return;
    const Timestamp now = loop_.now();

    std::vector<const std::string*> owners;
    owners.reserve(results.size());
    for (const auto& service : results) {
        const std::string& id = identifierFor(service.name, service.domain);
        owners.push_back(&id);
        const std::optional<std::string_view> interfaceName =
            service.interfaceName ? std::optional<std::string_view>(*service.interfaceName) : std::nullopt;
        if (auto* device = find(id)) {
            device->record(service.type, interfaceName, now);
            continue;
        }
        LocalNetworkDevice device;
        device.id = id;
        device.name = service.name;
        device.domain = service.domain;
        device.record(service.type, interfaceName, now);
        devices_.push_back(std::move(device));
        indexById_.try_emplace(id, devices_.size() - 1);
    }
    liveOwnersByType_.insert_or_assign(serviceType, std::move(owners));

    // Online = owns a service some type lists now; marked through the index.
    std::vector<char> live(devices_.size(), 0);
    for (const auto& [type, typeOwners] : liveOwnersByType_) {
        for (const std::string* owner : typeOwners) {
            if (const auto index = indexById_.find(*owner); index != indexById_.end()) live[index->second] = 1;
        }
    }
    for (std::size_t index = 0; index < devices_.size(); ++index) {
        auto& device = devices_[index];
        const bool online = live[index] != 0;
        if (device.isOnline && !online) device.lastSeen = now;
        device.isOnline = online;
    }

    updateMonitoring();
    sortDevices();

    std::size_t online = 0;
    for (const auto& device : devices_) online += device.isOnline ? 1 : 0;
    state_ = online == 0 ? "Listening for Bonjour services…" : std::to_string(online) + " devices available";
    saveDevices();
    changed_.notify();
}

void LocalNetworkBrowser::sortDevices() {
    struct Entry {
        bool online;
        const std::string* key;
        std::size_t index;
    };
    std::vector<Entry> entries;
    entries.reserve(devices_.size());
    for (std::size_t index = 0; index < devices_.size(); ++index) {
        entries.push_back({devices_[index].isOnline, &sortKeyFor(devices_[index].name), index});
    }
    const auto before = [](const Entry& a, const Entry& b) {
        if (a.online != b.online) return a.online;
        return *a.key < *b.key;
    };
    if (std::is_sorted(entries.begin(), entries.end(), before)) return;
    std::stable_sort(entries.begin(), entries.end(), before);
    std::vector<LocalNetworkDevice> sorted;
    sorted.reserve(devices_.size());
    for (const auto& entry : entries) sorted.push_back(std::move(devices_[entry.index]));
    devices_ = std::move(sorted);
    // Same ids, new places: update in place rather than rebuild the keys.
    // Walking backwards leaves each id at its first place.
    for (std::size_t index = devices_.size(); index-- > 0;) {
        if (const auto found = indexById_.find(devices_[index].id); found != indexById_.end()) found->second = index;
    }
}

void LocalNetworkBrowser::updateMonitoring() {
    const MonotonicTime monotonicNow = loop_.monotonicNow();
    for (const auto& device : devices_) {
        if (!isMonitored(device)) continue;
        if (device.isOnline) {
            heardThisSession_.insert(device.id);
            offlineSince_.erase(device.id);
            if (eraseFrom(lossAlertedIDs_, device.id)) {
                sendNotification("local-network-returned-" + device.id, "Device returned to the network",
                                 device.name + " is available on the Local Network again.");
            }
        } else if (heardThisSession_.contains(device.id)) {
            offlineSince_.try_emplace(device.id, monotonicNow);
        }
    }
    checkLossAlerts(monotonicNow);
}

void LocalNetworkBrowser::checkLossAlerts(MonotonicTime now) {
    if (!isScanning_) return;
    bool alerted = false;
    for (const auto& device : devices_) {
        if (!isMonitored(device) || device.isOnline || !heardThisSession_.contains(device.id)) continue;
        const auto since = offlineSince_.find(device.id);
        if (since == offlineSince_.end()) continue;
        const double elapsed = std::chrono::duration<double>(now - since->second).count();
        if (elapsed < device.lossAlertDelay) continue;
        if (!lossAlertedIDs_.insert(device.id).second) continue;
        sendNotification("local-network-left-" + device.id, "Device left the network",
                         device.name + " has not been available on the Local Network for " +
                             durationText(device.lossAlertDelay) + ".");
        alerted = true;
    }
    if (alerted) changed_.notify();
}

std::string LocalNetworkBrowser::monitoringStatus(const LocalNetworkDevice& device) const {
    if (device.isOnline) return "Online · alarm armed";
    if (lossAlertedIDs_.contains(device.id)) return "Offline · alert sent";
    if (!offlineSince_.contains(device.id)) return "Waiting to see this device online";
    return "Offline · waiting for grace period";
}

std::string LocalNetworkBrowser::durationText(double seconds) {
    if (seconds >= 86400) return "1 day";
    if (seconds >= 3600) {
        return std::to_string(static_cast<long long>(seconds / 3600)) + " hour" + (seconds >= 7200 ? "s" : "");
    }
    const long long minutes = seconds > 0 ? static_cast<long long>(seconds / 60) : 0;
    return std::to_string(minutes) + " minute" + (seconds >= 120 ? "s" : "");
}

void LocalNetworkBrowser::track(const std::string& id) {
    auto* device = find(id);
    if (!device) return;
    device->isTracked = true;
    if (device->isOnline) heardThisSession_.insert(id);
    userOperationDone();
}

void LocalNetworkBrowser::stopTracking(const std::string& id) {
    auto* device = find(id);
    if (!device) return;
    device->isTracked = false;
    device->lossAlertEnabled = false;
    dropMonitoring(id);
    userOperationDone();
}

void LocalNetworkBrowser::forget(const std::string& id) {
    std::erase_if(devices_, [&id](const LocalNetworkDevice& device) { return device.id == id; });
    reindex();
    dropMonitoring(id);
    pruneCaches();
    userOperationDone();
}

// Keeps what a listed device or a live service still needs; the live
// owners point into identifiers_, so their entries stay.
void LocalNetworkBrowser::pruneCaches() {
    std::unordered_set<const std::string*> live;
    for (const auto& [type, owners] : liveOwnersByType_) live.insert(owners.begin(), owners.end());
    std::erase_if(identifiers_, [&](const auto& entry) {
        return !live.contains(&entry.second) && !indexById_.contains(entry.second);
    });
    std::unordered_set<std::string_view> names;
    for (const auto& device : devices_) names.insert(device.name);
    std::erase_if(sortKeys_, [&names](const auto& entry) { return !names.contains(entry.first); });
}

void LocalNetworkBrowser::setLossAlert(bool enabled, const std::string& id) {
    auto* device = find(id);
    if (!device) return;
    device->lossAlertEnabled = enabled;
    if (enabled) {
        device->isTracked = true;
        if (device->isOnline) heardThisSession_.insert(id);
        notifications_.requestAuthorization();
    } else {
        offlineSince_.erase(id);
        lossAlertedIDs_.erase(id);
    }
    userOperationDone();
}

void LocalNetworkBrowser::setLossAlertDelay(double delay, const std::string& id) {
    auto* device = find(id);
    if (!device) return;
    if (std::isnan(delay)) delay = LocalNetworkDevice::kMinimumLossAlertDelay;
    device->lossAlertDelay =
        std::clamp(delay, LocalNetworkDevice::kMinimumLossAlertDelay, std::numeric_limits<double>::max());
    // Only a device seen online in this scan can be away; one never heard
    // would otherwise raise a departure it never made.
    if (!device->isOnline && heardThisSession_.contains(id)) {
        offlineSince_.insert_or_assign(id, loop_.monotonicNow());
    } else {
        offlineSince_.erase(id);
    }
    lossAlertedIDs_.erase(id);
    userOperationDone();
}

void LocalNetworkBrowser::dismissError() {
    if (!errorMessage_) return;
    errorMessage_.reset();
    changed_.notify();
}

void LocalNetworkBrowser::dropMonitoring(const std::string& id) {
    offlineSince_.erase(id);
    heardThisSession_.erase(id);
    lossAlertedIDs_.erase(id);
}

void LocalNetworkBrowser::userOperationDone() {
    saveDevices();
    updateDepartureConfirmation();
    changed_.notify();
}

void LocalNetworkBrowser::saveDevices() { pendingSave_.request(); }

void LocalNetworkBrowser::writeDevices() {
    const auto fail = [this](const std::string& description) {
        errorMessage_ = "Known Local Network devices could not be saved: " + description;
        changed_.notify();
    };
    const auto bytes = LocalNetworkDevice::encodeFile(devices_);
    if (!bytes) return fail("a device name is not valid text.");
    if (!wroteBefore_) {
        PrivateFile::removeStaleTemporaries(storageURL_);
        wroteBefore_ = true;
    }
    if (damagedFile_) {
        if (const auto kept = PrivateFile::keepAside(storageURL_, loop_.now()); !kept) {
            return fail(kept.error().message);
        }
        damagedFile_ = false;
    }
    if (const auto written = writeFile_(storageURL_, *bytes); !written) fail(written.error().message);
}

void LocalNetworkBrowser::sendNotification(std::string id, std::string title, std::string body) {
    notifications_.post({.identifier = std::move(id), .title = std::move(title), .body = std::move(body)});
}

void LocalNetworkBrowser::updateDepartureConfirmation() {
    std::set<std::string> monitored;
    for (const auto& device : devices_) {
        if (isMonitored(device)) monitored.insert(device.id);
    }
    if (monitored == confirmedDepartures_) return;
    confirmedDepartures_ = std::move(monitored);
    browser_.confirmDepartures(confirmedDepartures_);
}

}  // namespace corvane
