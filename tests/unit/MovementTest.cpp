// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "core/BicycleMovementDetector.h"
#include "core/MeshMath.h"
#include "core/MeshtasticSerialPort.h"

namespace corvane {

void PrintTo(const BicycleMovementResult& result, std::ostream* out) { *out << result.description(); }

namespace {

using namespace std::chrono_literals;
using R = BicycleMovementResult;

const Timestamp kMarkedAt = Timestamp{} + 800'000'000s;

MeshPosition at(double latitude, double longitude, Timestamp timestamp = kMarkedAt) {
    return {.id = {}, .latitude = latitude, .longitude = longitude, .altitude = {}, .timestamp = timestamp, .precisionBits = {}};
}

const MeshPosition kParked = at(52.52, 13.405);

// `metres` due north of the mark, `seconds` after it: on a meridian, radius times latitude difference.
MeshPosition north(double metres, int seconds) {
    const double degrees = metres / 6371000.0 * 180.0 / std::numbers::pi;
    return at(kParked.latitude + degrees, kParked.longitude, kMarkedAt + std::chrono::seconds(seconds));
}

// Feeds fixes north of the mark, 10 s apart, radius 75 m; distances compared to a micrometre.
void play(BicycleMovementDetector& detector, std::initializer_list<std::pair<double, R>> steps, int seconds = 0) {
    for (const auto& [metres, want] : steps) {
        const R got = detector.evaluate(north(metres, seconds += 10), kParked, 75);
        EXPECT_TRUE(got.kind() == want.kind() && got.count() == want.count() && got.required() == want.required() &&
                    std::abs(got.distance() - want.distance()) < 1e-6) << metres << " m: " << got.description();
    }
}

TEST(MeshMath, HaversineOnTheMeanEarthSphere) {
    // A thousandth of a degree of latitude anywhere, the short way round across the antimeridian.
    for (const auto& [a, b] : {std::pair(at(0, 0), at(0.001, 0)), std::pair(at(47.0, 8.0), at(47.001, 8.0)),
                               std::pair(at(0, 179.9995), at(0, -179.9995))}) {
        EXPECT_NEAR(MeshMath::distanceMeters(a, b), 111.19, 0.005);
    }
    EXPECT_EQ(MeshMath::distanceMeters(kParked, kParked), 0.0);
    // Symmetric, altitude plays no part, a quarter meridian is a quarter of the 12742000 m diameter's circumference.
    const MeshPosition high{.id = {}, .latitude = 47.001, .longitude = 8.002, .altitude = 3000.0, .timestamp = {}, .precisionBits = {}};
    EXPECT_DOUBLE_EQ(MeshMath::distanceMeters(at(47.0, 8.0), high), MeshMath::distanceMeters(high, at(47.0, 8.0)));
    EXPECT_NEAR(MeshMath::distanceMeters(at(0, 0), at(90, 0)), 12742000.0 * std::numbers::pi / 4, 1e-3);
    EXPECT_TRUE(std::isnan(MeshMath::distanceMeters(kParked, at(std::nan(""), 13.405))));
    // Both coordinates differ: figures from the angle between the points' unit vectors, to a millimetre.
    EXPECT_NEAR(MeshMath::distanceMeters(kParked, at(48.137154, 11.576124)), 504300.8106, 1e-3);
    EXPECT_NEAR(MeshMath::distanceMeters(at(-33.8688, 151.2093), at(51.5074, -0.1278)), 16993933.4598, 1e-3);
}

TEST(MeshMath, PrecisionBoxSideFromTheKeptBits) {
    // 2^(32-N) steps of 1e-7 degree of latitude.
    EXPECT_NEAR(MeshMath::precisionBoxMeters(16), 0.0065536 * 111194.93, 0.01);
    EXPECT_NEAR(MeshMath::precisionBoxMeters(31), 2e-7 * 111194.93, 1e-4);
    EXPECT_NEAR(MeshMath::precisionBoxMeters(0), MeshMath::precisionBoxMeters(1), 0);
    EXPECT_EQ(MeshMath::precisionBoxMeters(32), 0.0);
    MeshPosition boxed = kParked;
    EXPECT_EQ(MeshMath::precisionBoxMeters(boxed), 0.0);
    boxed.precisionBits = 13;
    EXPECT_NEAR(MeshMath::precisionBoxMeters(boxed), 5829.8, 0.1);
}

TEST(BicycleMovementDetector, ConfirmsARunOfAtLeastTwoOutsideFixesAndAnInsideFixBreaksIt) {
    for (const auto& [asked, kept] : std::initializer_list<std::pair<int, int>>{{-4, 2}, {0, 2}, {1, 2}, {2, 2}, {3, 3}, {5, 5}})
        EXPECT_EQ(BicycleMovementDetector(asked).requiredOutsidePositions(), kept) << asked;
    BicycleMovementDetector detector(2);
    EXPECT_FALSE(detector.lastCoordinate().has_value());
    // Once moved, every further outside fix is movement again.
    play(detector, {{80, R::confirming(80, 1, 2)}, {90, R::moved(90)}, {100, R::moved(100)}});
    EXPECT_EQ(detector.outsideCount(), 3);
    play(detector, {{10, R::inside(10)}, {80, R::confirming(80, 1, 2)}}, 30);
    BicycleMovementDetector longer(3);
    play(longer, {{80, R::confirming(80, 1, 3)}, {81, R::confirming(81, 2, 3)}, {82, R::moved(82)}});

    // The boundary itself and an unmeasurable distance count as inside.
    const double radius = MeshMath::distanceMeters(kParked, north(75, 10));
    EXPECT_EQ(longer.evaluate(north(75, 50), kParked, radius), R::inside(radius));
    play(longer, {{80, R::confirming(80, 1, 3)}}, 50);
    const auto unmeasurable = longer.evaluate(at(std::nan(""), 13.405, kMarkedAt + 70s), kParked, 75);
    EXPECT_TRUE(unmeasurable.kind() == R::Kind::inside && std::isnan(unmeasurable.distance()));
    EXPECT_EQ(longer.outsideCount(), 0);
}

TEST(BicycleMovementDetector, StaleFixesAndRepeatedCoordinatesAreIgnoredWithoutTouchingTheRun) {
    BicycleMovementDetector detector;
    play(detector, {{80, R::confirming(80, 1, 2)}});
    const auto before = detector.lastCoordinate();
    const MeshPosition repeat = at(north(80, 0).latitude, kParked.longitude, kMarkedAt + 40s);
    for (const MeshPosition& fix : {north(200, 0), north(200, -60), repeat})
        EXPECT_EQ(detector.evaluate(fix, kParked, 75), R::ignored());
    EXPECT_EQ(std::pair(detector.lastCoordinate(), detector.outsideCount()), std::pair(before, 1));

    // One nanosecond later than the mark is newer; the smallest change of a coordinate is a new fix.
    MeshPosition justAfter = north(80, 0);
    justAfter.timestamp += 1ns;
    justAfter.longitude = std::nextafter(justAfter.longitude, 180.0);
    EXPECT_EQ(detector.evaluate(justAfter, kParked, 75).kind(), R::Kind::moved);
    EXPECT_EQ(detector.lastCoordinate(), (BicycleMovementDetector::Coordinate{justAfter.latitude, justAfter.longitude}));

    // Reset forgets the run and the last coordinate: the same fix is no longer a repeat.
    detector.reset();
    EXPECT_FALSE(detector.lastCoordinate().has_value());
    justAfter.timestamp += 60s;
    EXPECT_EQ(detector.evaluate(justAfter, kParked, 75).kind(), R::Kind::confirming);
    EXPECT_EQ(detector.outsideCount(), 1);
}

TEST(MeshtasticSerialPort, AcceptsUsbSerialNamesOnly) {
    for (const char* name : {"cu.usbmodem1101", "cu.usbserial-0001", "cu.SLAB_USBtoUART", "cu.wchusbserial1410",
                             "cu.usbmodem", "ttyACM0", "ttyUSB0", "ttyUSB12"})
        EXPECT_TRUE(MeshtasticSerialPort::isSupportedDeviceName(name)) << name;
    for (const char* name : {"tty.usbmodem1101", "cu.Bluetooth-Incoming-Port", "cu.USBMODEM1", "", "ttyS0",
                             "ttyacm0", "/dev/ttyACM0", "cu.usbmode", "ttyAMA0", "usbmodem"})
        EXPECT_FALSE(MeshtasticSerialPort::isSupportedDeviceName(name)) << name;
}

}  // namespace
}  // namespace corvane
