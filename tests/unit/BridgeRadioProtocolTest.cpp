// SPDX-License-Identifier: GPL-3.0-or-later
// Fixture bytes below were made once with the Meshtastic project's published
// schema package and an independent protobuf encoder, so that a wrong field
// number in our own schema cannot hide behind our own encoder.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "bridge/FrameReader.h"
#include "bridge/NodeDirectory.h"
#include "bridge/RadioProtocol.h"
#include "bridge/Utf8Repair.h"
#include "core/MeshtasticBridgeResponse.h"

namespace corvane::bridge {
namespace {

using namespace std::chrono_literals;

const Timestamp kNow = fromUnixSeconds(1772357400 + 500);  // 2026-03-01T09:38:20Z

std::string bytes(std::string_view hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        out.push_back(static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    }
    return out;
}

std::string hex(std::string_view data) {
    std::string out;
    for (const char c : data) out += "0123456789abcdef"[static_cast<unsigned char>(c) >> 4], out += "0123456789abcdef"[c & 15];
    return out;
}

mesh::FromRadio fixture(std::string_view hexBytes) {
    auto parsed = parseFromRadio(bytes(hexBytes));
    EXPECT_TRUE(parsed.has_value());
    return parsed.value_or(mesh::FromRadio{});
}

// Random record ids replaced, so lines compare as text.
std::string lineOf(MeshtasticBridgeResponse response) {
    const auto line = encodeLine(response);
    EXPECT_TRUE(line.has_value());
    static const std::regex uuid("\"id\":\"[0-9A-F-]{36}\"");
    return std::regex_replace(line.value_or(""), uuid, "\"id\":\"ID\"");
}

std::string nodeLine(const MeshNode& node) {
    MeshtasticBridgeResponse response;
    response.event = MeshtasticBridgeEvent::node;
    response.node = node;
    return lineOf(response);
}

constexpr std::uint32_t kLocalNode = 0x0A0B0C0D;

TEST(BridgeRadioProtocolTest, NodeInfoBecomesNodeLines) {
    NodeDirectory nodes;
    // User, position south and east, metrics, hops 0 present, heard at START.
    EXPECT_EQ(
        nodeLine(nodes.fromNodeInfo(fixture("225208f8acd1910112170a09213132333435363738120442696b651a02424b28041a1a"
                                            "0d0008d0eb1548b5205a18f4ffffffffffffffff0125dc06a469250000c8402d18"
                                            "07a46932070858150000844048005001")
                                        .node_info(),
                                    kLocalNode)),
        R"({"protocolVersion":1,"event":"node","node":{"batteryLevel":88,"hardware":"TBEAM","hopsAway":0,)"
        R"("lastSeen":"2026-03-01T09:30:00Z","longName":"Bike","number":305419896,"position":{"altitude":-12,)"
        R"("id":"ID","latitude":-33.8688,"longitude":151.2093,"nodeNumber":305419896,)"
        R"("timestamp":"2026-03-01T09:29:00Z"},"shortName":"BK","signalToNoise":6.25,"voltage":4.125}})"
        "\n");
    // No user, no position, hops absent, never heard: named by its number.
    const auto unnamed = fixture("2208088180b4de0a3803").node_info();
    EXPECT_EQ(nodeLine(nodes.fromNodeInfo(unnamed, kLocalNode)),
              R"({"protocolVersion":1,"event":"node","node":{"hardware":"UNSET","longName":"Meshtastic 0001",)"
              R"("number":2882338817,"shortName":"0001"}})"
              "\n");
    // Hops absent: 0 for the radio itself, and for every node on 2.3/2.4 firmware.
    EXPECT_EQ(nodes.fromNodeInfo(unnamed, unnamed.num()).hopsAway, 0u);
    nodes.clear();
    EXPECT_FALSE(nodes.fromNodeInfo(unnamed, kLocalNode).hopsAway.has_value());
    nodes.setAbsentHopsMeanDirect(true);
    EXPECT_EQ(nodes.fromNodeInfo(unnamed, kLocalNode).hopsAway, 0u);
    EXPECT_EQ((std::vector{firmwareVersion("2.4.3.efc27f2"), firmwareVersion("10.12"), firmwareVersion("2"), firmwareVersion("v2.5")}),
              (std::vector<decltype(firmwareVersion(""))>{std::pair{2, 4}, std::pair{10, 12}, std::nullopt, std::nullopt}));
}

TEST(BridgeRadioProtocolTest, APrecisionOutsideOneTo31BitsIsFullPrecision) {
    mesh::Position fix;
    fix.set_latitude_i(556756800);
    fix.set_longitude_i(125699200);
    for (const auto& [bits, shared] : {std::pair{0u, std::optional<std::uint32_t>{}}, std::pair{13u, std::optional{13u}},
                                       std::pair{31u, std::optional{31u}}, std::pair{32u, std::optional<std::uint32_t>{}}}) {
        fix.set_precision_bits(bits);
        EXPECT_EQ(positionOf(fix, 7, kNow)->precisionBits, shared) << bits;
    }
}

TEST(BridgeRadioProtocolTest, TextPacketsBecomeMessagesAndOtherFramesAreRecognised) {
    const auto message = [](std::string_view hexBytes) {
        MeshtasticBridgeResponse response;
        response.event = MeshtasticBridgeEvent::message;
        response.message = textMessage(fixture(hexBytes).packet(), 0x0A0B0C0D, kNow);
        return lineOf(response);
    };
    EXPECT_EQ(message("122c0d7856341215ffffffff1801220b08011207686920f09f918b354d0000003d1807a469450000b04048027803"),
              R"({"protocolVersion":1,"event":"message","message":{"channel":1,"id":"ID","isOutgoing":false,)"
              R"("packetID":77,"recipient":4294967295,"sender":305419896,"text":"hi 👋",)"
              R"("timestamp":"2026-03-01T09:30:00Z"}})"
              "\n");
    // Direct, cut in the middle of a character, no receive time.
    EXPECT_EQ(message("12230d78563412150d0c0b0a2209080112056f6be28221354e000000450000b04048027803"),
              R"({"protocolVersion":1,"event":"message","message":{"channel":0,"id":"ID","isOutgoing":false,)"
              R"("packetID":78,"recipient":168496141,"sender":305419896,"text":"ok�!",)"
              R"("timestamp":"2026-03-01T09:38:20Z"}})"
              "\n");
    const auto encrypted = fixture("12140d0500000015ffffffff2a030102033509000000").packet();
    EXPECT_FALSE(encrypted.has_decoded());
    EXPECT_FALSE(textMessage(encrypted, 1, kNow).has_value());

    EXPECT_EQ(fixture("08051a07088d98ac504003").my_info().my_node_num(), 0x0A0B0C0Du);
    EXPECT_EQ(fixture("6a0c0a0a322e342e332e61626364").metadata().firmware_version(), "2.4.3.abcd");
    // Bytes that parse but are of no kind the firmware sends are no frame:
    // only an unknown field (30), or a known kind whose content is no message.
    EXPECT_FALSE(parseFromRadio(bytes("f20103616263")).has_value());
    EXPECT_FALSE(parseFromRadio(bytes("720294c3")).has_value());
    EXPECT_TRUE(parseFromRadio(bytes("4001")).has_value());  // rebooted
    EXPECT_EQ(fixture("5a09100a18102084868808").queuestatus().mesh_packet_id(), 0x01020304u);
    EXPECT_FALSE(channelLine(fixture("5209080312051a034f6c64").channel()).has_value());
    EXPECT_EQ(lineOf(*channelLine(fixture("5209080212031201011802").channel())),
              "{\"protocolVersion\":1,\"event\":\"channel\",\"channel\":2}\n");
}

TEST(BridgeRadioProtocolTest, LoraConfigurationsMapOrAreRefused) {
    const auto eu = fixture("2a2232200801100418fa01380340044801500e580760016801759a6159447801ba06012a").config().lora();
    const auto settings = settingsFromLora(eu);
    ASSERT_TRUE(settings.ok());
    EXPECT_EQ(*settings, (MeshtasticRadioSettings{true, MeshtasticRegion::eu868, MeshtasticModemPreset::mediumFast, 4,
                                                  7, true, 14, true, true, 869.525f}));
    for (const auto& [lora, named] : {std::pair{"2a083206080138014003", "US"}, {"2a083206080110013803", "LONG_SLOW"}}) {
        const auto refused = settingsFromLora(fixture(lora).config().lora());
        EXPECT_TRUE(!refused.ok() && refused.error().find(named) != std::string::npos) << named;
    }

    // Read, change, write: the ten fields replaced, the undeclared ones
    // (bandwidth 3, pa_fan_disabled 15, ignore_incoming 103) kept.
    auto wanted = MeshtasticRadioSettings::recommended();
    wanted.txPower = -3;
    const auto written = loraWithSettings(eu, wanted);
    EXPECT_EQ(settingsFromLora(written).ok() ? *settingsFromLora(written) : MeshtasticRadioSettings{}, wanted);
    const auto wire = hex(written.SerializeAsString());
    for (const char* kept : {"18fa01", "7801", "ba06012a"}) EXPECT_NE(wire.find(kept), std::string::npos) << kept;
}

TEST(BridgeRadioProtocolTest, EncodersWriteThePublishedFieldNumbers) {
    const auto framed = [](const mesh::ToRadio& message) {
        const auto frame = frameOf(message);
        EXPECT_EQ(hex(frame.substr(0, 4)), "94c3" + hex(std::string{0, static_cast<char>(frame.size() - 4)}));
        return hex(frame.substr(4));
    };
    const auto text = textPacket("hi", 0x12345678u, 2, 0x01020304);
    ASSERT_TRUE(text.ok());
    EXPECT_EQ(framed(*text), "0a1615785634121802220608011202686935040302015001");
    // No recipient: a broadcast, which asks for no acknowledgement.
    EXPECT_EQ(framed(*textPacket("x", std::nullopt, 0, 1)), "0a1115ffffffff220508011201783501000000");

    mesh::AdminMessage get;
    get.set_get_config_request(mesh::AdminMessage::LORA_CONFIG);
    EXPECT_EQ(framed(adminPacket(get, 0x0A0B0C0D, 0xBEEF)), "0a16150d0c0b0a2208080612022805180135efbe00005001");
    EXPECT_EQ(framed(wantConfig(0xDEADBEEF)), "18effdb6f50d");
    EXPECT_EQ(framed(heartbeat()), "3a00");
    EXPECT_EQ(framed(disconnectMessage()), "2001");

    // 232 bytes of UTF-8 fit on a channel, 220 in a direct message; one more is refused, never cut.
    EXPECT_EQ((std::vector{textPacket(std::string(230, 'a') + "é", std::nullopt, 0, 1).ok(),
                           textPacket(std::string(231, 'a') + "é", std::nullopt, 0, 1).ok(),
                           textPacket(std::string(220, 'a'), 5u, 0, 1).ok()}),
              (std::vector{true, false, true}));
    const auto tooLong = textPacket(std::string(221, 'a'), 5u, 0, 1);
    EXPECT_TRUE(!tooLong.ok() && tooLong.error().find("at most 220 bytes") != std::string::npos);

    for (const auto& [code, says] : {std::pair{6, "channel is not enabled"}, {9, "duty-cycle"}, {34, "encrypted"},
                                     {99, "The radio refused the message (error 99)."}})
        EXPECT_NE(queueErrorText(code).find(says), std::string::npos) << code;
}

TEST(BridgeRadioProtocolTest, PositionsKeepTheirIdWhileTheFixIsUnchanged) {
    NodeDirectory nodes;
    const NodeDirectory::Heard heard{kNow, 4.5f, std::nullopt};
    mesh::Position fix;
    fix.set_latitude_i(556756800);
    fix.set_longitude_i(125699200);
    const auto first = nodes.fromPosition(7, fix, heard).position;
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->timestamp, kNow);  // no time in the fix: when it was heard
    const auto later = NodeDirectory::Heard{kNow + 30s, std::nullopt, 2u};
    const auto repeated = nodes.fromPosition(7, fix, later);
    EXPECT_EQ(std::tuple(repeated.position, repeated.lastSeen, repeated.hopsAway, repeated.signalToNoise),
              std::tuple(first, std::optional(kNow + 30s), std::optional(2u), std::optional(4.5f)));

    fix.set_altitude(20);
    const auto moved = nodes.fromPosition(7, fix, later).position;
    ASSERT_TRUE(moved.has_value());
    EXPECT_EQ(std::pair(moved->id == first->id, moved->altitude), std::pair(false, std::optional(20)));
    EXPECT_EQ(nodes.fromPosition(7, mesh::Position{}, later).position, moved) << "0, 0 is no fix";

    mesh::MeshPacket packet;
    packet.set_hop_start(3);
    packet.set_hop_limit(3);
    EXPECT_EQ(NodeDirectory::heardOf(packet, kNow).hopsAway, 0u);
    packet.set_hop_start(0);
    EXPECT_FALSE(NodeDirectory::heardOf(packet, kNow).hopsAway.has_value());
}

TEST(BridgeRadioProtocolTest, IllFormedUtf8BecomesReplacementCharacters) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"plain é 👋", "plain é 👋"},
        {"a\xC3", "a\uFFFD"},                              // cut at the end
        {"\xE2\x82!", "\uFFFD!"},                          // maximal subpart is one replacement
        {"\xC0\xAF", "\uFFFD\uFFFD"},                      // overlong
        {"\xED\xA0\x80", "\uFFFD\uFFFD\uFFFD"},            // surrogate
        {"\xF4\x90\x80\x80", "\uFFFD\uFFFD\uFFFD\uFFFD"},  // beyond U+10FFFF
        {"\xF0\x9F\x91", "\uFFFD"},
    };
    for (const auto& c : cases) EXPECT_EQ(repairedUtf8(c.in), c.out) << hex(c.in);
}

}  // namespace
}  // namespace corvane::bridge
