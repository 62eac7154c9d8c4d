#include "headless/HeadlessReporter.h"

#include <cstdio>

namespace corvane {
namespace {

std::string hexNode(std::uint32_t number) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "!%08x", number);
    return buffer;
}

}  // namespace

HeadlessReporter::HeadlessReporter(CorvaneModel& model, EventLoop& loop, Printer print)
    : model_(model),
      print_(std::move(print)),
      pendingReport_(loop, [this] { report(); }),
      subscription_(model.changed().subscribe([this] { pendingReport_.request(); })) {
    // The initial texts ("Connecting…", "No position marked") are news too.
    report();
}

void HeadlessReporter::report() {
    std::string connection = "Connection: " + model_.connectionState();
    if (model_.connectedPort()) connection += " (" + *model_.connectedPort() + ")";
    if (connection != connection_) {
        connection_ = connection;
        print_(connection);
    }

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

    if (model_.parkingStatus() != parkingStatus_) {
        parkingStatus_ = model_.parkingStatus();
        print_("Guard: " + *parkingStatus_);
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
}

}  // namespace corvane
