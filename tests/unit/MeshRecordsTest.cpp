// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <set>

#include "core/DateTime.h"
#include "core/JsonRead.h"
#include "core/JsonWriter.h"
#include "core/MeshMessage.h"
#include "core/MeshNode.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;

template <typename Record, typename Decode>
std::optional<Record> decodeText(std::string_view text, Decode decode) {
    return json::parseDocument(text, [&](const json::Element& root) { return decode(root); });
}

std::optional<MeshNode> node(std::string_view text) { return decodeText<MeshNode>(text, decodeMeshNode); }
std::optional<MeshPosition> position(std::string_view text) {
    return decodeText<MeshPosition>(text, decodeMeshPosition);
}
std::optional<MeshMessage> message(std::string_view text) {
    return decodeText<MeshMessage>(text, decodeMeshMessage);
}

template <typename Record>
std::string compact(const Record& record) {
    JsonWriter writer;
    encodeJson(writer, record);
    EXPECT_FALSE(writer.failed());
    return writer.take();
}

Timestamp at(std::string_view iso) { return *parseIso8601(iso); }

MeshNode bareNode(std::uint32_t number, std::string longName, std::string shortName, std::string hardware) {
    MeshNode n;
    n.number = number;
    n.longName = std::move(longName);
    n.shortName = std::move(shortName);
    n.hardware = std::move(hardware);
    return n;
}

TEST(DateTime, ParsesZuluOffsetsAndFractionsAndRefusesOtherForms) {
    EXPECT_EQ(formatIso8601(at("2026-03-01T09:30:00Z")), "2026-03-01T09:30:00Z");
    EXPECT_EQ(at("2026-03-01T10:30:00+01:00"), at("2026-03-01T09:30:00Z"));
    EXPECT_EQ(at("2026-03-01T04:00:00-0530"), at("2026-03-01T09:30:00Z"));
    EXPECT_EQ(at("2026-03-01T09:30:00.750Z") - at("2026-03-01T09:30:00Z"), 750ms);
    // Sub-second parts are not part of the written form.
    EXPECT_EQ(formatIso8601(at("2026-03-01T09:30:00.999Z")), "2026-03-01T09:30:00Z");
    EXPECT_EQ(formatIso8601(at("1969-12-31T23:59:59.5Z")), "1969-12-31T23:59:59Z");
    EXPECT_EQ(formatIso8601(at("2024-02-29T00:00:00Z")), "2024-02-29T00:00:00Z");
    for (const char* bad : {"2026-03-01", "1772357400", "2026-03-01T09:30Z", "2026-03-01T09:30:00",
                            "2026-03-01 09:30:00Z", "2026-02-29T00:00:00Z", "2026-13-01T00:00:00Z",
                            "2026-03-01T24:00:00Z", "2026-03-01T09:30:00.Z", "2026-03-01T09:30:00Zjunk",
                            "2026-03-01t09:30:00z", ""}) {
        EXPECT_FALSE(parseIso8601(bad)) << bad;
    }
}

TEST(DateTime, ReferenceDateSecondsRoundTrip) {
    EXPECT_EQ(secondsSinceReferenceDate(at("2001-01-01T00:00:00Z")), 0.0);
    EXPECT_EQ(*fromSecondsSinceReferenceDate(86400.5), at("2001-01-02T00:00:00.5Z"));
    EXPECT_FALSE(fromSecondsSinceReferenceDate(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_FALSE(fromSecondsSinceReferenceDate(1e300));
}

TEST(Uuid, ParsesEitherCaseAndWritesUpperCase) {
    const auto lower = Uuid::parse("6f1c0b8e-2d3a-4c5b-9e7f-0a1b2c3d4e5f");
    ASSERT_TRUE(lower);
    EXPECT_EQ(lower->string(), "6F1C0B8E-2D3A-4C5B-9E7F-0A1B2C3D4E5F");
    EXPECT_EQ(lower, Uuid::parse("6F1C0B8E-2D3A-4C5B-9E7F-0A1B2C3D4E5F"));
    EXPECT_EQ(Uuid::parse("00000000-0000-0000-0000-0000000000fF")->bytes.back(), 0xFF);
    EXPECT_EQ(Uuid::parse("a0000000-0000-0000-0000-000000000000")->bytes.front(), 0xA0);
    // A hyphen moved or missing at each place, and the characters just outside
    // the digit ranges.
    for (const char* bad : {"6F1C0B8E2D3A-4C5B-9E7F-0A1B2C3D4E5F0", "6F1C0B8E02D3A-4C5B-9E7F-0A1B2C3D4E5F",
                            "6F1C0B8E-2D3A04C5B-9E7F-0A1B2C3D4E5F", "6F1C0B8E-2D3A-4C5B09E7F-0A1B2C3D4E5F",
                            "6F1C0B8E-2D3A-4C5B-9E7F00A1B2C3D4E5F",
                            "6F1C0B8E-2D3A-4C5B-9E7F-0A1B2C3D4E5G", "6F1C0B8E-2D3A-4C5B-9E7F-0A1B2C3D4E5g",
                            "/F1C0B8E-2D3A-4C5B-9E7F-0A1B2C3D4E5F", "6:1C0B8E-2D3A-4C5B-9E7F-0A1B2C3D4E5F",
                            "6F1C0B8E-2D3A-4C5B-9E7F-0A1B2C3D4E5@", "6F1C0B8E-2D3A-4C5B-9E7F-0A1B2C3D4E5`",
                            "6F1C0B8E-2D3A-4C5B-9E7F-0A1B2C3D4E5 ", "+F1C0B8E-2D3A-4C5B-9E7F-0A1B2C3D4E5F"}) {
        EXPECT_FALSE(Uuid::parse(bad)) << bad;
    }
    // The text ends where the view ends, whatever the memory after it holds.
    const std::string longer = "00000000-0000-0000-0000-0000000000-00";
    EXPECT_FALSE(Uuid::parse(std::string_view(longer).substr(0, 36)));
    EXPECT_FALSE(Uuid::parse(std::string_view(longer).substr(0, 35)));
    const Uuid random = Uuid::random();
    EXPECT_NE(random, Uuid::random());
    EXPECT_EQ(std::pair(random.bytes[6] >> 4, random.bytes[8] >> 6), std::pair(4, 2)) << "version 4, RFC 4122 variant";
    // Across refills of the pool of random bytes, and in a forked child, which
    // must not repeat what its parent hands out next.
    std::set<Uuid> seen{random};
    for (int i = 0; i < 1000; ++i) EXPECT_TRUE(seen.insert(Uuid::random()).second);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        const Uuid next = Uuid::random();
        ::_exit(::write(fds[1], next.bytes.data(), next.bytes.size()) == 16 ? 0 : 1);
    }
    Uuid childs;
    EXPECT_EQ(::read(fds[0], childs.bytes.data(), childs.bytes.size()), 16);
    ::waitpid(child, nullptr, 0);
    ::close(fds[0]);
    ::close(fds[1]);
    EXPECT_NE(childs, Uuid::random());
}

TEST(MeshNode, ReachabilityFollowsTheWindowAndHops) {
    const Timestamp now = at("2026-03-01T10:00:00Z");
    MeshNode n = bareNode(1, "A", "A", "X");
    n.hopsAway = 0;
    EXPECT_EQ(n.reachability(now, 3600), MeshNodeReachability::stale());

    n.lastSeen = now - 3600s;
    EXPECT_EQ(n.reachability(now, 3600), MeshNodeReachability::directlyHeard());
    n.lastSeen = now - 3600500ms;
    EXPECT_EQ(n.reachability(now, 3600), MeshNodeReachability::stale());
    n.lastSeen = now + 60s;
    EXPECT_EQ(n.reachability(now, 3600), MeshNodeReachability::directlyHeard());

    n.hopsAway = 2;
    EXPECT_EQ(n.reachability(now, 3600), MeshNodeReachability::mesh(2));
    n.hopsAway.reset();
    EXPECT_EQ(n.reachability(now, 3600), MeshNodeReachability::mesh(std::nullopt));
    EXPECT_NE(MeshNodeReachability::mesh(std::nullopt), MeshNodeReachability::mesh(0));
    EXPECT_EQ(n.reachability(now, std::numeric_limits<double>::quiet_NaN()), MeshNodeReachability::stale());
}

TEST(MeshNode, EncodesOnlyPresentFieldsAndRoundTrips) {
    const MeshNode bare = bareNode(7, "Bike/1", "BK", "T-Echo");
    EXPECT_EQ(compact(bare), R"({"hardware":"T-Echo","longName":"Bike\/1","number":7,"shortName":"BK"})");

    MeshNode full = bare;
    full.batteryLevel = 87;
    full.voltage = 4.1f;
    full.signalToNoise = -7.25f;
    full.hopsAway = 1;
    full.lastSeen = at("2026-03-01T09:30:00Z");
    full.position = MeshPosition{*Uuid::parse("6F1C0B8E-2D3A-4C5B-9E7F-0A1B2C3D4E5F"), 7, 48.1, 11.5, -3,
                                 at("2026-03-01T09:29:00Z"), {}};
    const std::string text = compact(full);
    EXPECT_NE(text.find(R"("voltage":4.1)"), std::string::npos) << text;
    EXPECT_EQ(node(text), full);

    // The extreme floats' shortest texts lie just beyond them and read back
    // rounded; only what rounds to infinity is refused.
    for (const float extreme : {std::numeric_limits<float>::max(), std::numeric_limits<float>::lowest(),
                                std::numeric_limits<float>::denorm_min()}) {
        full.voltage = extreme;
        EXPECT_EQ(node(compact(full)), full) << compact(full);
    }
    const auto withVoltage = [](std::string_view voltage) {
        return node(R"({"number":1,"longName":"A","shortName":"A","hardware":"X","voltage":)" + std::string(voltage) + "}");
    };
    EXPECT_EQ(withVoltage("-3.40282356e+38")->voltage, std::numeric_limits<float>::lowest());
    EXPECT_FALSE(withVoltage("3.40282357e+38"));
}

TEST(JsonRead, NumbersBeyondTheParsersRangeSpoilOnlyTheKeysThatAreRead) {
    const std::string known = R"({"number":1,"longName":"A 18446744073709551616","shortName":"-1e999","hardware":"X")";
    for (const char* extra : {R"("future":18446744073709551616)", R"("future":-9223372036854775809)",
                              R"("future":[1e400,{"deeper":-123456789012345678901234567890}])",
                              R"("future":1e400,"later":18446744073709551615)"}) {
        const auto decoded = node(known + "," + extra + "}");
        ASSERT_TRUE(decoded) << extra;
        EXPECT_EQ(decoded->longName + "|" + decoded->shortName, "A 18446744073709551616|-1e999");
    }
    for (const char* bad : {R"("batteryLevel":18446744073709551616)", R"("voltage":-1e400)", R"("hopsAway":18446744073709551615)"}) {
        EXPECT_FALSE(node(known + "," + bad + "}")) << bad;
    }
    EXPECT_FALSE(node(R"({"number":184467440737095516160,"longName":"A","shortName":"A","hardware":"X"})"));
    // Under a double key a whole number past the integer range is a double,
    // as our own writer prints large ones.
    EXPECT_TRUE(position(
        R"({"id":"6F1C0B8E-2D3A-4C5B-9E7F-0A1B2C3D4E5F","nodeNumber":7,"latitude":18446744073709551616,"longitude":11.5,"timestamp":"2026-03-01T09:30:00Z"})"));
}

TEST(MeshNode, DecodingIsStrictAboutRequiredKeysTypesAndRanges) {
    const auto decoded = node(R"({"number":1,"longName":"A","shortName":"A","hardware":"X","batteryLevel":null,"extra":[1,{}]})");
    ASSERT_TRUE(decoded);
    EXPECT_FALSE(decoded->batteryLevel);
    EXPECT_EQ(node(R"({"number":4294967295,"longName":"A","shortName":"A","hardware":"X","hopsAway":3.0})")->hopsAway, 3u);

    for (const char* bad : {
             R"({"number":1,"longName":"A","shortName":"A"})",
             R"({"number":-1,"longName":"A","shortName":"A","hardware":"X"})",
             R"({"number":4294967296,"longName":"A","shortName":"A","hardware":"X"})",
             R"({"number":1.5,"longName":"A","shortName":"A","hardware":"X"})",
             R"({"number":"1","longName":"A","shortName":"A","hardware":"X"})",
             R"({"number":1,"longName":null,"shortName":"A","hardware":"X"})",
             R"({"number":1,"longName":"A","shortName":"A","hardware":"X","batteryLevel":-2})",
             R"({"number":1,"longName":"A","shortName":"A","hardware":"X","voltage":"4.1"})",
             R"({"number":1,"longName":"A","shortName":"A","hardware":"X","voltage":1e300})",
             R"({"number":1,"longName":"A","shortName":"A","hardware":"X","lastSeen":1772357400})",
             R"({"number":1,"longName":"A","shortName":"A","hardware":"X","lastSeen":"2026-03-01"})",
             R"({"number":1,"longName":"A","shortName":"A","hardware":"X","position":{"id":"x"}})",
             R"([1,2])",
         }) {
        EXPECT_FALSE(node(bad)) << bad;
    }
}

TEST(MeshPosition, OptionalAltitudeAndStrictCoordinates) {
    const auto p = position(
        R"({"id":"6f1c0b8e-2d3a-4c5b-9e7f-0a1b2c3d4e5f","nodeNumber":7,"latitude":48,"longitude":11.5,"timestamp":"2026-03-01T10:30:00+01:00"})");
    ASSERT_TRUE(p);
    EXPECT_FALSE(p->altitude);
    EXPECT_FALSE(p->precisionBits);
    EXPECT_EQ(compact(*p),
              R"({"id":"6F1C0B8E-2D3A-4C5B-9E7F-0A1B2C3D4E5F","latitude":48,"longitude":11.5,"nodeNumber":7,"timestamp":"2026-03-01T09:30:00Z"})");
    const char* reduced =
        R"({"id":"6F1C0B8E-2D3A-4C5B-9E7F-0A1B2C3D4E5F","latitude":48,"longitude":11.5,"nodeNumber":7,"precisionBits":13,"timestamp":"2026-03-01T09:30:00Z"})";
    ASSERT_TRUE(position(reduced));
    EXPECT_EQ(position(reduced)->precisionBits, 13u);
    EXPECT_EQ(compact(*position(reduced)), reduced);
    EXPECT_FALSE(position(
        R"({"id":"6F1C0B8E-2D3A-4C5B-9E7F-0A1B2C3D4E5F","nodeNumber":7,"latitude":"48","longitude":11.5,"timestamp":"2026-03-01T09:30:00Z"})"));
    EXPECT_FALSE(position(
        R"({"id":"6F1C0B8E-2D3A-4C5B-9E7F-0A1B2C3D4E5F","nodeNumber":7,"latitude":48,"longitude":11.5,"altitude":2147483648,"timestamp":"2026-03-01T09:30:00Z"})"));

    MeshPosition nan = *p;
    nan.latitude = std::numeric_limits<double>::quiet_NaN();
    JsonWriter writer;
    encodeJson(writer, nan);
    EXPECT_TRUE(writer.failed());
}

TEST(MeshMessage, EveryKeyIsRequiredAndTextSurvivesAnyCharacters) {
    const MeshMessage m{Uuid::random(), 12, 3, 4294967295u, 1, "quote \" slash / back \\ tab\t nul\x01 ✓ 🚲",
                        at("2026-03-01T09:30:00Z"), true};
    const std::string text = compact(m);
    EXPECT_EQ(message(text), m);
    EXPECT_EQ(text.find('\t'), std::string::npos);
    EXPECT_FALSE(message(R"({"id":"6F1C0B8E-2D3A-4C5B-9E7F-0A1B2C3D4E5F","packetID":1,"sender":1,"recipient":1,"channel":0,"text":"hi","timestamp":"2026-03-01T09:30:00Z"})"));
    EXPECT_FALSE(message(R"({"id":"6F1C0B8E-2D3A-4C5B-9E7F-0A1B2C3D4E5F","packetID":1,"sender":1,"recipient":1,"channel":0,"text":"hi","timestamp":"2026-03-01T09:30:00Z","isOutgoing":1})"));

    MeshMessage broken = m;
    broken.text = "\xff\xfe not utf-8";
    JsonWriter writer;
    encodeJson(writer, broken);
    EXPECT_TRUE(writer.failed());
}

}  // namespace
}  // namespace corvane
