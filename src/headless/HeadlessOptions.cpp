// SPDX-License-Identifier: GPL-3.0-or-later
#include "headless/HeadlessOptions.h"

#include <charconv>

#include "app/MqttBrokerAddress.h"
#include "core/NetworkRadioAddress.h"

namespace corvane {

std::optional<std::uint32_t> HeadlessOptions::parseNodeNumber(const std::string& text) {
    const bool hex = !text.empty() && text.front() == '!';
    const std::string_view digits = hex ? std::string_view(text).substr(1) : std::string_view(text);
    if (digits.empty() || (hex && digits.size() != 8)) return std::nullopt;
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, hex ? 16 : 10);
    if (error != std::errc{} || end != digits.data() + digits.size()) return std::nullopt;
    return value;
}

std::optional<std::chrono::seconds> HeadlessOptions::parseDelay(const std::string& text) {
    if (text.empty()) return std::nullopt;
    std::int64_t unit = 60;
    std::string_view digits(text);
    switch (text.back()) {
    case 's': unit = 1; digits.remove_suffix(1); break;
    case 'm': digits.remove_suffix(1); break;
    case 'h': unit = 3600; digits.remove_suffix(1); break;
    default: break;
    }
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || error != std::errc{} || end != digits.data() + digits.size()) return std::nullopt;
    if (value < 1 || value > 7 * 86400 / unit) return std::nullopt;
    return std::chrono::seconds(value * unit);
}

Result<HeadlessOptions, std::string> HeadlessOptions::parse(const std::vector<std::string>& arguments) {
    HeadlessOptions options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--help" || argument == "-h") {
            options.action = Action::help;
        } else if (argument == "--version") {
            options.action = Action::version;
        } else if (argument == "--headless") {
            options.headless = true;
        } else if (argument == "--demo") {
            options.demo = true;
        } else if (argument == "--mark") {
            options.mark = true;
        } else if (argument == "--guard" || argument.rfind("--guard=", 0) == 0) {
            std::string value;
            if (argument == "--guard") {
                if (i + 1 >= arguments.size()) return fail(std::string("--guard needs a node number"));
                value = arguments[++i];
            } else {
                value = argument.substr(8);
            }
            options.guard = parseNodeNumber(value);
            if (!options.guard) return fail("not a node number: " + value);
        } else if (argument == "--send") {
            if (i + 1 >= arguments.size()) return fail(std::string("--send needs a text"));
            options.send = arguments[++i];
        } else if (argument == "--radio") {
            if (i + 1 >= arguments.size() || arguments[i + 1].empty()) {
                return fail(std::string("--radio needs a device path or tcp:HOST[:PORT]"));
            }
            const std::string& radio = arguments[++i];
            if (isNetworkRadioPort(radio)) {
                auto checked = parseNetworkRadioPort(radio);
                if (!checked) return fail(checked.error());
                options.radio = *checked;
            } else if (radio.starts_with('/')) {
                options.radio = radio;
            } else {
                return fail("not a device path or tcp:HOST[:PORT]: " + radio);
            }
        } else if (argument == "--bluetooth") {
            options.bluetooth = true;
        } else if (argument == "--track-bluetooth") {
            if (i + 1 >= arguments.size()) return fail(std::string("--track-bluetooth needs a device identifier"));
            const auto id = Uuid::parse(arguments[++i]);
            if (!id) return fail("not a device identifier: " + arguments[i]);
            options.trackBluetooth.push_back(*id);
        } else if (argument == "--network") {
            options.network = true;
        } else if (argument == "--track-network" || argument.rfind("--track-network=", 0) == 0) {
            if (argument == "--track-network" && i + 1 >= arguments.size()) {
                return fail(std::string("--track-network needs a device name"));
            }
            options.trackNetwork.push_back(argument == "--track-network" ? arguments[++i] : argument.substr(16));
            options.network = true;
        } else if (argument == "--phone") {
            if (i + 1 >= arguments.size() || arguments[i + 1].empty()) {
                return fail(std::string("--phone needs a device id or name"));
            }
            options.phone = arguments[++i];
        } else if (argument == "--watch-node") {
            if (i + 1 >= arguments.size()) return fail(std::string("--watch-node needs a node number"));
            const std::string& value = arguments[++i];
            const auto colon = value.find(':');
            const auto node = parseNodeNumber(value.substr(0, colon));
            if (!node) return fail("not a node number: " + value.substr(0, colon));
            NodeWatch watch{.node = *node, .delay = std::nullopt};
            if (colon != std::string::npos) {
                watch.delay = parseDelay(value.substr(colon + 1));
                if (!watch.delay) return fail("not a delay (such as 90s, 15m or 1h): " + value.substr(colon + 1));
            }
            options.watchNodes.push_back(watch);
        } else if (argument == "--export-gpx") {
            if (i + 2 >= arguments.size()) return fail(std::string("--export-gpx needs a node number and a file"));
            const auto node = parseNodeNumber(arguments[++i]);
            if (!node) return fail("not a node number: " + arguments[i]);
            options.exportNode = *node;
            options.exportFile = arguments[++i];
            if (options.exportFile.empty()) return fail(std::string("--export-gpx needs a file"));
            options.action = Action::exportGpx;
        } else if (argument == "--mqtt") {
            if (i + 1 >= arguments.size() || !MqttBrokerAddress::parse(arguments[i + 1])) {
                return fail(std::string("--mqtt needs a broker URL (mqtt://host[:port] or mqtts://host[:port])"));
            }
            options.mqtt = arguments[++i];
        } else {
            return fail("unknown option: " + argument);
        }
    }
    return options;
}

std::string HeadlessOptions::usage() {
    return "Usage: corvane --headless [--guard NODE] [--mark] [--send TEXT] [--demo]\n"
           "                         [--radio DEVICE | --radio tcp:HOST[:PORT]]\n"
           "                         [--bluetooth] [--track-bluetooth ID]...\n"
           "                         [--network] [--track-network NAME]...\n"
           "                         [--phone DEVICE] [--mqtt URL]\n"
           "                         [--watch-node NODE[:DELAY]]...\n"
           "       corvane --export-gpx NODE FILE\n"
           "       corvane [--demo]   (the window)\n"
           "       corvane --help | --version\n"
           "\n"
           "  --headless     run the guard without a window and print what changes\n"
           "  --guard NODE   guard this mesh node (decimal, or \"!\" and 8 hex digits)\n"
           "  --mark         mark the guarded node's position as soon as it reports one\n"
           "  --send TEXT    broadcast TEXT on the primary channel once the radio is connected\n"
           "  --radio DEVICE use this radio for the run: a serial device path, or\n"
           "                 tcp:HOST[:PORT] for a radio on the network (port 4403\n"
           "                 when left out)\n"
           "  --demo         run against the bridge stand-in's simulated mesh, with\n"
           "                 data and settings in a fresh temporary folder\n"
           "  --bluetooth    scan for Bluetooth LE devices for the whole run\n"
           "  --track-bluetooth ID\n"
           "                 track this Bluetooth device (its identifier as printed)\n"
           "                 and switch its loss alert on when first heard; implies\n"
           "                 --bluetooth\n"
           "  --network      watch the local network (Bonjour devices) for the whole run\n"
           "  --track-network NAME\n"
           "                 track the device of that name once it is seen and alert\n"
           "                 when it leaves the network (implies --network)\n"
           "  --phone DEVICE also send every alert to this phone through KDE Connect\n"
           "                 (its device id or name) and print the delivery status\n"
           "  --watch-node NODE[:DELAY]\n"
           "                 alert when nothing is heard from this node for DELAY\n"
           "                 (90s, 15m, 2h; a bare number is minutes; default 1h), and\n"
           "                 when it is heard again; kept in the settings\n"
           "  --export-gpx NODE FILE\n"
           "                 write the node's stored positions to FILE as a GPX 1.1\n"
           "                 track and exit\n"
           "  --mqtt URL     publish to Home Assistant through this MQTT broker\n"
           "                 (mqtt://host[:port], mqtts:// for TLS) for this run; the user\n"
           "                 and password saved in Settings go along when saved for it\n"
           "\n"
           "Environment: HALVO_MESHTASTIC_BRIDGE_PATH (the bridge executable),\n"
           "CORVANE_DEVICE_DIR (where serial devices are listed, default /dev),\n"
           "XDG_DATA_HOME, XDG_CONFIG_HOME, DBUS_SESSION_BUS_ADDRESS, DBUS_SYSTEM_BUS_ADDRESS,\n"
           "CORVANE_DEMO_SECONDS (with --demo: stop after that many seconds),\n"
           "CORVANE_TILE_URL (map tiles; empty draws a plain grid).\n";
}

}  // namespace corvane
