#pragma once
// Where the user's files live, from the environment as the XDG base-directory
// rules say: $XDG_DATA_HOME or ~/.local/share, $XDG_CONFIG_HOME or ~/.config
// (a relative value is ignored, as those rules require). Read at each call,
// so tests and the demo can point them elsewhere.
#include <string>

namespace corvane {

// The variable's value, empty when unset.
std::string environmentValue(const char* name);

std::string userDataFolder();
std::string userConfigFolder();

}  // namespace corvane
