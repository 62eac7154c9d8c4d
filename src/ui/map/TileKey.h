// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QtGlobal>

namespace corvane {

// One tile of the OpenStreetMap scheme; x already wrapped into 0..2^zoom-1.
struct TileKey {
    int zoom = 0;
    int x = 0;
    int y = 0;

    quint64 packed() const {
        return (quint64(quint32(zoom)) << 48) | (quint64(quint32(x)) << 24) | quint64(quint32(y));
    }
    friend bool operator==(const TileKey&, const TileKey&) = default;
};

}  // namespace corvane
