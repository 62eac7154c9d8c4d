// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/PositionStore.h"

namespace corvane {
namespace {

bool repeatsLastFix(const std::deque<MeshPosition>& stored, const MeshPosition& candidate) {
    if (stored.empty()) return false;
    const MeshPosition& last = stored.back();
    return last.nodeNumber == candidate.nodeNumber && last.latitude == candidate.latitude &&
           last.longitude == candidate.longitude;
}

}  // namespace

PositionStore::PositionStore(std::string url)
    : RecordFileStore<MeshPosition>(std::move(url), decodeMeshPosition, repeatsLastFix) {}

std::optional<std::vector<MeshPosition>> decodePositionsFile(std::string_view text) {
    return RecordFileStore<MeshPosition>::decodeFile(text, decodeMeshPosition);
}

}  // namespace corvane
