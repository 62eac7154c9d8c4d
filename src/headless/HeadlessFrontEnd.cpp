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
#include "core/UserFolders.h"
#include "headless/DemoEnvironment.h"
#include "headless/HeadlessOptions.h"
#include "headless/HeadlessReporter.h"
#include "headless/LocalNetworkReporter.h"
#include "headless/PrintingNotificationCenter.h"
#include "headless/SignalWatcher.h"
#include "headless/TerminalPrinter.h"
#include "platform/AvahiServiceBrowser.h"
#include "platform/FileDefaultsStore.h"
#include "platform/FreedesktopNotificationCenter.h"
#include "platform/QProcessBridgeProcess.h"
#include "platform/QtDeviceFolderWatcher.h"
#include "platform/QtEventLoop.h"

namespace corvane {
namespace {

// Whole seconds from $CORVANE_DEMO_SECONDS; absent when unset or not a
// positive number.
std::optional<std::chrono::seconds> demoDuration() {
    const std::string text = environmentValue("CORVANE_DEMO_SECONDS");
    int seconds = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size() || seconds <= 0) return std::nullopt;
    return std::chrono::seconds(seconds);
}

}  // namespace

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

    QtEventLoop loop;
    FileDefaultsStore defaults(loop, FileDefaultsStore::defaultPath());
    FreedesktopNotificationCenter desktopNotifications;
    QtDeviceFolderWatcher deviceWatcher;
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
                            .dataFolder = CorvaneModel::defaultDataFolder(),
                            .deviceWatcher = &deviceWatcher});
        HeadlessReporter headlessReporter(model, loop, print);
        reporter = &headlessReporter;
        // Without a window there are no sections: the network is watched for
        // the whole run when asked for.
        std::optional<LocalNetworkReporter> networkReporter;
        if (effective.network) {
            networkReporter.emplace(model.localNetwork(), loop, print, effective.trackNetwork);
            model.localNetwork().start();
        }

        if (effective.bicycle) model.setGuardProfile(GuardProfile::bicycle);
        if (effective.guard) {
            MeshNode guarded;
            guarded.number = *effective.guard;
            model.setGuarded(guarded);
        }

        // Marks once, the first time the guarded node is known with a
        // position; deferred so the position's own handling finishes first.
        ChangeSignal::Subscription marking;
        if (effective.mark) {
            marking = model.changed().subscribe([&model, &loop, &marking] {
                const auto guarded = model.guardedNodeID();
                if (!guarded) return;
                for (const auto& node : model.nodes()) {
                    if (node.number != *guarded || !node.position) continue;
                    marking.reset();
                    loop.post([&model] { model.markGuardedPosition(); });
                    return;
                }
            });
        }

        const auto stop = [&application, &print] {
            print("Stopping…");
            application.quit();
        };
        SignalWatcher signalWatcher([&stop](int) { stop(); });
        TimerHandle demoEnd;
        if (const auto duration = demo ? demoDuration() : std::nullopt) demoEnd = loop.singleShot(*duration, stop);
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
