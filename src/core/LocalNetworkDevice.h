// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One device seen on the local network: every service announced under one
// instance name in one domain, whatever its type or interface. A plain value
// record with the rules that need no network: how a device identifier is
// formed, how one observed service is folded in, which kind the device is,
// readable service names, and the known-devices file format.
//
// `lastSeen` absent stands for "the distant past" (year 1, never heard): our
// time point cannot hold that year, and the file writes it as
// kDistantPastSeconds so that other readers of the file see the same value.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/DateTime.h"
#include "core/LocalNetworkDeviceKind.h"

namespace corvane {

struct LocalNetworkDevice {
    static constexpr double kDistantPastSeconds = -63114076800.0;
    static constexpr double kDefaultLossAlertDelay = 600;
    static constexpr double kMinimumLossAlertDelay = 60;

    std::string id;
    std::string name;
    std::string domain;
    std::vector<std::string> serviceTypes;
    std::vector<std::string> interfaceNames;
    std::optional<Timestamp> lastSeen;
    bool isOnline = false;
    bool isTracked = false;
    bool lossAlertEnabled = false;
    double lossAlertDelay = kDefaultLossAlertDelay;

    // Case and diacritics folded the same under every locale, so a device
    // keeps its identifier when the user's language changes.
    static std::string identifier(std::string_view name, std::string_view domain);

    void record(std::string_view serviceType, std::optional<std::string_view> interfaceName, Timestamp at);

    LocalNetworkDeviceKind kind() const;
    std::string serviceSummary() const;
    static std::string readableServiceName(std::string_view serviceType);

    // The known-devices file: a compact JSON array, every record with all ten
    // keys and "isOnline" false. Absent when the text is not an array or any
    // record lacks "id", "name" or "domain" or has a value of the wrong type.
    // Encoding fails only on text that is not valid UTF-8.
    static std::optional<std::string> encodeFile(const std::vector<LocalNetworkDevice>& devices);
    static std::optional<std::vector<LocalNetworkDevice>> decodeFile(std::string_view text);

    friend bool operator==(const LocalNetworkDevice&, const LocalNetworkDevice&) = default;
};

}  // namespace corvane
