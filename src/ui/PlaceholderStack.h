// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A pane that shows either its placeholder (the window's one empty state) or
// one of its pages: the shape of every content area and inspector that has
// nothing to show until something is selected or heard. GUI thread only.
#include <QStackedWidget>

namespace corvane {

class EmptyState;

class PlaceholderStack : public QStackedWidget {
    Q_OBJECT
public:
    explicit PlaceholderStack(QWidget* parent = nullptr);

    EmptyState& placeholder() { return *placeholder_; }
    void showPlaceholder();
    void showPlaceholder(const QString& symbol, const QString& title, const QString& text);

private:
    EmptyState* placeholder_;
};

}  // namespace corvane
