// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one placeholder every empty list, pane and inspector shows: a large
// symbol, a title and a line of explanation, centred.
#include <QWidget>

class QLabel;

namespace corvane {

class SymbolLabel;

class EmptyState : public QWidget {
    Q_OBJECT
public:
    explicit EmptyState(QWidget* parent = nullptr);

    void setContent(const QString& symbol, const QString& title, const QString& text);
    QString title() const;

private:
    SymbolLabel* icon_;
    QLabel* title_;
    QLabel* text_;
};

}  // namespace corvane
