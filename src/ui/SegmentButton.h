// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One segment of a segmented picker (the network picker, Map/Messages) or a
// lone toggle (Scan): a checkable text button whose chosen state is drawn in
// the palette's highlight, since the styles' own checked tool buttons differ
// from the others by a faint shade that vanishes in dark palettes.
#include <QToolButton>

namespace corvane {

class SegmentButton : public QToolButton {
    Q_OBJECT
public:
    SegmentButton(const QString& objectName, const QString& text, QWidget* parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace corvane
