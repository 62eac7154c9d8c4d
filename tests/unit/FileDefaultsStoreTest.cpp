// FileDefaultsStore on a temp XDG_CONFIG_HOME: values and their JSON form,
// one write per loop turn, private files, damaged files kept aside.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "core/PrivateFile.h"
#include "platform/FileDefaultsStore.h"
#include "support/ManualEventLoop.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

unsigned mode(const fs::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return 0;
    return static_cast<unsigned>(info.st_mode) & 0777u;
}

class FileDefaultsStoreTest : public ::testing::Test {
protected:
    FileDefaultsStoreTest() : config_(fs::temp_directory_path() / ("corvane-defaults-test-" + std::to_string(::getpid()))) {
        fs::remove_all(config_);
        fs::create_directories(config_);
        if (const char* old = std::getenv("XDG_CONFIG_HOME")) savedConfigHome_ = old;
        ::setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
        path_ = FileDefaultsStore::defaultPath();
    }
    ~FileDefaultsStoreTest() override {
        if (savedConfigHome_) ::setenv("XDG_CONFIG_HOME", savedConfigHome_->c_str(), 1);
        else ::unsetenv("XDG_CONFIG_HOME");
        fs::remove_all(config_);
    }

    void writeFile(std::string_view text) {
        fs::create_directories(fs::path(path_).parent_path());
        std::ofstream(path_, std::ios::binary) << text;
    }
    std::vector<fs::path> keptAside() const {
        std::vector<fs::path> found;
        for (const auto& entry : fs::directory_iterator(fs::path(path_).parent_path())) {
            if (entry.path().filename().string().starts_with("defaults.json.corrupt-")) found.push_back(entry.path());
        }
        return found;
    }

    ManualEventLoop loop_;
    fs::path config_;
    std::string path_;

private:
    std::optional<std::string> savedConfigHome_;
};

TEST_F(FileDefaultsStoreTest, ValuesSurviveAReopenInTheirJsonForm) {
    EXPECT_EQ(path_, (config_ / "Corvane" / "defaults.json").string());
    const DefaultsStore::Data bytes{0x00, 0x01, 0x02, 0xff, '"'};
    {
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
    }
    const auto json = nlohmann::json::parse(contents(path_));
    EXPECT_EQ(json, nlohmann::json::parse(R"({"alertsOn":true,"guardProfile":"bicycle","guardedNode":4294967295,
                                              "parkedPosition":"AAEC/yI=","parkingRadius":82.5})"));
    EXPECT_NE(contents(path_).find("4294967295"), std::string::npos);  // no ".0" on node numbers

    FileDefaultsStore reopened(loop_, path_);
    EXPECT_EQ(reopened.number("parkingRadius"), 82.5);
    EXPECT_EQ(reopened.number("guardedNode"), 4294967295.0);
    EXPECT_EQ(reopened.boolean("alertsOn"), true);
    EXPECT_EQ(reopened.string("guardProfile"), "bicycle");
    EXPECT_EQ(reopened.data("parkedPosition"), bytes);
    EXPECT_FALSE(reopened.string("gone"));
}

TEST_F(FileDefaultsStoreTest, ValuesOfAnotherTypeReadAsMissing) {
    writeFile(R"({"parkingRadius":"120","guardProfile":3,"alertsOn":1,"parkedPosition":"not base64!",
                  "flag":false,"node":null,"list":[1]})");
    FileDefaultsStore store(loop_, path_);
    EXPECT_FALSE(store.number("parkingRadius"));
    EXPECT_FALSE(store.string("guardProfile"));
    EXPECT_FALSE(store.boolean("alertsOn"));
    EXPECT_FALSE(store.data("parkedPosition"));
    EXPECT_FALSE(store.data("guardProfile"));
    EXPECT_FALSE(store.number("flag"));
    EXPECT_FALSE(store.number("node"));
    EXPECT_FALSE(store.string("list"));
    EXPECT_EQ(store.boolean("flag"), false);
    EXPECT_EQ(store.number("guardProfile"), 3.0);
}

TEST_F(FileDefaultsStoreTest, ChangesOfOneTurnCostOneWrite) {
    FileDefaultsStore store(loop_, path_);
    for (int step = 0; step <= 200; ++step) store.setNumber("parkingRadius", 25.0 + step);
    EXPECT_FALSE(PrivateFile::identity(path_));  // nothing written inside the turn
    loop_.runPending();
    const auto first = PrivateFile::identity(path_);
    ASSERT_TRUE(first);
    EXPECT_EQ(FileDefaultsStore(loop_, path_).number("parkingRadius"), 225.0);

    // Setting what is already there is no change at all.
    store.setNumber("parkingRadius", 225.0);
    loop_.runPending();
    EXPECT_EQ(PrivateFile::identity(path_), first);

    store.setString("serialPort", "/dev/ttyACM0");
    store.setBoolean("alertsOn", false);
    EXPECT_EQ(PrivateFile::identity(path_), first);
    loop_.runPending();
    EXPECT_NE(PrivateFile::identity(path_), first);
    EXPECT_EQ(FileDefaultsStore(loop_, path_).string("serialPort"), "/dev/ttyACM0");
}

TEST_F(FileDefaultsStoreTest, DestructionWritesWhatIsPendingAndFilesArePrivate) {
    {
        FileDefaultsStore store(loop_, path_);
        store.setString("guardProfile", "general");
    }
    loop_.runPending();  // the flush posted for the gone store must do nothing
    EXPECT_EQ(FileDefaultsStore(loop_, path_).string("guardProfile"), "general");
    EXPECT_EQ(mode(path_), 0600u);
    EXPECT_EQ(mode(fs::path(path_).parent_path()), 0700u);
    EXPECT_TRUE(keptAside().empty());
}

TEST_F(FileDefaultsStoreTest, FileThatIsNoObjectReadsEmptyAndIsKeptAsideBeforeTheFirstWrite) {
    for (const std::string_view damaged : {std::string_view("[1,2]"), std::string_view("{\"parkingRadius\": 12")}) {
        fs::remove_all(fs::path(path_).parent_path());
        writeFile(damaged);
        {
            FileDefaultsStore store(loop_, path_);
            EXPECT_FALSE(store.number("parkingRadius"));
            loop_.runPending();
            EXPECT_EQ(contents(path_), damaged);  // reading alone keeps the file
        }
        EXPECT_EQ(contents(path_), damaged);

        FileDefaultsStore store(loop_, path_);
        store.setNumber("parkingRadius", 90);
        loop_.runPending();
        const auto kept = keptAside();
        ASSERT_EQ(kept.size(), 1u) << damaged;
        // Named after the loop's wall clock, 2026-03-01T09:00:00Z.
        EXPECT_EQ(kept[0].filename(), "defaults.json.corrupt-1772355600");
        EXPECT_EQ(contents(kept[0]), damaged);
        EXPECT_EQ(FileDefaultsStore(loop_, path_).number("parkingRadius"), 90.0);
    }
}

}  // namespace
}  // namespace corvane
