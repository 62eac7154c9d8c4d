// SPDX-License-Identifier: GPL-3.0-or-later
#include "WindowFrontEnd.h"

#include <cstdio>
#include <memory>
#include <string>

#include <QApplication>

#include "app/CorvaneModel.h"
#include "app/GuardOnStart.h"
#include "core/UserFolders.h"
#include "headless/DemoEnvironment.h"
#include "headless/HeadlessOptions.h"
#include "headless/SignalWatcher.h"
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
#include "ui/FirstPaintProbe.h"
#include "ui/MainWindow.h"
#include "ui/ScreenshotTour.h"
#include "ui/UiContext.h"
#include "ui/WindowSections.h"

namespace corvane {

int WindowFrontEnd::run(const HeadlessOptions& options, QApplication& application) {
    std::unique_ptr<DemoEnvironment> demo;
    GuardOnStart::Request guard{options.guard, options.mark, options.bicycle};
    if (options.demo) {
        auto created = DemoEnvironment::create(QCoreApplication::applicationDirPath().toStdString());
        if (!created) {
            std::fprintf(stderr, "corvane: %s\n", created.error().c_str());
            return 1;
        }
        demo = std::move(*created);
        SignalWatcher::removeOnFastExit(demo->folder());
        guard = {options.guard ? options.guard : DemoEnvironment::kBikeNode, true, true};
    }

    const auto dataFolder = CorvaneModel::defaultDataFolder();
    const auto deviceFolder = LocalNetworkBrowser::defaultDataFolder();
    const auto defaultsPath = FileDefaultsStore::defaultPath();
    if (!dataFolder || !deviceFolder || !defaultsPath) {
        std::fprintf(stderr, "corvane: no home folder to keep data in; set HOME (or XDG_DATA_HOME and XDG_CONFIG_HOME)\n");
        return 1;
    }

    const QString version = QStringLiteral(CORVANE_VERSION);
    QtEventLoop loop;
    FileDefaultsStore defaults(loop, *defaultsPath);
    FreedesktopNotificationCenter notifications;
    QtDeviceFolderWatcher deviceWatcher;
    BlueZBluetoothCentral bluetoothCentral;
    GeoClueLocationProvider location;
    LogindWakeMonitor wake;
    CanberraSoundPlayer sound;
    OsascriptScriptRunner scripts;
    AvahiServiceBrowser serviceBrowser;
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
        GuardOnStart guardOnStart(model, loop, guard);

        UiContext context{model, loop, defaults, version, MapTileSource::resolve(defaults, version)};
        MainWindow window(context, makeWindowSections(context));
        window.show();
        SignalWatcher signalWatcher([&application](int) { application.quit(); });
        TimerHandle demoEnd;
        if (const auto duration = demo ? DemoEnvironment::duration() : std::nullopt) {
            demoEnd = loop.singleShot(*duration, [&application] { application.quit(); });
        }

        FirstPaintProbe probe;
        if (!environmentValue("CORVANE_EXIT_AFTER_FIRST_PAINT").empty()) window.installEventFilter(&probe);
        std::unique_ptr<ScreenshotTour> tour;
        if (const std::string folder = environmentValue("CORVANE_SCREENSHOT_DIR"); !folder.empty()) {
            tour = std::make_unique<ScreenshotTour>(context, window, QString::fromStdString(folder));
            tour->start();
        }
        QApplication::exec();
        // A quit by signal leaves the window open: let it keep what it keeps
        // on close.
        if (window.isVisible()) window.close();
    }
    demo.reset();
    SignalWatcher::removeOnFastExit({});
    return 0;
}

}  // namespace corvane
