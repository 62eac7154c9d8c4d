// SPDX-License-Identifier: GPL-3.0-or-later
// Exported tracks against the GPX 1.1 schema, checked by xmllint.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/TrackExport.h"
#include "core/PrivateFile.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;

bool validates(const std::string& path) {
    const std::string command = "xmllint --noout --schema '" CORVANE_GPX_SCHEMA "' '" + path + "' 2>/dev/null";
    return std::system(command.c_str()) == 0;
}

TEST(GpxSchemaTest, ExportedTrackValidatesAndHoldsOnlyTheNodesFixes) {
    const auto folder = std::filesystem::temp_directory_path() / ("corvane-gpx-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "track.gpx").string();
    const Timestamp start = Timestamp{} + 1772357400s;
    std::vector<MeshPosition> history;
    for (int i = 0; i < 4; ++i) {
        history.push_back({.id = Uuid::random(), .nodeNumber = i == 2 ? 8u : 7u, .latitude = -89.9999999 + i * 0.00001,
                           .longitude = 179.99999 + i * 0.00001, .altitude = i == 1 ? std::optional(-12) : std::nullopt,
                           .timestamp = start + std::chrono::seconds(i), .precisionBits = std::nullopt});
    }
    history.push_back({.id = Uuid::random(), .nodeNumber = 7, .latitude = 1e-7, .longitude = -1e-7, .altitude = 5,
                       .timestamp = start + 9s, .precisionBits = std::nullopt});
    const auto written = TrackExport::write(path, "Bike <\"Ø\" & 'Co'>\x02", 7, history);
    ASSERT_TRUE(written) << written.error();
    EXPECT_EQ(*written, 4u);
    EXPECT_TRUE(validates(path));
    EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

    // The check itself: an exponent in a coordinate is not a decimal.
    ASSERT_TRUE(PrivateFile::write(path, "<?xml version=\"1.0\"?><gpx xmlns=\"http://www.topografix.com/GPX/1/1\" "
                                         "version=\"1.1\" creator=\"x\"><trk><trkseg><trkpt lat=\"1e-07\" lon=\"0\"/>"
                                         "</trkseg></trk></gpx>"));
    EXPECT_FALSE(validates(path));
    EXPECT_FALSE(TrackExport::write(path, "x", 99, history));
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace corvane
