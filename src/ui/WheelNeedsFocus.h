// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Sliders, pickers and spin boxes take the mouse wheel only once the user
// has given them focus (a click, Tab): a wheel turned to scroll a settings
// page or an inspector scrolls it, instead of changing the movement radius,
// the region or an alert delay that happens to pass under the pointer.
// Installed once on the application, so every such control of every window
// follows it, those added later included. GUI thread only.
#include <QObject>

namespace corvane {

class WheelNeedsFocus : public QObject {
    Q_OBJECT
public:
    static void install();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using QObject::QObject;
};

}  // namespace corvane
