#include "ui/ComboChoices.h"

#include <QComboBox>
#include <QSignalBlocker>

namespace corvane {

void showChoices(QComboBox& box, const std::vector<ComboChoice>& entries, const QVariant& current) {
    const QSignalBlocker blocker(box);
    bool same = box.count() == static_cast<int>(entries.size());
    for (int i = 0; same && i < box.count(); ++i)
        same = box.itemText(i) == entries[static_cast<std::size_t>(i)].first &&
               box.itemData(i) == entries[static_cast<std::size_t>(i)].second;
    if (!same) {
        box.clear();
        for (const auto& [label, value] : entries) box.addItem(label, value);
    }
    box.setCurrentIndex(box.findData(current));
}

}  // namespace corvane
