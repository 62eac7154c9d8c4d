// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// `corvane --headless`: wires the Linux adapters into the model, prints what
// changes and runs until a signal, a closed standard output or, for the demo,
// $CORVANE_DEMO_SECONDS. Main thread; the QCoreApplication must exist.
class QCoreApplication;

namespace corvane {

struct HeadlessOptions;

class HeadlessFrontEnd {
public:
    // The exit status.
    static int run(const HeadlessOptions& options, QCoreApplication& application);
    // `--export-gpx`: the stored positions of one node to a GPX file.
    static int exportTrack(const HeadlessOptions& options);
};

}  // namespace corvane
