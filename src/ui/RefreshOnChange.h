// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Re-reads a watcher once per loop turn however many of its fields changed:
// the watchers announce every assignment, the widgets only need the last
// state. Owned by the widget or section it refreshes; loop thread only.
#include <functional>

#include "app/ChangeSignal.h"
#include "app/CoalescedTask.h"
#include "app/ports/EventLoop.h"

namespace corvane {

class RefreshOnChange {
public:
    RefreshOnChange(EventLoop& loop, ChangeSignal& signal, std::function<void()> refresh)
        : task_(loop, std::move(refresh)), subscription_(signal.subscribe([this] { task_.request(); })) {}

private:
    CoalescedTask task_;
    ChangeSignal::Subscription subscription_;
};

}  // namespace corvane
