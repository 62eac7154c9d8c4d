// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/GuardOnStart.h"

#include "app/CorvaneModel.h"

namespace corvane {

GuardOnStart::GuardOnStart(CorvaneModel& model, EventLoop& loop, Request request) {
    if (request.bicycle) model.setGuardProfile(GuardProfile::bicycle);
    if (request.guard) {
        MeshNode guarded;
        guarded.number = *request.guard;
        model.setGuarded(guarded);
    }
    if (!request.mark) return;
    // Deferred, so the position's own handling finishes before the mark.
    marking_ = model.changed().subscribe([this, &model, &loop] {
        const auto guarded = model.guardedNodeID();
        if (!guarded) return;
        for (const auto& node : model.nodes()) {
            if (node.number != *guarded || !node.position) continue;
            marking_.reset();
            loop.post([&model] { model.markGuardedPosition(); });
            return;
        }
    });
}

}  // namespace corvane
