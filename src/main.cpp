// corvane: wires the Linux adapters into the model and runs it. Without a
// window for now: `--headless` runs the guard and prints what changes.
#include <cstdio>
#include <string>
#include <vector>

#include <QCoreApplication>

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
    case HeadlessOptions::Action::run: break;
    }
    if (!options->headless) {
        std::fprintf(stderr, "corvane: the window is not built yet; run `corvane --headless` (see --help)\n");
        return 2;
    }
    QtEventLoop::preferUnixDispatcher();
    QCoreApplication application(argc, argv);
    QtEventLoop::restoreEnvironment();
    QCoreApplication::setApplicationName("Corvane");
    return HeadlessFrontEnd::run(*options, application);
}
