// SPDX-License-Identifier: GPL-3.0-or-later
// The bridge program's two figures.
// bridge.frameDecode: 10,000 FromRadio frames (node database entries,
// position packets, text packets; the same mix bench/reference/bridge_frames.py
// makes with python3-protobuf) through the frame reader, the decoder and the
// translator into JSON lines.
// bridge.radioToModel: one position frame written on the master side of a
// pseudo-terminal, read by the real halvo-meshtastic-bridge, through its JSON
// line to CorvaneModel's node list on the Qt loop; against (--reference) a
// bare echo of a frame-sized write through a pseudo-terminal by a child.
// Both sides leave the same idle gap (CORVANE_BENCH_GAP_MS) between trips, so
// both pay the same wake-ups of idle cores and processes.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/CorvaneModel.h"
#include "bridge/FrameReader.h"
#include "bridge/RadioProtocol.h"
#include "bridge/RadioTranslator.h"
#include "platform/QProcessBridgeProcess.h"
#include "EchoReference.h"
#include "platform/QtEventLoop.h"
#include "support/FakeBluetoothPlatform.h"
#include "support/FakeDefaultsStore.h"
#include "support/FakeNotificationCenter.h"
#include "support/FakeServiceBrowser.h"

namespace {

namespace fs = std::filesystem;
using namespace corvane;
using namespace corvane::bridge;
using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kLocal = 0x0A0B0C0D;
constexpr std::uint32_t kStart = 1772357400;
fs::path binFolder;

int countFromEnvironment(const char* name, int fallback) {
    const char* value = std::getenv(name);
    return value && std::atoi(value) > 0 ? std::atoi(value) : fallback;
}

std::chrono::milliseconds gapBetweenTrips() {
    return std::chrono::milliseconds(countFromEnvironment("CORVANE_BENCH_GAP_MS", 20));
}

mesh::FromRadio positionPacket(std::uint32_t node, std::int32_t lat, std::int32_t lon, std::uint32_t when) {
    mesh::Position position;
    position.set_latitude_i(lat);
    position.set_longitude_i(lon);
    position.set_altitude(12);
    position.set_time(when);
    mesh::FromRadio message;
    auto* packet = message.mutable_packet();
    packet->set_from(node);
    packet->set_to(0xFFFFFFFF);
    packet->set_id(when);
    packet->set_rx_time(when);
    packet->set_rx_snr(5.5f);
    packet->set_hop_start(3);
    packet->set_hop_limit(2);
    packet->mutable_decoded()->set_portnum(mesh::POSITION_APP);
    packet->mutable_decoded()->set_payload(position.SerializeAsString());
    return message;
}

// Keep in step with bench/reference/bridge_frames.py.
std::string capturedFrames(int count) {
    std::string stream;
    for (int i = 0; i < count; ++i) {
        const auto node = static_cast<std::uint32_t>(0x10000000 + i % 200);
        const auto when = kStart + static_cast<std::uint32_t>(i);
        mesh::FromRadio message;
        if (i % 3 == 0) {
            auto* info = message.mutable_node_info();
            info->set_num(node);
            info->mutable_user()->set_long_name("Node " + std::to_string(i % 200));
            info->mutable_user()->set_short_name("N" + std::to_string(i % 200));
            info->mutable_user()->set_hw_model(mesh::TBEAM);
            info->mutable_position()->set_latitude_i(556756800 + i);
            info->mutable_position()->set_longitude_i(125699200 - i);
            info->mutable_position()->set_time(when);
            info->set_snr(6.25f);
            info->set_last_heard(when);
            info->mutable_device_metrics()->set_battery_level(static_cast<std::uint32_t>(i % 101));
            info->mutable_device_metrics()->set_voltage(4.125f);
            info->set_hops_away(static_cast<std::uint32_t>(i % 4));
        } else if (i % 3 == 1) {
            message = positionPacket(node, 556756800 + i, 125699200 - i, when);
        } else {
            auto* packet = message.mutable_packet();
            packet->set_from(node);
            packet->set_to(0xFFFFFFFF);
            packet->set_id(when);
            packet->set_rx_time(when);
            packet->mutable_decoded()->set_portnum(mesh::TEXT_MESSAGE_APP);
            packet->mutable_decoded()->set_payload("Parked at the station, back in ten minutes " + std::to_string(i));
        }
        if (i % 50 == 0) stream += "DEBUG | Telling the phone about node\r\n";
        stream += frameBytes(message.SerializeAsString());
    }
    return stream;
}

void frameDecode(benchmark::State& state) {
    const auto stream = capturedFrames(countFromEnvironment("CORVANE_BENCH_FRAMES", 10000));
    for (auto _ : state) {
        RadioTranslator translator;
        std::size_t lines = 0;
        std::size_t bytes = 0;
        const auto collect = [&](MeshtasticBridgeResponse response) {
            if (const auto line = encodeLine(response)) {
                ++lines;
                bytes += line->size();
            }
        };
        FrameReader reader(
            [&](std::string_view payload) {
                const auto message = parseFromRadio(payload);
                if (!message) return false;
                translator.translate(*message, kLocal, fromUnixSeconds(kStart), collect);
                return true;
            },
            [](std::string_view) {});
        // As the port delivers it: a few hundred bytes per read.
        for (std::size_t at = 0; at < stream.size(); at += 256) reader.feed(std::string_view(stream).substr(at, 256));
        benchmark::DoNotOptimize(bytes);
        if (lines == 0) state.SkipWithError("no lines");
    }
}
BENCHMARK(frameDecode)->Name("bridge_frameDecode")->Unit(benchmark::kMillisecond)->UseRealTime();

// The radio side for radioToModel: answers the handshake on the master.
class BenchRadio {
public:
    explicit BenchRadio(int master) : master_(master), thread_([this] { run(); }) {}
    ~BenchRadio() {
        stopping_ = true;
        thread_.join();
    }
    bool ready() const { return ready_; }

private:
    void send(const mesh::FromRadio& message) {
        const auto frame = frameBytes(message.SerializeAsString());
        (void)!::write(master_, frame.data(), frame.size());
    }

    void handshake(std::uint32_t nonce) {
        mesh::FromRadio message;
        message.mutable_my_info()->set_my_node_num(kLocal);
        send(message);
        message.Clear();
        message.mutable_node_info()->set_num(0x12345678);
        message.mutable_node_info()->mutable_user()->set_long_name("Bike");
        message.mutable_node_info()->mutable_user()->set_short_name("BK");
        send(message);
        message.Clear();
        message.mutable_config()->mutable_lora()->set_region(mesh::Config::LoRaConfig::EU_868);
        send(message);
        message.Clear();
        message.set_config_complete_id(nonce);
        send(message);
        ready_ = true;
    }

    void run() {
        FrameReader reader(
            [this](std::string_view payload) {
                mesh::ToRadio message;
                if (!message.ParseFromArray(payload.data(), static_cast<int>(payload.size()))) return false;
                if (message.has_want_config_id()) handshake(message.want_config_id());
                return true;
            },
            [](std::string_view) {});
        char buffer[4096];
        while (!stopping_) {
            pollfd readable{master_, POLLIN, 0};
            if (::poll(&readable, 1, 50) <= 0) continue;
            const auto count = ::read(master_, buffer, sizeof buffer);
            if (count > 0) reader.feed(std::string_view(buffer, static_cast<std::size_t>(count)));
        }
    }

    int master_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> ready_{false};
    std::thread thread_;
};

void openRawPty(int& master, int& slave) {
    termios raw{};
    ::cfmakeraw(&raw);
    ::openpty(&master, &slave, nullptr, &raw, nullptr);
}

void radioToModel(benchmark::State& state) {
    const auto folder = fs::temp_directory_path() / ("corvane-bench-radio-" + std::to_string(::getpid()));
    fs::create_directories(folder / "dev");
    int master = -1;
    int slave = -1;
    openRawPty(master, slave);
    fs::create_symlink(::ttyname(slave), folder / "dev" / "ttyACM0");
    ::setenv("CORVANE_DEVICE_DIR", (folder / "dev").c_str(), 1);
    ::setenv("HALVO_MESHTASTIC_BRIDGE_PATH", (binFolder / "halvo-meshtastic-bridge").c_str(), 1);
    {
        BenchRadio radio(master);
        QtEventLoop loop;
        FakeDefaultsStore defaults;
        FakeNotificationCenter notifications;
        FakeServiceBrowser services(loop);
        FakeBluetoothPlatform bluetooth;
        CorvaneModel model({.loop = loop,
                            .defaults = defaults,
                            .notifications = notifications,
                            .serviceBrowser = services,
                            .makeProcess = [] { return std::make_unique<QProcessBridgeProcess>(); },
                            .dataFolder = (folder / "data").string(),
                            .deviceFolder = (folder / "data").string(),
                            .bluetooth = bluetooth.ports((folder / "data").string())});
        const auto deadline = Clock::now() + std::chrono::seconds(8);
        while (!(radio.ready() && model.connectedPort() && model.localNodeID()) && Clock::now() < deadline) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        }
        if (!model.connectedPort()) state.SkipWithError("the bridge did not connect");
        const auto gap = gapBetweenTrips();
        std::int32_t step = 0;
        double latitude = 0;
        std::optional<Clock::time_point> arrivedAt;
        // The moment the model publishes the node, not when its handler
        // returns: the position file's fsync that follows is not this figure.
        const auto watch = model.changed().subscribe([&] {
            if (arrivedAt) return;
            for (const auto& node : model.nodes()) {
                if (node.number == 0x12345678 && node.position && node.position->latitude == latitude) {
                    arrivedAt = Clock::now();
                }
            }
        });
        for (auto _ : state) {
            if (!model.connectedPort()) break;
            ++step;
            const auto frame = frameBytes(
                positionPacket(0x12345678, 556756800 + step * 100, 125699200, kStart + static_cast<std::uint32_t>(step))
                    .SerializeAsString());
            latitude = (556756800 + step * 100) / 1e7;
            arrivedAt.reset();
            const auto start = Clock::now();
            (void)!::write(master, frame.data(), frame.size());
            const auto giveUp = start + std::chrono::seconds(3);
            while (!arrivedAt && Clock::now() < giveUp) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            if (!arrivedAt) {
                state.SkipWithError("a position did not reach the model");
                break;
            }
            state.SetIterationTime(std::chrono::duration<double>(*arrivedAt - start).count());
            // A radio reports a fix every few seconds, so each one meets an
            // idle guard: the kernel's writeback of the previous fix's file
            // (journal commit after the fsyncs) has ended by then. Frames
            // sent back to back would time that writeback's contention for
            // the two cores instead of the path from radio to model.
            QEventLoop quiet;
            QTimer::singleShot(gap, &quiet, &QEventLoop::quit);
            quiet.exec();
        }
    }
    ::close(slave);
    ::close(master);
    fs::remove_all(folder);
}
BENCHMARK(radioToModel)
    ->Name("bridge_radioToModel")
    ->Unit(benchmark::kMicrosecond)
    ->UseManualTime()
    ->Iterations(countFromEnvironment("CORVANE_BENCH_ITERATIONS", 200));

// A frame-sized write on the master, echoed by a child from the slave.
int reference(int trips) {
    int master = -1;
    int slave = -1;
    openRawPty(master, slave);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(master);
        char buffer[4096];
        for (;;) {
            const auto count = ::read(slave, buffer, sizeof buffer);
            if (count <= 0) ::_exit(0);
            if (::write(slave, buffer, static_cast<std::size_t>(count)) != count) ::_exit(1);
        }
    }
    ::close(slave);
    const std::string frame = frameBytes(positionPacket(0x12345678, 556756800, 125699200, kStart).SerializeAsString());
    const auto micros = bench::echoTrips(master, master, frame, trips, gapBetweenTrips());
    ::close(master);
    ::kill(child, SIGTERM);
    ::waitpid(child, nullptr, 0);
    std::printf("INFO bridge.radioToModel ref bare pseudo-terminal echo of a %zu-byte frame, %d trips %lld ms apart\n",
                frame.size(), trips, static_cast<long long>(gapBetweenTrips().count()));
    return bench::printMedian(micros);
}

}  // namespace

int main(int argc, char** argv) {
    return corvane::bench::qtBenchmarkMain(argc, argv, binFolder, [] {
        // Paced trips take their gap each: a smoke run keeps to a few.
        return reference(std::getenv("CORVANE_BENCH_SMOKE") ? 20 : countFromEnvironment("CORVANE_BENCH_ITERATIONS", 2000));
    });
}
