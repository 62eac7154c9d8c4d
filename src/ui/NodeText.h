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

}  // namespace NodeText
}  // namespace corvane
