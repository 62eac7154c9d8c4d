// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Bonjour (DNS-SD) browsing as LocalNetworkBrowser needs it: for each service
// type, a stream of complete current result sets and of failures. Contract
// every implementation (AvahiServiceBrowser, the unit tests' fake) keeps:
// - after start(), each type's handler gets the whole current set of that
//   type after every change, and once after the first complete look even when
//   it is empty; never a partial delta;
// - domains end in one "." ("local."), as the device identifiers expect;
// - callbacks run on the loop thread and never inside start(), stop() or
//   confirmDepartures();
// - after stop() nothing more is delivered until the next start();
// - a failure is reported through `failed` with a readable description, at
//   most once per failure; browsing that recovers simply delivers sets again;
// - browsing that goes on without keeping the promise below for some device
//   (the daemon refused the active check) is reported through `degraded`;
// - services of the devices named in confirmDepartures() are checked actively
//   (a host gone silent without a goodbye drops out of the sets in about two
//   minutes instead of the cache's 75) and come back when they answer again.
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace corvane {

// One announced service on one interface.
struct BrowsedService {
    std::string name;
    std::string type;
    std::string domain;
    std::optional<std::string> interfaceName;

    friend bool operator==(const BrowsedService&, const BrowsedService&) = default;
};

struct ServiceBrowserState {
    enum class Kind { failed, waiting, degraded };
    Kind kind = Kind::failed;
    std::string description;
    // The DNS service error code behind a waiting state, when there is one.
    std::optional<int> dnsErrorCode;
};

class ServiceBrowser {
public:
    struct Handlers {
        std::function<void(const std::string& serviceType, const std::vector<BrowsedService>& results)> results;
        std::function<void(const ServiceBrowserState& state)> state;
    };

    virtual ~ServiceBrowser() = default;

    virtual void start(const std::vector<std::string>& serviceTypes, Handlers handlers) = 0;
    virtual void stop() = 0;
    // Device identifiers (LocalNetworkDevice::identifier) whose departures must
    // be noticed even without a goodbye; replaces the earlier set.
    virtual void confirmDepartures(const std::set<std::string>& deviceIdentifiers) = 0;
};

}  // namespace corvane
