// SPDX-License-Identifier: GPL-3.0-or-later
// The Bluetooth records of the core: the proximity estimator's windows,
// medians and band limits, the tracked-devices file and the delay wording.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "core/BluetoothProximityEstimator.h"
#include "core/LossDelayDescription.h"
#include "core/TrackedBluetoothDeviceFile.h"

namespace corvane {
namespace {

using Band = BluetoothProximityBand;
using Trend = BluetoothProximityTrend;

std::optional<BluetoothProximitySnapshot> feed(BluetoothProximityEstimator& estimator, const std::vector<int>& readings) {
    std::optional<BluetoothProximitySnapshot> last;
    for (const int rssi : readings) last = estimator.add(rssi);
    return last;
}

TEST(BluetoothProximityEstimatorTest, RejectsReadingsOutsideTheUsableRangeWithoutKeepingThem) {
    BluetoothProximityEstimator estimator;
    for (const int bad : {0, 127, -128, 1}) EXPECT_FALSE(estimator.add(bad)) << bad;
    EXPECT_TRUE(estimator.values().empty());
    EXPECT_EQ(estimator.add(-127)->sampleCount, 1);
    EXPECT_EQ(estimator.add(-1)->sampleCount, 2);
}

TEST(BluetoothProximityEstimatorTest, SmoothsWithTheMedianAndComparesTheOldestFiveForTheTrend) {
    struct Case {
        const char* what;
        std::vector<int> readings;
        BluetoothProximitySnapshot expected;
    };
    const std::vector<Case> cases = {
        {"first reading", {-70}, {-70, -70.0, Trend::acquiring, Band::fartherAway, 1}},
        {"even count takes the mean of the middle two", {-60, -70}, {-70, -65.0, Trend::acquiring, Band::nearby, 2}},
        {"five readings are both groups", {-50, -90, -40, -100, -30}, {-30, -50.0, Trend::steady, Band::veryClose, 5}},
        {"six readings overlap", {-90, -90, -90, -40, -40, -40}, {-40, -40.0, Trend::warmer, Band::veryClose, 6}},
        {"new median still the old one", {-80, -80, -80, -80, -80, -80, -80, -80, -80, -80, -60, -60},
         {-60, -80.0, Trend::steady, Band::weak, 10}},
        {"window slides and the trend turns", {-80, -80, -80, -80, -80, -80, -80, -80, -80, -80, -60, -60, -60},
         {-60, -60.0, Trend::warmer, Band::nearby, 10}},
        {"exactly +4 dB is warmer", {-70, -70, -70, -70, -70, -66, -66, -66, -66, -66},
         {-66, -66.0, Trend::warmer, Band::fartherAway, 10}},
        {"exactly -4 dB is colder", {-70, -70, -70, -70, -70, -74, -74, -74, -74, -74},
         {-74, -74.0, Trend::colder, Band::fartherAway, 10}},
        {"3 dB is steady", {-70, -70, -70, -70, -70, -67, -67, -67, -67, -67},
         {-67, -67.0, Trend::steady, Band::fartherAway, 10}},
    };
    for (const auto& c : cases) {
        BluetoothProximityEstimator estimator(10);
        EXPECT_EQ(feed(estimator, c.readings), c.expected) << c.what;
    }
}

TEST(BluetoothProximityEstimatorTest, BandLimitsAreInclusiveOnTheStrongSide) {
    const std::vector<std::pair<double, Band>> cases = {
        {-49.5, Band::veryClose}, {-50.0, Band::veryClose}, {-50.5, Band::nearby}, {-65.0, Band::nearby},
        {-65.5, Band::fartherAway}, {-78.0, Band::fartherAway}, {-78.5, Band::weak}, {std::nan(""), Band::weak}};
    for (const auto& [rssi, band] : cases) EXPECT_EQ(bluetoothProximityBand(rssi), band) << rssi;
}

TEST(BluetoothProximityEstimatorTest, SmallWindowsHoldFourAndResetStartsOver) {
    BluetoothProximityEstimator estimator(2);
    EXPECT_EQ(feed(estimator, {-40, -41, -42, -43, -44, -45})->sampleCount, 4);
    EXPECT_EQ(estimator.values(), (std::vector<double>{-42, -43, -44, -45}));
    estimator.reset();
    EXPECT_EQ(estimator.add(-90), (BluetoothProximitySnapshot{-90, -90.0, Trend::acquiring, Band::weak, 1}));
}

TEST(LossDelayDescriptionTest, WordsTheRoundedDelayWithTheSingularOnlyAtExactUnits) {
    const std::vector<std::pair<double, const char*>> cases = {
        {15, "15 seconds"},  {59.4, "59 seconds"}, {59.6, "1 minute"},  {60, "1 minute"},   {90, "1 minutes"},
        {120, "2 minutes"},  {3599, "59 minutes"}, {3600, "1 hour"},    {5400, "1 hours"},  {7200, "2 hours"},
        {86400, "1 day"},    {172800, "2 days"},   {1e300, "104166666666666 days"}};
    for (const auto& [seconds, text] : cases) EXPECT_EQ(lossDelayDescription(seconds), text) << seconds;
}

class TrackedBluetoothDeviceFileTest : public ::testing::Test {
protected:
    ~TrackedBluetoothDeviceFileTest() override { std::filesystem::remove_all(folder_); }
    static std::string makeFolder() {
        std::string pattern = "/tmp/corvane-bluetooth-XXXXXX";
        return ::mkdtemp(pattern.data());
    }
    const std::string folder_ = makeFolder();
    const std::string path_ = folder_ + "/Corvane/tracked-bluetooth-devices.json";
};

TrackedBluetoothDevice sampleDevice() {
    return {.id = *Uuid::parse("0a1b2c3d-0000-4000-8000-00000000beef"),
            .name = "Keys",
            .discoveredName = "Tile/1",
            .addedAt = *fromSecondsSinceReferenceDate(0.5),
            .lastSeen = *fromSecondsSinceReferenceDate(800000000.25),
            .lastRSSI = -67,
            .latitude = 52.5,
            .longitude = 13.25,
            .lossAlertEnabled = true,
            .lossAlertDelay = 60};
}

TEST_F(TrackedBluetoothDeviceFileTest, WritesTheCompactFormAndReadsItBack) {
    auto located = sampleDevice();
    auto unlocated = sampleDevice();
    unlocated.id = Uuid::random();
    unlocated.latitude.reset();
    unlocated.longitude.reset();
    const auto text = encodeTrackedBluetoothDevices({located});
    EXPECT_EQ(text, R"([{"id":"0A1B2C3D-0000-4000-8000-00000000BEEF","name":"Keys","discoveredName":"Tile\/1",)"
                    R"("addedAt":0.5,"lastSeen":800000000.25,"lastRSSI":-67,"latitude":52.5,"longitude":13.25,)"
                    R"("lossAlertEnabled":true,"lossAlertDelay":60}])");

    // A coordinate alone is never written.
    unlocated.latitude = 1.0;
    const auto both = encodeTrackedBluetoothDevices({located, unlocated});
    EXPECT_EQ(both->find("\"latitude\":1"), std::string::npos);
    unlocated.latitude.reset();

    TrackedBluetoothDeviceFile file(path_);
    ASSERT_TRUE(file.save({located, unlocated}));
    EXPECT_EQ(TrackedBluetoothDeviceFile(path_).load(), (std::vector{located, unlocated}));
}

TEST_F(TrackedBluetoothDeviceFileTest, RequiredKeysDecideTheWholeFileAndAlertKeysDefault) {
    const std::string base = R"("id":"0A1B2C3D-0000-4000-8000-00000000BEEF","name":"K","discoveredName":"K",)"
                             R"("addedAt":1,"lastSeen":2)";
    const auto defaults = decodeTrackedBluetoothDevices("[{" + base + R"(,"lastRSSI":-50}])");
    ASSERT_TRUE(defaults);
    EXPECT_EQ(std::pair(defaults->at(0).lossAlertEnabled, defaults->at(0).lossAlertDelay), std::pair(false, 30.0));
    const auto shortDelay = decodeTrackedBluetoothDevices("[{" + base + R"(,"lastRSSI":-50,"lossAlertDelay":5}])");
    EXPECT_EQ(shortDelay->at(0).lossAlertDelay, 15.0);
    for (const std::string& bad : std::vector<std::string>{"[{" + base + "}]", "[{" + base + R"(,"lastRSSI":"-50"}])", "{}",
                                  "[{" + base + R"(,"lastRSSI":-50},{"id":"x"}])"}) {
        EXPECT_FALSE(decodeTrackedBluetoothDevices(bad)) << bad;
    }
}

TEST_F(TrackedBluetoothDeviceFileTest, AnUndecodableFileLoadsEmptyAndIsKeptAsideAtTheNextSave) {
    std::filesystem::create_directories(folder_ + "/Corvane");
    std::ofstream(path_) << R"([{"id":"0A1B2C3D-0000-4000-8000-00000000BEEF"}])";
    TrackedBluetoothDeviceFile file(path_);
    EXPECT_TRUE(file.load().empty());
    ASSERT_TRUE(file.save({sampleDevice()}));
    int kept = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder_ + "/Corvane")) {
        if (entry.path().filename().string().starts_with("tracked-bluetooth-devices.json.corrupt-")) {
            std::stringstream text;
            text << std::ifstream(entry.path()).rdbuf();
            EXPECT_EQ(text.str(), R"([{"id":"0A1B2C3D-0000-4000-8000-00000000BEEF"}])");
            ++kept;
        }
    }
    EXPECT_EQ(kept, 1);
    EXPECT_EQ(file.load(), std::vector{sampleDevice()});
}

}  // namespace
}  // namespace corvane
