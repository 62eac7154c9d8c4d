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

#include "app/CorvaneModel.h"
#include "app/GuardOnStart.h"
#include "core/UserFolders.h"
#include "headless/BluetoothReporter.h"
#include "headless/BluetoothTrackRequests.h"
#include "headless/DemoEnvironment.h"
#include "headless/HeadlessOptions.h"
#include "headless/HeadlessReporter.h"
#include "headless/LocalNetworkReporter.h"
#include "headless/PrintingNotificationCenter.h"
#include "headless/SignalWatcher.h"
#include "headless/TerminalPrinter.h"
#include "platform/BlueZBluetoothCentral.h"
#include "platform/CanberraSoundPlayer.h"
#include "platform/AvahiServiceBrowser.h"
#include "platform/FileDefaultsStore.h"
#include "platform/FreedesktopNotificationCenter.h"
#include "platform/GeoClueLocationProvider.h"
#include "platform/LogindWakeMonitor.h"
#include "platform/OsascriptScriptRunner.h"
#include "platform/QProcessBridgeProcess.h"
#include "platform/QtDeviceFolderWatcher.h"
#include "platform/QtEventLoop.h"

namespace corvane {
int HeadlessFrontEnd::run(const HeadlessOptions& options, QCoreApplication& application) {
    // Queued: quit() before the loop runs would be lost.
    const auto quitSoon = [&application] { QTimer::singleShot(0, &application, &QCoreApplication::quit); };
    TerminalPrinter printer(stdout, quitSoon);
    const auto print = [&printer](const std::string& line) { printer.print(line); };

    std::unique_ptr<DemoEnvironment> demo;
    HeadlessOptions effective = options;
    if (options.demo) {
        auto created = DemoEnvironment::create(QCoreApplication::applicationDirPath().toStdString());
        if (!created) {
            std::fprintf(stderr, "corvane: %s\n", created.error().c_str());
            return 1;
        }
        demo = std::move(*created);
        SignalWatcher::removeOnFastExit(demo->folder());
        print("Demo: data and settings in " + demo->folder() + " (removed at exit)");
        if (!effective.guard) effective.guard = DemoEnvironment::kBikeNode;
        effective.mark = true;
        effective.bicycle = true;
    }

    const auto dataFolder = CorvaneModel::defaultDataFolder();
    const auto deviceFolder = LocalNetworkBrowser::defaultDataFolder();
    const auto defaultsPath = FileDefaultsStore::defaultPath();
    if (!dataFolder || !deviceFolder || !defaultsPath) {
        std::fprintf(stderr, "corvane: no home folder to keep data in; set HOME (or XDG_DATA_HOME and XDG_CONFIG_HOME)\n");
        return 1;
    }

    QtEventLoop loop;
    FileDefaultsStore defaults(loop, *defaultsPath);
    FreedesktopNotificationCenter desktopNotifications;
    QtDeviceFolderWatcher deviceWatcher;
    BlueZBluetoothCentral bluetoothCentral;
    GeoClueLocationProvider location;
    LogindWakeMonitor wake;
    CanberraSoundPlayer sound;
    OsascriptScriptRunner scripts;
    AvahiServiceBrowser serviceBrowser;
    // Alerts are printed after the changes of their loop turn, by the reporter.
    HeadlessReporter* reporter = nullptr;
    PrintingNotificationCenter notifications(desktopNotifications, [&reporter, &print](const std::string& line) {
        if (reporter != nullptr) {
            reporter->announce(line);
        } else {
            print(line);
        }
    });
    {
        CorvaneModel model({.loop = loop,
                            .defaults = defaults,
                            .notifications = notifications,
                            .serviceBrowser = serviceBrowser,
                            .makeProcess = [] { return std::make_unique<QProcessBridgeProcess>(); },
                            .dataFolder = *dataFolder,
                            .deviceFolder = *deviceFolder,
                            .deviceWatcher = &deviceWatcher,
                            .bluetooth = {bluetoothCentral, location, wake, sound, scripts,
                                          *deviceFolder}});
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
        reporter = nullptr;
    }
    // The model is gone (its bridge child ended with it); the settings still
    // pending reach the disk when `defaults` goes.
    demo.reset();
    SignalWatcher::removeOnFastExit({});
    return 0;
}

}  // namespace corvane
