// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "headless/HeadlessOptions.h"

namespace corvane {
namespace {

Result<HeadlessOptions, std::string> parse(std::vector<std::string> arguments) {
    return HeadlessOptions::parse(arguments);
}

TEST(HeadlessOptions, NodeNumbersInDecimalOrBangHex) {
    EXPECT_EQ(HeadlessOptions::parseNodeNumber("186443169"), 186443169u);
    EXPECT_EQ(HeadlessOptions::parseNodeNumber("!0b1ce5a1"), 0x0B1CE5A1u);
    EXPECT_EQ(HeadlessOptions::parseNodeNumber("!FFFFFFFF"), 4294967295u);
    EXPECT_EQ(HeadlessOptions::parseNodeNumber("4294967295"), 4294967295u);
    for (const char* bad : {"", "!", "!0b1ce5a", "!0b1ce5a10", "4294967296", "-1", "12ab", "0x10", " 12", "!0b1ce5g1"}) {
        EXPECT_FALSE(HeadlessOptions::parseNodeNumber(bad)) << bad;
    }
}

TEST(HeadlessOptions, RadioIsADevicePathOrANetworkRadio) {
    EXPECT_EQ(parse({"--radio", "/dev/ttyACM0"})->radio, "/dev/ttyACM0");
    EXPECT_EQ(parse({"--radio", "tcp:192.168.1.20"})->radio, "tcp:192.168.1.20");
    EXPECT_EQ(parse({"--radio", "tcp:meshtastic.local:4404"})->radio, "tcp:meshtastic.local:4404");
    EXPECT_EQ(parse({"--radio", "tcp:[fe80::2]:4403"})->radio, "tcp:[fe80::2]:4403");
    EXPECT_EQ(parse({"--radio", "tcp:fe80::2"})->radio, "tcp:[fe80::2]");
    EXPECT_FALSE(parse({"--mark"})->radio);
    EXPECT_EQ(parse({"--radio"}).error(), "--radio needs a device path or tcp:HOST[:PORT]");
    EXPECT_EQ(parse({"--radio", "ttyACM0"}).error(), "not a device path or tcp:HOST[:PORT]: ttyACM0");
    EXPECT_EQ(parse({"--radio", "tcp:"}).error(), "Enter the radio's host name or address.");
    EXPECT_EQ(parse({"--radio", "tcp:host:0"}).error(), "The port must be a number from 1 to 65535.");
    EXPECT_EQ(parse({"--radio", "tcp:host:65536"}).error(), "The port must be a number from 1 to 65535.");
    EXPECT_EQ(parse({"--radio", "tcp:host:44a"}).error(), "The port must be a number from 1 to 65535.");
    EXPECT_EQ(parse({"--radio", "tcp:bad_name"}).error(), "Not a host name or address: bad_name");
    EXPECT_EQ(parse({"--radio", "tcp:-a.b"}).error(), "Not a host name or address: -a.b");
    EXPECT_EQ(parse({"--radio", "tcp:a..b"}).error(), "Not a host name or address: a..b");
    EXPECT_EQ(parse({"--radio", "tcp:[fe80::2"}).error(), "Not a network radio address: tcp:[fe80::2");
    EXPECT_EQ(parse({"--radio", "tcp:host:65535"})->radio, "tcp:host:65535");
    EXPECT_EQ(parse({"--radio", "tcp:h:1"})->radio, "tcp:h:1");
}

TEST(HeadlessOptions, ParsesTheCommandLineAndRefusesTheUnknown) {
    const auto options = parse({"--headless", "--guard", "!0b1ce5a1", "--mark"});
    ASSERT_TRUE(options);
    EXPECT_TRUE(options->headless);
    EXPECT_TRUE(options->mark);
    EXPECT_FALSE(options->demo);
    EXPECT_EQ(options->guard, 0x0B1CE5A1u);
    EXPECT_EQ(parse({"--guard=12"})->guard, 12u);
    EXPECT_EQ(parse({"--send", "--mark"})->send, "--mark");
    EXPECT_FALSE(parse({"--mark"})->send);
    EXPECT_EQ(parse({"--headless", "--version"})->action, HeadlessOptions::Action::version);
    EXPECT_EQ(parse({"--help"})->action, HeadlessOptions::Action::help);

    EXPECT_EQ(parse({"--bogus"}).error(), "unknown option: --bogus");
    EXPECT_EQ(parse({"--guard"}).error(), "--guard needs a node number");
    EXPECT_EQ(parse({"--send"}).error(), "--send needs a text");
    EXPECT_EQ(parse({"--guard", "bike"}).error(), "not a node number: bike");
    EXPECT_FALSE(parse({"headless"}));

    const auto bluetooth = parse({"--track-bluetooth", "546121c6-9763-5103-85dd-bae6d703725a", "--bluetooth",
                                  "--track-bluetooth", "00000000-0000-4000-8000-000000000001"});
    ASSERT_TRUE(bluetooth);
    EXPECT_TRUE(bluetooth->bluetooth);
    ASSERT_EQ(bluetooth->trackBluetooth.size(), 2u);
    EXPECT_EQ(bluetooth->trackBluetooth[0].string(), "546121C6-9763-5103-85DD-BAE6D703725A");
    EXPECT_EQ(parse({"--track-bluetooth"}).error(), "--track-bluetooth needs a device identifier");
    EXPECT_EQ(parse({"--track-bluetooth", "keys"}).error(), "not a device identifier: keys");
}

TEST(HeadlessOptions, TrackedNetworkDevicesRepeatAndTurnBrowsingOn) {
    EXPECT_TRUE(parse({"--network"})->network);
    const auto options = parse({"--track-network", "Office Printer", "--track-network=NAS"});
    ASSERT_TRUE(options);
    EXPECT_TRUE(options->network);
    EXPECT_EQ(options->trackNetwork, (std::vector<std::string>{"Office Printer", "NAS"}));
    EXPECT_EQ(parse({"--track-network"}).error(), "--track-network needs a device name");
}

TEST(HeadlessOptions, PhoneTakesTheNextArgumentWhateverItLooksLike) {
    EXPECT_EQ(parse({"--phone", "Pixel 7", "--demo"})->phone, "Pixel 7");
    EXPECT_EQ(parse({"--phone", "--demo"})->phone, "--demo");
    EXPECT_FALSE(parse({"--demo"})->phone);
    EXPECT_EQ(parse({"--phone"}).error(), "--phone needs a device id or name");
    EXPECT_EQ(parse({"--phone", ""}).error(), "--phone needs a device id or name");
}

}  // namespace
}  // namespace corvane
