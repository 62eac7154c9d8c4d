// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A symbol shown on its own in a layout (a section's big kind symbol, the
// error line's triangle). It is drawn at paint time in its palette role, so
// a theme change recolours it and a move to a screen of another pixel ratio
// sharpens it, which a pixmap set once would not. GUI thread only.
#include <QPalette>
#include <QWidget>

namespace corvane {

class SymbolLabel : public QWidget {
    Q_OBJECT
public:
    explicit SymbolLabel(int size, QPalette::ColorRole role = QPalette::WindowText, QWidget* parent = nullptr);

    void setSymbol(const QString& symbol);
    const QString& symbol() const { return symbol_; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QString symbol_;
    int size_;
    QPalette::ColorRole role_;
};

}  // namespace corvane
