// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/TrackExport.h"

#include <algorithm>

#include "core/GpxTrack.h"
#include "core/PrivateFile.h"

namespace corvane {

Result<std::size_t, std::string> TrackExport::write(const std::string& path, const std::string& trackName,
                                                    std::uint32_t node, const std::vector<MeshPosition>& history) {
    std::vector<MeshPosition> track;
    std::copy_if(history.begin(), history.end(), std::back_inserter(track),
                 [node](const MeshPosition& fix) { return fix.nodeNumber == node; });
    if (track.empty()) return fail(std::string("No stored positions of this node to export."));
    const auto written = PrivateFile::write(path, GpxTrack::document(trackName, track));
    if (!written) return fail("Could not write the track: " + written.error().message);
    return track.size();
}

}  // namespace corvane
