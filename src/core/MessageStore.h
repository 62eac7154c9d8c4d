// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The message log on disk ("messages.json"): every text message sent or
// received, oldest first. The mesh may deliver one packet more than once, so
// a message is refused when any stored message, however old, has the same
// non-zero packet number and sender; packet number 0 means "unknown" and is
// never treated as a repeat.
//
// Owned by the model and used from its event-loop thread only; see
// RecordFileStore for the caching and damaged-file rules.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/MeshMessage.h"
#include "core/RecordFileStore.h"

namespace corvane {

class MessageStore : public RecordFileStore<MeshMessage> {
public:
    // The cap the model passes on every append.
    static constexpr std::size_t kMaximumCount = 5000;

    explicit MessageStore(std::string url);
};

// The file's codec alone, for tools and fuzzing.
std::optional<std::vector<MeshMessage>> decodeMessagesFile(std::string_view text);

}  // namespace corvane
