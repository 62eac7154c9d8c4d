// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Tells when the computer has woken from sleep. The handler is called from
// the loop, never after setHandler({}) or destruction. Loop thread only.
#include <functional>

namespace corvane {

class WakeMonitor {
public:
    virtual ~WakeMonitor() = default;
    virtual void setHandler(std::function<void()> onWake) = 0;
};

}  // namespace corvane
