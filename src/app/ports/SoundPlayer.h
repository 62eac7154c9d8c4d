// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Plays the short click that paces the finder. Fire-and-forget: it must not
// block the loop, and a missing sound service is not the caller's concern.
// Loop thread only. Fakes count the clicks.
namespace corvane {

class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    virtual void playClick() = 0;
};

}  // namespace corvane
