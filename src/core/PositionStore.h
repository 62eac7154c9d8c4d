// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The position history on disk ("positions.json"): every accepted fix, oldest
// first. A fix whose node and coordinates equal the last entry's exactly is
// not written again (a node that stays put reports the same fix repeatedly);
// older entries play no part, so a node returning to an earlier spot is kept.
//
// Owned by the model and used from its event-loop thread only; see
// RecordFileStore for the caching and damaged-file rules.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/MeshPosition.h"
#include "core/RecordFileStore.h"

namespace corvane {

class PositionStore : public RecordFileStore<MeshPosition> {
public:
    // The cap the model passes on every append.
    static constexpr std::size_t kMaximumCount = 10000;

    explicit PositionStore(std::string url);
};

// The file's codec alone, for tools and fuzzing.
std::optional<std::vector<MeshPosition>> decodePositionsFile(std::string_view text);

}  // namespace corvane
