// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A section over a watcher that scans while the section is shown (Bluetooth,
// Local Network): entering it starts the scan and picks what to show,
// leaving it stops the scan, "Scan" toggles it in between, and the status
// line is the section's title with the watcher's state. The toolbar's
// "Scan" toggle shows whether the watcher scans. The watcher is
// re-read once per loop turn. A subclass hands over its three panes and
// says how its watcher scans. GUI thread only.
#include <functional>
#include <memory>
#include <string>

#include "ui/RefreshOnChange.h"
#include "ui/WindowSection.h"

namespace corvane {

class SegmentButton;

class ScanningSection : public WindowSection {
    Q_OBJECT
public:
    ~ScanningSection() override;

    QWidget* sidebar() override { return sidebar_; }
    QWidget* content() override { return content_; }
    QWidget* inspector() override { return inspector_; }
    QWidget* toolbarControls() override;

    bool supports(Command command) const override { return command == Command::scan; }
    void run(Command command) override;
    void activate() override;
    void deactivate() override;
    QString statusLine() const override;

    virtual void refresh() = 0;

protected:
    // `scanButton` names the toolbar toggle; `scanHelp` is its tooltip.
    ScanningSection(const QString& scanButton, const QString& scanHelp);
    void setPanes(QWidget* sidebar, QWidget* content, QWidget* inspector);
    // Refreshes now and after every change of `signal`.
    void refreshOn(EventLoop& loop, ChangeSignal& signal);

    virtual bool isScanning() const = 0;
    virtual void setScanning(bool on) = 0;
    virtual std::string watcherState() const = 0;
    // On entering: what to select when nothing listed is selected.
    virtual void selectFirstTracked() = 0;

private:
    void refreshAll();

    SegmentButton* scan_;
    QWidget* sidebar_ = nullptr;
    QWidget* content_ = nullptr;
    QWidget* inspector_ = nullptr;
    std::unique_ptr<RefreshOnChange> refresher_;
};

}  // namespace corvane
