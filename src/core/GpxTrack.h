// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One node's stored positions as a GPX 1.1 document: one track, one segment,
// the fixes in the order given. Names are escaped and stripped of the
// characters XML cannot carry; a fix whose coordinates are not valid GPX
// (not finite, latitude beyond ±90) is left out rather than written broken.
// Pure; the caller writes the bytes (PrivateFile).
#include <string>
#include <vector>

#include "core/MeshPosition.h"

namespace corvane {

struct GpxTrack {
    static std::string document(const std::string& trackName, const std::vector<MeshPosition>& positions);
    // Text made safe for XML character data and attribute values.
    static std::string escaped(const std::string& text);
};

}  // namespace corvane
