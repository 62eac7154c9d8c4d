// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What `--guard`, `--mark` and the demo ask of a fresh model: guard a node
// (with the bicycle profile if asked) and mark its position once, the first
// time the node is known with one. Shared by the window and the headless
// front end; lives as long as the run, on the loop thread.
#include <cstdint>
#include <optional>

#include "app/ChangeSignal.h"
#include "app/ports/EventLoop.h"

namespace corvane {

class CorvaneModel;

class GuardOnStart {
public:
    struct Request {
        std::optional<std::uint32_t> guard;
        bool mark = false;
        bool bicycle = false;
    };

    GuardOnStart(CorvaneModel& model, EventLoop& loop, Request request);
    GuardOnStart(const GuardOnStart&) = delete;
    GuardOnStart& operator=(const GuardOnStart&) = delete;

private:
    ChangeSignal::Subscription marking_;
};

}  // namespace corvane
