// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/NodeText.h"

#include <QDateTime>
#include <QLocale>
#include <cmath>

#include "app/CorvaneModel.h"
#include "ui/DateText.h"

namespace corvane::NodeText {
namespace {
const QString kNotReported = QStringLiteral("Not reported");
constexpr std::uint32_t kExternalPower = 101;
}  // namespace

QString hexNumber(std::uint32_t number) {
    return QStringLiteral("!%1").arg(number, 8, 16, QLatin1Char('0'));
}

QString power(const MeshNode& node) {
    if (!node.batteryLevel) return kNotReported;
    if (*node.batteryLevel == kExternalPower) return QStringLiteral("External power");
    return QStringLiteral("%1%").arg(*node.batteryLevel);
}

QString signal(const MeshNode& node) {
    if (!node.signalToNoise) return kNotReported;
    // QString::number never localises: "6.3 dB" in every locale.
    return QString::number(static_cast<double>(*node.signalToNoise), 'f', 1) + QStringLiteral(" dB");
}

QString connection(const MeshNode& node, const CorvaneModel& model, Timestamp now) {
    if (model.localNodeID() == node.number) return QStringLiteral("USB base");
    const auto reachability = node.reachability(now, std::chrono::duration<double>(CorvaneModel::kNearbyWindow).count());
    switch (reachability.kind) {
    case MeshNodeReachability::Kind::stale: return QStringLiteral("Not heard recently");
    case MeshNodeReachability::Kind::directlyHeard: return QStringLiteral("Directly heard");
    case MeshNodeReachability::Kind::mesh:
        if (reachability.hops) return QStringLiteral("Mesh · %1 hops").arg(*reachability.hops);
        return QStringLiteral("Mesh");
    }
    return {};
}

QString dateTime(Timestamp instant) {
    const auto milliseconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(instant.time_since_epoch()).count();
    return QLocale().toString(QDateTime::fromMSecsSinceEpoch(milliseconds), QLocale::ShortFormat);
}

QString metres(double value) {
    if (!std::isfinite(value)) return QStringLiteral("– m");
    return QStringLiteral("%1 m").arg(static_cast<long long>(std::trunc(value)));
}

QString lastHeard(std::uint32_t number, const CorvaneModel& model, Timestamp now) {
    const auto heard = model.meshHealth().lastHeard(number);
    return heard ? DateText::timeOfDay(*heard, now) : QString();
}

QString silence(std::uint32_t number, const CorvaneModel& model) {
    const auto& health = model.meshHealth();
    if (!health.isSilent(number)) return {};
    // The alert may have been switched off since; the node is still silent.
    const auto delay = health.effectiveDelay(number);
    if (!delay) return QStringLiteral("Silent");
    return QStringLiteral("Silent: nothing heard for ") + QString::fromStdString(MeshSilenceRule::delayText(*delay));
}

QString silenceMeaning() { return QStringLiteral("It may be switched off, out of battery or out of range."); }

}  // namespace corvane::NodeText
