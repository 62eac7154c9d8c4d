// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The text of the "Apply radio settings?" confirmation: what applying
// `draft` changes on a radio that holds `current`, one line per field.
// Without known settings every field counts as changed, its old value
// "unknown".
#include <QString>
#include <optional>

#include "core/MeshtasticRadioSettings.h"

namespace corvane {

QString radioSettingsChangeSummary(const std::optional<MeshtasticRadioSettings>& current,
                                   const MeshtasticRadioSettings& draft);

// "European Union 868 MHz", "Unset": the region picker's labels.
QString regionLabel(MeshtasticRegion region);

}  // namespace corvane
