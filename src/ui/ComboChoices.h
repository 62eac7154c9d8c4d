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

// `listed` (numbers in ascending order) with `current`, labelled `label`,
// added in its place when it is not one of them: a value set elsewhere is
// shown as it is, and only while it is the current one, so such entries
// never pile up.
std::vector<ComboChoice> choicesWith(std::vector<ComboChoice> listed, double current, const QString& label);

}  // namespace corvane
