// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Re-reads a watcher once per loop turn however many of its fields changed:
// the watchers announce every assignment, the widgets only need the last
// state. Owned by the widget or section it refreshes; loop thread only.
#include <functional>
#include <initializer_list>
#include <vector>

#include "app/ChangeSignal.h"
#include "app/CoalescedTask.h"
#include "app/ports/EventLoop.h"

namespace corvane {

class RefreshOnChange {
public:
    RefreshOnChange(EventLoop& loop, ChangeSignal& signal, std::function<void()> refresh)
        : RefreshOnChange(loop, {&signal}, std::move(refresh)) {}
    // Several watchers that change in the same turn still bring one refresh.
    RefreshOnChange(EventLoop& loop, std::initializer_list<ChangeSignal*> sources, std::function<void()> refresh)
        : task_(loop, std::move(refresh)) {
        for (ChangeSignal* source : sources) subscriptions_.push_back(source->subscribe([this] { task_.request(); }));
    }

private:
    CoalescedTask task_;
    std::vector<ChangeSignal::Subscription> subscriptions_;
};

}  // namespace corvane
