// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ComboChoices.h"

#include <QComboBox>
#include <QSignalBlocker>
#include <algorithm>

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

std::vector<ComboChoice> choicesWith(std::vector<ComboChoice> listed, double current, const QString& label) {
    const auto at = std::find_if(listed.begin(), listed.end(),
                                 [current](const ComboChoice& choice) { return choice.second.toDouble() >= current; });
    if (at == listed.end() || at->second.toDouble() != current) listed.insert(at, {label, current});
    return listed;
}

}  // namespace corvane
