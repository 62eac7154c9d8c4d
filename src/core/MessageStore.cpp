// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/MessageStore.h"

#include <algorithm>

namespace corvane {
namespace {

bool repeatsStoredPacket(const std::deque<MeshMessage>& stored, const MeshMessage& candidate) {
    if (candidate.packetID == 0) return false;
    return std::any_of(stored.begin(), stored.end(), [&](const MeshMessage& message) {
        return message.packetID == candidate.packetID && message.sender == candidate.sender;
    });
}

}  // namespace

MessageStore::MessageStore(std::string url)
    : RecordFileStore<MeshMessage>(std::move(url), decodeMeshMessage, repeatsStoredPacket) {}

std::optional<std::vector<MeshMessage>> decodeMessagesFile(std::string_view text) {
    return RecordFileStore<MeshMessage>::decodeFile(text, decodeMeshMessage);
}

}  // namespace corvane
