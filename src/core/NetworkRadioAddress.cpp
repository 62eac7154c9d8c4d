// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/NetworkRadioAddress.h"

#include <arpa/inet.h>

#include <algorithm>
#include <charconv>

#include "core/JsonRead.h"
#include "core/JsonWriter.h"
#include "core/TextTrim.h"

namespace corvane {
namespace {

// RFC 1123 host names: dot-separated labels of letters, digits and hyphens,
// none empty, none starting or ending with a hyphen.
bool isHostName(std::string_view host) {
    if (host.empty() || host.size() > 253) return false;
    std::size_t start = 0;
    while (start <= host.size()) {
        const std::size_t end = std::min(host.find('.', start), host.size());
        const std::string_view label = host.substr(start, end - start);
        if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') return false;
        const bool plain = std::all_of(label.begin(), label.end(), [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
        });
        if (!plain) return false;
        start = end + 1;
    }
    return true;
}

bool isIpv6Address(const std::string& host) {
    in6_addr address{};
    return ::inet_pton(AF_INET6, host.c_str(), &address) == 1;
}

}  // namespace

bool isNetworkRadioPort(std::string_view port) { return port.starts_with(kNetworkRadioPrefix); }

Result<std::string, std::string> networkRadioPort(std::string_view host, std::string_view port) {
    std::string name = trimmedWhitespaceAndNewlines(host);
    if (name.size() > 2 && name.front() == '[' && name.back() == ']') name = name.substr(1, name.size() - 2);
    const bool ipv6 = isIpv6Address(name);
    if (name.empty()) return fail(std::string("Enter the radio's host name or address."));
    if (!ipv6 && !isHostName(name)) return fail("Not a host name or address: " + name);
    const std::string portText = trimmedWhitespaceAndNewlines(port);
    std::string result = std::string(kNetworkRadioPrefix) + (ipv6 ? "[" + name + "]" : name);
    if (portText.empty()) return result;
    unsigned number = 0;
    const auto [end, error] = std::from_chars(portText.data(), portText.data() + portText.size(), number);
    if (error != std::errc() || end != portText.data() + portText.size() || number < 1 || number > 65535) {
        return fail(std::string("The port must be a number from 1 to 65535."));
    }
    return result + ":" + std::to_string(number);
}

Result<std::string, std::string> parseNetworkRadioPort(std::string_view port) {
    if (!isNetworkRadioPort(port)) return fail("Not a network radio address: " + std::string(port));
    const std::string_view rest = port.substr(kNetworkRadioPrefix.size());
    if (rest.starts_with('[')) {
        const std::size_t close = rest.find(']');
        if (close == std::string_view::npos) return fail("Not a network radio address: " + std::string(port));
        const std::string_view after = rest.substr(close + 1);
        if (!after.empty() && !after.starts_with(':')) return fail("Not a network radio address: " + std::string(port));
        return networkRadioPort(rest.substr(0, close + 1), after.empty() ? after : after.substr(1));
    }
    const std::size_t colon = rest.find(':');
    if (colon == std::string_view::npos) return networkRadioPort(rest, {});
    // A bare IPv6 address has several colons and no port.
    if (rest.find(':', colon + 1) != std::string_view::npos) return networkRadioPort(rest, {});
    return networkRadioPort(rest.substr(0, colon), rest.substr(colon + 1));
}

std::vector<std::string> decodeNetworkRadios(std::string_view text) {
    auto decoded = json::parseDocument(text, [](json::Element root) -> std::optional<std::vector<std::string>> {
        simdjson::dom::array array;
        if (root.get_array().get(array) != simdjson::SUCCESS) return std::nullopt;
        std::vector<std::string> ports;
        for (const auto entry : array) {
            std::string_view port;
            if (entry.get_string().get(port) == simdjson::SUCCESS && isNetworkRadioPort(port) &&
                std::find(ports.begin(), ports.end(), port) == ports.end()) {
                ports.emplace_back(port);
            }
        }
        return ports;
    });
    return decoded.value_or(std::vector<std::string>{});
}

std::string encodeNetworkRadios(const std::vector<std::string>& ports) {
    JsonWriter writer;
    writer.beginArray();
    for (const auto& port : ports) writer.string(port);
    writer.endArray();
    return writer.take();
}

}  // namespace corvane
