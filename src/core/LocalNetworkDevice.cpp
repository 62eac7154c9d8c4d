// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/LocalNetworkDevice.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <utility>

#include <unicode/locid.h>
#include <unicode/unistr.h>

#include "core/JsonRead.h"
#include "core/JsonWriter.h"
#include "core/TextCompare.h"

namespace corvane {
namespace {

// Root rules: "I" lowers to "i" whatever the user's language.
std::string lowercased(std::string_view text) {
    icu::UnicodeString unicode =
        icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
    unicode.toLower(icu::Locale::getRoot());
    std::string result;
    unicode.toUTF8String(result);
    return result;
}

bool contains(const std::vector<std::string>& list, std::string_view value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

// Lists read from the file are kept as they stand, in any order and with
// any repeats, so a binary search could miss an entry or add it twice.
void insertSorted(std::vector<std::string>& list, std::string_view value) {
    if (contains(list, value)) return;
    list.emplace_back(value);
    std::sort(list.begin(), list.end());
    list.erase(std::unique(list.begin(), list.end()), list.end());
}

bool asStringList(const json::Element& element, std::vector<std::string>& out) {
    simdjson::dom::array array;
    if (element.get_array().get(array) != simdjson::SUCCESS) return false;
    out.clear();
    for (const auto item : array) {
        std::string text;
        if (!json::asString(item, text)) return false;
        out.push_back(std::move(text));
    }
    return true;
}

// Values a time point cannot hold (the distant past among them) read as the
// distant past: "never heard" is what such a date means here.
bool asLastSeen(const json::Element& element, std::optional<Timestamp>& out) {
    double seconds = 0;
    if (!json::asDouble(element, seconds)) return false;
    out = fromSecondsSinceReferenceDate(seconds);
    return true;
}

std::optional<LocalNetworkDevice> decodeDevice(const json::Element& element) {
    json::Object object;
    if (element.get_object().get(object) != simdjson::SUCCESS) return std::nullopt;
    LocalNetworkDevice device;
    if (!json::required(object, "id", device.id, json::asString) ||
        !json::required(object, "name", device.name, json::asString) ||
        !json::required(object, "domain", device.domain, json::asString)) {
        return std::nullopt;
    }
    if (const auto types = json::member(object, "serviceTypes"); types && !asStringList(*types, device.serviceTypes)) {
        return std::nullopt;
    }
    if (const auto names = json::member(object, "interfaceNames");
        names && !asStringList(*names, device.interfaceNames)) {
        return std::nullopt;
    }
    if (const auto seen = json::member(object, "lastSeen"); seen && !asLastSeen(*seen, device.lastSeen)) {
        return std::nullopt;
    }
    for (const auto& [key, field] : {std::pair{"isOnline", &device.isOnline},
                                     std::pair{"isTracked", &device.isTracked},
                                     std::pair{"lossAlertEnabled", &device.lossAlertEnabled}}) {
        if (const auto flag = json::member(object, key); flag && !json::asBool(*flag, *field)) return std::nullopt;
    }
    if (const auto delay = json::member(object, "lossAlertDelay");
        delay && !json::asDouble(*delay, device.lossAlertDelay)) {
        return std::nullopt;
    }
    device.lossAlertDelay = std::max(device.lossAlertDelay, LocalNetworkDevice::kMinimumLossAlertDelay);
    return device;
}

void encodeStringList(JsonWriter& writer, const std::vector<std::string>& list) {
    writer.beginArray();
    for (const auto& item : list) writer.string(item);
    writer.endArray();
}

void encodeDevice(JsonWriter& writer, const LocalNetworkDevice& device) {
    writer.beginObject();
    writer.key("id");
    writer.string(device.id);
    writer.key("name");
    writer.string(device.name);
    writer.key("domain");
    writer.string(device.domain);
    writer.key("serviceTypes");
    encodeStringList(writer, device.serviceTypes);
    writer.key("interfaceNames");
    encodeStringList(writer, device.interfaceNames);
    writer.key("lastSeen");
    writer.number(device.lastSeen ? secondsSinceReferenceDate(*device.lastSeen)
                                   : LocalNetworkDevice::kDistantPastSeconds);
    writer.key("isOnline");
    writer.boolean(false);
    writer.key("isTracked");
    writer.boolean(device.isTracked);
    writer.key("lossAlertEnabled");
    writer.boolean(device.lossAlertEnabled);
    writer.key("lossAlertDelay");
    writer.number(device.lossAlertDelay);
    writer.endObject();
}

std::string capitalizedWords(std::string_view text) {
    std::string result(text);
    bool atWordStart = true;
    for (char& c : result) {
        if (c == ' ') {
            atWordStart = true;
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) c = static_cast<char>(atWordStart ? std::toupper(byte) : std::tolower(byte));
        atWordStart = false;
    }
    return result;
}

void removeAll(std::string& text, std::string_view part) {
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at)) text.erase(at, part.size());
}

}  // namespace

std::string LocalNetworkDevice::identifier(std::string_view name, std::string_view domain) {
    std::string result = TextCompare::fold(name);
    result += '|';
    result += lowercased(domain);
    return result;
}

void LocalNetworkDevice::record(std::string_view serviceType, std::optional<std::string_view> interfaceName,
                                Timestamp at) {
    insertSorted(serviceTypes, serviceType);
    if (interfaceName && !interfaceName->empty()) insertSorted(interfaceNames, *interfaceName);
    lastSeen = at;
    isOnline = true;
}

LocalNetworkDeviceKind LocalNetworkDevice::kind() const {
    const std::string folded = TextCompare::fold(name);
    const auto has = [&folded](std::string_view part) { return folded.find(part) != std::string::npos; };
    if (has("macbook")) return LocalNetworkDeviceKind::laptop;
    if (has("mac studio") || has("mac mini") || has("imac") || has("mac pro") || folded.ends_with(" mac") ||
        folded.starts_with("mac ")) {
        return LocalNetworkDeviceKind::computer;
    }
    if (has("apple tv") || has("appletv")) return LocalNetworkDeviceKind::television;
    if (has("homepod")) return LocalNetworkDeviceKind::speaker;
    if (contains(serviceTypes, "_ipp._tcp") || contains(serviceTypes, "_ipps._tcp") ||
        contains(serviceTypes, "_printer._tcp")) {
        return LocalNetworkDeviceKind::printer;
    }
    if (contains(serviceTypes, "_workstation._tcp")) return LocalNetworkDeviceKind::computer;
    if (contains(serviceTypes, "_smb._tcp")) return LocalNetworkDeviceKind::storage;
    if (contains(serviceTypes, "_raop._tcp")) return LocalNetworkDeviceKind::speaker;
    return LocalNetworkDeviceKind::generic;
}

std::string LocalNetworkDevice::readableServiceName(std::string_view serviceType) {
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 15> kNames{{
        {"_airplay._tcp", "AirPlay"},
        {"_raop._tcp", "AirPlay audio"},
        {"_companion-link._tcp", "Apple device"},
        {"_device-info._tcp", "Device information"},
        {"_workstation._tcp", "Computer"},
        {"_ipp._tcp", "Printer"},
        {"_ipps._tcp", "Printer"},
        {"_printer._tcp", "Printer"},
        {"_smb._tcp", "File sharing"},
        {"_ssh._tcp", "Remote login"},
        {"_http._tcp", "Web service"},
        {"_https._tcp", "Web service"},
        {"_homekit._tcp", "HomeKit"},
        {"_googlecast._tcp", "Google Cast"},
        {"_spotify-connect._tcp", "Spotify Connect"},
    }};
    for (const auto& [type, readable] : kNames) {
        if (type == serviceType) return std::string(readable);
    }
    std::string text(serviceType);
    removeAll(text, "._tcp");
    removeAll(text, "._udp");
    std::replace(text.begin(), text.end(), '_', ' ');
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return capitalizedWords(std::string_view(text).substr(first, last - first + 1));
}

std::string LocalNetworkDevice::serviceSummary() const {
    std::string summary;
    for (const auto& type : serviceTypes) {
        if (!summary.empty()) summary += ", ";
        summary += readableServiceName(type);
    }
    return summary;
}

std::optional<std::string> LocalNetworkDevice::encodeFile(const std::vector<LocalNetworkDevice>& devices) {
    JsonWriter writer;
    writer.beginArray();
    for (const auto& device : devices) encodeDevice(writer, device);
    writer.endArray();
    if (writer.failed()) return std::nullopt;
    return writer.take();
}

std::optional<std::vector<LocalNetworkDevice>> LocalNetworkDevice::decodeFile(std::string_view text) {
    return json::parseDocument(text, [](const json::Element& root) -> std::optional<std::vector<LocalNetworkDevice>> {
        simdjson::dom::array array;
        if (root.get_array().get(array) != simdjson::SUCCESS) return std::nullopt;
        std::vector<LocalNetworkDevice> devices;
        for (const auto element : array) {
            auto device = decodeDevice(element);
            if (!device) return std::nullopt;
            devices.push_back(std::move(*device));
        }
        return devices;
    });
}

}  // namespace corvane
