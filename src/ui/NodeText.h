// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How the windows write a mesh node's facts: its number, power, signal,
// connection and times. Locale-independent where the format is fixed.
#include <QString>
#include <cstdint>

#include "core/DateTime.h"
#include "core/MeshNode.h"

namespace corvane {

class CorvaneModel;

namespace NodeText {

QString hexNumber(std::uint32_t number);
QString power(const MeshNode& node);
QString signal(const MeshNode& node);
QString connection(const MeshNode& node, const CorvaneModel& model, Timestamp now);
QString dateTime(Timestamp instant);
// Metres as a whole number (truncated) and " m".
QString metres(double value);
// When anything was last heard from the node, in DateText's time of day;
// empty when nothing ever was.
QString lastHeard(std::uint32_t number, const CorvaneModel& model, Timestamp now);
// "Silent: nothing heard for 1 h" while the health watch calls the node
// silent, else empty; and what that may mean, for its tooltip.
QString silence(std::uint32_t number, const CorvaneModel& model);
QString silenceMeaning();

}  // namespace NodeText
}  // namespace corvane
