// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Why an operation of MeshRadio failed, with the text the owner shows as the
// error message. The first six cases are the bridge link's own failures. The
// last five stand for failures that come from the platform or from the
// owner's own calls, so that they, too, reach the owner as one error type with
// a readable text: the child could not be started (`launchFailed`, carrying
// the platform's text), a request line could not be written
// (`writeFailed`) or encoded (`unencodableRequest`), reading the bridge's
// output failed (`readFailed`), or the request was still pending when the
// owner disconnected (`cancelled`). A plain value; any thread.
#include <string>

namespace corvane {

class MeshRadioError {
public:
    enum class Kind {
        bridge,
        noRadio,
        bridgeMissing,
        bridgeStopped,
        invalidBridgeReply,
        requestTimedOut,
        launchFailed,
        writeFailed,
        readFailed,
        unencodableRequest,
        cancelled,
    };

    static MeshRadioError bridge(std::string message) { return {Kind::bridge, std::move(message)}; }
    static MeshRadioError noRadio() { return {Kind::noRadio, {}}; }
    static MeshRadioError bridgeMissing() { return {Kind::bridgeMissing, {}}; }
    static MeshRadioError bridgeStopped() { return {Kind::bridgeStopped, {}}; }
    static MeshRadioError invalidBridgeReply() { return {Kind::invalidBridgeReply, {}}; }
    static MeshRadioError requestTimedOut() { return {Kind::requestTimedOut, {}}; }
    static MeshRadioError launchFailed(std::string platformMessage) {
        return {Kind::launchFailed, std::move(platformMessage)};
    }
    static MeshRadioError writeFailed(std::string platformMessage) {
        return {Kind::writeFailed, std::move(platformMessage)};
    }
    static MeshRadioError readFailed(std::string platformMessage) {
        return {Kind::readFailed, std::move(platformMessage)};
    }
    static MeshRadioError unencodableRequest() { return {Kind::unencodableRequest, {}}; }
    static MeshRadioError cancelled() { return {Kind::cancelled, {}}; }

    Kind kind() const { return kind_; }
    // The bridge's text for `bridge`, the platform's text for the platform
    // cases, empty otherwise.
    const std::string& message() const { return message_; }
    std::string description() const;

    friend bool operator==(const MeshRadioError&, const MeshRadioError&) = default;

private:
    MeshRadioError(Kind kind, std::string message) : kind_(kind), message_(std::move(message)) {}

    Kind kind_ = Kind::bridge;
    std::string message_;
};

}  // namespace corvane
