// SPDX-License-Identifier: GPL-3.0-or-later
// The location adapter against the real GeoClue daemon of the system, on a
// private system bus: GeoClue runs in its own mount namespace, where this
// test's geoclue.conf is mounted over the system's (so "corvane" is a system
// application and a GPS receiver is read from a Unix socket), and in its own
// network namespace, so none of its network sources goes out. A helper feeds
// the NMEA sentences and acts as the user's location agent. Needs root.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include <QDir>
#include <QProcess>

#include "platform/GeoClueLocationProvider.h"
#include "PrivateSystemBus.h"
#include "QtWait.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;

const char* const kDaemon = "/usr/libexec/geoclue";

TEST(GeoClueDaemonTest, AGpsFixFedAsNmeaArrivesWithItsCoordinatesAndTime) {
    if (!std::filesystem::exists(kDaemon)) GTEST_SKIP() << kDaemon << " is missing: scripts/install-deps installs geoclue-2.0";
    if (::geteuid() != 0) GTEST_SKIP() << "mounting a geoclue.conf for the daemon alone needs root";
    PrivateSystemBus bus;
    ASSERT_TRUE(bus.isUp());
    const auto folder = std::filesystem::path(QDir::tempPath().toStdString()) /
                        ("corvane-geoclue-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const auto socket = (folder / "nmea.sock").string();
    std::ofstream(folder / "geoclue.conf")
        << "[agent]\nwhitelist=corvane-test-agent\n[network-nmea]\nenable=true\nnmea-socket=" << socket
        << "\n[wifi]\nenable=false\n[3g]\nenable=false\n[cdma]\nenable=false\n[modem-gps]\nenable=false\n"
           "[compass]\nenable=false\n[corvane]\nallowed=true\nsystem=true\nusers=\n";
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DBUS_SYSTEM_BUS_ADDRESS", bus.address());

    QProcess helper;
    helper.setProcessEnvironment(environment);
    helper.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    helper.start("/usr/bin/python3", {QString::fromLocal8Bit(std::getenv("CORVANE_SOURCE_DIR")) +
                                          "/tests/integration/geoclue_helper.py",
                                      bus.address(), QString::fromStdString(socket), "48.5", "-9.25"});
    QByteArray said;
    const auto heard = [&](const char* line) {
        return runUntil([&] {
            said += helper.readAllStandardOutput();
            return said.contains(line) || helper.state() == QProcess::NotRunning;
        }, 5s) && said.contains(line);
    };
    ASSERT_TRUE(heard("listening"));

    QProcess daemon;
    daemon.setProcessEnvironment(environment);
    daemon.setProcessChannelMode(QProcess::MergedChannels);
    daemon.start("unshare", {"--mount", "--net", "--propagation", "private", "sh", "-c",
                             "mount --bind \"$0\" /etc/geoclue/geoclue.conf && exec \"$1\" -t 0",
                             QString::fromStdString((folder / "geoclue.conf").string()), kDaemon});
    const bool up = runUntil([&] {
        return daemon.state() == QProcess::NotRunning ||
               bus.bus().interface()->isServiceRegistered("org.freedesktop.GeoClue2").value();
    }, 5s) && daemon.state() != QProcess::NotRunning;
    if (!up) {
        const auto output = daemon.readAll().toStdString();
        PrivateSystemBus::stop(helper);
        std::filesystem::remove_all(folder);
        GTEST_SKIP() << "GeoClue could not run here: " << output;
    }
    EXPECT_TRUE(heard("agent ready")) << said.toStdString();

    {
        GeoClueLocationProvider location(bus.bus(), 5s, GeoClueLocationProvider::kExactLevel);
        std::vector<LocationAuthorization> answers;
        std::vector<LocationFix> fixes;
        std::vector<LocationError> errors;
        location.setHandlers({.onAuthorizationChange = [&](LocationAuthorization a) { answers.push_back(a); },
                              .onLocations = [&](const std::vector<LocationFix>& f) { fixes.insert(fixes.end(), f.begin(), f.end()); },
                              .onError = [&](const LocationError& e) { errors.push_back(e); }});
        location.requestWhenInUseAuthorization();
        EXPECT_TRUE(runUntil([&] { return !answers.empty(); }, 5s));
        EXPECT_EQ(answers, std::vector{LocationAuthorization::authorized});
        location.requestLocation();
        EXPECT_TRUE(runUntil([&] { return !fixes.empty() || !errors.empty(); }, 6s));
        ASSERT_EQ(fixes.size(), 1u) << (errors.empty() ? std::string("no answer") : errors[0].description)
                                    << "\n" << daemon.readAll().toStdString();
        EXPECT_EQ(std::pair(fixes[0].latitude, fixes[0].longitude), std::pair(48.5, -9.25));
        EXPECT_LT(std::chrono::abs(std::chrono::system_clock::now() - fixes[0].timestamp), 10s);
    }
    PrivateSystemBus::stop(daemon);
    PrivateSystemBus::stop(helper);
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace corvane
