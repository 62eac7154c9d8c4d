// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/CanberraSoundPlayer.h"

#include <canberra.h>

namespace corvane {
namespace {

constexpr const char* kEvent = "bell";

}  // namespace

CanberraSoundPlayer::~CanberraSoundPlayer() {
    if (context_) ca_context_destroy(context_);
}

void CanberraSoundPlayer::playClick() {
    if (failed_) return;
    if (!context_) {
        if (ca_context_create(&context_) != CA_SUCCESS) {
            context_ = nullptr;
            failed_ = true;
            return;
        }
        ca_context_change_props(context_, CA_PROP_APPLICATION_NAME, "Corvane", nullptr);
        // The finder clicks up to several times a second: the sound server
        // keeps the sample, so a click is not a file read and a decode.
        ca_context_cache(context_, CA_PROP_EVENT_ID, kEvent, nullptr);
    }
    ca_context_play(context_, 0, CA_PROP_EVENT_ID, kEvent, CA_PROP_EVENT_DESCRIPTION, "Finder click",
                    CA_PROP_CANBERRA_CACHE_CONTROL, "permanent", nullptr);
}

}  // namespace corvane
