#include <gtest/gtest.h>

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

class TempFolder {
public:
    TempFolder() {
        std::string pattern = "/tmp/corvane-stores-XXXXXX";
        path_ = ::mkdtemp(pattern.data());
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    std::string operator/(std::string_view name) const { return path_ + "/" + std::string(name); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
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
    return MeshPosition{Uuid::random(), node, latitude, longitude, altitude, at(time)};
}

MeshMessage text(std::uint32_t packet, std::uint32_t sender, std::string body = "hello") {
    return MeshMessage{Uuid::random(), packet, sender, 0xFFFFFFFF, 0, std::move(body), at("2026-03-01T09:30:00Z"),
                       false};
}

std::vector<MeshPosition> fixes(std::size_t count) {
    std::vector<MeshPosition> result;
    for (std::size_t i = 0; i < count; ++i) {
        result.push_back(fix(static_cast<std::uint32_t>(i % 7), 48.0 + static_cast<double>(i) * 1e-5, 11.5));
    }
    return result;
}

TEST(PrivateFileTest, WritesPrivatelyAndCreatesOnlyMissingFolders) {
    TempFolder temp;
    const std::string shared = temp / "shared";
    ASSERT_EQ(::mkdir(shared.c_str(), 0755), 0);
    ASSERT_EQ(::chmod(shared.c_str(), 0755), 0);
    const std::string file = shared + "/a/b/data.json";

    ASSERT_TRUE(PrivateFile::write(file, "one"));
    EXPECT_EQ(contents(file), "one");
    EXPECT_EQ(modeOf(file), 0600u);
    EXPECT_EQ(modeOf(shared + "/a"), 0700u);
    EXPECT_EQ(modeOf(shared + "/a/b"), 0700u);
    EXPECT_EQ(modeOf(shared), 0755u) << "a folder we did not create keeps its mode";

    ASSERT_TRUE(PrivateFile::write(file, "two"));
    EXPECT_EQ(contents(file), "two");
    // No temp files are left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(shared + "/a/b"), fs::directory_iterator()), 1);

    const auto before = inodeOf(file);
    ASSERT_TRUE(PrivateFile::writeIfChanged(file, "two"));
    EXPECT_EQ(inodeOf(file), before);
    ASSERT_TRUE(PrivateFile::writeIfChanged(file, "owt"));
    EXPECT_EQ(contents(file), "owt");
}

TEST(PrivateFileTest, ReportsFailuresReadably) {
    TempFolder temp;
    put(temp / "plain", "x");
    const auto written = PrivateFile::write(temp / "plain/inner/data.json", "x");
    ASSERT_FALSE(written);
    EXPECT_EQ(written.error().code, ENOTDIR);
    EXPECT_NE(written.error().message.find("plain"), std::string::npos) << written.error().message;
    EXPECT_NE(written.error().message.find("Not a directory"), std::string::npos) << written.error().message;

    const auto missing = PrivateFile::read(temp / "absent");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().kind, PrivateFile::ReadFailure::missing);
    EXPECT_EQ(PrivateFile::read(temp / "plain/below").error().kind, PrivateFile::ReadFailure::missing);
    EXPECT_EQ(PrivateFile::read(temp.path()).error().kind, PrivateFile::ReadFailure::unreadable);
}

TEST(PrivateFileTest, KeepAsideNeverReplacesAnEarlierKeptFile) {
    TempFolder temp;
    const std::string file = temp / "positions.json";
    const Timestamp now = std::chrono::system_clock::from_time_t(1772357400);
    put(file, "first");
    const auto first = PrivateFile::keepAside(file, now);
    ASSERT_TRUE(first);
    EXPECT_EQ(*first, file + ".corrupt-1772357400");
    put(file, "second");
    const auto second = PrivateFile::keepAside(file, now);
    ASSERT_TRUE(second);
    EXPECT_EQ(*second, file + ".corrupt-1772357400-1");
    EXPECT_EQ(contents(*first), "first");
    EXPECT_EQ(contents(*second), "second");
    EXPECT_FALSE(fs::exists(file));
}

TEST(PositionStoreTest, RefusesOnlyARepeatOfTheLastFix) {
    TempFolder temp;
    const std::string file = temp / "positions.json";
    PositionStore store(file);

    ASSERT_TRUE(store.append(fix(7, 48.1, 11.5), PositionStore::kMaximumCount));
    const auto written = inodeOf(file);
    // Same node and coordinates: id, altitude and time play no part.
    ASSERT_TRUE(store.append(fix(7, 48.1, 11.5, "2026-03-02T10:00:00Z", 500), PositionStore::kMaximumCount));
    EXPECT_EQ(inodeOf(file), written);
    EXPECT_EQ(store.load().size(), 1u);

    ASSERT_TRUE(store.append(fix(8, 48.1, 11.5), PositionStore::kMaximumCount));
    ASSERT_TRUE(store.append(fix(7, 48.1, 11.5), PositionStore::kMaximumCount));
    ASSERT_TRUE(store.append(fix(7, 48.1, std::nextafter(11.5, 12.0)), PositionStore::kMaximumCount));
    const auto loaded = store.load();
    ASSERT_EQ(loaded.size(), 4u);
    EXPECT_EQ(loaded[1].nodeNumber, 8u);
    EXPECT_EQ(loaded[2].nodeNumber, 7u);
    EXPECT_EQ(PositionStore(file).load(), loaded);
}

TEST(MessageStoreTest, RefusesAStoredPacketFromTheSameSenderHoweverOld) {
    TempFolder temp;
    const std::string file = temp / "messages.json";
    MessageStore store(file);

    ASSERT_TRUE(store.append(text(12, 3, "first"), MessageStore::kMaximumCount));
    for (std::uint32_t packet = 100; packet < 110; ++packet) {
        ASSERT_TRUE(store.append(text(packet, 3), MessageStore::kMaximumCount));
    }
    ASSERT_TRUE(store.append(text(12, 3, "again"), MessageStore::kMaximumCount));
    EXPECT_EQ(store.load().size(), 11u);
    ASSERT_TRUE(store.append(text(12, 4), MessageStore::kMaximumCount));
    EXPECT_EQ(store.load().size(), 12u);
    // Packet 0 is never a repeat.
    ASSERT_TRUE(store.append(text(0, 3), MessageStore::kMaximumCount));
    ASSERT_TRUE(store.append(text(0, 3), MessageStore::kMaximumCount));
    const auto loaded = store.load();
    ASSERT_EQ(loaded.size(), 14u);
    EXPECT_EQ(loaded.front().text, "first");

    // Once dropped by the cap, a packet is no longer remembered.
    MessageStore small(temp / "small.json");
    ASSERT_TRUE(small.append(text(12, 3), 2));
    ASSERT_TRUE(small.append(text(13, 3), 2));
    ASSERT_TRUE(small.append(text(14, 3), 2));
    ASSERT_TRUE(small.append(text(12, 3), 2));
    const auto kept = small.load();
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0].packetID, 14u);
    EXPECT_EQ(kept[1].packetID, 12u);
}

TEST(PositionStoreTest, CapDropsTheOldest) {
    TempFolder temp;
    const std::string file = temp / "positions.json";
    const auto full = fixes(PositionStore::kMaximumCount);
    ASSERT_TRUE(PrivateFile::write(file, PositionStore::encodeFile(full).value()));

    PositionStore store(file);
    const auto newest = fix(99, 1, 2);
    ASSERT_TRUE(store.append(newest, PositionStore::kMaximumCount));
    auto loaded = PositionStore(file).load();
    ASSERT_EQ(loaded.size(), PositionStore::kMaximumCount);
    EXPECT_EQ(loaded.front(), full[1]);
    EXPECT_EQ(loaded.back(), newest);

    // A smaller cap than the file holds drops all the surplus at once.
    ASSERT_TRUE(store.append(fix(98, 1, 2), 3));
    loaded = PositionStore(file).load();
    ASSERT_EQ(loaded.size(), 3u);
    EXPECT_EQ(loaded[0], full.back());
    EXPECT_EQ(loaded[1], newest);
}

TEST(PositionStoreTest, DamagedFileIsKeptAsideAndReplaced) {
    TempFolder temp;
    const std::string file = temp / "positions.json";
    const std::string damaged[] = {
        "not json",
        "{\"id\":1}",
        "",
        // One bad element spoils the whole file.
        "[{\"id\":\"6F1A2B3C-4D5E-4F60-8172-93A4B5C6D7E8\",\"nodeNumber\":1,\"latitude\":1,\"longitude\":2,"
        "\"timestamp\":\"2026-03-01T09:30:00Z\"},{\"nodeNumber\":1}]",
        "[" + std::string(5000, '[') + std::string(5000, ']') + "]",
        "[\"\xff\xfe\"]",
    };
    for (const std::string& bytes : damaged) {
        SCOPED_TRACE(bytes.substr(0, 40));
        put(file, bytes);
        PositionStore store(file);
        EXPECT_TRUE(store.load().empty());
        EXPECT_EQ(contents(file), bytes) << "loading never touches the file";

        const auto position = fix(1, 2, 3);
        ASSERT_TRUE(store.append(position, PositionStore::kMaximumCount));
        EXPECT_EQ(PositionStore(file).load(), std::vector<MeshPosition>{position});

        std::vector<std::string> kept;
        for (const auto& entry : fs::directory_iterator(temp.path())) {
            if (entry.path().filename().string().starts_with("positions.json.corrupt-")) kept.push_back(entry.path());
        }
        ASSERT_EQ(kept.size(), 1u);
        EXPECT_EQ(contents(kept[0]), bytes);
        fs::remove(kept[0]);
    }
}

TEST(MessageStoreTest, HonoursAFileChangedBehindItsBack) {
    TempFolder temp;
    const std::string file = temp / "messages.json";
    MessageStore store(file);
    ASSERT_TRUE(store.append(text(1, 1), MessageStore::kMaximumCount));

    // Another writer replaces the file: the store's cache must not win.
    const std::vector<MeshMessage> elsewhere = {text(2, 1), text(3, 1)};
    ASSERT_TRUE(PrivateFile::write(file, MessageStore::encodeFile(elsewhere).value()));
    EXPECT_EQ(store.load(), elsewhere);
    ASSERT_TRUE(store.append(text(3, 1), MessageStore::kMaximumCount));
    ASSERT_TRUE(store.append(text(1, 1), MessageStore::kMaximumCount));
    auto loaded = MessageStore(file).load();
    ASSERT_EQ(loaded.size(), 3u);
    EXPECT_EQ(loaded[2].packetID, 1u);

    fs::remove(file);
    ASSERT_TRUE(store.append(text(4, 1), MessageStore::kMaximumCount));
    loaded = MessageStore(file).load();
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0].packetID, 4u);

    // Rewritten in place with a different length.
    put(file, MessageStore::encodeFile({}).value());
    ASSERT_TRUE(store.append(text(5, 1), MessageStore::kMaximumCount));
    EXPECT_EQ(MessageStore(file).load().size(), 1u);
}

TEST(StoresTest, FolderAndPermissionsOnFirstAppend) {
    TempFolder temp;
    const std::string folder = temp / "Halvo Corvane";
    PositionStore positions(folder + "/positions.json");
    MessageStore messages(folder + "/messages.json");
    EXPECT_TRUE(positions.load().empty());
    EXPECT_FALSE(fs::exists(folder));

    ASSERT_TRUE(positions.append(fix(1, 2, 3), PositionStore::kMaximumCount));
    ASSERT_TRUE(messages.append(text(1, 2), MessageStore::kMaximumCount));
    EXPECT_EQ(modeOf(folder), 0700u);
    EXPECT_EQ(modeOf(positions.url()), 0600u);
    EXPECT_EQ(modeOf(messages.url()), 0600u);
}

TEST(StoresTest, RoundTripIsExactAndByteStable) {
    TempFolder temp;
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
    PositionStore positionStore(temp / "positions.json");
    MessageStore messageStore(temp / "messages.json");
    for (const auto& position : positions) ASSERT_TRUE(positionStore.append(position, 10));
    for (const auto& message : messages) ASSERT_TRUE(messageStore.append(message, 10));

    const auto loadedPositions = PositionStore(positionStore.url()).load();
    EXPECT_EQ(loadedPositions, positions);
    ASSERT_EQ(loadedPositions.size(), positions.size());
    EXPECT_TRUE(std::signbit(loadedPositions.back().latitude)) << "the sign of zero survives";
    EXPECT_EQ(MessageStore(messageStore.url()).load(), messages);
    // What the incremental writer produced is what a whole-list encode gives,
    // so a file read and written again by another build is byte-identical.
    EXPECT_EQ(contents(positionStore.url()), PositionStore::encodeFile(positions).value());
    EXPECT_EQ(contents(messageStore.url()), MessageStore::encodeFile(messages).value());

    const auto decoded = decodePositionsFile(contents(positionStore.url()));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(*decoded, positions);
    EXPECT_EQ(decodeMessagesFile(contents(messageStore.url())), messages);
}

TEST(StoresTest, FileFormatIsPrettySortedIso8601) {
    TempFolder temp;
    PositionStore store(temp / "positions.json");
    MeshPosition position{Uuid::parse("6f1a2b3c-4d5e-4f60-8172-93a4b5c6d7e8").value(), 7, 48.1, 11.5, 520,
                          at("2026-03-01T09:30:00Z")};
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
    // Other writers' spacing is accepted.
    EXPECT_EQ(decodePositionsFile("[{\"id\":\"6F1A2B3C-4D5E-4F60-8172-93A4B5C6D7E8\",\"nodeNumber\":7,"
                                  "\"latitude\":48.1,\"longitude\":11.5,\"altitude\":520,"
                                  "\"timestamp\":\"2026-03-01T09:30:00Z\",\"extra\":[1]}]"),
              std::vector<MeshPosition>{position});

    // Dates a time point cannot hold are refused rather than wrapped around.
    const auto withTime = [](std::string_view time) {
        return "[{\"id\":\"6F1A2B3C-4D5E-4F60-8172-93A4B5C6D7E8\",\"nodeNumber\":7,\"latitude\":1,"
               "\"longitude\":2,\"timestamp\":\"" + std::string(time) + "\"}]";
    };
    EXPECT_FALSE(decodePositionsFile(withTime("0600-01-01T00:00:00Z")));
    EXPECT_FALSE(decodePositionsFile(withTime("9999-12-31T23:59:59Z")));
    const auto late = decodePositionsFile(withTime("2200-01-01T00:00:00Z"));
    ASSERT_TRUE(late);
    EXPECT_EQ(formatIso8601(late->at(0).timestamp), "2200-01-01T00:00:00Z");
}

TEST(StoresTest, FailedAppendLeavesTheFileAndReportsWhy) {
    TempFolder temp;
    const std::string file = temp / "positions.json";
    PositionStore store(file);
    const auto first = fix(1, 2, 3);
    ASSERT_TRUE(store.append(first, 10));
    const std::string before = contents(file);

    const auto unencodable = store.append(fix(1, std::nan(""), 3), 10);
    ASSERT_FALSE(unencodable);
    EXPECT_FALSE(unencodable.error().message.empty());
    EXPECT_EQ(contents(file), before);
    EXPECT_EQ(store.load(), std::vector<MeshPosition>{first});

    put(temp / "plain", "x");
    PositionStore blocked(temp / "plain/positions.json");
    const auto written = blocked.append(first, 10);
    ASSERT_FALSE(written);
    EXPECT_EQ(written.error().code, ENOTDIR);
    EXPECT_EQ(contents(temp / "plain"), "x");
    EXPECT_TRUE(blocked.load().empty());

    // Whatever stands in the file's place and cannot be read is kept too.
    MessageStore messages(temp / "messages.json");
    ASSERT_TRUE(fs::create_directory(temp / "messages.json"));
    put(temp / "messages.json/inside", "x");
    EXPECT_TRUE(messages.load().empty());
    ASSERT_TRUE(messages.append(text(1, 1), 10));
    EXPECT_EQ(MessageStore(temp / "messages.json").load().size(), 1u);
    std::size_t keptFolders = 0;
    for (const auto& entry : fs::directory_iterator(temp.path())) {
        if (entry.is_directory() && fs::exists(entry.path() / "inside")) ++keptFolders;
    }
    EXPECT_EQ(keptFolders, 1u);
}

}  // namespace
}  // namespace corvane
