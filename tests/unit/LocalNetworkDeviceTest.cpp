// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <tuple>
#include <vector>

#include <unicode/locid.h>

#include "core/LocalNetworkDevice.h"

namespace corvane {
namespace {

using Strings = std::vector<std::string>;

LocalNetworkDevice named(std::string name, Strings types = {}) {
    LocalNetworkDevice device;
    device.id = LocalNetworkDevice::identifier(name, "local.");
    device.name = std::move(name);
    device.domain = "local.";
    device.serviceTypes = std::move(types);
    return device;
}

TEST(LocalNetworkDevice, IdentifierFoldsCaseAndAccentsTheSameUnderEveryLocale) {
    const auto identifiers = [] {
        return Strings{LocalNetworkDevice::identifier("Café Speaker", "Local."),
                       LocalNetworkDevice::identifier("CAFE SPEAKER", "local."),
                       LocalNetworkDevice::identifier("IŞIK Printer", "LOCAL.")};
    };
    const Strings expected{"cafe speaker|local.", "cafe speaker|local.", "isik printer|local."};
    EXPECT_EQ(identifiers(), expected);
    // Turkish rules would lower "I" to a dotless "ı": the identifier must not
    // change with the user's language, or tracked devices would be lost.
    const icu::Locale previous = icu::Locale::getDefault();
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(icu::Locale("tr", "TR"), status);
    const char* previousC = std::setlocale(LC_ALL, "tr_TR.UTF-8");
    EXPECT_EQ(identifiers(), expected);
    if (previousC) std::setlocale(LC_ALL, "C");
    icu::Locale::setDefault(previous, status);
}

TEST(LocalNetworkDevice, RecordKeepsTypesAndInterfacesSortedWithoutDuplicates) {
    const Timestamp t0{}, t1 = t0 + std::chrono::seconds(5);
    auto device = named("Kitchen");
    device.record("_raop._tcp", "en0", t0);
    device.record("_airplay._tcp", "en1", t0);
    device.record("_airplay._tcp", "en0", t1);
    device.record("_ssh._tcp", std::nullopt, t1);
    device.record("_ssh._tcp", "", t1);
    EXPECT_EQ(device.serviceTypes, (Strings{"_airplay._tcp", "_raop._tcp", "_ssh._tcp"}));
    EXPECT_EQ(device.interfaceNames, (Strings{"en0", "en1"}));
    EXPECT_EQ(std::tuple(device.isOnline, device.lastSeen), std::tuple(true, std::optional(t1)));

    // As the file left them: unsorted, with a repeat.
    device.serviceTypes = {"_ssh._tcp", "_airplay._tcp", "_ssh._tcp"};
    device.record("_airplay._tcp", std::nullopt, t1);
    EXPECT_EQ(device.serviceTypes, (Strings{"_ssh._tcp", "_airplay._tcp", "_ssh._tcp"}));
    device.record("_smb._tcp", std::nullopt, t1);
    EXPECT_EQ(device.serviceTypes, (Strings{"_airplay._tcp", "_smb._tcp", "_ssh._tcp"}));
}

TEST(LocalNetworkDevice, KindNameRulesComeBeforeServiceRules) {
    using Kind = LocalNetworkDeviceKind;
    const std::vector<std::tuple<std::string, Strings, Kind>> cases{
        {"Kitchen", {"_raop._tcp"}, Kind::speaker},
        {"Kitchen", {"_raop._tcp", "_smb._tcp"}, Kind::storage},
        {"Kitchen", {"_ipps._tcp", "_smb._tcp"}, Kind::printer},
        {"Kitchen", {"_printer._tcp"}, Kind::printer},
        {"Kitchen", {"_workstation._tcp", "_smb._tcp"}, Kind::computer},
        {"Living Room Apple TV", {"_airplay._tcp"}, Kind::television},
        {"Living Room", {"_airplay._tcp"}, Kind::generic},
        {"Bob's MacBook Pro", {"_ipp._tcp"}, Kind::laptop},
        {"Mac Studio", {"_smb._tcp"}, Kind::computer},
        {"Bob's iMac", {}, Kind::computer},
        {"Office Mac", {}, Kind::computer},
        {"MAC mini", {}, Kind::computer},
        {"Mac", {}, Kind::generic},
        {"Machine Room", {}, Kind::generic},
        {"Küche HomePod", {"_smb._tcp"}, Kind::speaker},
    };
    for (const auto& [name, types, kind] : cases) {
        EXPECT_EQ(named(name, types).kind(), kind) << name;
    }
}

TEST(LocalNetworkDevice, ReadableNamesFromTableOrBuiltFromTheType) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {"_raop._tcp", "AirPlay audio"},          {"_ipps._tcp", "Printer"},
        {"_https._tcp", "Web service"},           {"_spotify-connect._tcp", "Spotify Connect"},
        {"_example_service._udp", "Example Service"}, {"_HTTP._tcp", "Http"},
        {"_mEDIA_sERVER._tcp._tcp", "Media Server"},  {"\t_x._udp", "X"},
    };
    for (const auto& [type, readable] : cases) EXPECT_EQ(LocalNetworkDevice::readableServiceName(type), readable);
    EXPECT_EQ(named("P", {"_ipp._tcp", "_ipps._tcp", "_airplay._tcp"}).serviceSummary(), "Printer, Printer, AirPlay");
    EXPECT_EQ(named("P").serviceSummary(), "");
}

TEST(LocalNetworkDevice, FileRoundTripKeepsEverythingButOnlineStateIncludingTheDistantPast) {
    auto seen = named("Living Room", {"_airplay._tcp"});
    seen.interfaceNames = {"eth0"};
    seen.lastSeen = Timestamp{} + std::chrono::microseconds(1'700'000'000'250'000);
    seen.isOnline = seen.isTracked = seen.lossAlertEnabled = true;
    seen.lossAlertDelay = 900;
    const auto never = named("Café \"/\" \\ x");
    const auto text = LocalNetworkDevice::encodeFile({seen, never});
    ASSERT_TRUE(text);
    EXPECT_EQ(text->find('\n'), std::string::npos);
    EXPECT_NE(text->find(R"("lastSeen":-63114076800,"isOnline":false,"isTracked":false,"lossAlertEnabled":false,)"
                         R"("lossAlertDelay":600})"),
              std::string::npos)
        << *text;
    auto offline = seen;
    offline.isOnline = false;
    EXPECT_EQ(LocalNetworkDevice::decodeFile(*text), (std::vector{offline, never}));
}

TEST(LocalNetworkDevice, DecodingFillsDefaultsRaisesShortDelaysAndRefusesRecordsWithoutIdentity) {
    const auto decoded = LocalNetworkDevice::decodeFile(
        R"([{"id":"a|local.","name":"A","domain":"local.","extra":1},)"
        R"({"id":"b|local.","name":"B","domain":"local.","lossAlertDelay":5,"serviceTypes":["_z._tcp","_a._tcp"]},)"
        R"({"id":"c|local.","name":"C","domain":"local.","lossAlertDelay":3600,"lastSeen":0,"isTracked":true}])");
    ASSERT_TRUE(decoded);
    ASSERT_EQ(decoded->size(), 3u);
    auto plain = named("A");
    plain.id = "a|local.";
    EXPECT_EQ((*decoded)[0], plain);
    EXPECT_EQ(std::tuple((*decoded)[1].lossAlertDelay, (*decoded)[1].serviceTypes),
              std::tuple(60.0, Strings{"_z._tcp", "_a._tcp"}));
    EXPECT_EQ(std::tuple((*decoded)[2].lossAlertDelay, (*decoded)[2].isTracked, (*decoded)[2].lastSeen),
              std::tuple(3600.0, true, fromSecondsSinceReferenceDate(0)));
    for (const char* bad : {R"([{"id":"a","domain":"local."}])", R"([{"id":"a","name":"A"}])",
                            R"([{"id":"a","name":"A","domain":"local.","isTracked":"yes"}])", R"({})", "not json"}) {
        EXPECT_FALSE(LocalNetworkDevice::decodeFile(bad)) << bad;
    }
}

}  // namespace
}  // namespace corvane
