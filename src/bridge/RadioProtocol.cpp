// SPDX-License-Identifier: GPL-3.0-or-later
#include "RadioProtocol.h"

#include <chrono>
#include <cmath>

#include "FrameReader.h"
#include "Utf8Repair.h"

namespace corvane::bridge {
namespace {

using Lora = mesh::Config::LoRaConfig;

std::optional<MeshtasticRegion> regionOf(Lora::RegionCode code) {
    switch (code) {
    case Lora::UNSET: return MeshtasticRegion::unset;
    case Lora::EU_868: return MeshtasticRegion::eu868;
    default: return std::nullopt;
    }
}

Lora::RegionCode regionCode(MeshtasticRegion region) {
    return region == MeshtasticRegion::eu868 ? Lora::EU_868 : Lora::UNSET;
}

std::optional<MeshtasticModemPreset> presetOf(Lora::ModemPreset preset) {
    switch (preset) {
    case Lora::LONG_FAST: return MeshtasticModemPreset::longFast;
    case Lora::LONG_MODERATE: return MeshtasticModemPreset::longModerate;
    case Lora::MEDIUM_SLOW: return MeshtasticModemPreset::mediumSlow;
    case Lora::MEDIUM_FAST: return MeshtasticModemPreset::mediumFast;
    case Lora::SHORT_SLOW: return MeshtasticModemPreset::shortSlow;
    case Lora::SHORT_FAST: return MeshtasticModemPreset::shortFast;
    default: return std::nullopt;
    }
}

Lora::ModemPreset presetCode(MeshtasticModemPreset preset) {
    switch (preset) {
    case MeshtasticModemPreset::longFast: return Lora::LONG_FAST;
    case MeshtasticModemPreset::longModerate: return Lora::LONG_MODERATE;
    case MeshtasticModemPreset::mediumSlow: return Lora::MEDIUM_SLOW;
    case MeshtasticModemPreset::mediumFast: return Lora::MEDIUM_FAST;
    case MeshtasticModemPreset::shortSlow: return Lora::SHORT_SLOW;
    case MeshtasticModemPreset::shortFast: return Lora::SHORT_FAST;
    }
    return Lora::LONG_FAST;
}

template <typename Enum>
std::string enumText(const std::string& name, Enum value) {
    return name.empty() ? std::to_string(static_cast<int>(value)) : name;
}

}  // namespace

std::string frameOf(const mesh::ToRadio& message) { return frameBytes(message.SerializeAsString()); }

std::optional<mesh::FromRadio> parseFromRadio(std::string_view payload) {
    mesh::FromRadio message;
    if (!message.ParseFromArray(payload.data(), static_cast<int>(payload.size()))) return std::nullopt;
    if (message.payload_variant_case() == mesh::FromRadio::PAYLOAD_VARIANT_NOT_SET) return std::nullopt;
    return message;
}

mesh::ToRadio wantConfig(std::uint32_t nonce) {
    mesh::ToRadio message;
    message.set_want_config_id(nonce);
    return message;
}

mesh::ToRadio disconnectMessage() {
    mesh::ToRadio message;
    message.set_disconnect(true);
    return message;
}

mesh::ToRadio heartbeat() {
    mesh::ToRadio message;
    message.mutable_heartbeat();
    return message;
}

Result<mesh::ToRadio, std::string> textPacket(std::string_view text, std::optional<std::uint32_t> recipient,
                                              std::uint32_t channel, std::uint32_t packetID) {
    const bool direct = recipient && *recipient != kBroadcastNode;
    const std::size_t limit = direct ? kMaxDirectTextBytes : kMaxChannelTextBytes;
    if (text.size() > limit) {
        return fail("The message is too long for one radio packet: " + std::string(direct ? "a direct message" : "a message on a channel") +
                    " holds at most " + std::to_string(limit) + " bytes of UTF-8, this one has " +
                    std::to_string(text.size()) + ".");
    }
    mesh::ToRadio message;
    auto* packet = message.mutable_packet();
    packet->set_to(recipient.value_or(kBroadcastNode));
    packet->set_channel(channel);
    packet->set_id(packetID);
    packet->set_want_ack(direct);
    auto* data = packet->mutable_decoded();
    data->set_portnum(mesh::TEXT_MESSAGE_APP);
    data->set_payload(std::string(text));
    return message;
}

mesh::ToRadio adminPacket(const mesh::AdminMessage& admin, std::uint32_t localNode, std::uint32_t packetID) {
    mesh::ToRadio message;
    auto* packet = message.mutable_packet();
    packet->set_to(localNode);
    packet->set_id(packetID);
    packet->set_want_ack(true);
    auto* data = packet->mutable_decoded();
    data->set_portnum(mesh::ADMIN_APP);
    data->set_payload(admin.SerializeAsString());
    data->set_want_response(true);
    return message;
}

Result<MeshtasticRadioSettings, std::string> settingsFromLora(const Lora& lora) {
    const auto region = regionOf(lora.region());
    if (!region) {
        return fail("The radio uses the LoRa region " + enumText(Lora::RegionCode_Name(lora.region()), lora.region()) +
                    ", which Corvane cannot show. Change it with the Meshtastic app.");
    }
    const auto preset = presetOf(lora.modem_preset());
    if (!preset) {
        return fail("The radio uses the modem preset " +
                    enumText(Lora::ModemPreset_Name(lora.modem_preset()), lora.modem_preset()) +
                    ", which Corvane cannot show. Change it with the Meshtastic app.");
    }
    if (!std::isfinite(lora.override_frequency()))
        return fail(std::string("The radio reports an invalid frequency override."));
    return MeshtasticRadioSettings{.usePreset = lora.use_preset(),
                                   .region = *region,
                                   .modemPreset = *preset,
                                   .hopLimit = lora.hop_limit(),
                                   .channelNum = lora.channel_num(),
                                   .txEnabled = lora.tx_enabled(),
                                   .txPower = lora.tx_power(),
                                   .rxBoostedGain = lora.sx126x_rx_boosted_gain(),
                                   .overrideDutyCycle = lora.override_duty_cycle(),
                                   .overrideFrequency = lora.override_frequency()};
}

Lora loraWithSettings(Lora current, const MeshtasticRadioSettings& settings) {
    current.set_use_preset(settings.usePreset);
    current.set_region(regionCode(settings.region));
    current.set_modem_preset(presetCode(settings.modemPreset));
    current.set_hop_limit(settings.hopLimit);
    current.set_channel_num(settings.channelNum);
    current.set_tx_enabled(settings.txEnabled);
    current.set_tx_power(settings.txPower);
    current.set_sx126x_rx_boosted_gain(settings.rxBoostedGain);
    current.set_override_duty_cycle(settings.overrideDutyCycle);
    current.set_override_frequency(settings.overrideFrequency);
    return current;
}

std::optional<MeshMessage> textMessage(const mesh::MeshPacket& packet, std::uint32_t localNode, Timestamp now) {
    if (!packet.has_decoded() || packet.decoded().portnum() != mesh::TEXT_MESSAGE_APP) return std::nullopt;
    return MeshMessage{.id = Uuid::random(),
                       .packetID = packet.id(),
                       .sender = packet.from(),
                       .recipient = packet.to(),
                       .channel = packet.channel(),
                       .text = repairedUtf8(packet.decoded().payload()),
                       .timestamp = packet.rx_time() != 0 ? fromUnixSeconds(packet.rx_time()) : now,
                       .isOutgoing = packet.from() == localNode};
}

std::optional<MeshtasticBridgeResponse> channelLine(const mesh::Channel& channel) {
    if (channel.role() == mesh::Channel::DISABLED || channel.index() < 0) return std::nullopt;
    MeshtasticBridgeResponse line;
    line.event = MeshtasticBridgeEvent::channel;
    line.channel = static_cast<std::uint32_t>(channel.index());
    if (!channel.settings().name().empty()) line.channelName = repairedUtf8(channel.settings().name());
    return line;
}

std::optional<MeshPosition> positionOf(const mesh::Position& position, std::uint32_t nodeNumber, Timestamp heard) {
    if (!position.has_latitude_i() || !position.has_longitude_i()) return std::nullopt;
    const std::int32_t lat = position.latitude_i();
    const std::int32_t lon = position.longitude_i();
    // 0/0 is what firmware sends before its first fix.
    if (lat == 0 && lon == 0) return std::nullopt;
    if (lat < -900000000 || lat > 900000000 || lon < -1800000000 || lon > 1800000000) return std::nullopt;
    MeshPosition fix;
    fix.nodeNumber = nodeNumber;
    // Division, not multiplication by 1e-7: it gives the double nearest to
    // the decimal degrees the radio meant (151.2093, not 151.20929999999998).
    fix.latitude = lat / 1e7;
    fix.longitude = lon / 1e7;
    if (position.has_altitude()) fix.altitude = position.altitude();
    fix.timestamp = position.time() != 0 ? fromUnixSeconds(position.time()) : heard;
    // 0 (not set) and 32 (every bit) both mean the exact fix.
    if (position.precision_bits() > 0 && position.precision_bits() < 32) fix.precisionBits = position.precision_bits();
    return fix;
}

std::string queueErrorText(std::int32_t code) {
    // Routing.Error codes; 32 to 34 are also the firmware's own "unknown",
    // "no interface" and "disabled", so those texts cover both readings.
    std::string reason;
    switch (code) {
    case 6: reason = "the channel is not enabled on the radio"; break;
    case 7: reason = "the message is too long for one radio packet"; break;
    case 9: reason = "the duty-cycle limit of the radio's region is reached; try again later"; break;
    case 32: reason = "the request was invalid"; break;
    case 33: reason = "it is not allowed, or the radio has no LoRa interface set up (is its region set?)"; break;
    case 34: reason = "it could not be encrypted for the recipient, or the radio's transmitter is disabled"; break;
    default: return "The radio refused the message (error " + std::to_string(code) + ").";
    }
    return "The radio refused the message: " + reason + " (error " + std::to_string(code) + ").";
}

std::optional<std::pair<int, int>> firmwareVersion(std::string_view text) {
    int parts[2] = {0, 0};
    std::size_t at = 0;
    for (int i = 0; i < 2; ++i) {
        const std::size_t start = at;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - start < 6) {
            parts[i] = parts[i] * 10 + (text[at] - '0');
            ++at;
        }
        if (at == start) return std::nullopt;
        if (i == 0) {
            if (at >= text.size() || text[at] != '.') return std::nullopt;
            ++at;
        }
    }
    return std::pair{parts[0], parts[1]};
}

std::string hardwareName(int model) {
    const auto& name = mesh::HardwareModel_Name(static_cast<mesh::HardwareModel>(model));
    return name.empty() ? "HW_MODEL_" + std::to_string(model) : name;
}

Timestamp fromUnixSeconds(std::uint32_t seconds) {
    return Timestamp(std::chrono::seconds(static_cast<std::int64_t>(seconds)));
}

}  // namespace corvane::bridge
