// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MeshRadioError.h"

namespace corvane {

namespace {

// A platform text may be empty (some failures carry none); the owner still
// needs a sentence to show.
std::string withDetail(const char* sentence, const std::string& detail) {
    if (detail.empty()) return std::string(sentence) + ".";
    return std::string(sentence) + ": " + detail;
}

}  // namespace

std::string MeshRadioError::description() const {
    switch (kind_) {
    case Kind::bridge: return message_;
    case Kind::noRadio: return "No Meshtastic USB radio was found.";
    case Kind::bridgeMissing:
        return "Halvo Meshtastic Bridge is not installed. Install the separate GPL bridge to use Meshtastic features.";
    case Kind::bridgeStopped: return "Halvo Meshtastic Bridge stopped unexpectedly.";
    case Kind::invalidBridgeReply: return "Halvo Meshtastic Bridge returned an unreadable response.";
    case Kind::requestTimedOut: return "Halvo Meshtastic Bridge did not answer in time.";
    case Kind::launchFailed: return withDetail("Halvo Meshtastic Bridge could not be started", message_);
    case Kind::writeFailed: return withDetail("Could not send the request to Halvo Meshtastic Bridge", message_);
    case Kind::readFailed: return withDetail("Could not read from Halvo Meshtastic Bridge", message_);
    case Kind::unencodableRequest: return "The request could not be encoded for Halvo Meshtastic Bridge.";
    case Kind::cancelled: return "The request was cancelled because the bridge was disconnected.";
    }
    return message_;
}

}  // namespace corvane
