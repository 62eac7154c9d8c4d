// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/RadioSettingsSummary.h"

#include <QStringList>

namespace corvane {
namespace {

QString text(std::string_view value) { return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size())); }

QString regionShort(MeshtasticRegion region) {
    return region == MeshtasticRegion::eu868 ? QStringLiteral("EU868") : text(rawValue(region));
}

}  // namespace

QString regionLabel(MeshtasticRegion region) {
    switch (region) {
    case MeshtasticRegion::unset: return QStringLiteral("Unset");
    case MeshtasticRegion::eu868: return QStringLiteral("European Union 868 MHz");
    }
    return {};
}

QString radioSettingsChangeSummary(const std::optional<MeshtasticRadioSettings>& current,
                                   const MeshtasticRadioSettings& draft) {
    const QString arrow = QStringLiteral(" → ");
    QStringList lines;
    const auto changed = [&](auto field) { return !current || (*current).*field != draft.*field; };
    const auto old = [&](auto show) { return current ? show(*current) : QStringLiteral("unknown"); };
    if (changed(&MeshtasticRadioSettings::region))
        lines << QStringLiteral("Region: ") + old([](const auto& s) { return regionShort(s.region); }) + arrow +
                     regionShort(draft.region);
    if (changed(&MeshtasticRadioSettings::modemPreset))
        lines << QStringLiteral("Preset: ") + old([](const auto& s) { return text(label(s.modemPreset)); }) + arrow +
                     text(label(draft.modemPreset));
    if (changed(&MeshtasticRadioSettings::hopLimit))
        lines << QStringLiteral("Hops: ") + old([](const auto& s) { return QString::number(s.hopLimit); }) + arrow +
                     QString::number(draft.hopLimit);
    if (changed(&MeshtasticRadioSettings::channelNum))
        lines << QStringLiteral("Frequency slot: ") + old([](const auto& s) { return QString::number(s.channelNum); }) +
                     arrow + QString::number(draft.channelNum);
    if (changed(&MeshtasticRadioSettings::txEnabled))
        lines << QStringLiteral("Transmit: ") + (draft.txEnabled ? QStringLiteral("enabled") : QStringLiteral("disabled"));
    if (changed(&MeshtasticRadioSettings::txPower))
        lines << QStringLiteral("Power: ") + old([](const auto& s) { return QString::number(s.txPower); }) + arrow +
                     QString::number(draft.txPower) + QStringLiteral(" dBm (0 is regional default)");
    if (changed(&MeshtasticRadioSettings::rxBoostedGain))
        lines << QStringLiteral("RX boosted gain: ") + (draft.rxBoostedGain ? QStringLiteral("on") : QStringLiteral("off"));
    if (lines.isEmpty()) return QStringLiteral("No settings will change.");
    lines.prepend(QStringLiteral("The connected radio configuration will be updated."));
    return lines.join(QLatin1Char('\n'));
}

}  // namespace corvane
