// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shows a model's list in a combo box without disturbing the user: the items
// are rebuilt only when the list differs from `shown` (what the box was last
// given), and neither that nor choosing the current entry reaches the box's
// signals.
#include <QString>
#include <QVariant>
#include <utility>
#include <vector>

class QComboBox;

namespace corvane {

using ComboChoice = std::pair<QString, QVariant>;

void showChoices(QComboBox& box, std::vector<ComboChoice>& shown, std::vector<ComboChoice> entries,
                 const QVariant& current);

}  // namespace corvane
