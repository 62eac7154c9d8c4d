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
#include <utility>

#include "bridge/meshtastic.pb.h"
#include "core/DateTime.h"
#include "core/MeshMessage.h"
#include "core/MeshPosition.h"
#include "core/MeshtasticBridgeResponse.h"
#include "core/MeshtasticRadioSettings.h"
#include "core/Result.h"

namespace corvane::bridge {

inline constexpr std::uint32_t kBroadcastNode = 0xFFFFFFFF;
// What one text packet may carry: firmware 2.5 and later add a bitfield to
// the data and refuse more than 255 bytes with the packet header, and a
// direct message encrypted to its recipient's key takes 12 bytes more.
inline constexpr std::size_t kMaxChannelTextBytes = 232;
inline constexpr std::size_t kMaxDirectTextBytes = 220;
// The queue status of a packet the firmware took (0), or delivered to
// itself without sending it (35).
inline constexpr std::int32_t kQueueAccepted = 0;
inline constexpr std::int32_t kQueueDeliveredLocally = 35;

std::string frameOf(const mesh::ToRadio& message);
// Absent unless the payload is a FromRadio of a kind the firmware sends: bytes
// that merely happen to parse (a false header in debug text) are no frame.
std::optional<mesh::FromRadio> parseFromRadio(std::string_view payload);

mesh::ToRadio wantConfig(std::uint32_t nonce);
mesh::ToRadio disconnectMessage();
mesh::ToRadio heartbeat();
// Text that does not fit one packet is refused, never cut. Only a direct
// message asks for an acknowledgement: on a broadcast it costs airtime.
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

// Why the firmware's queue refused a packet, as the user reads it.
std::string queueErrorText(std::int32_t code);

// Major and minor version of a firmware version text ("2.4.3.efc27f2");
// absent when it does not start with two numbers.
std::optional<std::pair<int, int>> firmwareVersion(std::string_view text);

std::string hardwareName(int model);
Timestamp fromUnixSeconds(std::uint32_t seconds);

}  // namespace corvane::bridge
