// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ScanningSection.h"

namespace corvane {

void ScanningSection::setPanes(QWidget* sidebar, QWidget* content, QWidget* inspector) {
    sidebar_ = sidebar;
    content_ = content;
    inspector_ = inspector;
}

ScanningSection::~ScanningSection() = default;

void ScanningSection::refreshOn(EventLoop& loop, ChangeSignal& signal) {
    refresher_ = std::make_unique<RefreshOnChange>(loop, signal, [this] { refresh(); });
    refresh();
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
