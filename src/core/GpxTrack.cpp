// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/GpxTrack.h"

#include <charconv>
#include <cmath>

#include "core/DateTime.h"

namespace corvane {
namespace {

// xsd:decimal has no exponent form: shortest fixed notation.
std::string number(double value) {
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed).ptr;
    return std::string(buffer, end);
}

}  // namespace

std::string GpxTrack::escaped(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default:
            // XML 1.0 has no way to write other control characters at all.
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') continue;
            out += c;
        }
    }
    return out;
}

std::string GpxTrack::document(const std::string& trackName, const std::vector<MeshPosition>& positions) {
    const std::string name = escaped(trackName);
    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<gpx version=\"1.1\" creator=\"Corvane\" xmlns=\"http://www.topografix.com/GPX/1/1\" "
        "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
        "xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 http://www.topografix.com/GPX/1/1/gpx.xsd\">\n"
        "  <metadata>\n    <name>" + name + "</name>\n  </metadata>\n"
        "  <trk>\n    <name>" + name + "</name>\n    <trkseg>\n";
    for (const MeshPosition& fix : positions) {
        if (!std::isfinite(fix.latitude) || !std::isfinite(fix.longitude) || std::abs(fix.latitude) > 90) continue;
        // GPX longitudes run from -180 up to, not including, 180.
        double longitude = std::remainder(fix.longitude, 360.0);
        if (longitude >= 180) longitude -= 360;
        out += "      <trkpt lat=\"" + number(fix.latitude) + "\" lon=\"" + number(longitude) + "\">\n";
        if (fix.altitude) out += "        <ele>" + std::to_string(*fix.altitude) + "</ele>\n";
        out += "        <time>" + formatIso8601(fix.timestamp) + "</time>\n      </trkpt>\n";
    }
    out += "    </trkseg>\n  </trk>\n</gpx>\n";
    return out;
}

}  // namespace corvane
