// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The sections the main window lists, in picker order. One place for the
// front end, the tests and the screenshots to build them alike.
#include <memory>
#include <vector>

#include "ui/WindowSection.h"

namespace corvane {

struct UiContext;

std::vector<std::unique_ptr<WindowSection>> makeWindowSections(UiContext& context);

}  // namespace corvane
