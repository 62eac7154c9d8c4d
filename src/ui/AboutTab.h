// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The About page: the version, the legal notice and what each network type
// watches.
#include <QWidget>

namespace corvane {

class AboutTab : public QWidget {
    Q_OBJECT
public:
    // `version` empty: a development build.
    explicit AboutTab(const QString& version, QWidget* parent = nullptr);
};

}  // namespace corvane
