#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <numbers>

#include "core/BicycleMovementDetector.h"
#include "core/GuardProfile.h"
#include "core/MeshMath.h"
#include "core/MeshtasticSerialPort.h"

namespace corvane {

void PrintTo(const BicycleMovementResult& result, std::ostream* out) { *out << result.description(); }

namespace {

using namespace std::chrono_literals;
using Kind = BicycleMovementResult::Kind;

const Timestamp kMarkedAt = Timestamp{} + 800'000'000s;

MeshPosition at(double latitude, double longitude, Timestamp timestamp = kMarkedAt) {
    MeshPosition position;
    position.nodeNumber = 0x1234;
    position.latitude = latitude;
    position.longitude = longitude;
    position.timestamp = timestamp;
    return position;
}

const MeshPosition kParked = at(52.52, 13.405);

// A fix `metres` due north of the mark, `seconds` after it. On a meridian the
// haversine distance is the radius times the latitude difference.
MeshPosition northOfMark(double metres, int seconds) {
    const double degrees = metres / 6371000.0 * 180.0 / std::numbers::pi;
    return at(kParked.latitude + degrees, kParked.longitude, kMarkedAt + std::chrono::seconds(seconds));
}

void expectResult(const BicycleMovementResult& result, Kind kind, double distance, int count = 0,
                  int required = 0) {
    EXPECT_EQ(result.kind(), kind) << result.description();
    EXPECT_NEAR(result.distance(), distance, 1e-6) << result.description();
    EXPECT_EQ(result.count(), count) << result.description();
    EXPECT_EQ(result.required(), required) << result.description();
}

TEST(MeshMath, HaversineOnTheMeanEarthSphere) {
    EXPECT_NEAR(MeshMath::distanceMeters(at(0, 0), at(0.001, 0)), 111.19, 0.005);
    EXPECT_NEAR(MeshMath::distanceMeters(at(47.0, 8.0), at(47.001, 8.0)), 111.19, 0.005);
    EXPECT_EQ(MeshMath::distanceMeters(kParked, kParked), 0.0);

    // Symmetric, altitude plays no part, and a quarter meridian is a quarter
    // of the 12742000 m diameter's circumference.
    MeshPosition high = at(47.001, 8.002);
    high.altitude = 3000;
    EXPECT_DOUBLE_EQ(MeshMath::distanceMeters(at(47.0, 8.0), high), MeshMath::distanceMeters(high, at(47.0, 8.0)));
    EXPECT_NEAR(MeshMath::distanceMeters(at(0, 0), at(90, 0)), 12742000.0 * std::numbers::pi / 4, 1e-3);
    // Across the antimeridian the short way round counts.
    EXPECT_NEAR(MeshMath::distanceMeters(at(0, 179.9995), at(0, -179.9995)), 111.19, 0.005);

    EXPECT_TRUE(std::isnan(MeshMath::distanceMeters(kParked, at(std::nan(""), 13.405))));
}

TEST(BicycleMovementDetector, ConstructionKeepsAtLeastTwoOutsideFixes) {
    EXPECT_EQ(BicycleMovementDetector().requiredOutsidePositions(), 2);
    for (const int requested : {-4, 0, 1, 2}) {
        EXPECT_EQ(BicycleMovementDetector(requested).requiredOutsidePositions(), 2) << requested;
    }
    EXPECT_EQ(BicycleMovementDetector(3).requiredOutsidePositions(), 3);
    EXPECT_EQ(BicycleMovementDetector(5).requiredOutsidePositions(), 5);

    const BicycleMovementDetector fresh(2);
    EXPECT_EQ(fresh.outsideCount(), 0);
    EXPECT_FALSE(fresh.lastCoordinate().has_value());
}

TEST(BicycleMovementDetector, ConfirmsMovementAfterARunOfOutsideFixes) {
    BicycleMovementDetector detector(2);
    expectResult(detector.evaluate(northOfMark(80, 10), kParked, 75), Kind::confirming, 80, 1, 2);
    expectResult(detector.evaluate(northOfMark(90, 20), kParked, 75), Kind::moved, 90);
    // Once moved, every further outside fix is movement again.
    expectResult(detector.evaluate(northOfMark(100, 30), kParked, 75), Kind::moved, 100);
    EXPECT_EQ(detector.outsideCount(), 3);
    // An inside fix ends the run.
    expectResult(detector.evaluate(northOfMark(10, 40), kParked, 75), Kind::inside, 10);
    EXPECT_EQ(detector.outsideCount(), 0);

    BicycleMovementDetector longer(3);
    expectResult(longer.evaluate(northOfMark(80, 10), kParked, 75), Kind::confirming, 80, 1, 3);
    expectResult(longer.evaluate(northOfMark(81, 20), kParked, 75), Kind::confirming, 81, 2, 3);
    expectResult(longer.evaluate(northOfMark(82, 30), kParked, 75), Kind::moved, 82);
}

TEST(BicycleMovementDetector, InsideFixBreaksTheRun) {
    BicycleMovementDetector detector;
    expectResult(detector.evaluate(northOfMark(80, 10), kParked, 75), Kind::confirming, 80, 1, 2);
    expectResult(detector.evaluate(northOfMark(50, 20), kParked, 75), Kind::inside, 50);
    expectResult(detector.evaluate(northOfMark(80, 30), kParked, 75), Kind::confirming, 80, 1, 2);
}

TEST(BicycleMovementDetector, BoundaryAndUnmeasurableDistancesCountAsInside) {
    BicycleMovementDetector detector;
    const MeshPosition fix = northOfMark(75, 10);
    const double radius = MeshMath::distanceMeters(kParked, fix);
    EXPECT_EQ(detector.evaluate(fix, kParked, radius), BicycleMovementResult::inside(radius));

    const auto nanResult = detector.evaluate(at(std::nan(""), 13.405, kMarkedAt + 20s), kParked, 75);
    EXPECT_EQ(nanResult.kind(), Kind::inside);
    EXPECT_TRUE(std::isnan(nanResult.distance()));
    EXPECT_EQ(detector.outsideCount(), 0);
}

TEST(BicycleMovementDetector, IgnoresFixesNotNewerThanTheMarkWithoutTouchingState) {
    BicycleMovementDetector detector;
    expectResult(detector.evaluate(northOfMark(80, 10), kParked, 75), Kind::confirming, 80, 1, 2);
    const auto before = detector.lastCoordinate();

    MeshPosition sameTime = northOfMark(200, 0);
    EXPECT_EQ(detector.evaluate(sameTime, kParked, 75), BicycleMovementResult::ignored());
    MeshPosition older = northOfMark(200, -60);
    EXPECT_EQ(detector.evaluate(older, kParked, 75), BicycleMovementResult::ignored());
    EXPECT_EQ(detector.lastCoordinate(), before);
    EXPECT_EQ(detector.outsideCount(), 1);

    // One nanosecond later than the mark is newer.
    MeshPosition justAfter = northOfMark(200, 0);
    justAfter.timestamp += 1ns;
    EXPECT_EQ(detector.evaluate(justAfter, kParked, 75).kind(), Kind::moved);
}

TEST(BicycleMovementDetector, RepeatedCoordinatesNeitherCountNorBreakTheRun) {
    BicycleMovementDetector detector;
    const MeshPosition fix = northOfMark(80, 10);
    expectResult(detector.evaluate(fix, kParked, 75), Kind::confirming, 80, 1, 2);
    MeshPosition again = fix;
    again.timestamp += 30s;
    EXPECT_EQ(detector.evaluate(again, kParked, 75), BicycleMovementResult::ignored());
    EXPECT_EQ(detector.outsideCount(), 1);

    // The smallest change of a coordinate is a new fix.
    MeshPosition nudged = again;
    nudged.longitude = std::nextafter(nudged.longitude, 180.0);
    EXPECT_EQ(detector.evaluate(nudged, kParked, 75).kind(), Kind::moved);
    EXPECT_EQ(detector.outsideCount(), 2);
    ASSERT_TRUE(detector.lastCoordinate().has_value());
    EXPECT_EQ(detector.lastCoordinate()->longitude, nudged.longitude);
}

TEST(BicycleMovementDetector, ResetForgetsTheRunAndTheLastCoordinate) {
    BicycleMovementDetector detector;
    const MeshPosition fix = northOfMark(80, 10);
    detector.evaluate(fix, kParked, 75);
    detector.evaluate(northOfMark(90, 20), kParked, 75);
    detector.evaluate(fix, kParked, 75);
    EXPECT_EQ(detector.outsideCount(), 3);

    detector.reset();
    EXPECT_EQ(detector.outsideCount(), 0);
    EXPECT_FALSE(detector.lastCoordinate().has_value());
    // The same coordinates are no longer a repeat, and the run starts over.
    expectResult(detector.evaluate(fix, kParked, 75), Kind::confirming, 80, 1, 2);
}

TEST(BicycleMovementResult, EqualityCoversCaseAndPayload) {
    using R = BicycleMovementResult;
    EXPECT_EQ(R::inside(5), R::inside(5));
    EXPECT_NE(R::inside(5), R::inside(6));
    EXPECT_NE(R::inside(5), R::moved(5));
    EXPECT_EQ(R::confirming(80, 1, 2), R::confirming(80, 1, 2));
    EXPECT_NE(R::confirming(80, 1, 2), R::confirming(80, 1, 3));
    EXPECT_NE(R::confirming(80, 1, 2), R::confirming(80, 2, 2));
    EXPECT_NE(R::ignored(), R::inside(0));
    EXPECT_EQ(R::confirming(80, 1, 2).description(), "confirming(80.0, 1, 2)");
}

TEST(GuardProfile, RawValuesTitlesAndSymbols) {
    ASSERT_EQ(kAllGuardProfiles.size(), 2u);
    EXPECT_EQ(kAllGuardProfiles[0], GuardProfile::general);
    EXPECT_EQ(kAllGuardProfiles[1], GuardProfile::bicycle);
    EXPECT_EQ(rawValue(GuardProfile::general), "general");
    EXPECT_EQ(title(GuardProfile::general), "General");
    EXPECT_EQ(systemImage(GuardProfile::general), "shield.checkered");
    EXPECT_EQ(rawValue(GuardProfile::bicycle), "bicycle");
    EXPECT_EQ(title(GuardProfile::bicycle), "Bicycle");
    EXPECT_EQ(systemImage(GuardProfile::bicycle), "bicycle");
    for (const auto profile : kAllGuardProfiles) EXPECT_EQ(guardProfileFromRaw(rawValue(profile)), profile);
    EXPECT_FALSE(guardProfileFromRaw("Bicycle").has_value());
    EXPECT_FALSE(guardProfileFromRaw("").has_value());
}

TEST(MeshtasticSerialPort, AcceptsUsbSerialNamesOnly) {
    for (const char* name : {"cu.usbmodem1101", "cu.usbserial-0001", "cu.SLAB_USBtoUART", "cu.wchusbserial1410",
                             "cu.usbmodem", "ttyACM0", "ttyUSB0", "ttyUSB12"}) {
        EXPECT_TRUE(MeshtasticSerialPort::isSupportedDeviceName(name)) << name;
    }
    for (const char* name : {"tty.usbmodem1101", "cu.Bluetooth-Incoming-Port", "cu.USBMODEM1", "", "ttyS0",
                             "ttyacm0", "/dev/ttyACM0", "cu.usbmode", "ttyAMA0", "usbmodem"}) {
        EXPECT_FALSE(MeshtasticSerialPort::isSupportedDeviceName(name)) << name;
    }
}

}  // namespace
}  // namespace corvane
