// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The local-network watcher: while scanning it browses fifteen Bonjour
// service types, folds every announced service into a LocalNetworkDevice,
// works out which devices are online, keeps the list sorted for display,
// and raises a departure alert for a tracked, armed device that stays away
// past its grace delay (and an update when it returns). Keeps the known
// devices in "local-network-devices.json".
//
// Owned by CorvaneModel and created at launch, idle; the front end starts and
// stops scanning. Loop thread only. Published fields have const accessors and
// every change fires `changed()`. Saves are coalesced to one write per loop
// turn, so a scan start that reports forty services writes the file once.
// Grace periods run on the monotonic clock: a wall-clock jump neither fires
// nor delays an alert.
#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "app/ChangeSignal.h"
#include "app/CoalescedTask.h"
#include "app/ports/EventLoop.h"
#include "app/ports/NotificationCenter.h"
#include "app/ports/ServiceBrowser.h"
#include "core/LocalNetworkDevice.h"
#include "core/PrivateFile.h"

namespace corvane {

class LocalNetworkBrowser {
public:
    static constexpr std::chrono::seconds kMonitorInterval{5};
    using FileWriter = std::function<Result<Done, FileError>(const std::string& path, std::string_view bytes)>;

    struct Dependencies {
        EventLoop& loop;
        ServiceBrowser& browser;
        NotificationCenter& notifications;
        // Holds "local-network-devices.json"; created on first write.
        std::string dataFolder;
        FileWriter writeFile = PrivateFile::writeIfChanged;
    };

    explicit LocalNetworkBrowser(Dependencies dependencies);
    ~LocalNetworkBrowser();
    LocalNetworkBrowser(const LocalNetworkBrowser&) = delete;
    LocalNetworkBrowser& operator=(const LocalNetworkBrowser&) = delete;

    // The browsed types, in browsing order.
    static const std::vector<std::string>& serviceTypes();
    // "$XDG_DATA_HOME/Corvane" (else ~/.local/share/Corvane); absent
    // without a home folder.
    static std::optional<std::string> defaultDataFolder();
    static std::string durationText(double seconds);

    ChangeSignal& changed() { return changed_; }

    const std::vector<LocalNetworkDevice>& devices() const { return devices_; }
    const std::string& state() const { return state_; }
    bool isScanning() const { return isScanning_; }
    const std::optional<std::string>& errorMessage() const { return errorMessage_; }
    const std::string& storageURL() const { return storageURL_; }

    void start();
    void stop();
    void track(const std::string& id);
    void stopTracking(const std::string& id);
    void forget(const std::string& id);
    void setLossAlert(bool enabled, const std::string& id);
    void setLossAlertDelay(double delay, const std::string& id);
    // The user has read the error message.
    void dismissError();

    std::string monitoringStatus(const LocalNetworkDevice& device) const;
    // Entries of the derived-name caches (identifiers, collation keys).
    std::size_t cachedNameCount() const { return identifiers_.size() + sortKeys_.size(); }

private:
    using MonotonicTime = std::chrono::steady_clock::time_point;

    void load();
    void handle(const ServiceBrowserState& browserState);
    void receive(const std::vector<BrowsedService>& results, const std::string& serviceType);
    void updateMonitoring();
    void checkLossAlerts(MonotonicTime now);
    void sortDevices();
    void saveDevices();
    void writeDevices();
    void sendNotification(std::string id, std::string title, std::string body);
    void updateDepartureConfirmation();
    void dropMonitoring(const std::string& id);
    // Every user operation ends here: save, confirmation set, observers.
    void userOperationDone();
    LocalNetworkDevice* find(const std::string& id);
    const std::string& identifierFor(const std::string& name, const std::string& domain);
    const std::string& sortKeyFor(const std::string& name);
    void reindex();
    void clearScanMemory();
    // stop() without telling observers, which may be gone at destruction.
    void endScan();
    void pruneCaches();
    bool isMonitored(const LocalNetworkDevice& device) const { return device.isTracked && device.lossAlertEnabled; }

    EventLoop& loop_;
    ServiceBrowser& browser_;
    NotificationCenter& notifications_;
    FileWriter writeFile_;
    std::string storageURL_;
    ChangeSignal changed_;
    CoalescedTask pendingSave_;

    std::vector<LocalNetworkDevice> devices_;
    std::string state_ = "Local Network is ready";
    bool isScanning_ = false;
    std::optional<std::string> errorMessage_;

    // Per type, the owners of the services of its last result set: a service
    // is owned by the device its name and domain identify, so the owners
    // stand for the live service keys. They point into identifiers_, which
    // lets go only of entries no live owner holds (pruneCaches).
    std::unordered_map<std::string, std::vector<const std::string*>> liveOwnersByType_;
    std::unordered_set<std::string> heardThisSession_;
    std::unordered_map<std::string, MonotonicTime> offlineSince_;
    std::unordered_set<std::string> lossAlertedIDs_;
    TimerHandle monitorTimer_;

    // The file existed but could not be read or decoded: kept aside before
    // the first save.
    bool damagedFile_ = false;
    // Temporary files left by an interrupted write go before the first one.
    bool wroteBefore_ = false;
    std::set<std::string> confirmedDepartures_;
    // Derived values cached across browse updates, which repeat the same
    // names many times a minute: folding and collation keys cost far more
    // than a lookup.
    std::unordered_map<std::string, std::string> identifiers_;
    std::string identifierKey_;
    std::unordered_map<std::string, std::string> sortKeys_;
    std::unordered_map<std::string, std::size_t> indexById_;
};

}  // namespace corvane
