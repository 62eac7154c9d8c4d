// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ComboChoices.h"

#include <QComboBox>
#include <QSignalBlocker>

namespace corvane {

void showChoices(QComboBox& box, std::vector<ComboChoice>& shown, std::vector<ComboChoice> entries,
                 const QVariant& current) {
    const QSignalBlocker blocker(box);
    if (entries != shown || box.count() != static_cast<int>(entries.size())) {
        box.clear();
        for (const auto& [label, value] : entries) box.addItem(label, value);
        shown = std::move(entries);
    }
    box.setCurrentIndex(box.findData(current));
}

}  // namespace corvane
