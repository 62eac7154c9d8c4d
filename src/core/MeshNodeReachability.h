// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A node's verdict about how it is heard: through the mesh (with its hop count
// when known), directly by the local radio, or not recently at all.
#include <cstdint>
#include <optional>

namespace corvane {

struct MeshNodeReachability {
    enum class Kind { mesh, directlyHeard, stale };

    Kind kind = Kind::stale;
    std::optional<std::uint32_t> hops;  // only meaningful for `mesh`

    static MeshNodeReachability mesh(std::optional<std::uint32_t> hops) { return {Kind::mesh, hops}; }
    static MeshNodeReachability directlyHeard() { return {Kind::directlyHeard, std::nullopt}; }
    static MeshNodeReachability stale() { return {Kind::stale, std::nullopt}; }

    friend bool operator==(const MeshNodeReachability&, const MeshNodeReachability&) = default;
};

}  // namespace corvane
