// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One section of the main window (Bluetooth, Local Network, Meshtastic): a
// sidebar, a content area and an inspector, plus what the toolbar, the View
// menu and the status bar need from it. The window shows one section at a
// time and tells it when it is entered and left; a section starts and stops
// its own watcher there. The window takes the section's widgets into its
// layout (and so owns them); the section must not touch them when it is
// destroyed. GUI thread only.
#include <QObject>
#include <QString>

#include "ui/NetworkSection.h"

class QWidget;

namespace corvane {

class WindowSection : public QObject {
    Q_OBJECT
public:
    enum class Command { scan, fit, reconnect };

    virtual NetworkSection section() const = 0;
    virtual QWidget* sidebar() = 0;
    virtual QWidget* content() = 0;
    virtual QWidget* inspector() = 0;
    // Extra toolbar controls, shown only while the section is shown.
    virtual QWidget* toolbarControls() { return nullptr; }
    // The section that does the work: itself, or the one a stand-in builds on first use.
    virtual WindowSection& resolved() { return *this; }

    virtual bool supports(Command) const { return false; }
    virtual void run(Command) {}

    virtual void activate() {}
    virtual void deactivate() {}
    // The window is closing: keep what must outlive the run.
    virtual void prepareToQuit() {}

    // The status bar's lines; an empty error line hides it.
    virtual QString statusLine() const { return {}; }
    virtual QString errorLine() const { return {}; }
    virtual void dismissError() {}

signals:
    // The status or error line changed, or a command became (un)available.
    void statusChanged();
    // The user asked for the Settings window from inside the section.
    void settingsRequested();
};

}  // namespace corvane
