// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The translation between the Meshtastic device API and the bridge's records:
// the ToRadio messages the bridge sends (each as frame bytes ready for the
// port) and the conversions of LoRa configurations, text packets and node
// data into MeshtasticRadioSettings, MeshMessage and MeshNode fields. Pure
// functions; the session decides when to call them.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "bridge/meshtastic.pb.h"
#include "core/DateTime.h"
#include "core/MeshMessage.h"
#include "core/MeshPosition.h"
#include "core/MeshtasticBridgeResponse.h"
#include "core/MeshtasticRadioSettings.h"
#include "core/Result.h"

namespace corvane::bridge {

inline constexpr std::uint32_t kBroadcastNode = 0xFFFFFFFF;
// What one text packet carries once the firmware has added its own headers.
inline constexpr std::size_t kMaxTextBytes = 233;

std::string frameOf(const mesh::ToRadio& message);
std::optional<mesh::FromRadio> parseFromRadio(std::string_view payload);

mesh::ToRadio wantConfig(std::uint32_t nonce);
mesh::ToRadio disconnectMessage();
mesh::ToRadio heartbeat(std::uint32_t nonce);
// Text that does not fit one packet is refused, never cut.
Result<mesh::ToRadio, std::string> textPacket(std::string_view text, std::optional<std::uint32_t> recipient,
                                              std::uint32_t channel, std::uint32_t packetID);
// An admin message to the radio on the USB port (node `localNode`), asking for
// a response so that its request id comes back.
mesh::ToRadio adminPacket(const mesh::AdminMessage& admin, std::uint32_t localNode, std::uint32_t packetID);

// A region or preset that the settings record cannot express is an error:
// showing it as something else would write that back on the next apply.
Result<MeshtasticRadioSettings, std::string> settingsFromLora(const mesh::Config::LoRaConfig& lora);
// `current` with the ten mapped fields replaced; everything else, unknown
// fields included, is kept.
mesh::Config::LoRaConfig loraWithSettings(mesh::Config::LoRaConfig current, const MeshtasticRadioSettings& settings);

// A decoded text packet as a message record; absent for other packets.
std::optional<MeshMessage> textMessage(const mesh::MeshPacket& packet, std::uint32_t localNode, Timestamp now);

// The `channel` line for a channel the radio reported; absent for a disabled
// one. An unnamed channel carries no name, so the application names it.
std::optional<MeshtasticBridgeResponse> channelLine(const mesh::Channel& channel);

// The fix in a Position, absent when it carries no usable coordinates. The
// caller supplies the record id and the time used when the fix has none.
std::optional<MeshPosition> positionOf(const mesh::Position& position, std::uint32_t nodeNumber, Timestamp heard);

std::string hardwareName(int model);
Timestamp fromUnixSeconds(std::uint32_t seconds);

}  // namespace corvane::bridge
