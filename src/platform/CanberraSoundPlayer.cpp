// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/CanberraSoundPlayer.h"

#include <canberra.h>

namespace corvane {

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
    }
    ca_context_play(context_, 0, CA_PROP_EVENT_ID, "bell", CA_PROP_EVENT_DESCRIPTION, "Finder click", nullptr);
}

}  // namespace corvane
