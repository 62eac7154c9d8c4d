// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A section whose watcher is not part of this build yet: it is listed in
// the picker and shows its name in an empty state.
#include "ui/WindowSection.h"

namespace corvane {

class EmptyState;

class PlaceholderSection : public WindowSection {
    Q_OBJECT
public:
    explicit PlaceholderSection(NetworkSection section);

    NetworkSection section() const override { return section_; }
    QWidget* sidebar() override;
    QWidget* content() override;
    QWidget* inspector() override;

private:
    NetworkSection section_;
    EmptyState* sidebar_;
    EmptyState* content_;
    QWidget* inspector_;
};

}  // namespace corvane
