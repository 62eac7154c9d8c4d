// SPDX-License-Identifier: GPL-3.0-or-later
// An alert from the notification path to a subscriber of a real mosquitto
// broker on 127.0.0.1, through HomeAssistantPublisher and the libmosquitto
// adapter on Qt's loop; the reference (--reference; prints "RESULT <median
// microseconds>") publishes the same payload with a bare libmosquitto client.
#include <mosquitto.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "EchoReference.h"
#include "app/HomeAssistantPublisher.h"
#include "platform/MosquittoMqttClient.h"
#include "support/FakeNotificationCenter.h"

extern char** environ;

namespace corvane::bench {
namespace {

std::filesystem::path binFolder;
const std::string kBody(200, 'x');

// The broker for this run, on a port of its own, ended at exit.
struct Broker {
    Broker() {
        port = static_cast<int>(20000 + getpid() % 20000);
        const auto folder = std::filesystem::temp_directory_path() / ("corvane-bench-mqtt-" + std::to_string(getpid()));
        std::filesystem::create_directories(folder);
        config = (folder / "mosquitto.conf").string();
        std::ofstream(config) << "listener " << port << " 127.0.0.1\nallow_anonymous true\n";
        const char* arguments[] = {"mosquitto", "-c", config.c_str(), nullptr};
        posix_spawnp(&pid, "mosquitto", nullptr, nullptr, const_cast<char**>(arguments), environ);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    ~Broker() {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        std::filesystem::remove_all(std::filesystem::path(config).parent_path());
    }
    pid_t pid = 0;
    int port = 0;
    std::string config;
};

// Counts what arrives on "#", on libmosquitto's own thread.
struct Subscriber {
    explicit Subscriber(int port) {
        mosquitto_lib_init();
        client = mosquitto_new(nullptr, true, this);
        mosquitto_message_callback_set(client, [](mosquitto*, void* self, const mosquitto_message* message) {
            if (std::string_view(message->topic).ends_with("/alert")) static_cast<Subscriber*>(self)->received++;
        });
        mosquitto_connect(client, "127.0.0.1", port, 30);
        mosquitto_subscribe(client, nullptr, "#", 1);
        mosquitto_loop_start(client);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    ~Subscriber() {
        mosquitto_disconnect(client);
        mosquitto_loop_stop(client, true);
        mosquitto_destroy(client);
    }
    bool waitFor(int count, const std::function<void()>& spin) const {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (received.load() < count) {
            if (std::chrono::steady_clock::now() > end) return false;
            spin();
        }
        return true;
    }
    mosquitto* client = nullptr;
    std::atomic<int> received = 0;
};

void alertToBroker(benchmark::State& state) {
    Broker broker;
    Subscriber subscriber(broker.port);
    QtEventLoop loop;
    MosquittoMqttClient client(loop);
    FakeNotificationCenter desktop;
    HomeAssistantPublisher publisher(loop, client, desktop);
    publisher.configure({"mqtt://127.0.0.1:" + std::to_string(broker.port), {}, {}, "bench/host", "host"});
    const auto spin = [] { QCoreApplication::processEvents(); };
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (publisher.status() != HomeAssistantPublisher::Status::connected && std::chrono::steady_clock::now() < end) QCoreApplication::processEvents();
    if (publisher.status() != HomeAssistantPublisher::Status::connected) return state.SkipWithError("no broker");
    int sent = 0;
    for (auto _ : state) {
        publisher.post({"guard", "Guarded device moved", kBody});
        if (!subscriber.waitFor(++sent, spin)) return state.SkipWithError("the alert did not arrive");
        desktop.posted.clear();
    }
}
BENCHMARK(alertToBroker)->Unit(benchmark::kMicrosecond)->UseRealTime();

int reference() {
    const int trips = std::getenv("CORVANE_BENCH_SMOKE") ? 20 : 2000;
    Broker broker;
    Subscriber subscriber(broker.port);
    mosquitto* client = mosquitto_new(nullptr, true, nullptr);
    if (mosquitto_connect(client, "127.0.0.1", broker.port, 30) != MOSQ_ERR_SUCCESS) return 1;
    const auto spin = [client] { mosquitto_loop(client, 0, 1); };
    const std::string payload = R"({"event_type":"alert","title":"Guarded device moved","body":")" + kBody + R"("})";
    std::vector<double> micros;
    for (int trip = 0; trip < trips; ++trip) {
        const auto start = std::chrono::steady_clock::now();
        mosquitto_publish(client, nullptr, "bench/host/alert", static_cast<int>(payload.size()), payload.data(), 1, false);
        if (!subscriber.waitFor(trip + 1, spin)) return 1;
        micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    mosquitto_destroy(client);
    std::sort(micros.begin(), micros.end());
    return printMedian(micros);
}

}  // namespace
}  // namespace corvane::bench

int main(int argc, char** argv) {
    return corvane::bench::qtBenchmarkMain(argc, argv, corvane::bench::binFolder, corvane::bench::reference);
}
