// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/UserFolders.h"

#include <cerrno>
#include <cstdlib>
#include <vector>

#include <pwd.h>
#include <unistd.h>

namespace corvane {
namespace {

bool isAbsolute(const std::string& folder) { return !folder.empty() && folder.front() == '/'; }

std::optional<std::string> passwordDatabaseHome() {
    const long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 4096);
    passwd entry{};
    passwd* found = nullptr;
    for (;;) {
        const int error = ::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found);
        if (error != ERANGE || buffer.size() >= 1024 * 1024) break;
        buffer.resize(buffer.size() * 2);
    }
    if (!found || !found->pw_dir) return std::nullopt;
    return std::string(found->pw_dir);
}

std::optional<std::string> xdgFolder(const char* variable, const char* fallbackUnderHome) {
    std::string folder = environmentValue(variable);
    if (isAbsolute(folder)) return folder;
    const auto home = homeFolder();
    if (!home) return std::nullopt;
    return *home + fallbackUnderHome;
}

}  // namespace

std::string environmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::optional<std::string> homeFolder() {
    if (std::string home = environmentValue("HOME"); isAbsolute(home)) return home;
    if (auto home = passwordDatabaseHome(); home && isAbsolute(*home)) return home;
    return std::nullopt;
}

std::optional<std::string> userDataFolder() { return xdgFolder("XDG_DATA_HOME", "/.local/share"); }

std::optional<std::string> userConfigFolder() { return xdgFolder("XDG_CONFIG_HOME", "/.config"); }

}  // namespace corvane
