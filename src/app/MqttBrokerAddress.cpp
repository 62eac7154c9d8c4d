// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MqttBrokerAddress.h"

#include <charconv>

namespace corvane {

std::optional<MqttBrokerAddress> MqttBrokerAddress::parse(const std::string& url) {
    MqttBrokerAddress address;
    std::string rest = url;
    if (rest.starts_with("mqtts://")) {
        address.tls = true;
        address.port = 8883;
        rest = rest.substr(8);
    } else if (rest.starts_with("mqtt://")) {
        rest = rest.substr(7);
    } else if (rest.find("://") != std::string::npos) {
        return std::nullopt;
    }
    if (!rest.empty() && rest.back() == '/') rest.pop_back();
    const auto colon = rest.rfind(':');
    if (colon != std::string::npos) {
        const std::string portText = rest.substr(colon + 1);
        unsigned value = 0;
        const auto [end, error] = std::from_chars(portText.data(), portText.data() + portText.size(), value);
        if (error != std::errc{} || end != portText.data() + portText.size() || value == 0 || value > 65535) return std::nullopt;
        address.port = static_cast<std::uint16_t>(value);
        rest.resize(colon);
    }
    if (rest.empty() || rest.find_first_of("/@ ") != std::string::npos) return std::nullopt;
    address.host = rest;
    return address;
}

}  // namespace corvane
