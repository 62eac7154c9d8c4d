// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where the user's files live, from the environment as the XDG base-directory
// rules say: $XDG_DATA_HOME or ~/.local/share, $XDG_CONFIG_HOME or ~/.config
// (a relative value is ignored, as those rules require). The home folder is
// $HOME, else the one the password database gives the user (services and
// `env -i` start without HOME). Read at each call, so tests and the demo can
// point them elsewhere.
#include <optional>
#include <string>

namespace corvane {

// The variable's value, empty when unset.
std::string environmentValue(const char* name);

// Absent when neither the environment nor the password database names an
// absolute folder: nothing may then be written at the file system's root.
std::optional<std::string> homeFolder();
std::optional<std::string> userDataFolder();
std::optional<std::string> userConfigFolder();

}  // namespace corvane
