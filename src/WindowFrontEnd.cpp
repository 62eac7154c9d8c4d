// SPDX-License-Identifier: GPL-3.0-or-later
#include "WindowFrontEnd.h"

#include <cstdio>
#include <memory>
#include <string>

#include <QApplication>

#include "app/CorvaneModel.h"
#include "app/GuardOnStart.h"
#include "app/HomeAssistantLink.h"
#include "app/HomeAssistantPublisher.h"
#include "core/UserFolders.h"
#include "headless/DemoEnvironment.h"
#include "headless/HeadlessOptions.h"
#include "headless/SignalWatcher.h"
#include "platform/DesktopPlatform.h"
#include "platform/MosquittoMqttClient.h"
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
        auto started = DemoEnvironment::startForThisRun();
        if (!started) return 1;
        demo = std::move(*started);
        guard = {options.guard ? options.guard : DemoEnvironment::kBikeNode, true, true};
    }

    const auto folders = DesktopPlatform::userFolders();
    if (!folders) return 1;
    const QString version = QStringLiteral(CORVANE_VERSION);
    DesktopPlatform platform(*folders);
    EventLoop& loop = platform.loop;
    // Every alert also goes to Home Assistant once a broker is set.
    MosquittoMqttClient mqttClient(loop);
    HomeAssistantPublisher homeAssistant(loop, mqttClient, platform.notifications);
    HomeAssistantLink homeAssistantLink(homeAssistant, platform.defaults, platform.homeAssistantPasswordFile(),
                                        DesktopPlatform::hostName());
    {
        CorvaneModel model(platform.modelDependencies(homeAssistant));
        GuardOnStart guardOnStart(model, loop, guard);
        homeAssistantLink.attach(model, loop);
        homeAssistantLink.start();

        UiContext context{model, loop, platform.defaults, version, MapTileSource::resolve(platform.defaults, version),
                          &homeAssistantLink};
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
        homeAssistantLink.detach();
    }
    demo.reset();
    SignalWatcher::removeOnFastExit({});
    return 0;
}

}  // namespace corvane
