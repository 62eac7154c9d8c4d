// SPDX-License-Identifier: GPL-3.0-or-later
// corvane: reads the command line and hands over to a front end: the window
// by default, or `--headless` to run the guard and print what changes.
#include <cstdio>
#include <string>
#include <vector>

#include <QApplication>
#include <QCoreApplication>

#include "WindowFrontEnd.h"
#include "app/MeshRadio.h"
#include "headless/HeadlessFrontEnd.h"
#include "headless/HeadlessOptions.h"
#include "platform/QtEventLoop.h"

using namespace corvane;

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
    case HeadlessOptions::Action::exportGpx: return HeadlessFrontEnd::exportTrack(*options);
    case HeadlessOptions::Action::run: break;
    }
    // A bridge installed beside corvane is found before the system-wide ones.
    const auto programFolder = [] { return QCoreApplication::applicationDirPath().toStdString(); };
    if (!options->headless) {
        QApplication application(argc, argv);
        MeshRadio::setApplicationFolder(programFolder());
        QtEventLoop::restoreEnvironment();
        QApplication::setApplicationName("Corvane");
        QApplication::setDesktopFileName("org.corvane.Corvane");
        return WindowFrontEnd::run(*options, application);
    }
    QtEventLoop::preferUnixDispatcher();
    QCoreApplication application(argc, argv);
    MeshRadio::setApplicationFolder(programFolder());
    QtEventLoop::restoreEnvironment();
    QCoreApplication::setApplicationName("Corvane");
    return HeadlessFrontEnd::run(*options, application);
}
