// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What every part of the window reaches: the model, the loop it runs on, the
// settings store, and facts of the build. Built by the front end; outlives
// the window.
#include <QString>

#include "ui/MeshtasticMapPane.h"

namespace corvane {

class CorvaneModel;
class DefaultsStore;
class EventLoop;
class HomeAssistantLink;

struct UiContext {
    CorvaneModel& model;
    EventLoop& loop;
    DefaultsStore& defaults;
    // Empty in a development build: the About page says "Development".
    QString version;
    MapTileSource tiles;
    // Absent in tests of other parts: Settings then has no Home Assistant section.
    HomeAssistantLink* homeAssistant = nullptr;
};

}  // namespace corvane
