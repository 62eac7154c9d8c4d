// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The command line of `corvane`: what to run and how. Parsing is pure so the
// rules (node number forms, unknown options) can be tested without a process.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/Result.h"
#include "core/Uuid.h"

namespace corvane {

struct HeadlessOptions {
    enum class Action { run, help, version, exportGpx };

    Action action = Action::run;
    bool headless = false;
    bool demo = false;
    bool mark = false;
    // Set by the demo, which guards a bicycle; not a command-line option.
    bool bicycle = false;
    std::optional<std::uint32_t> guard;
    // Broadcast once on the primary channel when the radio first connects.
    std::optional<std::string> send;
    // The radio for this run: a device path or "tcp:HOST[:PORT]".
    std::optional<std::string> radio;
    // Scan for Bluetooth devices for the whole run; track these (repeatable).
    bool bluetooth = false;
    std::vector<Uuid> trackBluetooth;
    // Browse the local network for the whole run; names of devices to track
    // and arm once seen (either option turns browsing on).
    bool network = false;
    std::vector<std::string> trackNetwork;
    // Also send every alert to this phone (a KDE Connect device id or name)
    // for this run.
    std::optional<std::string> phone;
    // Silence alerts for these nodes, kept in the settings like the
    // inspector's choice (repeatable; absent delay: the default).
    struct NodeWatch {
        std::uint32_t node = 0;
        std::optional<std::chrono::seconds> delay;
        friend bool operator==(const NodeWatch&, const NodeWatch&) = default;
    };
    std::vector<NodeWatch> watchNodes;
    // With Action::exportGpx: whose stored positions, and where to.
    std::uint32_t exportNode = 0;
    std::string exportFile;
    // Publish to Home Assistant through this broker for this run.
    std::optional<std::string> mqtt;

    // `arguments` excludes the program name. The error is a one-line reason.
    static Result<HeadlessOptions, std::string> parse(const std::vector<std::string>& arguments);
    // "305419896" or "!12345678" (eight hexadecimal digits).
    static std::optional<std::uint32_t> parseNodeNumber(const std::string& text);
    // "90s", "15m", "2h", or a bare number of minutes; at least a minute.
    static std::optional<std::chrono::seconds> parseDelay(const std::string& text);

    static std::string usage();
};

}  // namespace corvane
