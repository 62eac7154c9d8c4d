// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include <sys/stat.h>

#include "core/DateTime.h"
#include "core/MessageStore.h"
#include "core/PositionStore.h"
#include "core/PrivateFile.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

// Each test gets a fresh private folder, removed afterwards.
class StoresTest : public ::testing::Test {
protected:
    ~StoresTest() override {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    std::string path(std::string_view name) const { return folder_ + "/" + std::string(name); }
    static std::string makeFolder() {
        std::string pattern = "/tmp/corvane-stores-XXXXXX";
        return ::mkdtemp(pattern.data());
    }
    const std::string folder_ = makeFolder();
    const std::string positions_ = path("positions.json");
    const std::string messages_ = path("messages.json");
};
using PrivateFileTest = StoresTest;
using PositionStoreTest = StoresTest;
using MessageStoreTest = StoresTest;

std::string contents(const std::string& path) {
    std::ostringstream out;
    out << std::ifstream(path, std::ios::binary).rdbuf();
    return out.str();
}

void put(const std::string& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

mode_t modeOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

// A rewrite always renames a new file into place, so an unchanged inode
// proves nothing was written.
std::uint64_t inodeOf(const std::string& path) { return PrivateFile::identity(path).value().inode; }

Timestamp at(std::string_view iso) { return parseIso8601(iso).value(); }

MeshPosition fix(std::uint32_t node, double latitude, double longitude, std::string_view time = "2026-03-01T09:30:00Z",
                 std::optional<std::int32_t> altitude = std::nullopt) {
    return MeshPosition{Uuid::random(), node, latitude, longitude, altitude, at(time), {}};
}

MeshMessage text(std::uint32_t packet, std::uint32_t sender, std::string body = "hello") {
    return MeshMessage{Uuid::random(), packet, sender, 0xFFFFFFFF, 0, std::move(body), at("2026-03-01T09:30:00Z"),
                       false};
}

// The packet numbers of the messages a fresh store reads from `file`.
std::vector<std::uint32_t> packets(const std::string& file) {
    std::vector<std::uint32_t> result;
    for (const auto& message : MessageStore(file).load()) result.push_back(message.packetID);
    return result;
}

TEST_F(PrivateFileTest, WritesPrivatelyAndCreatesOnlyMissingFolders) {
    const std::string shared = path("shared");
    ASSERT_EQ(::mkdir(shared.c_str(), 0755), 0);
    ASSERT_EQ(::chmod(shared.c_str(), 0755), 0);
    const std::string file = shared + "/a/b/data.json";

    ASSERT_TRUE(PrivateFile::write(file, "one"));
    EXPECT_EQ(contents(file), "one");
    // A folder we did not create keeps its mode.
    EXPECT_EQ((std::vector{modeOf(file), modeOf(shared + "/a"), modeOf(shared + "/a/b"), modeOf(shared)}),
              (std::vector<mode_t>{0600, 0700, 0700, 0755}));

    // Replaced, never rewritten in place: a reader of the old file still reads it whole.
    std::ifstream reader(file, std::ios::binary);
    const auto written = PrivateFile::write(file, "two");
    ASSERT_TRUE(written);
    EXPECT_EQ(contents(file), "two");
    std::ostringstream seen;
    seen << reader.rdbuf();
    EXPECT_EQ(seen.str(), "one");
    EXPECT_EQ(*written, PrivateFile::identity(file)) << "the identity is that of the file now in place";
    // No temp files are left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(shared + "/a/b"), fs::directory_iterator()), 1);

    const auto before = inodeOf(file);
    ASSERT_TRUE(PrivateFile::writeIfChanged(file, "two"));
    EXPECT_EQ(inodeOf(file), before);
    ASSERT_TRUE(PrivateFile::writeIfChanged(file, "owt"));
    EXPECT_EQ(contents(file), "owt");

    // Equal bytes in a file others may read are written again, privately.
    ASSERT_EQ(::chmod(file.c_str(), 0644), 0);
    ASSERT_TRUE(PrivateFile::writeIfChanged(file, "owt"));
    EXPECT_EQ(modeOf(file), 0600u);
}

TEST_F(PrivateFileTest, ReadsOnlyRegularFilesOfBoundedSize) {
    const std::string fifo = path("fifo"), zero = path("zero"), huge = path("huge"), over = path("over");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", zero);
    // Sparse: sizes without the disk space.
    for (const auto& [file, size] : {std::pair{huge, std::uintmax_t{3} << 30}, {over, PrivateFile::kReadLimit + 1}}) {
        put(file, "");
        fs::resize_file(file, size);
    }
    for (const auto& file : {fifo, zero, huge, over}) {
        const auto read = PrivateFile::read(file);
        EXPECT_TRUE(!read && read.error().kind == PrivateFile::ReadFailure::unreadable) << file;
    }
}

TEST_F(PrivateFileTest, ReportsFailuresReadably) {
    put(path("plain"), "x");
    const auto written = PrivateFile::write(path("plain/inner/data.json"), "x");
    ASSERT_FALSE(written);
    EXPECT_EQ(written.error().code, ENOTDIR);
    EXPECT_NE(written.error().message.find("plain"), std::string::npos) << written.error().message;
    EXPECT_NE(written.error().message.find("Not a directory"), std::string::npos) << written.error().message;

    using enum PrivateFile::ReadFailure;
    for (const auto& [name, kind] : {std::pair{path("absent"), missing}, {path("plain/below"), missing}, {folder_, unreadable}}) {
        const auto read = PrivateFile::read(name);
        EXPECT_TRUE(!read && read.error().kind == kind) << name;
    }
}

TEST_F(PrivateFileTest, KeepAsideNeverReplacesAnEarlierKeptFile) {
    const Timestamp now = std::chrono::system_clock::from_time_t(1772357400);
    for (const auto& [bytes, suffix] : {std::pair{"first", ""}, std::pair{"second", "-1"}}) {
        put(positions_, bytes);
        const auto kept = PrivateFile::keepAside(positions_, now);
        ASSERT_TRUE(kept);
        EXPECT_EQ(*kept, positions_ + ".corrupt-1772357400" + suffix);
        EXPECT_FALSE(fs::exists(positions_));
    }
    EXPECT_EQ(contents(positions_ + ".corrupt-1772357400"), "first") << "an earlier kept file is never replaced";
}

TEST_F(PositionStoreTest, RefusesOnlyARepeatOfTheLastFix) {
    PositionStore store(positions_);

    ASSERT_TRUE(store.append(fix(7, 48.1, 11.5), PositionStore::kMaximumCount));
    const auto written = inodeOf(positions_);
    // Same node and coordinates: id, altitude and time play no part.
    ASSERT_TRUE(store.append(fix(7, 48.1, 11.5, "2026-03-02T10:00:00Z", 500), PositionStore::kMaximumCount));
    EXPECT_EQ(inodeOf(positions_), written);
    EXPECT_EQ(store.load().size(), 1u);

    for (const auto& next : {fix(8, 48.1, 11.5), fix(7, 48.1, 11.5), fix(7, 48.1, std::nextafter(11.5, 12.0))}) {
        ASSERT_TRUE(store.append(next, PositionStore::kMaximumCount));
    }
    const auto loaded = store.load();
    ASSERT_EQ(loaded.size(), 4u);
    EXPECT_EQ(loaded[1].nodeNumber, 8u);
    EXPECT_EQ(loaded[2].nodeNumber, 7u);
    EXPECT_EQ(PositionStore(positions_).load(), loaded);
}

TEST_F(MessageStoreTest, RefusesAStoredPacketFromTheSameSenderHoweverOld) {
    MessageStore store(messages_);

    ASSERT_TRUE(store.append(text(12, 3, "first"), MessageStore::kMaximumCount));
    for (std::uint32_t packet = 100; packet < 110; ++packet) {
        ASSERT_TRUE(store.append(text(packet, 3), MessageStore::kMaximumCount));
    }
    // Another sender may reuse the number; packet 0 is never a repeat.
    for (const auto& next : {text(12, 3, "again"), text(12, 4), text(0, 3), text(0, 3)}) {
        ASSERT_TRUE(store.append(next, MessageStore::kMaximumCount));
    }
    const auto loaded = store.load();
    ASSERT_EQ(loaded.size(), 14u);
    EXPECT_EQ(loaded.front().text, "first");
    EXPECT_EQ(loaded[11].sender, 4u);

    // Once dropped by the cap, a packet is no longer remembered.
    MessageStore small(path("small.json"));
    for (std::uint32_t packet : {12U, 13U, 14U, 12U}) ASSERT_TRUE(small.append(text(packet, 3), 2));
    EXPECT_EQ(packets(path("small.json")), (std::vector<std::uint32_t>{14, 12}));
}

TEST_F(PositionStoreTest, CapDropsTheOldest) {
    std::vector<MeshPosition> full;
    for (std::uint32_t i = 0; i < PositionStore::kMaximumCount; ++i) full.push_back(fix(i % 7, 48.0 + i * 1e-5, 11.5));
    ASSERT_TRUE(PrivateFile::write(positions_, PositionStore::encodeFile(full).value()));

    PositionStore store(positions_);
    const auto newest = fix(99, 1, 2);
    ASSERT_TRUE(store.append(newest, PositionStore::kMaximumCount));
    auto loaded = PositionStore(positions_).load();
    ASSERT_EQ(loaded.size(), PositionStore::kMaximumCount);
    EXPECT_EQ(loaded.front(), full[1]);
    EXPECT_EQ(loaded.back(), newest);

    // A smaller cap than the positions_ holds drops all the surplus at once.
    ASSERT_TRUE(store.append(fix(98, 1, 2), 3));
    loaded = PositionStore(positions_).load();
    ASSERT_EQ(loaded.size(), 3u);
    EXPECT_EQ(loaded[0], full.back());
    EXPECT_EQ(loaded[1], newest);
}

TEST_F(PositionStoreTest, DamagedFileIsKeptAsideAndReplaced) {
    const std::string damaged[] = {
        "not json",
        "{\"id\":1}",
        "",
        // One bad element spoils the whole positions_.
        "[{\"id\":\"6F1A2B3C-4D5E-4F60-8172-93A4B5C6D7E8\",\"nodeNumber\":1,\"latitude\":1,\"longitude\":2,"
        "\"timestamp\":\"2026-03-01T09:30:00Z\"},{\"nodeNumber\":1}]",
        "[" + std::string(5000, '[') + std::string(5000, ']') + "]",
        "[\"\xff\xfe\"]",
    };
    for (const std::string& bytes : damaged) {
        SCOPED_TRACE(bytes.substr(0, 40));
        put(positions_, bytes);
        PositionStore store(positions_);
        EXPECT_TRUE(store.load().empty());
        EXPECT_EQ(contents(positions_), bytes) << "loading never touches the file";

        const auto position = fix(1, 2, 3);
        ASSERT_TRUE(store.append(position, PositionStore::kMaximumCount));
        EXPECT_EQ(PositionStore(positions_).load(), std::vector<MeshPosition>{position});

        std::vector<std::string> kept;
        for (const auto& entry : fs::directory_iterator(folder_)) {
            if (entry.path().filename().string().starts_with("positions.json.corrupt-")) kept.push_back(entry.path());
        }
        ASSERT_EQ(kept.size(), 1u);
        EXPECT_EQ(contents(kept[0]), bytes);
        fs::remove(kept[0]);
    }
}

TEST_F(StoresTest, FirstAppendClearsOnlyItsOwnStaleTemporaryFiles) {
    const std::vector<std::string> stale = {".positions.json.tmp-a1B2c3", ".positions.json.tmp-XXXXXX"};
    const std::vector<std::string> others = {".positions.json.tmp-a1B2c3d", ".messages.json.tmp-a1B2c3",
                                             "positions.json.tmp-a1B2c3", ".positions.json.tmp-"};
    for (const auto& name : stale) put(path(name), "interrupted");
    for (const auto& name : others) put(path(name), "someone else's");
    PositionStore store(positions_);
    ASSERT_TRUE(store.append(fix(1, 2, 3), 10));
    // What a crash leaves after the first write is left for the next run.
    put(path(stale[0]), "interrupted");
    ASSERT_TRUE(store.append(fix(1, 2, 4), 10));

    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(folder_)) left.push_back(entry.path().filename());
    std::vector<std::string> expected = others;
    expected.push_back("positions.json");
    expected.push_back(".positions.json.spare");
    expected.push_back(stale[0]);
    std::sort(left.begin(), left.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(left, expected);
}

TEST_F(PrivateFileTest, SpareIsWrittenOnlyWhenItIsOursAlone) {
    const std::string spare = path(".data.json.spare");
    const std::string file = path("data.json");
    ASSERT_TRUE(PrivateFile::writeReusingSpare(file, "first version"));
    const auto written = PrivateFile::writeReusingSpare(file, "two");
    ASSERT_TRUE(written);
    EXPECT_EQ(*written, PrivateFile::identity(file));
    // Shorter than the spare it went into.
    EXPECT_EQ(contents(file), "two");

    // Another name for the spare, a link in its place, a spare others may
    // read: none of them is written into, and what lands is private.
    const std::string victim = path("victim");
    put(victim, "keep me");
    for (const auto& plant : {+[](const std::string& from, const std::string& to) { return ::link(from.c_str(), to.c_str()); },
                              +[](const std::string& from, const std::string& to) { return ::symlink(from.c_str(), to.c_str()); }}) {
        fs::remove(spare);
        ASSERT_EQ(plant(victim, spare), 0);
        ASSERT_TRUE(PrivateFile::writeReusingSpare(file, "three"));
        EXPECT_EQ(contents(file), "three");
        EXPECT_EQ(contents(victim), "keep me");
    }
    ASSERT_TRUE(PrivateFile::writeReusingSpare(file, "three again"));
    ASSERT_EQ(::chmod(spare.c_str(), 0644), 0);
    ASSERT_TRUE(PrivateFile::writeReusingSpare(file, "four"));
    EXPECT_EQ(std::pair(contents(file), modeOf(file)), std::pair(std::string("four"), 0600u));
}

TEST_F(MessageStoreTest, HonoursAFileChangedBehindItsBack) {
    MessageStore store(messages_);
    ASSERT_TRUE(store.append(text(1, 1), MessageStore::kMaximumCount));

    // Another writer replaces the messages_: the store's cache must not win.
    const std::vector<MeshMessage> elsewhere = {text(2, 1), text(3, 1)};
    ASSERT_TRUE(PrivateFile::write(messages_, MessageStore::encodeFile(elsewhere).value()));
    EXPECT_EQ(store.load(), elsewhere);
    ASSERT_TRUE(store.append(text(3, 1), MessageStore::kMaximumCount));
    ASSERT_TRUE(store.append(text(1, 1), MessageStore::kMaximumCount));
    EXPECT_EQ(packets(messages_), (std::vector<std::uint32_t>{2, 3, 1}));

    fs::remove(messages_);
    ASSERT_TRUE(store.append(text(4, 1), MessageStore::kMaximumCount));
    EXPECT_EQ(packets(messages_), std::vector<std::uint32_t>{4});

    // Rewritten in place with a different length.
    put(messages_, MessageStore::encodeFile({}).value());
    ASSERT_TRUE(store.append(text(5, 1), MessageStore::kMaximumCount));
    EXPECT_EQ(packets(messages_), std::vector<std::uint32_t>{5});
}

TEST_F(StoresTest, RoundTripIsExactAndByteStable) {
    const std::vector<MeshPosition> positions = {
        fix(0, -90, -180, "1970-01-01T00:00:00Z", std::numeric_limits<std::int32_t>::min()),
        fix(0xFFFFFFFF, 48.137154, 11.576124, "2026-03-01T09:30:00Z"),
        fix(3, 0.1 + 0.2, 1e-300, "2099-12-31T23:59:59Z", 520),
        fix(4, -0.0, 5e-324),
    };
    const std::vector<MeshMessage> messages = {
        MeshMessage{Uuid::random(), 1, 2, 3, 7, "Grüße \"quoted\" a/b\\c\n\ttab \u0001 😀", at("2026-03-01T09:30:00Z"),
                    true},
        text(0, 0, ""),
    };
    // Nothing is created before the first append.
    PositionStore positionStore(path("Halvo Corvane/positions.json"));
    MessageStore messageStore(path("Halvo Corvane/messages.json"));
    EXPECT_TRUE(positionStore.load().empty());
    EXPECT_FALSE(fs::exists(path("Halvo Corvane")));
    for (const auto& position : positions) ASSERT_TRUE(positionStore.append(position, 10));
    for (const auto& message : messages) ASSERT_TRUE(messageStore.append(message, 10));

    const auto loadedPositions = PositionStore(positionStore.url()).load();
    ASSERT_EQ(loadedPositions, positions);
    EXPECT_TRUE(std::signbit(loadedPositions.back().latitude)) << "the sign of zero survives";
    EXPECT_EQ(MessageStore(messageStore.url()).load(), messages);
    // What the incremental writer produced is what a whole-list encode gives,
    // so a file read and written again by another build is byte-identical.
    EXPECT_EQ(contents(positionStore.url()), PositionStore::encodeFile(positions).value());
    EXPECT_EQ(contents(messageStore.url()), MessageStore::encodeFile(messages).value());

}

TEST_F(StoresTest, FileFormatIsPrettySortedIso8601) {
    PositionStore store(positions_);
    MeshPosition position{Uuid::parse("6f1a2b3c-4d5e-4f60-8172-93a4b5c6d7e8").value(), 7, 48.1, 11.5, 520,
                          at("2026-03-01T09:30:00Z"), {}};
    EXPECT_EQ(PositionStore::encodeFile({}).value(), "[]");
    ASSERT_TRUE(store.append(position, 10));
    EXPECT_EQ(contents(store.url()),
              "[\n"
              "  {\n"
              "    \"altitude\" : 520,\n"
              "    \"id\" : \"6F1A2B3C-4D5E-4F60-8172-93A4B5C6D7E8\",\n"
              "    \"latitude\" : 48.1,\n"
              "    \"longitude\" : 11.5,\n"
              "    \"nodeNumber\" : 7,\n"
              "    \"timestamp\" : \"2026-03-01T09:30:00Z\"\n"
              "  }\n"
              "]");
    // Other writers' spacing, order and extra members are accepted; dates a
    // time point cannot hold are refused rather than wrapped around.
    const auto withTime = [](std::string_view time) {
        return "[{\"id\":\"6F1A2B3C-4D5E-4F60-8172-93A4B5C6D7E8\", \"nodeNumber\":7,\"latitude\":1,"
               "\"longitude\":2,\"extra\":[1],\"timestamp\":\"" + std::string(time) + "\"}]";
    };
    EXPECT_FALSE(decodePositionsFile(withTime("0600-01-01T00:00:00Z")));
    EXPECT_FALSE(decodePositionsFile(withTime("9999-12-31T23:59:59Z")));
    EXPECT_EQ(formatIso8601(decodePositionsFile(withTime("2200-01-01T00:00:00Z")).value().at(0).timestamp),
              "2200-01-01T00:00:00Z");
}

TEST_F(StoresTest, FailedAppendLeavesTheFileAndReportsWhy) {
    PositionStore store(positions_);
    const auto first = fix(1, 2, 3);
    ASSERT_TRUE(store.append(first, 10));
    const std::string before = contents(positions_);

    const auto unencodable = store.append(fix(1, std::nan(""), 3), 10);
    EXPECT_TRUE(!unencodable && !unencodable.error().message.empty());
    EXPECT_EQ(contents(positions_), before);
    EXPECT_EQ(store.load(), std::vector<MeshPosition>{first});

    put(path("plain"), "x");
    EXPECT_FALSE(PositionStore(path("plain/positions.json")).append(first, 10)) << "a write failure is reported";

    // Whatever stands in the positions_'s place and cannot be read is kept too.
    MessageStore messages(messages_);
    ASSERT_TRUE(fs::create_directory(messages_));
    put(path("messages.json/inside"), "x");
    EXPECT_TRUE(messages.load().empty());
    ASSERT_TRUE(messages.append(text(1, 1), 10));
    EXPECT_EQ(MessageStore(messages_).load().size(), 1u);
    std::size_t keptFolders = 0;
    for (const auto& entry : fs::directory_iterator(folder_)) {
        if (entry.is_directory() && fs::exists(entry.path() / "inside")) ++keptFolders;
    }
    EXPECT_EQ(keptFolders, 1u);
}

}  // namespace
}  // namespace corvane
