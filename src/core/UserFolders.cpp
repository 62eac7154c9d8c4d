#include "core/UserFolders.h"

#include <cstdlib>

namespace corvane {
namespace {

std::string xdgFolder(const char* variable, const char* fallbackUnderHome) {
    std::string folder = environmentValue(variable);
    if (!folder.empty() && folder.front() == '/') return folder;
    const std::string home = environmentValue("HOME");
    if (home.empty()) return {};
    return home + fallbackUnderHome;
}

}  // namespace

std::string environmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string userDataFolder() { return xdgFolder("XDG_DATA_HOME", "/.local/share"); }

std::string userConfigFolder() { return xdgFolder("XDG_CONFIG_HOME", "/.config"); }

}  // namespace corvane
