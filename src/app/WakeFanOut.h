// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shares the one wake monitor among the watchers that care: it takes the real
// monitor's handler itself and calls its own handler (the WakeMonitor it
// stands in for) and then every subscriber of `woke`. Owned by CorvaneModel,
// created before and destroyed after the watchers it serves; loop thread.
#include <functional>
#include <utility>

#include "app/ChangeSignal.h"
#include "app/ports/WakeMonitor.h"

namespace corvane {

class WakeFanOut final : public WakeMonitor {
public:
    explicit WakeFanOut(WakeMonitor& real) : real_(real) {
        real_.setHandler([this] {
            if (onWake_) onWake_();
            woke.notify();
        });
    }
    ~WakeFanOut() override { real_.setHandler({}); }
    WakeFanOut(const WakeFanOut&) = delete;
    WakeFanOut& operator=(const WakeFanOut&) = delete;

    void setHandler(std::function<void()> onWake) override { onWake_ = std::move(onWake); }

    ChangeSignal woke;

private:
    WakeMonitor& real_;
    std::function<void()> onWake_;
};

}  // namespace corvane
