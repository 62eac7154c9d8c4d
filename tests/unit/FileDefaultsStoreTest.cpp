// SPDX-License-Identifier: GPL-3.0-or-later
// FileDefaultsStore on a temp XDG_CONFIG_HOME: values and their JSON form,
// one write per loop turn, private files, damaged files kept aside.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <nlohmann/json.hpp>

#include "core/PrivateFile.h"
#include "core/UserFolders.h"
#include "platform/FileDefaultsStore.h"
#include "support/ManualEventLoop.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

std::string contents(const fs::path& path) { return PrivateFile::read(path.string()).value(); }

unsigned mode(const fs::path& path) { return static_cast<unsigned>(fs::status(path).permissions() & fs::perms::mask); }

std::ptrdiff_t entries(const fs::path& folder) { return std::distance(fs::directory_iterator(folder), {}); }

class FileDefaultsStoreTest : public ::testing::Test {
protected:
    FileDefaultsStoreTest() { fs::remove_all(config_); }
    ~FileDefaultsStoreTest() override { fs::remove_all(config_); }
    ManualEventLoop loop_;
    const fs::path config_ = fs::temp_directory_path() / ("corvane-defaults-test-" + std::to_string(::getpid()));
    const fs::path folder_ = config_ / "Corvane";
    const std::string path_ = (folder_ / "defaults.json").string();
};

TEST_F(FileDefaultsStoreTest, ValuesSurviveAReopenInTheirJsonFormAndOtherTypesReadAsMissing) {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
    ::setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
    EXPECT_EQ(FileDefaultsStore::defaultPath(), path_);
    saved ? ::setenv("XDG_CONFIG_HOME", saved->c_str(), 1) : ::unsetenv("XDG_CONFIG_HOME");

    const DefaultsStore::Data bytes{0x00, 0x01, 0x02, 0xff, '"'};
    FileDefaultsStore store(loop_, path_);
    store.setNumber("parkingRadius", 82.5);
    store.setNumber("guardedNode", 4294967295.0);
    store.setBoolean("alertsOn", true);
    store.setString("guardProfile", "bicycle");
    store.setData("parkedPosition", bytes);
    store.setString("gone", "soon");
    store.remove("gone");
    EXPECT_EQ(store.number("parkingRadius"), 82.5);  // reads come from memory at once
    loop_.runPending();
    const auto json = nlohmann::json::parse(contents(path_));
    EXPECT_EQ(json, nlohmann::json::parse(R"({"alertsOn":true,"guardProfile":"bicycle","guardedNode":4294967295,
                                              "parkedPosition":"AAEC/yI=","parkingRadius":82.5})"));
    EXPECT_TRUE(json.at("guardedNode").is_number_unsigned());  // no ".0" on node numbers

    FileDefaultsStore reopened(loop_, path_);
    EXPECT_EQ(std::tuple(reopened.number("parkingRadius"), reopened.number("guardedNode"), reopened.boolean("alertsOn"),
                         reopened.string("guardProfile"), reopened.data("parkedPosition"), reopened.string("gone")),
              std::tuple(82.5, 4294967295.0, true, "bicycle", bytes, std::nullopt));

    // Values of another type read as missing.
    std::ofstream(path_) << R"({"parkingRadius":"120","guardProfile":3,"alertsOn":1,"parkedPosition":"not base64!",
                  "flag":false,"node":null,"list":[1]})";
    FileDefaultsStore typed(loop_, path_);
    EXPECT_FALSE(typed.number("parkingRadius") || typed.string("guardProfile") || typed.boolean("alertsOn") ||
                 typed.data("parkedPosition") || typed.data("guardProfile") || typed.number("flag") ||
                 typed.number("node") || typed.string("list"));
    EXPECT_EQ(std::tuple(typed.boolean("flag"), typed.number("guardProfile")), std::tuple(false, 3.0));
}

TEST_F(FileDefaultsStoreTest, ChangesOfOneTurnCostOneWriteAndDestructionWritesWhatIsPending) {
    FileDefaultsStore store(loop_, path_);
    for (int step = 0; step <= 200; ++step) store.setNumber("parkingRadius", 25.0 + step);
    EXPECT_FALSE(PrivateFile::identity(path_));  // nothing written inside the turn
    loop_.runPending();
    const auto first = PrivateFile::identity(path_).value();
    EXPECT_EQ(FileDefaultsStore(loop_, path_).number("parkingRadius"), 225.0);
    EXPECT_EQ(std::pair(mode(path_), mode(folder_)), std::pair(0600u, 0700u));

    // Setting what is already there is no change at all.
    store.setNumber("parkingRadius", 225.0);
    loop_.runPending();
    EXPECT_EQ(PrivateFile::identity(path_), first);

    store.setString("serialPort", "/dev/ttyACM0");
    loop_.runPending();
    EXPECT_EQ(FileDefaultsStore(loop_, path_).string("serialPort"), "/dev/ttyACM0");
    // A store destroyed before its turn writes at once; the flush it posted must do nothing.
    FileDefaultsStore(loop_, path_).setString("guardProfile", "general");
    loop_.runPending();
    EXPECT_EQ(FileDefaultsStore(loop_, path_).string("guardProfile"), "general");
    EXPECT_EQ(entries(folder_), 1);  // nothing kept aside, no temporary left behind
}

TEST_F(FileDefaultsStoreTest, FileThatIsNoObjectReadsEmptyAndIsKeptAsideBeforeTheFirstWrite) {
    for (const std::string_view damaged : {"[1,2]", "{\"parkingRadius\": 12"}) {
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        std::ofstream(path_) << damaged;
        EXPECT_FALSE(FileDefaultsStore(loop_, path_).number("parkingRadius"));
        loop_.runPending();
        EXPECT_EQ(contents(path_), damaged);  // reading alone keeps the file

        // What an interrupted write left goes with the first write.
        std::ofstream(folder_ / ".defaults.json.tmp-Ab12Cd") << "interrupted";
        FileDefaultsStore store(loop_, path_);
        store.setNumber("parkingRadius", 90);
        loop_.runPending();
        // Kept aside under the loop's wall clock, 2026-03-01T09:00:00Z.
        EXPECT_EQ(entries(folder_), 2) << damaged;
        EXPECT_EQ(contents(folder_ / "defaults.json.corrupt-1772355600"), damaged);
        EXPECT_EQ(FileDefaultsStore(loop_, path_).number("parkingRadius"), 90.0);
    }
}

// Services and `env -i` start without HOME: the password database names the
// home folder, and a user without one gets no path at all, never one at "/".
TEST(UserFolders, WithoutHomeInTheEnvironmentThePasswordDatabaseDecides) {
    std::vector<std::pair<const char*, std::optional<std::string>>> saved;
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"}) {
        const char* old = std::getenv(name);
        saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        ::unsetenv(name);
    }
    const passwd* entry = ::getpwuid(::getuid());
    ASSERT_TRUE(entry);
    EXPECT_EQ(FileDefaultsStore::defaultPath(), std::string(entry->pw_dir) + "/.config/Corvane/defaults.json");
    EXPECT_EQ(userDataFolder(), std::string(entry->pw_dir) + "/.local/share");
    if (::getuid() == 0) {
        const pid_t child = ::fork();
        if (child == 0) {
            // A user the password database does not know.
            const bool none = ::setuid(2147480000) == 0 && !FileDefaultsStore::defaultPath() && !userDataFolder();
            ::setenv("XDG_DATA_HOME", "/data", 1);
            ::_exit(none && userDataFolder() == "/data" ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (const auto& [name, value] : saved) value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
}

}  // namespace
}  // namespace corvane
