// corvane: wires the Linux adapters into the model and runs it. Without a
// window for now: `--headless` runs the guard and prints what changes.
#include <cstdio>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QCoreApplication>

#include "app/CorvaneModel.h"
#include "headless/DemoEnvironment.h"
#include "headless/HeadlessOptions.h"
#include "headless/HeadlessReporter.h"
#include "headless/LocalNetworkReporter.h"
#include "headless/PrintingNotificationCenter.h"
#include "headless/SignalWatcher.h"
#include "platform/AvahiServiceBrowser.h"
#include "platform/FileDefaultsStore.h"
#include "platform/FreedesktopNotificationCenter.h"
#include "platform/QProcessBridgeProcess.h"
#include "platform/QtEventLoop.h"

namespace {

using namespace corvane;

void printLine(const std::string& line) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[16];
    std::strftime(stamp, sizeof stamp, "%H:%M:%S", &local);
    std::printf("%s %s\n", stamp, line.c_str());
    std::fflush(stdout);
}

int runHeadless(const HeadlessOptions& options, QCoreApplication& application) {
    std::unique_ptr<DemoEnvironment> demo;
    HeadlessOptions effective = options;
    if (options.demo) {
        auto created = DemoEnvironment::create(QCoreApplication::applicationDirPath().toStdString());
        if (!created) {
            std::fprintf(stderr, "corvane: %s\n", created.error().c_str());
            return 1;
        }
        demo = std::move(*created);
        printLine("Demo: data and settings in " + demo->folder() + " (removed at exit)");
        if (!effective.guard) effective.guard = DemoEnvironment::kBikeNode;
        effective.mark = true;
        effective.bicycle = true;
    }

    QtEventLoop loop;
    FileDefaultsStore defaults(loop, FileDefaultsStore::defaultPath());
    FreedesktopNotificationCenter desktopNotifications;
    PrintingNotificationCenter notifications(desktopNotifications, printLine);
    AvahiServiceBrowser serviceBrowser;
    {
        CorvaneModel model({.loop = loop,
                            .defaults = defaults,
                            .notifications = notifications,
                            .serviceBrowser = serviceBrowser,
                            .makeProcess = [] { return std::make_unique<QProcessBridgeProcess>(); },
                            .dataFolder = CorvaneModel::defaultDataFolder()});
        HeadlessReporter reporter(model, loop, printLine);
        // Without a window there are no sections: the network is watched for
        // the whole run when asked for.
        std::optional<LocalNetworkReporter> networkReporter;
        if (effective.network) {
            networkReporter.emplace(model.localNetwork(), loop, printLine, effective.trackNetwork);
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

        SignalWatcher signalWatcher([&application](int) {
            printLine("Stopping…");
            application.quit();
        });
        QCoreApplication::exec();
    }
    // The model is gone (its bridge child ended with it); the settings still
    // pending reach the disk when `defaults` goes.
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    const auto options = HeadlessOptions::parse(arguments);
    if (!options) {
        std::fprintf(stderr, "corvane: %s\n\n%s", options.error().c_str(), HeadlessOptions::usage().c_str());
        return 2;
    }
    switch (options->action) {
    case HeadlessOptions::Action::help: std::fputs(HeadlessOptions::usage().c_str(), stdout); return 0;
    case HeadlessOptions::Action::version: std::printf("corvane %s\n", CORVANE_VERSION); return 0;
    case HeadlessOptions::Action::run: break;
    }
    if (!options->headless) {
        std::fprintf(stderr, "corvane: the window is not built yet; run `corvane --headless` (see --help)\n");
        return 2;
    }
    QtEventLoop::preferUnixDispatcher();
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName("Corvane");
    return runHeadless(*options, application);
}
