// SPDX-License-Identifier: GPL-3.0-or-later
#include "headless/HeadlessFrontEnd.h"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include <QCoreApplication>
#include <QTimer>
#include <unistd.h>

#include "app/CorvaneModel.h"
#include "app/GuardOnStart.h"
#include "app/TrackExport.h"
#include "core/PositionStore.h"
#include "app/HomeAssistantLink.h"
#include "app/HomeAssistantPublisher.h"
#include "headless/BluetoothReporter.h"
#include "headless/BluetoothTrackRequests.h"
#include "headless/DemoEnvironment.h"
#include "headless/HeadlessOptions.h"
#include "headless/HeadlessReporter.h"
#include "headless/LocalNetworkReporter.h"
#include "headless/PhoneReporter.h"
#include "headless/PrintingNotificationCenter.h"
#include "headless/SignalWatcher.h"
#include "headless/TerminalPrinter.h"
#include "platform/DesktopPlatform.h"
#include "platform/MosquittoMqttClient.h"

namespace corvane {

int HeadlessFrontEnd::exportTrack(const HeadlessOptions& options) {
    const auto folders = DesktopPlatform::userFolders();
    if (!folders) return 1;
    PositionStore store(folders->data + "/positions.json");
    char name[16];
    std::snprintf(name, sizeof name, "!%08x", options.exportNode);
    const auto written = TrackExport::write(options.exportFile, name, options.exportNode, store.load());
    if (!written) {
        std::fprintf(stderr, "corvane: %s\n", written.error().c_str());
        return 1;
    }
    std::printf("Exported %zu positions of %s to %s\n", *written, name, options.exportFile.c_str());
    return 0;
}

int HeadlessFrontEnd::run(const HeadlessOptions& options, QCoreApplication& application) {
    // Queued: quit() before the loop runs would be lost.
    const auto quitSoon = [&application] { QTimer::singleShot(0, &application, &QCoreApplication::quit); };
    TerminalPrinter printer(stdout, quitSoon);
    const auto print = [&printer](const std::string& line) { printer.print(line); };

    std::unique_ptr<DemoEnvironment> demo;
    HeadlessOptions effective = options;
    if (options.demo) {
        auto started = DemoEnvironment::startForThisRun();
        if (!started) return 1;
        demo = std::move(*started);
        print("Demo: data and settings in " + demo->folder() + " (removed at exit)");
        if (!effective.guard) effective.guard = DemoEnvironment::kBikeNode;
        effective.mark = true;
        effective.bicycle = true;
    }

    const auto folders = DesktopPlatform::userFolders();
    if (!folders) return 1;
    DesktopPlatform platform(*folders);
    EventLoop& loop = platform.loop;
    // Alerts are printed after the changes of their loop turn, by the reporter.
    HeadlessReporter* reporter = nullptr;
    // Alerts fan out to Home Assistant too when a broker is named; otherwise
    // the publisher only hands them on.
    MosquittoMqttClient mqttClient(loop);
    HomeAssistantPublisher homeAssistant(loop, mqttClient, platform.notifications);
    HomeAssistantLink homeAssistantLink(homeAssistant, platform.defaults, platform.homeAssistantPasswordFile(),
                                        DesktopPlatform::hostName());
    ChangeSignal::Subscription homeAssistantStatus;
    if (effective.mqtt) {
        homeAssistantStatus = homeAssistant.changed().subscribe([&homeAssistant, &print] {
            if (homeAssistant.status() != HomeAssistantPublisher::Status::connecting) {
                print("Home Assistant: " + homeAssistant.statusText());
            }
        });
        homeAssistantLink.startForThisRun(*effective.mqtt);
    }
    PrintingNotificationCenter notifications(homeAssistant, [&reporter, &print](const std::string& line) {
        if (reporter != nullptr) {
            reporter->announce(line);
        } else {
            print(line);
        }
    });
    {
        CorvaneModel model(platform.modelDependencies(notifications));
        if (effective.radio) model.useRadioForThisRun(*effective.radio);
        if (effective.mqtt) homeAssistantLink.attach(model, loop);
        HeadlessReporter headlessReporter(model, loop, print);
        reporter = &headlessReporter;
        std::optional<BluetoothReporter> bluetoothReporter;
        std::optional<BluetoothTrackRequests> bluetoothTracking;
        if (effective.bluetooth || !effective.trackBluetooth.empty()) {
            auto& trackers = model.bluetoothTrackers();
            bluetoothReporter.emplace(trackers, loop, print);
            bluetoothTracking.emplace(trackers, loop, effective.trackBluetooth);
            trackers.startScanning();
        }
        // Without a window there are no sections: the network is watched for
        // the whole run when asked for.
        std::optional<LocalNetworkReporter> networkReporter;
        if (effective.network) {
            networkReporter.emplace(model.localNetwork(), loop, print, effective.trackNetwork);
            model.localNetwork().start();
        }

        std::optional<PhoneReporter> phoneReporter;
        if (effective.phone) {
            model.phoneAlerts().useForThisRun(*effective.phone);
            phoneReporter.emplace(model.phoneAlerts(), loop, print);
        }

        for (const auto& watch : effective.watchNodes) {
            model.meshHealth().setSilenceDelay(watch.node, watch.delay.value_or(MeshHealthWatch::kDefaultSilenceDelay));
        }

        GuardOnStart guardOnStart(model, loop, {effective.guard, effective.mark, effective.bicycle});
        // Sends once, as soon as the radio is connected and has named itself.
        ChangeSignal::Subscription sending;
        if (effective.send) {
            sending = model.changed().subscribe([&model, &loop, &sending, text = *effective.send] {
                if (!model.connectedPort() || !model.localNodeID()) return;
                loop.post([&model, text] { model.sendMessage(text); });
                sending.reset();  // last: it ends this closure
            });
        }

        const auto stop = [&application, &print] {
            print("Stopping…");
            application.quit();
        };
        SignalWatcher signalWatcher([&stop](int) { stop(); });
        TimerHandle demoEnd;
        if (const auto duration = demo ? DemoEnvironment::duration() : std::nullopt) demoEnd = loop.singleShot(*duration, stop);
        QCoreApplication::exec();
        homeAssistantLink.detach();
        reporter = nullptr;
    }
    // The model is gone (its bridge child ended with it); the settings still
    // pending reach the disk when `platform` goes.
    demo.reset();
    SignalWatcher::removeOnFastExit({});
    return 0;
}

}  // namespace corvane
