// SPDX-License-Identifier: GPL-3.0-or-later
#include "headless/HeadlessReporter.h"

#include <cstdio>
#include <utility>

namespace corvane {
namespace {

std::string hexNode(std::uint32_t number) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "!%08x", number);
    return buffer;
}

constexpr std::string_view kConnectingLine = "Connection: Connecting…";
constexpr std::string_view kFailedLine = "Connection: USB connection failed";

}  // namespace

HeadlessReporter::HeadlessReporter(CorvaneModel& model, EventLoop& loop, Printer print)
    : model_(model),
      print_(std::move(print)),
      pendingReport_(loop, [this] { report(); }),
      subscription_(model.changed().subscribe([this] { pendingReport_.request(); })),
      healthSubscription_(model.meshHealth().changed().subscribe([this] { pendingReport_.request(); })) {
    // The initial texts ("Connecting…", "No position marked") are news too.
    report();
}

void HeadlessReporter::announce(std::string line) {
    announced_.push_back(std::move(line));
    pendingReport_.request();
}

void HeadlessReporter::reportConnection() {
    if (!bridgeStatusShown_) {
        bridgeStatusShown_ = true;
        print_("Meshtastic Bridge: " + MeshRadio::bridgeStatus());
    }
    std::string connection = "Connection: " + model_.connectionState();
    if (model_.connectedPort()) connection += " (" + *model_.connectedPort() + ")";
    // The retry after a failure: news only once it ends differently.
    const bool retrying = connection_ == kFailedLine && connection == kConnectingLine;
    if (connection != connection_ && !retrying) {
        connection_ = connection;
        print_(connection);
    }
    const auto& failure = model_.connectionFailure();
    if (failure != connectionFailure_) {
        connectionFailure_ = failure;
        // A stop after a working connection already says why as its error.
        if (failure && failure != model_.errorMessage()) print_("Reason: " + *failure);
    }
}

void HeadlessReporter::report() {
    reportConnection();

    if (model_.localNodeID() != localNode_) {
        localNode_ = model_.localNodeID();
        if (localNode_) {
            const std::string name = model_.displayName(*localNode_);
            const std::string hex = hexNode(*localNode_);
            print_("Radio node: " + (name == hex ? hex : name + " (" + hex + ")"));
        }
    }

    for (const auto& node : model_.nodes()) {
        if (!heard_.insert(node.number).second) continue;
        const std::string name = model_.displayName(node.number);
        const std::string hex = hexNode(node.number);
        std::string line = "Node heard: " + (name == hex ? hex : name + " (" + hex + ")");
        if (!node.hardware.empty()) line += ", " + node.hardware;
        if (node.hopsAway) line += ", " + std::to_string(*node.hopsAway) + (*node.hopsAway == 1 ? " hop" : " hops");
        print_(line);
    }

    for (const auto& node : model_.nodes()) {
        const bool silent = model_.meshHealth().isSilent(node.number);
        if (silent == silent_.contains(node.number)) continue;
        if (silent) {
            silent_.insert(node.number);
            print_("Node silent: " + model_.displayName(node.number));
        } else {
            silent_.erase(node.number);
            print_("Node heard again: " + model_.displayName(node.number));
        }
    }

    if (model_.parkingStatus() != parkingStatus_) {
        parkingStatus_ = model_.parkingStatus();
        print_("Guard: " + *parkingStatus_);
    }
    if (auto precision = model_.guardPrecision(); precision != guardPrecision_) {
        guardPrecision_ = std::move(precision);
        if (guardPrecision_) print_("Guard: " + *guardPrecision_);
    }

    if (model_.radioSettingsState() != radioSettingsState_) {
        const bool first = !radioSettingsState_;
        radioSettingsState_ = model_.radioSettingsState();
        // The initial "Waiting for radio…" says nothing yet.
        if (!first) print_("Radio settings: " + *radioSettingsState_);
    }

    if (model_.errorMessage() != errorMessage_) {
        errorMessage_ = model_.errorMessage();
        if (errorMessage_) print_("Error: " + *errorMessage_);
    }

    for (const auto& line : std::exchange(announced_, {})) print_(line);
}

}  // namespace corvane
