// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/TrackedBluetoothDevice.h"

#include <algorithm>

#include "core/JsonRead.h"
#include "core/JsonWriter.h"

namespace corvane {
namespace {

std::optional<TrackedBluetoothDevice> decodeDevice(const json::Element& element) {
    json::Object object;
    if (element.get_object().get(object) != simdjson::SUCCESS) return std::nullopt;
    TrackedBluetoothDevice device;
    std::optional<bool> enabled;
    std::optional<double> delay;
    std::int32_t rssi = 0;
    if (!json::required(object, "id", device.id, json::asUuid) ||
        !json::required(object, "name", device.name, json::asString) ||
        !json::required(object, "discoveredName", device.discoveredName, json::asString) ||
        !json::required(object, "addedAt", device.addedAt, json::asReferenceDate) ||
        !json::required(object, "lastSeen", device.lastSeen, json::asReferenceDate) ||
        !json::required(object, "lastRSSI", rssi, json::asInt32) ||
        !json::optional(object, "latitude", device.latitude, json::asDouble) ||
        !json::optional(object, "longitude", device.longitude, json::asDouble) ||
        !json::optional(object, "lossAlertEnabled", enabled, json::asBool) ||
        !json::optional(object, "lossAlertDelay", delay, json::asDouble)) {
        return std::nullopt;
    }
    device.lastRSSI = rssi;
    device.lossAlertEnabled = enabled.value_or(false);
    // std::max keeps the minimum for a delay that is not a number, too.
    device.lossAlertDelay =
        std::max(TrackedBluetoothDevice::kMinimumLossAlertDelay, delay.value_or(TrackedBluetoothDevice::kDefaultLossAlertDelay));
    return device;
}

}  // namespace

void TrackedBluetoothDevice::observe(Timestamp at, int rssi, std::optional<double> newLatitude,
                                     std::optional<double> newLongitude) {
    lastSeen = at;
    lastRSSI = rssi;
    if (newLatitude && newLongitude) {
        latitude = newLatitude;
        longitude = newLongitude;
    }
}

std::optional<std::vector<TrackedBluetoothDevice>> decodeTrackedBluetoothDevices(std::string_view text) {
    return json::parseDocument(text, [](const json::Element& root) -> std::optional<std::vector<TrackedBluetoothDevice>> {
        simdjson::dom::array array;
        if (root.get_array().get(array) != simdjson::SUCCESS) return std::nullopt;
        std::vector<TrackedBluetoothDevice> devices;
        for (const auto element : array) {
            auto device = decodeDevice(element);
            if (!device) return std::nullopt;
            devices.push_back(std::move(*device));
        }
        return devices;
    });
}

std::optional<std::string> encodeTrackedBluetoothDevices(const std::vector<TrackedBluetoothDevice>& devices) {
    JsonWriter writer;
    writer.beginArray();
    for (const auto& device : devices) {
        writer.beginObject();
        writer.key("id");
        writer.string(device.id.string());
        writer.key("name");
        writer.string(device.name);
        writer.key("discoveredName");
        writer.string(device.discoveredName);
        writer.key("addedAt");
        writer.number(secondsSinceReferenceDate(device.addedAt));
        writer.key("lastSeen");
        writer.number(secondsSinceReferenceDate(device.lastSeen));
        writer.key("lastRSSI");
        writer.integer(device.lastRSSI);
        if (device.latitude && device.longitude) {
            writer.key("latitude");
            writer.number(*device.latitude);
            writer.key("longitude");
            writer.number(*device.longitude);
        }
        writer.key("lossAlertEnabled");
        writer.boolean(device.lossAlertEnabled);
        writer.key("lossAlertDelay");
        writer.number(device.lossAlertDelay);
        writer.endObject();
    }
    writer.endArray();
    if (writer.failed()) return std::nullopt;
    return writer.take();
}

}  // namespace corvane
