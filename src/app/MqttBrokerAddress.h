// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A broker URL as the user types it: "mqtt://host[:port]" or
// "mqtts://host[:port]" (TLS, 8883 by default); a bare host means mqtt://.
#include <cstdint>
#include <optional>
#include <string>

namespace corvane {

struct MqttBrokerAddress {
    std::string host;
    std::uint16_t port = 1883;
    bool tls = false;

    static std::optional<MqttBrokerAddress> parse(const std::string& url);
};

}  // namespace corvane
