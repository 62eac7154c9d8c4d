// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The finder's click through libcanberra: the theme's "bell" event, played
// asynchronously, its sample cached in the sound server once. The sound
// context opens on the first click, so a run that never finds anything never
// connects to the sound server; a failure to open or play is silent. Loop
// thread only.
#include "app/ports/SoundPlayer.h"

struct ca_context;

namespace corvane {

class CanberraSoundPlayer final : public SoundPlayer {
public:
    CanberraSoundPlayer() = default;
    ~CanberraSoundPlayer() override;
    CanberraSoundPlayer(const CanberraSoundPlayer&) = delete;
    CanberraSoundPlayer& operator=(const CanberraSoundPlayer&) = delete;

    void playClick() override;

private:
    ca_context* context_ = nullptr;
    bool failed_ = false;
};

}  // namespace corvane
