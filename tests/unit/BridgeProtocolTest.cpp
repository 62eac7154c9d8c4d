// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "core/MeshtasticBridgeRequest.h"
#include "core/MeshtasticBridgeResponse.h"

namespace corvane {
namespace {

constexpr std::string_view kId = "6F1C0B8E-2D3A-4C5B-9E7F-0A1B2C3D4E5F";

MeshtasticBridgeRequest withFixedId(MeshtasticBridgeCommand command) {
    MeshtasticBridgeRequest request(command);
    request.requestID = *Uuid::parse(kId);
    return request;
}

TEST(BridgeRequest, EncodesCompactLinesWithOnlyPresentPayload) {
    EXPECT_EQ(*encodeLine(withFixedId(MeshtasticBridgeCommand::disconnect)),
              R"({"protocolVersion":1,"requestID":"6F1C0B8E-2D3A-4C5B-9E7F-0A1B2C3D4E5F","command":"disconnect"})"
              "\n");

    auto send = withFixedId(MeshtasticBridgeCommand::sendText);
    send.text = "hello";
    send.channel = 0;
    EXPECT_EQ(*encodeLine(send),
              R"({"protocolVersion":1,"requestID":"6F1C0B8E-2D3A-4C5B-9E7F-0A1B2C3D4E5F","command":"sendText","text":"hello","channel":0})"
              "\n");

    auto connect = withFixedId(MeshtasticBridgeCommand::connect);
    connect.port = "/dev/ttyACM0";
    const std::string line = *encodeLine(connect);
    EXPECT_NE(line.find(R"("port":"\/dev\/ttyACM0")"), std::string::npos);
    EXPECT_EQ(line.find('\n'), line.size() - 1);
    EXPECT_EQ(decodeMeshtasticBridgeRequest(line), connect);
}

TEST(BridgeRequest, MultilineTextStaysOnOneLineAndUnencodableSettingsFail) {
    auto send = withFixedId(MeshtasticBridgeCommand::sendText);
    send.text = "two\nlines\r\u2028";
    send.recipient = 4294967295u;
    send.channel = 2;
    const std::string line = *encodeLine(send);
    EXPECT_EQ(line.find('\n'), line.size() - 1);
    EXPECT_EQ(line.find('\r'), std::string::npos);
    EXPECT_EQ(decodeMeshtasticBridgeRequest(line), send);

    auto apply = withFixedId(MeshtasticBridgeCommand::applyRadioSettings);
    apply.settings = MeshtasticRadioSettings::recommended();
    apply.settings->overrideFrequency = std::numeric_limits<float>::infinity();
    EXPECT_FALSE(encodeLine(apply));

    EXPECT_FALSE(decodeMeshtasticBridgeRequest(R"({"protocolVersion":1,"command":"disconnect"})"));
    EXPECT_FALSE(decodeMeshtasticBridgeRequest(
        R"({"protocolVersion":1,"requestID":"6F1C0B8E-2D3A-4C5B-9E7F-0A1B2C3D4E5F","command":"reboot"})"));
}

TEST(BridgeResponse, NullSettingsAndForeignVersionsStillDecode) {
    const auto settings = decodeMeshtasticBridgeResponse(R"({"protocolVersion":1,"event":"radioSettings","settings":null})");
    ASSERT_TRUE(settings);
    EXPECT_FALSE(settings->settings);
    // Refusing another version is the link's job.
    EXPECT_EQ(decodeMeshtasticBridgeResponse(R"({"protocolVersion":2,"event":"ready"})")->protocolVersion, 2);
}

TEST(BridgeResponse, RefusesLinesMissingRequiredKeysOrWithBadContent) {
    for (const char* bad : {
             R"({"event":"status","status":"Connected"})",
             R"({"protocolVersion":1})",
             R"({"protocolVersion":1,"event":"rebooted"})",
             R"({"protocolVersion":1.5,"event":"ready"})",
             R"({"protocolVersion":"1","event":"ready"})",
             R"({"protocolVersion":1,"event":"ready","requestID":"not-a-uuid"})",
             R"({"protocolVersion":1,"event":"node","node":{"number":1}})",
             R"({"protocolVersion":1,"event":"message","message":{"id":"6F1C0B8E-2D3A-4C5B-9E7F-0A1B2C3D4E5F","packetID":1,"sender":1,"recipient":1,"channel":0,"text":"x","timestamp":"yesterday","isOutgoing":false}})",
             R"({"protocolVersion":1,"event":"sent","packetID":-1})",
             "{\"protocolVersion\":1,\"event\":\"status\",\"status\":\"\xc3\x28\"}",
             R"({"protocolVersion":1,"event":"ready"} trailing)",
             "[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[",
             "",
         }) {
        EXPECT_FALSE(decodeMeshtasticBridgeResponse(bad)) << bad;
    }
    EXPECT_TRUE(decodeMeshtasticBridgeResponse(R"({"protocolVersion":1,"event":"status","status":"Connected"})"));
}

// One wire line per optional field, each decoded into a response holding
// exactly that field and encoded back to the same bytes: a field read from or
// written under another key's name fails here, not only in a round trip.
TEST(BridgeResponse, EachOptionalFieldHasItsOwnKeyOnTheWire) {
    using E = MeshtasticBridgeEvent;
    using R = MeshtasticBridgeResponse;
    const std::pair<std::string_view, void (*)(R&)> fields[] = {
        {R"({"protocolVersion":1,"requestID":"6F1C0B8E-2D3A-4C5B-9E7F-0A1B2C3D4E5F","event":"ready"})",
         [](R& r) { r.requestID = Uuid::parse(kId); }},
        {R"({"protocolVersion":1,"event":"error","error":"E"})", [](R& r) { r.event = E::error, r.error = "E"; }},
        {R"({"protocolVersion":1,"event":"status","status":"S"})", [](R& r) { r.event = E::status, r.status = "S"; }},
        {R"({"protocolVersion":1,"event":"connected","port":"P"})", [](R& r) { r.event = E::connected, r.port = "P"; }},
        {R"({"protocolVersion":1,"event":"localNode","localNodeID":11})",
         [](R& r) { r.event = E::localNode, r.localNodeID = 11; }},
        {R"({"protocolVersion":1,"event":"node","node":{"hardware":"T-Echo","longName":"Bike","number":7,"shortName":"BK"}})",
         [](R& r) {
             r.event = E::node;
             r.node.emplace();
             r.node->number = 7;
             r.node->longName = "Bike", r.node->shortName = "BK", r.node->hardware = "T-Echo";
         }},
        {R"({"protocolVersion":1,"event":"channel","channel":13})", [](R& r) { r.event = E::channel, r.channel = 13; }},
        {R"({"protocolVersion":1,"event":"channel","channelName":"N"})",
         [](R& r) { r.event = E::channel, r.channelName = "N"; }},
        {R"({"protocolVersion":1,"event":"message","message":{"channel":1,"id":"6F1C0B8E-2D3A-4C5B-9E7F-0A1B2C3D4E5F","isOutgoing":true,"packetID":12,"recipient":4,"sender":3,"text":"hi","timestamp":"2026-03-01T09:30:00Z"}})",
         [](R& r) {
             r.event = E::message;
             r.message = MeshMessage{*Uuid::parse(kId), 12, 3, 4, 1, "hi", Timestamp{} + std::chrono::seconds(1772357400), true};
         }},
        {R"({"protocolVersion":1,"event":"radioSettings","settings":{"channelNum":0,"hopLimit":3,"modemPreset":"longFast","overrideDutyCycle":false,"overrideFrequency":0,"region":"eu868","rxBoostedGain":true,"txEnabled":true,"txPower":0,"usePreset":true}})",
         [](R& r) { r.event = E::radioSettings, r.settings = MeshtasticRadioSettings::recommended(); }},
        {R"({"protocolVersion":1,"event":"sent","packetID":17})", [](R& r) { r.event = E::sent, r.packetID = 17; }},
    };
    for (const auto& [line, fill] : fields) {
        R response;
        fill(response);
        EXPECT_EQ(decodeMeshtasticBridgeResponse(line), response) << line;
        EXPECT_EQ(encodeLine(response), std::string(line) + "\n");
    }
    // Unknown keys are ignored whatever number they hold; a known one out of range spoils the line.
    R sent;
    sent.event = E::sent;
    sent.packetID = 17;
    EXPECT_EQ(decodeMeshtasticBridgeResponse(R"({"protocolVersion":1,"event":"sent","packetID":17,"future":18446744073709551616})"), sent);
    EXPECT_FALSE(decodeMeshtasticBridgeResponse(R"({"protocolVersion":18446744073709551616,"event":"ready"})"));
}

}  // namespace
}  // namespace corvane
