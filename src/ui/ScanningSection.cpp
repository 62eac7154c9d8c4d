// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ScanningSection.h"

#include <QSignalBlocker>

#include "ui/SegmentButton.h"

namespace corvane {

ScanningSection::ScanningSection(const QString& scanButton, const QString& scanHelp)
    : scan_(new SegmentButton(scanButton, QStringLiteral("Scan"))) {
    scan_->setToolTip(scanHelp);
    connect(scan_, &QToolButton::clicked, this, [this] { run(Command::scan); });
}

QWidget* ScanningSection::toolbarControls() { return scan_; }

void ScanningSection::refreshAll() {
    refresh();
    const QSignalBlocker blocker(scan_);
    scan_->setChecked(isScanning());
}

void ScanningSection::setPanes(QWidget* sidebar, QWidget* content, QWidget* inspector) {
    sidebar_ = sidebar;
    content_ = content;
    inspector_ = inspector;
}

ScanningSection::~ScanningSection() = default;

void ScanningSection::refreshOn(EventLoop& loop, ChangeSignal& signal) {
    refresher_ = std::make_unique<RefreshOnChange>(loop, signal, [this] { refreshAll(); });
    refreshAll();
}

void ScanningSection::run(Command command) {
    if (command == Command::scan) setScanning(!isScanning());
}

void ScanningSection::activate() {
    if (!isScanning()) setScanning(true);
    selectFirstTracked();
}

void ScanningSection::deactivate() {
    if (isScanning()) setScanning(false);
}

QString ScanningSection::statusLine() const {
    return title(section()) + QStringLiteral(": ") + QString::fromStdString(watcherState());
}

}  // namespace corvane
