// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// `corvane` with a display: wires the Linux adapters into the model and shows
// the main window until it is closed or a signal arrives. Main thread; the
// QApplication must exist.
class QApplication;

namespace corvane {

struct HeadlessOptions;

class WindowFrontEnd {
public:
    // The exit status.
    static int run(const HeadlessOptions& options, QApplication& application);
};

}  // namespace corvane
