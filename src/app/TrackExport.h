// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Writes one node's stored positions as a GPX 1.1 track file, for the
// inspector's "Export Track…" and `corvane --export-gpx`. The file is
// replaced atomically and private to the user (it tells where they were).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/MeshPosition.h"
#include "core/Result.h"

namespace corvane {

struct TrackExport {
    // The number of fixes written, or a readable reason.
    static Result<std::size_t, std::string> write(const std::string& path, const std::string& trackName,
                                                  std::uint32_t node, const std::vector<MeshPosition>& history);
};

}  // namespace corvane
