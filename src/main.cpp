// corvane: wires the Linux adapters into the model and runs it: the window by
// default, or `--headless` to run the guard and print what changes.
#include <cstdio>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QApplication>
#include <QCoreApplication>

#include "app/CorvaneModel.h"
#include "headless/DemoEnvironment.h"
#include "headless/HeadlessOptions.h"
#include "headless/HeadlessReporter.h"
#include "headless/PrintingNotificationCenter.h"
#include "headless/SignalWatcher.h"
#include "core/UserFolders.h"
#include "platform/FileDefaultsStore.h"
#include "platform/FreedesktopNotificationCenter.h"
#include "platform/QProcessBridgeProcess.h"
#include "platform/QtEventLoop.h"
#include "ui/FirstPaintProbe.h"
#include "ui/MainWindow.h"
#include "ui/ScreenshotTour.h"
#include "ui/UiContext.h"
#include "ui/WindowSections.h"

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

int run(const HeadlessOptions& options, QCoreApplication& application) {
    std::unique_ptr<DemoEnvironment> demo;
    HeadlessOptions effective = options;
    if (options.demo) {
        auto created = DemoEnvironment::create(QCoreApplication::applicationDirPath().toStdString());
        if (!created) {
            std::fprintf(stderr, "corvane: %s\n", created.error().c_str());
            return 1;
        }
        demo = std::move(*created);
        if (options.headless) printLine("Demo: data and settings in " + demo->folder() + " (removed at exit)");
        if (!effective.guard) effective.guard = DemoEnvironment::kBikeNode;
        effective.mark = true;
        effective.bicycle = true;
    }

    QtEventLoop loop;
    FileDefaultsStore defaults(loop, FileDefaultsStore::defaultPath());
    FreedesktopNotificationCenter desktopNotifications;
    PrintingNotificationCenter printingNotifications(desktopNotifications, printLine);
    NotificationCenter& notifications =
        options.headless ? static_cast<NotificationCenter&>(printingNotifications) : desktopNotifications;
    {
        CorvaneModel model({.loop = loop,
                            .defaults = defaults,
                            .notifications = notifications,
                            .makeProcess = [] { return std::make_unique<QProcessBridgeProcess>(); },
                            .dataFolder = CorvaneModel::defaultDataFolder()});
        std::optional<HeadlessReporter> reporter;
        if (options.headless) reporter.emplace(model, loop, printLine);

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

        SignalWatcher signalWatcher([&application, &options](int) {
            if (options.headless) printLine("Stopping…");
            application.quit();
        });
        std::unique_ptr<UiContext> context;
        std::unique_ptr<MainWindow> window;
        if (!options.headless) {
            context.reset(new UiContext{model, loop, defaults, QStringLiteral(CORVANE_VERSION),
                                        MapTileSource::resolve(defaults, QStringLiteral(CORVANE_VERSION))});
            window = std::make_unique<MainWindow>(*context, makeWindowSections(*context));
            window->show();
        }
        FirstPaintProbe probe;
        if (window && !environmentValue("CORVANE_EXIT_AFTER_FIRST_PAINT").empty()) window->installEventFilter(&probe);
        std::unique_ptr<ScreenshotTour> tour;
        if (const std::string folder = environmentValue("CORVANE_SCREENSHOT_DIR"); window && !folder.empty()) {
            tour = std::make_unique<ScreenshotTour>(*context, *window, QString::fromStdString(folder));
            tour->start();
        }
        QCoreApplication::exec();
        // A quit by signal leaves the window open: let it keep what it keeps
        // on close.
        if (window && window->isVisible()) window->close();
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
        QApplication application(argc, argv);
        QApplication::setApplicationName("Corvane");
        QApplication::setDesktopFileName("corvane");
        return run(*options, application);
    }
    QtEventLoop::preferUnixDispatcher();
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName("Corvane");
    return run(*options, application);
}
